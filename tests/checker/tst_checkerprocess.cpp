#include "CloseChannel.h"
#include "DateText.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Starts the built checker; `configHome` holds its store.
void startChecker(QProcess &checker, const QString &configHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    checker.setProcessEnvironment(env);
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.start(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"), {});
}

} // namespace

// The built checker as the user runs it, in always-connected mode: its first
// checkpoint comes one minute after start. Two checkers start together: one
// finds its page unchanged and records the date of the complete run; the
// other, of another store, finds its page changed and waits in the update
// prompt, where its store's close request ends it without finishing the run.
class TestCheckerProcess : public QObject
{
    Q_OBJECT

private slots:
    void firstCheckpointChecksThePage();
};

void TestCheckerProcess::firstCheckpointChecksThePage()
{
    TestHome home;
    HttpTestServer server;
    server.servePage("/same", "<html><body><p>Latest: version 2.25</p></body></html>");
    server.servePage("/changed", "<html><body><p>Latest: version 2.26</p></body></html>");
    server.servePage("/after", "<html><body><p>version 2.25</p></body></html>");

    Store store;
    QVERIFY(layout::append(store, QStringLiteral("Page"), server.url(QStringLiteral("/same")),
                           QStringLiteral("version 2.25")));
    QVERIFY(store.write(layout::Settings, layout::Always, QStringLiteral("1")));

    QTemporaryDir otherHome;
    Store otherStore(otherHome.path() + QStringLiteral("/QL/QL.ini"));
    QVERIFY(layout::append(otherStore, QStringLiteral("Changed"),
                           server.url(QStringLiteral("/changed")), QStringLiteral("version 2.25")));
    QVERIFY(layout::append(otherStore, QStringLiteral("After"),
                           server.url(QStringLiteral("/after")), QStringLiteral("version 2.25")));
    QVERIFY(otherStore.write(layout::Settings, layout::Always, QStringLiteral("1")));

    QProcess checker;
    QProcess waiting;
    startChecker(checker, home.configDir());
    startChecker(waiting, otherHome.path());
    QVERIFY(checker.waitForStarted(10000));
    QVERIFY(waiting.waitForStarted(10000));

    const QString today = dateText(QDate::currentDate());
    // Waited for by the clock: a failing QTRY waits twice as long again before
    // it reports, which would take this test past its time limit unreported.
    const auto checkDate = [&store] { return store.read(layout::Settings, layout::CheckDate); };
    QVERIFY2(QTest::qWaitFor([&] { return checkDate() == today; }, 110000),
             qPrintable(QStringLiteral("CheckDate: ") + checkDate()));
    QCOMPARE(server.hits("/same"), 1);
    QCOMPARE(store.read(layout::Settings, layout::TDate), today);
    // The other one has downloaded its page twice and now asks.
    QTRY_COMPARE_WITH_TIMEOUT(server.hits("/changed"), 2, 20000);
    QTest::qWait(200);
    QCOMPARE(checker.state(), QProcess::Running);
    QCOMPARE(waiting.state(), QProcess::Running);

    // Each store's close request reaches its own checker.
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    {
        const OtherStore other(otherHome.path());
        QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    }
    QVERIFY(checker.waitForFinished(10000));
    QVERIFY(waiting.waitForFinished(10000));
    QCOMPARE(checker.exitCode(), 0);
    QCOMPARE(waiting.exitCode(), 0);
    QCOMPARE(server.hits("/after"), 0);
    QCOMPARE(otherStore.read(layout::Settings, layout::CheckDate), QString());
}

QTEST_MAIN(TestCheckerProcess)
#include "tst_checkerprocess.moc"
