#include "CloseChannel.h"
#include "ConfigTestTools.h"
#include "DateText.h"
#include "HomeTest.h"
#include "HttpTestServer.h"
#include "Restart.h"
#include "ScriptedPrompts.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>

using namespace configtest;

namespace
{

const QString Page = QStringLiteral("Page");
const QString RestartNote =
    QStringLiteral("Quorlin will now be restarted for changes to take effect.");
const QString NotInstalled = QStringLiteral("Quorlin Not Correctly Installed! Couldn't Restart!");

QString checkerProgram()
{
    return QFileInfo(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin")).canonicalFilePath();
}

// The checkers of this test's home now running: processes of the built
// checker whose store lies under `configDir`, whoever started them.
QList<qint64> runningCheckers(const QString &configDir)
{
    QList<qint64> pids;
    const QByteArray store = "XDG_CONFIG_HOME=" + configDir.toLocal8Bit();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString proc = QStringLiteral("/proc/") + entry;
        if (QFile::symLinkTarget(proc + QStringLiteral("/exe")) != checkerProgram())
            continue;
        QFile environ(proc + QStringLiteral("/environ"));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(store))
            pids.append(pid);
    }
    return pids;
}

// The close-request channel's entries of checkers.
QStringList channelEntries()
{
    return QDir(closechannel::folder())
        .entryList({QStringLiteral("Quorlin.*")}, QDir::AllEntries | QDir::System);
}

QString entryOf(qint64 pid)
{
    return QStringLiteral("Quorlin.") + QString::number(pid);
}

// Whether a checker listens on the entry of process `pid`.
bool listening(qint64 pid)
{
    if (!channelEntries().contains(entryOf(pid)))
        return false;
    QLocalSocket socket;
    socket.connectToServer(closechannel::folder() + QLatin1Char('/') + entryOf(pid));
    return socket.waitForConnected(1000);
}

QByteArray storeBytes(const QString &file)
{
    QFile store(file);
    return store.open(QIODevice::ReadOnly) ? store.readAll() : QByteArray();
}

} // namespace

// config's Close as the user meets it, with the built checker as real
// processes listening on the close-request channel.
class TestRestart : public HomeTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closeWithoutChangeLeavesCheckerRunning();
    void closeAfterChangeRestartsChecker();
    void restartStartsCheckerWhenNoneRuns();
    void stoppedCheckerIsReplaced();
    void missingCheckerIsReported_data();
    void missingCheckerIsReported();

private:
    // A store with one action whose page holds its check string, the options
    // set and a date of a last complete run.
    void fillStore();
    // Starts the built checker and waits until it listens.
    bool startChecker(QProcess &checker);
    // Starts the built checker of another store, under `configDir`.
    bool startOtherStoresChecker(QProcess &checker, const QString &configDir);
    // Presses "Close" and runs the program's event loop until config ends.
    bool closeConfig(ActionListWindow &listWindow);
    // "!Settings" as the store holds it now.
    QMap<QString, QString> settings() const;

    std::unique_ptr<HttpTestServer> server;
};

void TestRestart::initTestCase()
{
    QVERIFY2(!checkerProgram().isEmpty(), "the checker program is not built");
    // Checkers started by config inherit this environment: headless, and
    // never through a proxy of the machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
}

void TestRestart::init()
{
    HomeTest::init();
    server = std::make_unique<HttpTestServer>();
    QVERIFY(server->isListening());
    server->servePage("/page", "<html><body><p>Latest: version 2.25</p></body></html>");
}

void TestRestart::cleanup()
{
    // Every checker this test started goes, whatever the test left behind.
    closechannel::closeWindowsByTitle(QStringLiteral("Quorlin"));
    for (const qint64 pid : runningCheckers(home->configDir()))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    server.reset();
    HomeTest::cleanup();
}

void TestRestart::fillStore()
{
    Store store;
    QVERIFY(layout::append(store, Page, server->url(QStringLiteral("/page")),
                           QStringLiteral("version 2.25")));
    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("0")));
    QVERIFY(store.write(layout::Settings, layout::Limit, QStringLiteral("1")));
    QVERIFY(store.write(layout::Settings, layout::Always, QStringLiteral("1")));
    const QString today = dateText(QDate::currentDate());
    QVERIFY(store.write(layout::Settings, layout::TDate, today));
    QVERIFY(store.write(layout::Settings, layout::CheckDate, today));
}

