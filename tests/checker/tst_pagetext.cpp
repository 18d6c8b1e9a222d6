#include "PageText.h"
#include "Utf8.h"

#include <QRandomGenerator>
#include <QTest>

namespace
{

// The stripping as plainly as it can be written, over the page's characters
// as the checker once read it, to compare the scans of its UTF-8 with.
QString plainPageText(const QString &page)
{
    QString text;
    qsizetype open = 0;
    for (;;) {
        const qsizetype close = page.indexOf(QLatin1Char('>'), open);
        if (close < 0)
            break;
        open = page.indexOf(QLatin1Char('<'), close);
        if (open < 0)
            break;
        text += page.mid(close + 1, open - close - 1);
    }
    return text.isEmpty() ? page : text;
}

} // namespace

class TestPageText : public QObject
{
    Q_OBJECT

private slots:
    void pageText_data();
    void pageText();
    void randomPagesMatchThePlainScan();
    void error404_data();
    void error404();
    void error404AcrossBlocks();
    void containsText_data();
    void containsText();
};

void TestPageText::pageText_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("text");

    QTest::newRow("two paragraphs join without a separator")
        << QStringLiteral("<p>a</p><p>b</p>") << QStringLiteral("ab");
    QTest::newRow("whole document")
        << QStringLiteral("<html><head><title>T</title></head><body><h1>Tool</h1><p>version "
                          "2.25</p></body></html>")
        << QStringLiteral("TToolversion 2.25");
    QTest::newRow("text after the last '>' is left out")
        << QStringLiteral("<b>bold</b> plain") << QStringLiteral("bold");
    QTest::newRow("text before the first '>' is left out")
        << QStringLiteral("lead<b>x</b>") << QStringLiteral("x");
    QTest::newRow("no '>' at all: the whole page")
        << QStringLiteral("just some text") << QStringLiteral("just some text");
    QTest::newRow("no '<' after the first '>': the whole page")
        << QStringLiteral("a > b") << QStringLiteral("a > b");
    QTest::newRow("only empty stretches: the whole page")
        << QStringLiteral("<a><b></b></a>") << QStringLiteral("<a><b></b></a>");
    QTest::newRow("empty page") << QString() << QString();
    QTest::newRow("line breaks stay") << QStringLiteral("<pre>line one\r\nline two\n</pre>")
                                      << QStringLiteral("line one\r\nline two\n");
    QTest::newRow("white space between tags counts")
        << QStringLiteral("<p>a</p>\n  <p>b</p>") << QStringLiteral("a\n  b");
    QTest::newRow("character references are not decoded")
        << QStringLiteral("<p>&amp; &lt;b&gt; &#228;</p>")
        << QStringLiteral("&amp; &lt;b&gt; &#228;");
    QTest::newRow("comments are not special")
        << QStringLiteral("<!-- a > b --><p>c</p>") << QStringLiteral(" b -->c");
    QTest::newRow("scripts are not special")
        << QStringLiteral("<script>if (a<b && c>d) x();</script>v1<br>")
        << QStringLiteral("if (ad) x();v1");
    QTest::newRow("quoted '>' in an attribute is not special")
        << QStringLiteral("<a title=\"x>y\">t</a>") << QStringLiteral("y\">t");
    QTest::newRow("a '>' right before '<'") << QStringLiteral("><") << QStringLiteral("><");
    QTest::newRow("doubled brackets") << QStringLiteral(">><<") << QStringLiteral(">");
    QTest::newRow("nested brackets") << QStringLiteral("<<>>") << QStringLiteral("<<>>");
    QTest::newRow("single space stretch") << QStringLiteral("> <") << QStringLiteral(" ");
    QTest::newRow("bare pieces") << QStringLiteral("a>b<c>d<e") << QStringLiteral("bd");
    QTest::newRow("'<' before the first '>' is skipped")
        << QStringLiteral("<<x>y<") << QStringLiteral("y");
    QTest::newRow("unicode") << QStringLiteral("<p>Grüße aus Köln, 日本, 😀</p>")
                             << QStringLiteral("Grüße aus Köln, 日本, 😀");
    QTest::newRow("NUL characters are text")
        << QString::fromUtf16(u"<p>a\0b</p>", 10) << QString::fromUtf16(u"a\0b", 3);
}

