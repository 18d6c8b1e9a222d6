#include "HttpTestServer.h"
#include "PageDownload.h"
#include "Utf8.h"

#include <QElapsedTimer>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestPageDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void plainPage();
    void errorStatusesKeepTheirBody_data();
    void errorStatusesKeepTheirBody();
    void emptyBodyIsEmpty();
    void nextPageLeavesNothingOfTheLast_data();
    void nextPageLeavesNothingOfTheLast();
    void redirectIsFollowed();
    void tenRedirectsButNotEleven();
    void gzipPage();
    void gzipPastTheCapFails();
    void bodyPastTheCapFails();
    void latin1PageWithUmlauts();
    void trickleStopsAtTheDeadline();
    void cancelStopsAtOnceAndTimersRun();
    void refusedPortFails();
    void droppedConnectionFails();
    void nonWebSchemesFail_data();
    void nonWebSchemesFail();
    void redirectToAnotherSchemeFails();
    void connectionIsReused();
    void unknownCertificateFails();
    void trustedCertificateWorksButNeverRedirectsToHttp();
    void proxyGetsTheAbsoluteUri();
    void unusableProxyFails_data();
    void unusableProxyFails();
    void environmentProxyIsIgnored();

    void decode_data();
    void decode();
    void utf8ReadAsQtReadsIt();

    // Last: it ends the application's event loops for good.
    void quittingStopsTheWait();

private:
    QTemporaryDir certificates;
    QString certificateFile;
    QString keyFile;
    bool haveCertificate = false;
};

void TestPageDownload::initTestCase()
{
    QVERIFY(certificates.isValid());
    haveCertificate = makeTestCertificate(certificates.path(), &certificateFile, &keyFile);
}

void TestPageDownload::plainPage()
{
    HttpTestServer server;
    QVERIFY(server.isListening());
    const QByteArray page = "<html><body><p>version 2.25</p></body></html>\r\nline two";
    server.servePage("/page", page);
    PageDownload download;
    QCOMPARE(download.fetch(server.url("/page")), page);
    const QByteArray head = server.requests().value(0);
    QVERIFY(head.startsWith("GET /page HTTP/1.1\r\n"));
    QVERIFY(head.contains("\r\nUser-Agent: Quorlin/1.6"));
}

void TestPageDownload::errorStatusesKeepTheirBody_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
    QTest::newRow("403") << 403;
}

void TestPageDownload::errorStatusesKeepTheirBody()
{
    QFETCH(int, status);
    HttpTestServer server;
    const QByteArray page = "<html><h1>Error 404</h1><p>Not here</p></html>";
    server.servePage("/missing", page, "text/html", status);
    PageDownload download;
    QCOMPARE(download.fetch(server.url("/missing")), page);
}

void TestPageDownload::emptyBodyIsEmpty()
{
    HttpTestServer server;
    server.servePage("/empty", QByteArray());
    PageDownload download;
    QVERIFY(download.fetch(server.url("/empty")).isEmpty());
}

void TestPageDownload::nextPageLeavesNothingOfTheLast_data()
{
    QTest::addColumn<QByteArray>("next");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("a small page after a large one") << QByteArray("/small") << QByteArray("v1");
    QTest::newRow("an empty body") << QByteArray("/empty") << QByteArray();
    QTest::newRow("a dropped connection") << QByteArray("/drop") << QByteArray();
}

// The memory of one page is written with the next: nothing of the last is left.
void TestPageDownload::nextPageLeavesNothingOfTheLast()
{
    QFETCH(QByteArray, next);
    QFETCH(QByteArray, text);
    HttpTestServer server;
    const QByteArray large = QByteArray(100000, 'x') + "version 2.25";
    server.servePage("/large", large);
    server.servePage("/small", "v1");
    server.servePage("/empty", QByteArray());
    HttpTestServer::Response dropped;
    dropped.drop = true;
    server.serve("/drop", dropped);
    PageDownload download;
    QByteArray page;
    download.fetchInto(server.url("/large"), page);
    QCOMPARE(page.size(), large.size());
    download.fetchInto(server.url(next), page);
    QCOMPARE(page, text);
}

void TestPageDownload::redirectIsFollowed()
{
    HttpTestServer server;
    server.servePage("/new", "<p>moved here</p>");
    server.redirect("/absolute", server.url("/new").toUtf8(), 301);
    server.redirect("/relative", "/new", 307);
    PageDownload download;
    // The redirect's own body never shows up in the text.
    QCOMPARE(download.fetch(server.url("/absolute")), QByteArray("<p>moved here</p>"));
    QCOMPARE(download.fetch(server.url("/relative")), QByteArray("<p>moved here</p>"));
}

