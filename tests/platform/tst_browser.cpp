#include "Browser.h"
#include "UrlCatcher.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

class TestBrowser : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void open_data();
    void open();

private:
    UrlCatcher catcher;
};

void TestBrowser::init()
{
    catcher.opened.clear();
    for (const char *scheme : {"http", "https", "file", "ftp", "javascript", "mailto", "smb"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "openUrl");
}

void TestBrowser::cleanup()
{
    for (const char *scheme : {"http", "https", "file", "ftp", "javascript", "mailto", "smb"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestBrowser::open_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("opened"); // empty: nothing opened

    QTest::newRow("http") << QStringLiteral("http://www.example.com/download.html")
                          << QStringLiteral("http://www.example.com/download.html");
    QTest::newRow("https with query") << QStringLiteral("https://example.com/a?b=c#d")
                                      << QStringLiteral("https://example.com/a?b=c#d");
    QTest::newRow("upper-case scheme")
        << QStringLiteral("HTTP://example.com/") << QStringLiteral("http://example.com/");
    QTest::newRow("no scheme, as the download takes it")
        << QStringLiteral("www.example.com/page") << QStringLiteral("http://www.example.com/page");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << QString();
    QTest::newRow("local path") << QStringLiteral("/etc/passwd") << QString();
    QTest::newRow("ftp") << QStringLiteral("ftp://example.com/pub/") << QString();
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << QString();
    QTest::newRow("mailto") << QStringLiteral("mailto:someone@example.com") << QString();
    QTest::newRow("smb") << QStringLiteral("smb://server/share") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("scheme without host") << QStringLiteral("http://") << QString();
}

void TestBrowser::open()
{
    QFETCH(QString, url);
    QFETCH(QString, opened);
    Browser browser;
    browser.open(url);
    if (opened.isEmpty()) {
        QVERIFY(catcher.opened.isEmpty());
    } else {
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().toString(), opened);
    }
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