void TestPageText::pageText()
{
    QFETCH(QString, page);
    QFETCH(QString, text);
    QCOMPARE(scanPage(page.toUtf8(), ScanWidth::Plain).text, text.toUtf8());
    QCOMPARE(scanPage(page.toUtf8()).text, text.toUtf8());
}

void TestPageText::randomPagesMatchThePlainScan()
{
    // Short and long pages, dense and sparse in markup, across every length
    // around the vector widths.
    QRandomGenerator random(20240307);
    const QString alphabets[] = {QStringLiteral("<>ab"), QStringLiteral("<>abcdefghijklmnop \n"),
                                 QStringLiteral("<>") + QString(40, QLatin1Char('x')),
                                 QStringLiteral("<>äö日\n")};
    for (int round = 0; round < 4000; ++round) {
        const QString &alphabet = alphabets[round % 4];
        const int length = round < 2000 ? round % 80 : int(random.bounded(5000));
        QString page;
        page.reserve(length);
        for (int i = 0; i < length; ++i)
            page += alphabet[random.bounded(int(alphabet.size()))];
        const QString expected = plainPageText(page);
        const QByteArray bytes = page.toUtf8();
        QCOMPARE(scanPage(bytes, ScanWidth::Plain).text, expected.toUtf8());
        QCOMPARE(scanPage(bytes).text, expected.toUtf8());
        const QString check = page.mid(length / 3, 5);
        QCOMPARE(::containsText(expected.toUtf8(), check.toUtf8()), expected.contains(check));
    }
}

void TestPageText::error404_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("reports");

    QTest::newRow("upper case") << QStringLiteral("ERROR 404") << true;
    QTest::newRow("lower case") << QStringLiteral("error 404") << true;
    QTest::newRow("mixed case") << QStringLiteral("eRrOr 404") << true;
    QTest::newRow("in markup") << QStringLiteral("<title>Error 404 - Not Found</title>") << true;
    QTest::newRow("in an attribute") << QStringLiteral("<img alt='error 404'>") << true;
    QTest::newRow("inside a word") << QStringLiteral("terror 4040") << true;
    QTest::newRow("at the very end") << QStringLiteral("...error 404") << true;
    QTest::newRow("a 404 before the right one")
        << QStringLiteral("code 404, then ERROR 404") << true;
    QTest::newRow("no space") << QStringLiteral("error404") << false;
    QTest::newRow("two spaces") << QStringLiteral("error  404") << false;
    QTest::newRow("letter O for zero") << QStringLiteral("ERROR 4O4") << false;
    QTest::newRow("other order") << QStringLiteral("404 error") << false;
    QTest::newRow("markup in between") << QStringLiteral("ERROR <b>404</b>") << false;
    QTest::newRow("non-breaking space") << QStringLiteral("ERROR\u00a0404") << false;
    QTest::newRow("full-width letters") << QStringLiteral("ＥＲＲＯＲ 404") << false;
    QTest::newRow("just 404") << QStringLiteral("404") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestPageText::error404()
{
    QFETCH(QString, page);
    QFETCH(bool, reports);
    QCOMPARE(reportsError404(page.toUtf8()), reports);
    QCOMPARE(scanPage(page.toUtf8()).error404, reports);
    // The same answer as searching the upper-case page.
    QCOMPARE(page.toUpper().contains(QStringLiteral("ERROR 404")), reports);
    // And at every place in a long page, across the blocks of the vector scan.
    for (int at = 0; at < 140; at += 7) {
        const QByteArray longPage = QByteArray(at, '<') + page.toUtf8() + QByteArray(140 - at, '>');
        QCOMPARE(scanPage(longPage).error404, reports);
        QCOMPARE(scanPage(longPage, ScanWidth::Plain).error404, reports);
    }
}