void TestPageDownload::tenRedirectsButNotEleven()
{
    HttpTestServer server;
    for (int i = 0; i < 11; ++i)
        server.redirect("/r" + QByteArray::number(i), "/r" + QByteArray::number(i + 1));
    server.servePage("/r11", "end of the chain");
    PageDownload download;
    QCOMPARE(download.fetch(server.url("/r1")), QByteArray("end of the chain"));
    QVERIFY(download.fetch(server.url("/r0")).isEmpty());
}

void TestPageDownload::gzipPage()
{
    HttpTestServer server;
    HttpTestServer::Response response;
    response.header("Content-Type", "text/html; charset=utf-8");
    response.body = QByteArray("<p>Grüße, version 3.1</p>").repeated(200);
    response.gzip = true;
    server.serve("/zipped", response);
    PageDownload download;
    QCOMPARE(download.fetch(server.url("/zipped")), response.body);
    QVERIFY(server.requests().value(0).contains("\r\nAccept-Encoding: "));
}

void TestPageDownload::gzipPastTheCapFails()
{
    // Small on the wire, one byte too large once decoded.
    HttpTestServer server;
    HttpTestServer::Response response;
    response.body = QByteArray(PageDownload::MaxBodySize + 1, 'a');
    response.gzip = true;
    server.serve("/bomb", response);
    response.body.chop(1);
    server.serve("/full", response);
    PageDownload download;
    QVERIFY(download.fetch(server.url("/bomb")).isEmpty());
    QCOMPARE(download.fetch(server.url("/full")).size(), PageDownload::MaxBodySize);
}

void TestPageDownload::bodyPastTheCapFails()
{
    HttpTestServer server;
    server.servePage("/large", QByteArray(PageDownload::MaxBodySize + 1, 'b'), "text/plain");
    PageDownload download;
    QVERIFY(download.fetch(server.url("/large")).isEmpty());
}

void TestPageDownload::latin1PageWithUmlauts()
{
    HttpTestServer server;
    const QByteArray body = "<p>Gr\xfc\xdf"
                            "e aus K\xf6ln</p>";
    server.servePage("/header", body, "text/html; charset=ISO-8859-1");
    server.servePage("/meta",
                     "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                     "charset=iso-8859-1\"></head><body>" +
                         body + "</body></html>",
                     "text/html");
    PageDownload download;
    QVERIFY(download.fetch(server.url("/header")).contains(QByteArray("Grüße aus Köln")));
    QVERIFY(download.fetch(server.url("/meta")).contains(QByteArray("Grüße aus Köln")));
}

void TestPageDownload::trickleStopsAtTheDeadline()
{
    HttpTestServer server;
    // Ten seconds for the whole body.
    server.serve("/slow", HttpTestServer::Response::trickle(200, 50));
    PageDownload download(1);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(download.fetch(server.url("/slow")).isEmpty());
    QVERIFY2(clock.elapsed() < 8000, "the deadline did not stop the download");
}

