#include "Browser.h"
#include "CheckRun.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "PageDownload.h"
#include "ProgramStart.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"
#include "TestHome.h"
#include "UrlCatcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <csignal>

// A check run over real downloads, through the system's browser (caught by
// the test's URL handler), its status window recording and its message boxes
// scripted.
struct HttpRun {
    HttpRun(Store &store, ConnectionTest &connection, int deadlineSeconds = 10)
        : download(deadlineSeconds), run(store, download, connection, browser, boxes, status, clock)
    {
    }
    PageDownload download;
    Browser browser;
    RecordingStatus status;
    const SystemClock clock;
    ScriptedPrompts boxes;
    CheckRun run;
};

// A whole check run over real downloads from a loopback server.
class TestCheckRunHttp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void threeActions();
    void updatedPageOpensInTheBrowser();
    void smallPageAfterALargeOne();
    void abandonDuringARealDownload();
    void programStartedAfterADownloadHoldsNoneOfOurs();

private:
    bool writeRoutes();

    QTemporaryDir routes;
    UrlCatcher catcher;
};

void TestCheckRunHttp::init()
{
    catcher.opened.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "openUrl");
    QVERIFY(writeRoutes());
}

void TestCheckRunHttp::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

// A route table with a default route up, so that the connection test says yes
// whatever the machine running the test has.
bool TestCheckRunHttp::writeRoutes()
{
    QFile v4(routes.filePath(QStringLiteral("route")));
    if (!v4.open(QIODevice::WriteOnly))
        return false;
    v4.write("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
             "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    return true;
}

void TestCheckRunHttp::threeActions()
{
    TestHome home;
    Store store;
    HttpTestServer server;
    server.servePage("/same", "<html><body><h1>Tool</h1><p>version 2.25</p></body></html>");
    server.servePage("/changed", "<html><body><h1>Other</h1><p>version 3.0</p></body></html>");
    // An empty answer is a failed download.
    server.servePage("/gone", QByteArray(), "text/html", 503);
    const QString changedUrl = server.url(QStringLiteral("/changed"));
    const QString goneUrl = server.url(QStringLiteral("/gone"));
    QVERIFY(layout::append(store, QStringLiteral("Tool"), server.url(QStringLiteral("/same")),
                           QStringLiteral("version 2.25")));
    QVERIFY(
        layout::append(store, QStringLiteral("Other"), changedUrl, QStringLiteral("version 2.9")));
    QVERIFY(layout::append(store, QStringLiteral("Gone"), goneUrl, QStringLiteral("v1")));

    ConnectionTest connection(routes.filePath(QStringLiteral("route")),
                              routes.filePath(QStringLiteral("ipv6_route")));
    HttpRun http(store, connection);
    http.boxes.answer(Answer::No);
    http.boxes.answer(Answer::No);
    http.run.state.overrideFlag = true;
    http.run.request();

    QCOMPARE(http.boxes.boxes.size(), 2);
    QCOMPARE(http.boxes.boxes[0].title, QStringLiteral("Site Updated:"));
    QCOMPARE(http.boxes.boxes[0].flags, 68);
    QCOMPARE(http.boxes.boxes[0].text,
             QStringLiteral("Action: Other\r\n\r\nData: version 2.9\r\nAt URL: ") + changedUrl +
                 QStringLiteral("\r\n\r\nHTML document appears to have been updated. Go There?"));
    QCOMPARE(http.boxes.boxes[1].title, QStringLiteral("Quorlin Error:"));
    QCOMPARE(http.boxes.boxes[1].flags, 20);
    QCOMPARE(http.boxes.boxes[1].text,
             QStringLiteral("Couldn't retrive '") + goneUrl + QStringLiteral("'. Retry?"));
    QCOMPARE(server.hits("/same"), 1);
    QCOMPARE(server.hits("/changed"), 2);
    QCOMPARE(server.hits("/gone"), 3);
    QVERIFY(catcher.opened.isEmpty());

    const QString today = dateText(QDate::currentDate());
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), today);
    QCOMPARE(http.status.label1, QStringLiteral("Processing: "));
    QCOMPARE(http.status.label2, QStringLiteral("Connection Retry: "));
    QCOMPARE(http.status.label4, QStringLiteral("Checks Since Start: 1"));
    QCOMPARE(http.status.label5, QStringLiteral("Last Check Date: ") + today);
    QCOMPARE(http.status.text1, QStringLiteral("Otherversion 3.0"));
    QCOMPARE(http.run.state.inProgress, false);
}

