#include "CloseChannel.h"
#include "DateText.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"

#include <QProcess>
#include <QtTest>

// The built checker as the user runs it: in always-connected mode its first
// checkpoint comes one minute after start, checks the page and records the
// date of the complete run.
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
    server.servePage("/page", "<html><body><p>Latest: version 2.25</p></body></html>");
    Store store;
    QVERIFY(layout::append(store, 0, QStringLiteral("Page"), server.url(QStringLiteral("/page")),
                           QStringLiteral("version 2.25")));
    QVERIFY(store.write(layout::Settings, layout::Always, QStringLiteral("1")));

    QProcess checker;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    checker.setProcessEnvironment(env);
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.start(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"), {});
    QVERIFY(checker.waitForStarted(10000));

    const QString today = dateText(QDate::currentDate());
    QTRY_COMPARE_WITH_TIMEOUT(store.read(layout::Settings, layout::CheckDate), today, 110000);
    QCOMPARE(server.hits("/page"), 1);
    QCOMPARE(store.read(layout::Settings, layout::TDate), today);
    QCOMPARE(checker.state(), QProcess::Running);

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(checker.waitForFinished(10000));
    QCOMPARE(checker.exitCode(), 0);
}

QTEST_MAIN(TestCheckerProcess)
#include "tst_checkerprocess.moc"