void TestPageDownload::cancelStopsAtOnceAndTimersRun()
{
    HttpTestServer server;
    server.serve("/slow", HttpTestServer::Response::trickle(200, 100));
    PageDownload download;
    // The timer is served by the event loop that waits for the download.
    bool ticked = false;
    QTimer::singleShot(300, [&] {
        ticked = true;
        download.cancel();
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(download.fetch(server.url("/slow")).isEmpty());
    QVERIFY(ticked);
    QVERIFY2(clock.elapsed() < 15000, "cancel did not stop the download");

    // The same object downloads again afterwards.
    server.servePage("/page", "fine");
    QCOMPARE(download.fetch(server.url("/page")), QByteArray("fine"));
}

void TestPageDownload::refusedPortFails()
{
    PageDownload download;
    const quint16 port = HttpTestServer::unusedPort();
    QVERIFY(download.fetch(QStringLiteral("http://127.0.0.1:%1/").arg(port)).isEmpty());
}

void TestPageDownload::droppedConnectionFails()
{
    HttpTestServer server;
    HttpTestServer::Response response;
    response.drop = true;
    server.serve("/drop", response);
    PageDownload download;
    QVERIFY(download.fetch(server.url("/drop")).isEmpty());
}

void TestPageDownload::nonWebSchemesFail_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/");
    QTest::newRow("dict") << QStringLiteral("dict://127.0.0.1/");
    QTest::newRow("empty") << QString();
    QTest::newRow("bare scheme") << QStringLiteral("http://");
    QTest::newRow("garbage") << QStringLiteral("ht!tp:/\\nowhere");
}

void TestPageDownload::nonWebSchemesFail()
{
    QFETCH(QString, url);
    PageDownload download;
    QVERIFY(download.fetch(url).isEmpty());
}

void TestPageDownload::redirectToAnotherSchemeFails()
{
    HttpTestServer server;
    server.redirect("/file", "file:///etc/passwd");
    server.redirect("/ftp", "ftp://127.0.0.1/pub/");
    PageDownload download;
    QVERIFY(download.fetch(server.url("/file")).isEmpty());
    QVERIFY(download.fetch(server.url("/ftp")).isEmpty());
}

void TestPageDownload::connectionIsReused()
{
    HttpTestServer server;
    server.servePage("/a", "first");
    server.servePage("/b", "second");
    PageDownload download;
    QCOMPARE(download.fetch(server.url("/a")), QByteArray("first"));
    QCOMPARE(download.fetch(server.url("/b")), QByteArray("second"));
    QCOMPARE(download.fetch(server.url("/a")), QByteArray("first"));
    QCOMPARE(server.connections(), 1);
}

void TestPageDownload::unknownCertificateFails()
{
    if (!haveCertificate)
        QFAIL("the openssl tool is needed to make a test certificate");
    HttpTestServer server(certificateFile, keyFile);
    QVERIFY(server.isListening());
    server.servePage("/page", "secret");
    PageDownload download;
    QVERIFY(download.fetch(server.url("/page")).isEmpty());
    QCOMPARE(server.hits("/page"), 0);
}

void TestPageDownload::trustedCertificateWorksButNeverRedirectsToHttp()
{
    if (!haveCertificate)
        QFAIL("the openssl tool is needed to make a test certificate");
    HttpTestServer secure(certificateFile, keyFile);
    HttpTestServer plain;
    plain.servePage("/page", "plain page");
    secure.servePage("/page", "secure page");
    secure.redirect("/down", plain.url("/page").toUtf8());
    secure.redirect("/DOWN", plain.url("/page").toUpper().toUtf8());
    secure.redirect("/across", secure.url("/page").toUtf8());
    plain.redirect("/up", secure.url("/page").toUtf8());
    PageDownload download;
    download.setCaFile(certificateFile);
    QCOMPARE(download.fetch(secure.url("/page")), QByteArray("secure page"));
    QCOMPARE(download.fetch(secure.url("/across")), QByteArray("secure page"));
    QCOMPARE(download.fetch(plain.url("/up")), QByteArray("secure page"));
    QVERIFY(download.fetch(secure.url("/down")).isEmpty());
    QVERIFY(download.fetch(secure.url("/DOWN")).isEmpty());
    QCOMPARE(plain.hits("/page"), 0);
    QCOMPARE(plain.hits("/PAGE"), 0);
}

void TestPageDownload::proxyGetsTheAbsoluteUri()
{
    HttpTestServer proxy;
    proxy.servePage("http://example.invalid/page?x=1", "<p>through the proxy</p>");
    PageDownload download;
    download.setProxy(QStringLiteral("127.0.0.1:%1").arg(proxy.port()));
    QCOMPARE(download.fetch(QStringLiteral("http://example.invalid/page?x=1")),
             QByteArray("<p>through the proxy</p>"));
    QCOMPARE(proxy.requestLines(),
             QList<QByteArray>{"GET http://example.invalid/page?x=1 HTTP/1.1"});

    // No proxy again: straight to the server.
    HttpTestServer server;
    server.servePage("/direct", "direct");
    download.setProxy(QString());
    QCOMPARE(download.fetch(server.url("/direct")), QByteArray("direct"));
    QCOMPARE(proxy.requests().size(), 1);
}

void TestPageDownload::unusableProxyFails_data()
{
    QTest::addColumn<QString>("proxy");
    QTest::newRow("colon alone") << QStringLiteral(":");
    QTest::newRow("empty port") << QStringLiteral("127.0.0.1:");
    QTest::newRow("no port") << QStringLiteral("127.0.0.1");
    QTest::newRow("port zero") << QStringLiteral("127.0.0.1:0");
    QTest::newRow("port too large") << QStringLiteral("127.0.0.1:65536");
    QTest::newRow("port not a number") << QStringLiteral("127.0.0.1:eighty");
    QTest::newRow("empty host") << QStringLiteral(":8080");
    QTest::newRow("space in host") << QStringLiteral("proxy host:8080");
    QTest::newRow("other scheme") << QStringLiteral("socks5://127.0.0.1:1080");
}

void TestPageDownload::unusableProxyFails()
{
    QFETCH(QString, proxy);
    HttpTestServer server;
    server.servePage("/page", "page");
    PageDownload download;
    download.setProxy(proxy);
    QVERIFY(download.fetch(server.url("/page")).isEmpty());
    QCOMPARE(server.hits("/page"), 0);
}

void TestPageDownload::environmentProxyIsIgnored()
{
    HttpTestServer proxy;
    HttpTestServer server;
    server.servePage("/page", "direct");
    const QByteArray address = "http://127.0.0.1:" + QByteArray::number(proxy.port());
    qputenv("http_proxy", address);
    qputenv("HTTP_PROXY", address);
    qputenv("ALL_PROXY", address);
    PageDownload download;
    const QByteArray text = download.fetch(server.url("/page"));
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    qunsetenv("ALL_PROXY");
    QCOMPARE(text, QByteArray("direct"));
    QCOMPARE(proxy.requests().size(), 0);
}

void TestPageDownload::decode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");

    const QString umlauts = QStringLiteral("Grüße");
    QTest::newRow("no charset: UTF-8") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                     "e")
                                       << QByteArray("text/html") << umlauts;
    QTest::newRow("no content type") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                   "e")
                                     << QByteArray() << umlauts;
    QTest::newRow("header latin1") << QByteArray("Gr\xfc\xdf"
                                                 "e")
                                   << QByteArray("text/html; charset=ISO-8859-1") << umlauts;
    QTest::newRow("header quoted, spaced")
        << QByteArray("Gr\xfc\xdf"
                      "e")
        << QByteArray("text/html ; Charset = \"latin1\"") << umlauts;
    QTest::newRow("latin1 read as browsers do")
        << QByteArray("\x80 5") << QByteArray("text/html; charset=iso-8859-1")
        << QStringLiteral("€ 5");
    QTest::newRow("header wins over meta") << QByteArray("<meta charset=\"utf-8\">Gr\xfc\xdf"
                                                         "e")
                                           << QByteArray("text/html; charset=iso-8859-1")
                                           << QStringLiteral("<meta charset=\"utf-8\">") + umlauts;
    QTest::newRow("meta charset") << QByteArray("<head><meta charset=iso-8859-1></head>\xfc")
                                  << QByteArray("text/html")
                                  << QStringLiteral("<head><meta charset=iso-8859-1></head>ü");
    QTest::newRow("meta http-equiv")
        << QByteArray("<META HTTP-EQUIV='Content-Type' CONTENT='text/html; "
                      "charset=windows-1251'>\xcf\xf0\xe8")
        << QByteArray("text/html")
        << QStringLiteral(
               "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=windows-1251'>При");
    // The first "charset" inside a <meta tag that is followed by "=" and a label.
    QTest::newRow("meta: a later charset in the tag")
        << QByteArray("<meta name=\"charset-info\" charset\t= ' ISO-8859-1 '>\xfc")
        << QByteArray("text/html")
        << QStringLiteral("<meta name=\"charset-info\" charset\t= ' ISO-8859-1 '>ü");
    QTest::newRow("meta: the second tag")
        << QByteArray("<Meta name=a><mEtA CharSet=latin1>\xfc") << QByteArray("text/html")
        << QStringLiteral("<Meta name=a><mEtA CharSet=latin1>ü");
    QTest::newRow("meta: not past the tag's end")
        << QByteArray("<meta name=a>charset=iso-8859-1 Gr\xc3\xbc\xc3\x9f"
                      "e")
        << QByteArray("text/html") << QStringLiteral("<meta name=a>charset=iso-8859-1 ") + umlauts;
    QTest::newRow("meta: not past the head")
        << QByteArray(4090, ' ') + QByteArray("<meta charset=iso-8859-1>Gr\xc3\xbc\xc3\x9f"
                                              "e")
        << QByteArray("text/html")
        << QString(4090, QLatin1Char(' ')) + QStringLiteral("<meta charset=iso-8859-1>") + umlauts;
    QTest::newRow("shift_jis") << QByteArray("\x93\xfa\x96\x7b")
                               << QByteArray("text/html; charset=Shift_JIS")
                               << QStringLiteral("日本");
    QTest::newRow("unknown charset: UTF-8")
        << QByteArray("Gr\xc3\xbc\xc3\x9f"
                      "e")
        << QByteArray("text/html; charset=no-such-thing") << umlauts;
    QTest::newRow("UTF-8 byte-order mark wins")
        << QByteArray("\xef\xbb\xbfGr\xc3\xbc\xc3\x9f"
                      "e")
        << QByteArray("text/html; charset=iso-8859-1") << umlauts;
    QTest::newRow("UTF-16 byte-order mark")
        << QByteArray("\xff\xfeG\0r\0\xfc\0\xdf\0e\0", 12) << QByteArray("text/html") << umlauts;
    QTest::newRow("UTF-16: a surrogate without its other half is U+FFFD")
        << QByteArray("\xff\xfeG\0\x00\xd8r\0", 8) << QByteArray("text/html")
        << QStringLiteral("G\ufffdr");
    QTest::newRow("bad UTF-8 still text") << QByteArray("a\xff"
                                                        "b")
                                          << QByteArray("text/html") << QStringLiteral("a\ufffdb");
    // UTF-8 read as Qt's own decoder reads it, ASCII a block at a time.
    QTest::newRow("UTF-8: each length of sequence, across a block's end")
        << QByteArray(15, 'a') + "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" + QByteArray(20, 'b')
        << QByteArray("text/html")
        << QString(15, QLatin1Char('a')) + QStringLiteral("é€😀") + QString(20, QLatin1Char('b'));
    QTest::newRow("UTF-8: past U+10FFFF, one U+FFFD a byte")
        << QByteArray("\xf4\x8f\xbf\xbf\xf4\x90\x80\x80") << QByteArray("text/html")
        << QStringLiteral("\U0010ffff\ufffd\ufffd\ufffd\ufffd");
    QTest::newRow("UTF-8: a sequence cut off by the end is left out")
        << QByteArray("\xef\xbb\xbf\xef\xbb\xbf"
                      "ab\xf0\x9f\x98")
        << QByteArray("text/html") << QStringLiteral("\ufeffab");
}