void TestPageText::error404AcrossBlocks()
{
    // Pages pieced together so that "ERROR 404" and near misses fall on every
    // alignment; the scan must agree with the upper-case search and with the
    // plain stripping.
    const QStringList pieces = {QStringLiteral("ERROR 404"), QStringLiteral("error 4"),
                                QStringLiteral("04"),        QStringLiteral("4"),
                                QStringLiteral("eRRor "),    QStringLiteral("<"),
                                QStringLiteral(">"),         QStringLiteral("x"),
                                QStringLiteral("ab cd "),    QStringLiteral("ERROR 40")};
    QRandomGenerator random(404);
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        QString page;
        const int count = int(random.bounded(1, 60));
        for (int i = 0; i < count; ++i) {
            const int piece = int(random.bounded(int(pieces.size())));
            // The complete phrase rarely, so that many pages have none.
            if (piece == 0 && random.bounded(8) != 0)
                continue;
            page += pieces[piece];
        }
        const bool expected = page.toUpper().contains(QStringLiteral("ERROR 404"));
        found += expected;
        const PageScan scanned = scanPage(page.toUtf8());
        QCOMPARE(scanned.error404, expected);
        QCOMPARE(reportsError404(page.toUtf8()), expected);
        QCOMPARE(scanned.text, plainPageText(page).toUtf8());
        const PageScan plain = scanPage(page.toUtf8(), ScanWidth::Plain);
        QCOMPARE(plain.error404, expected);
        QCOMPARE(plain.text, scanned.text);
    }
    QVERIFY(found > 100 && found < 2900);
}

void TestPageText::containsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("part");

    const QString longText = QString(100, QLatin1Char('v')) + QStringLiteral("version 2.25") +
                             QString(100, QLatin1Char('w'));
    QTest::newRow("empty part") << QStringLiteral("abc") << QString();
    QTest::newRow("empty both") << QString() << QString();
    QTest::newRow("one character") << QStringLiteral("abc") << QStringLiteral("b");
    QTest::newRow("in a long text") << longText << QStringLiteral("version 2.25");
    QTest::newRow("letter case differs") << longText << QStringLiteral("Version 2.25");
    QTest::newRow("at the very start") << longText.mid(100) << QStringLiteral("version 2.25");
    QTest::newRow("at the very end") << longText.left(112) << QStringLiteral("version 2.25");
    QTest::newRow("cut off at the end") << longText.left(111) << QStringLiteral("version 2.25");
    QTest::newRow("first and last match only")
        << QString(50, QLatin1Char('x')) + QStringLiteral("vXXXXXXXXXX5")
        << QStringLiteral("version 2.25");
    QTest::newRow("two characters") << longText << QStringLiteral("nw");
    QTest::newRow("longer than the text") << QStringLiteral("short") << QStringLiteral("shorter");
    QTest::newRow("unicode") << QString(30, QLatin1Char('a')) + QStringLiteral("Grüße 日本")
                             << QStringLiteral("üße 日");
    // "ä" and "ö" share their first byte, "日" and "本" their first two.
    QTest::newRow("a character's bytes start another's")
        << QString(30, QLatin1Char('a')) + QStringLiteral("äöäö日日本") << QStringLiteral("öö");
    QTest::newRow("a character's first bytes and the next one's last")
        << QString(30, QLatin1Char('a')) + QStringLiteral("日日本") << QStringLiteral("本本");
}

void TestPageText::containsText()
{
    QFETCH(QString, text);
    QFETCH(QString, part);
    QCOMPARE(::containsText(text.toUtf8(), part.toUtf8()), text.contains(part));
}

QTEST_GUILESS_MAIN(TestPageText)
#include "tst_pagetext.moc"