bool TestRestart::startChecker(QProcess &checker)
{
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.start(checkerProgram(), {});
    if (!checker.waitForStarted(10000))
        return false;
    const qint64 pid = checker.processId();
    return QTest::qWaitFor([pid] { return listening(pid); }, 20000);
}

bool TestRestart::startOtherStoresChecker(QProcess &checker, const QString &configDir)
{
    Store other(configDir + QStringLiteral("/QL/QL.ini"));
    if (!layout::append(other, Page, server->url(QStringLiteral("/page")),
                        QStringLiteral("version 2.25")))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    checker.setProcessEnvironment(env);
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.start(checkerProgram(), {});
    return checker.waitForStarted(10000) &&
           QTest::qWaitFor([&] { return runningCheckers(configDir).size() == 1; }, 20000);
}

bool TestRestart::closeConfig(ActionListWindow &listWindow)
{
    QTimer::singleShot(0, &listWindow,
                       [&listWindow] { click(&listWindow, QStringLiteral("Command5")); });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec() == 0;
}

QMap<QString, QString> TestRestart::settings() const
{
    QMap<QString, QString> values;
    const QMap<QString, QString> contents = storeContents();
    for (auto entry = contents.begin(); entry != contents.end(); ++entry) {
        if (entry.key().startsWith(layout::Settings + QLatin1Char('/')))
            values.insert(entry.key(), entry.value());
    }
    return values;
}

// Browsing and deleting change nothing the checker reads at its start: Close
// ends config and leaves the checker alone.
void TestRestart::closeWithoutChangeLeavesCheckerRunning()
{
    fillStore();
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("Other"), QStringLiteral("http://h/o.html"),
                           QStringLiteral("v")));
    QProcess checker;
    QVERIFY(startChecker(checker));

    ActionListWindow listWindow(*script);
    listWindow.setProgramFolder(QStringLiteral(QUORLIN_BIN_DIR));
    listWindow.show();
    selectRow(listWindow, QStringLiteral("Other"));
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(rows(listWindow), QStringList{Page});
    QCOMPARE(listWindow.state().changesMade, false);
    const QByteArray before = storeBytes(home->storeFile());

    QVERIFY(closeConfig(listWindow));
    QCOMPARE(script->boxes.size(), 1); // the question of the deletion only
    QCOMPARE(storeBytes(home->storeFile()), before);
    QTest::qWait(500);
    QCOMPARE(checker.state(), QProcess::Running);
    QVERIFY(listening(checker.processId()));
    QCOMPARE(channelEntries(), QStringList{entryOf(checker.processId())});
    QCOMPARE(runningCheckers(home->configDir()), QList<qint64>{checker.processId()});

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(checker.waitForFinished(10000));
}

// After an accepted edit, Close ends the running checker, clears the date of
// the last run and starts one new checker from the program's folder.
void TestRestart::closeAfterChangeRestartsChecker()
{
    fillStore();
    QProcess checker;
    QVERIFY(startChecker(checker));
    const qint64 oldPid = checker.processId();

    ActionListWindow listWindow(*script);
    listWindow.setProgramFolder(QStringLiteral(QUORLIN_BIN_DIR));
    listWindow.show();
    selectRow(listWindow, Page);
    click(&listWindow, QStringLiteral("Command2"));
    child<QLineEdit>(listWindow.editorWindow(), QStringLiteral("Text3"))
        ->setText(QStringLiteral("Latest: version 2.25"));
    click(listWindow.editorWindow(), QStringLiteral("Command2"));
    QCOMPARE(listWindow.state().changesMade, true);
    QMap<QString, QString> expected = settings();
    expected.remove(QStringLiteral("!Settings/CheckDate"));

    QVERIFY(closeConfig(listWindow));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, RestartNote);
    QCOMPARE(script->boxes.at(0).title, QStringLiteral("Information:"));
    QCOMPARE(script->boxes.at(0).flags, 64);
    QCOMPARE(script->boxes.at(0).owner, static_cast<QObject *>(&listWindow));
    QCOMPARE(settings(), expected);
    QCOMPARE(Store().read(Page, layout::Check), QStringLiteral("Latest: version 2.25"));

    // The old checker has ended and its entry is gone.
    QVERIFY(checker.waitForFinished(10000));
    QCOMPARE(checker.exitStatus(), QProcess::NormalExit);
    QCOMPARE(checker.exitCode(), 0);
    QVERIFY(!channelEntries().contains(entryOf(oldPid)));

    // One new checker runs from the same folder and listens.
    QTRY_COMPARE_WITH_TIMEOUT(runningCheckers(home->configDir()).size(), 1, 20000);
    const qint64 newPid = runningCheckers(home->configDir()).first();
    QVERIFY(newPid != oldPid);
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(newPid)), checkerProgram());
    QTRY_VERIFY_WITH_TIMEOUT(listening(newPid), 20000);
    QTest::qWait(1000);
    QCOMPARE(runningCheckers(home->configDir()), QList<qint64>{newPid});
    QCOMPARE(channelEntries(), QStringList{entryOf(newPid)});

    // And it goes when asked, as the old one did.
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(runningCheckers(home->configDir()).isEmpty(), 10000);
}