void TestCheckRunHttp::updatedPageOpensInTheBrowser()
{
    TestHome home;
    Store store;
    HttpTestServer server;
    const QByteArray body = "<html><head><meta charset=\"iso-8859-1\"></head><body><p>Gr\xfc\xdf"
                            "e, Version 4</p></body></html>";
    server.servePage("/de", body, "text/html");
    server.servePage("/de-same", body, "text/html");
    const QString url = server.url(QStringLiteral("/de"));
    QVERIFY(layout::append(store, QStringLiteral("Neu"), url, QStringLiteral("Grüße, Version 3")));
    QVERIFY(layout::append(store, QStringLiteral("Alt"), server.url(QStringLiteral("/de-same")),
                           QStringLiteral("Grüße, Version 4")));

    ConnectionTest connection(routes.filePath(QStringLiteral("route")),
                              routes.filePath(QStringLiteral("ipv6_route")));
    HttpRun http(store, connection);
    http.boxes.answer(Answer::Yes);
    http.run.request();

    QCOMPARE(http.boxes.boxes.size(), 1);
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl(url)});
    QCOMPARE(server.hits("/de-same"), 1);
}

// The run writes each page where an earlier one was: the small page's second
// download lands in the large page's memory and must not take its tail.
void TestCheckRunHttp::smallPageAfterALargeOne()
{
    TestHome home;
    Store store;
    HttpTestServer server;
    server.servePage("/large", "<p>" + QByteArray(100000, 'x') + " version 2.25</p>");
    server.servePage("/small", "<p>v1</p>");
    const QString smallUrl = server.url(QStringLiteral("/small"));
    QVERIFY(layout::append(store, QStringLiteral("Large"), server.url(QStringLiteral("/large")),
                           QStringLiteral("version 2.25")));
    QVERIFY(
        layout::append(store, QStringLiteral("Small"), smallUrl, QStringLiteral("version 2.25")));

    FakeConnection connection;
    HttpRun http(store, connection);
    http.boxes.answer(Answer::No);
    http.run.request();

    QCOMPARE(server.hits("/small"), 2);
    QCOMPARE(http.boxes.boxes.size(), 1);
    QVERIFY(http.boxes.boxes[0].text.contains(smallUrl));
    QCOMPARE(http.status.text1, QStringLiteral("v1"));
}

void TestCheckRunHttp::abandonDuringARealDownload()
{
    TestHome home;
    Store store;
    HttpTestServer server;
    // Half a minute for the whole body.
    server.serve("/slow", HttpTestServer::Response::trickle(300, 100));
    server.servePage("/next", "next");
    QVERIFY(layout::append(store, QStringLiteral("Slow"), server.url(QStringLiteral("/slow")),
                           QStringLiteral("x")));
    QVERIFY(layout::append(store, QStringLiteral("Next"), server.url(QStringLiteral("/next")),
                           QStringLiteral("next")));

    ConnectionTest connection(routes.filePath(QStringLiteral("route")),
                              routes.filePath(QStringLiteral("ipv6_route")));
    HttpRun http(store, connection, PageDownload::DeadlineSeconds);
    // The program is told to end while the run waits in the download.
    QTimer::singleShot(300, [&] { http.run.abandon(); });
    QElapsedTimer elapsed;
    elapsed.start();
    http.run.request();

    QVERIFY2(elapsed.elapsed() < 20000, "the download was not cancelled");
    QVERIFY(http.boxes.boxes.isEmpty());
    QCOMPARE(server.hits("/slow"), 1);
    QCOMPARE(server.hits("/next"), 0);
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), QString());
    QCOMPARE(http.status.label1, QStringLiteral("Processing: Slow"));
    QCOMPARE(http.run.state.inProgress, false);
}

// libcurl keeps its connection and its wake-up sockets open after a download,
// without close-on-exec; a program started then gets the standard streams only.
void TestCheckRunHttp::programStartedAfterADownloadHoldsNoneOfOurs()
{
    HttpTestServer server;
    server.servePage("/page", "<p>version 2.25</p>");
    PageDownload download(10);
    QVERIFY(!download.fetch(server.url(QStringLiteral("/page"))).isEmpty());

    qint64 pid = 0;
    QVERIFY(programstart::startDetached(QStringLiteral("sleep"), {QStringLiteral("60")}, {}, &pid));
    const auto stop = qScopeGuard([pid] { ::kill(pid_t(pid), SIGTERM); });
    const auto heldAboveTheStreams = [pid] {
        QStringList held = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                               .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        held.removeIf([](const QString &fd) { return fd.toInt() <= 2; });
        return held;
    };
    // The new program's loader opens its libraries for a moment; what it
    // inherited stays.
    QTRY_COMPARE_WITH_TIMEOUT(heldAboveTheStreams(), QStringList(), 5000);
}

QTEST_MAIN(TestCheckRunHttp)
#include "tst_checkrunhttp.moc"