void TestPageDownload::decode()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    const QByteArray utf8 = PageDownload::decode(body, contentType);
    QCOMPARE(utf8, text.toUtf8());
    QCOMPARE(textOfUtf8(utf8), text);
    if (utf8 == body) {
        // UTF-8 that needs no mending is handed back in its own memory.
        QByteArray own(body.constData(), body.size());
        const char *memory = own.constData();
        QCOMPARE(PageDownload::decode(std::move(own), contentType).constData(), memory);
    }
}

// Every run of three bytes that UTF-8 treats differently (ASCII, each kind
// of continuation and lead byte, the edges of the overlong, surrogate and
// past-U+10FFFF forms, bytes no UTF-8 holds), at the start of a body, across
// the end of a block of sixteen, and cut off by the end of the body: the
// checked body is the UTF-8 of what Qt's decoder reads in it.
void TestPageDownload::utf8ReadAsQtReadsIt()
{
    const QByteArray edges("\x00\x41\x7f\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xed"
                           "\xef\xf0\xf4\xf5\xff",
                           20);
    const QByteArray filler(40, 'x');
    for (const char a : edges) {
        for (const char b : edges) {
            for (const char c : edges) {
                const char bytes[] = {a, b, c};
                for (const qsizetype at : {0, 14, 15, 40}) {
                    QByteArray body = filler;
                    body.insert(at, bytes, 3);
                    const QString qts = QStringDecoder(QStringConverter::Utf8).decode(body);
                    QByteArray checked = body;
                    makeValidUtf8(checked);
                    if (checked != utf8Of(qts) || textOfUtf8(checked) != qts)
                        QFAIL(qPrintable(QStringLiteral("differs from Qt's: ") + body.toHex(' ')));
                }
            }
        }
    }
}

void TestPageDownload::quittingStopsTheWait()
{
    HttpTestServer server;
    server.serve("/slow", HttpTestServer::Response::trickle(300, 100));
    PageDownload download;
    QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(download.fetch(server.url("/slow")).isEmpty());
    QVERIFY2(clock.elapsed() < 20000, "quitting did not stop the download");
    // Later downloads while the application ends come back empty at once.
    server.servePage("/page", "fine");
    QVERIFY(download.fetch(server.url("/page")).isEmpty());
}

QTEST_GUILESS_MAIN(TestPageDownload)
#include "tst_pagedownload.moc"