// With no checker running, nobody is asked to close and one is started.
void TestRestart::restartStartsCheckerWhenNoneRuns()
{
    fillStore();
    Store store;
    QVERIFY(restart::restartChecker(store, QStringLiteral(QUORLIN_BIN_DIR), *script));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, RestartNote);
    QCOMPARE(store.read(layout::Settings, layout::CheckDate, QStringLiteral("<absent>")),
             QStringLiteral("<absent>"));
    QTRY_COMPARE_WITH_TIMEOUT(runningCheckers(home->configDir()).size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(listening(runningCheckers(home->configDir()).first()), 20000);
}

// A checker that takes the close request and never answers (stopped here)
// is ended after the wait, and the restart leaves exactly one checker, the
// new one. Another store's checker runs on through it all.
void TestRestart::stoppedCheckerIsReplaced()
{
    fillStore();
    QTemporaryDir otherHome;
    QProcess other;
    QVERIFY(startOtherStoresChecker(other, otherHome.path()));
    QProcess checker;
    QVERIFY(startChecker(checker));
    const qint64 oldPid = checker.processId();
    QCOMPARE(::kill(pid_t(oldPid), SIGSTOP), 0);

    Store store;
    QVERIFY(restart::restartChecker(store, QStringLiteral(QUORLIN_BIN_DIR), *script));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, RestartNote);
    QVERIFY(checker.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(runningCheckers(home->configDir()).size(), 1, 20000);
    const qint64 newPid = runningCheckers(home->configDir()).first();
    QVERIFY(newPid != oldPid);
    QTRY_VERIFY_WITH_TIMEOUT(listening(newPid), 20000);
    QTest::qWait(1000);
    QCOMPARE(runningCheckers(home->configDir()), QList<qint64>{newPid});
    QCOMPARE(other.state(), QProcess::Running);
    other.kill();
    QVERIFY(other.waitForFinished(10000));
}

void TestRestart::missingCheckerIsReported_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("empty folder") << "";
    QTest::newRow("not a program") << "just some text\n";
    QTest::newRow("folder") << "<folder>";
}

// The old checker has been asked to close before the checker is found
// missing: afterwards none runs, and the user is told.
void TestRestart::missingCheckerIsReported()
{
    QFETCH(QString, content);
    fillStore();
    QTemporaryDir folder;
    const QString program = restart::checkerPath(folder.path());
    if (content == QStringLiteral("<folder>")) {
        QVERIFY(QDir().mkpath(program));
    } else if (!content.isEmpty()) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.toUtf8());
    }
    QProcess checker;
    QVERIFY(startChecker(checker));
    const qint64 oldPid = checker.processId();

    bool oldListeningAtError = true;
    script->whileShown = [&](const ScriptedPrompts::Box &box) {
        if (box.title == QStringLiteral("Error:"))
            oldListeningAtError = channelEntries().contains(entryOf(oldPid));
    };
    Store store;
    QVERIFY(!restart::restartChecker(store, folder.path(), *script));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(0).text, RestartNote);
    QCOMPARE(script->boxes.at(1).text, NotInstalled);
    QCOMPARE(script->boxes.at(1).title, QStringLiteral("Error:"));
    QCOMPARE(script->boxes.at(1).flags, 16);
    QVERIFY(!oldListeningAtError);
    QVERIFY(checker.waitForFinished(10000));
    QCOMPARE(checker.exitCode(), 0);
    QTest::qWait(500);
    QVERIFY(runningCheckers(home->configDir()).isEmpty());
    QVERIFY(channelEntries().isEmpty());
    QCOMPARE(store.read(layout::Settings, layout::CheckDate, QStringLiteral("<absent>")),
             QStringLiteral("<absent>"));
}

QTEST_MAIN(TestRestart)
#include "tst_restart.moc"
