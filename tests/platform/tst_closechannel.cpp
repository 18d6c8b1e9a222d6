#include "CloseChannel.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

int modeOf(const QString &path)
{
    struct stat info {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

QString entryOf(qint64 pid)
{
    return closechannel::folder() + QStringLiteral("/Quorlin.") + QString::number(pid);
}

// Runs a close request on a thread of its own, so that a listener in this
// thread can answer it.
int closeFromAnotherThread(const QString &text, const std::function<bool()> &whileWaiting)
{
    int confirmed = -1;
    std::unique_ptr<QThread> sender(
        QThread::create([&] { confirmed = closechannel::closeWindowsByTitle(text); }));
    sender->start();
    while (!sender->wait(10)) {
        QCoreApplication::processEvents();
        if (!whileWaiting())
            break;
    }
    sender->wait();
    return confirmed;
}

// Connects to the socket `path` from a process running as `uid`, writes
// `request` and returns what comes back within 2 s, up to the first line
// break; the connection may also be dropped.
QByteArray peerTalk(const QString &path, const QByteArray &request, uid_t uid)
{
    int answerPipe[2];
    if (::pipe(answerPipe) != 0)
        return "no pipe";
    const QByteArray socketPath = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answerPipe[0]);
        if (uid != ::geteuid() && (::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(3);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(4);
        // A connection dropped at once is an answer too.
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        pollfd ready{fd, POLLIN, 0};
        char byte = 0;
        while (::poll(&ready, 1, 2000) > 0 && ::read(fd, &byte, 1) == 1) {
            if (::write(answerPipe[1], &byte, 1) != 1 || byte == '\n')
                break;
        }
        ::_exit(0);
    }
    ::close(answerPipe[1]);
    QByteArray answer;
    char byte = 0;
    while (::read(answerPipe[0], &byte, 1) == 1)
        answer.append(byte);
    ::close(answerPipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "client failed: " + QByteArray::number(WEXITSTATUS(status));
    return answer;
}

} // namespace

class TestCloseChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listenerMakesPrivateEntry();
    void storesMeetInFoldersOfTheirOwn();
    void wideFolderIsTightened();
    void linkedFolderIsRefused();
    void requestAndReply();
    void liveEntryWithoutListenerStays();
    void silentListenerIsLeftAfterTheWait();

    void closeEndsTheChecker();
    void killedCheckerEntryIsCleanedUp();
    void eachStoreClosesItsOwnChecker();
    void laterStartHandsOver_data();
    void laterStartHandsOver();
    void startsAtOnceLeaveOne();
    void requestsOnTheGuard_data();
    void requestsOnTheGuard();
    void titleMatching_data();
    void titleMatching();

    void secondEditorHandsOverToTheFirst();
    void unusableRuntimeFolder_data();
    void unusableRuntimeFolder();

private:
    // Starts the built checker over a store with one action whose page lies on
    // the loopback server (the test's own, or the one under `configHome`), and
    // waits for its entry.
    QProcess *startChecker(const QString &configHome = {}, const QStringList &arguments = {});
    // Another store, with the same one action.
    void fillStore(const QString &configHome);
    void stopCheckers();

    std::unique_ptr<TestHome> home;
    std::unique_ptr<HttpTestServer> server;
    QList<QProcess *> checkers;
};

void TestCloseChannel::init()
{
    home = std::make_unique<TestHome>();
    server = std::make_unique<HttpTestServer>();
    server->servePage("/page", "<html><body><p>version 2.25</p></body></html>");
    fillStore(home->configDir());
}

void TestCloseChannel::fillStore(const QString &configHome)
{
    Store store(configHome + QStringLiteral("/QL/QL.ini"));
    QVERIFY(layout::append(store, QStringLiteral("Page"), server->url(QStringLiteral("/page")),
                           QStringLiteral("version 2.25")));
}

void TestCloseChannel::cleanup()
{
    stopCheckers();
    server.reset();
    home.reset();
}

QProcess *TestCloseChannel::startChecker(const QString &configHome, const QStringList &arguments)
{
    auto *checker = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!configHome.isEmpty())
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    checker->setProcessEnvironment(env);
    checker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker->start(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"), arguments);
    checkers.append(checker);
    if (!checker->waitForStarted(10000) || !configHome.isEmpty())
        return checker;
    const QString entry = entryOf(checker->processId());
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(entry) && !deadline.hasExpired() && checker->state() == QProcess::Running)
        QTest::qWait(20);
    return checker;
}

void TestCloseChannel::stopCheckers()
{
    for (QProcess *checker : std::as_const(checkers)) {
        if (checker->state() != QProcess::NotRunning) {
            checker->kill();
            checker->waitForFinished(10000);
        }
        delete checker;
    }
    checkers.clear();
}

void TestCloseChannel::listenerMakesPrivateEntry()
{
    QVERIFY(!QFile::exists(closechannel::folder()));
    CloseListener listener(QStringLiteral("Quorlin"));
    QVERIFY(listener.listen());
    QCOMPARE(closechannel::folder(),
             home->runtimeDir() + QStringLiteral("/QL/") + closechannel::storeIdentity());
    QCOMPARE(modeOf(home->runtimeDir() + QStringLiteral("/QL")), 0700);
    QCOMPARE(modeOf(closechannel::folder()), 0700);
    QVERIFY(QFile::exists(entryOf(QCoreApplication::applicationPid())));
}

// Each store has its own folder in the runtime folder, whatever name leads
// to the store.
void TestCloseChannel::storesMeetInFoldersOfTheirOwn()
{
    const QString own = closechannel::storeIdentity();
    const QString linked = QFileInfo(home->configDir()).path() + QStringLiteral("/linked");
    QVERIFY(QFile::link(home->configDir(), linked));
    {
        const OtherStore throughLink(linked);
        QCOMPARE(closechannel::storeIdentity(), own);
    }
    QTemporaryDir another;
    const OtherStore other(another.path());
    QVERIFY(closechannel::storeIdentity() != own);
}

void TestCloseChannel::wideFolderIsTightened()
{
    QVERIFY(QDir().mkpath(closechannel::folder()));
    QVERIFY(::chmod(QFile::encodeName(closechannel::folder()).constData(), 0777) == 0);
    CloseListener listener(QStringLiteral("Quorlin"));
    QVERIFY(listener.listen());
    QCOMPARE(modeOf(closechannel::folder()), 0700);
}

// A folder that is a link could lead anywhere: neither side uses it. The
// listener has the folder beside the store.
void TestCloseChannel::linkedFolderIsRefused()
{
    const QString elsewhere = home->runtimeDir() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QDir().mkpath(QFileInfo(closechannel::folder()).path()));
    QVERIFY(QFile::link(elsewhere, closechannel::folder()));
    {
        CloseListener listener(QStringLiteral("Quorlin"));
        QVERIFY(listener.listen());
        QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
        QVERIFY(QFile::exists(closechannel::fallbackFolder() + QStringLiteral("/Quorlin.") +
                              QString::number(QCoreApplication::applicationPid())));
    }

    QFile stray(elsewhere + QStringLiteral("/Quorlin.999999"));
    QVERIFY(stray.open(QIODevice::WriteOnly));
    stray.close();
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 0);
    QVERIFY(stray.exists());
}

void TestCloseChannel::requestAndReply()
{
    CloseListener listener(QStringLiteral("Quorlin"));
    QVERIFY(listener.listen());
    QSignalSpy requested(&listener, &CloseListener::closeRequested);
    bool entryGoneAtReply = false;
    connect(&listener, &CloseListener::closeRequested, this, [&] {
        listener.reply();
        entryGoneAtReply = !QFile::exists(entryOf(QCoreApplication::applicationPid()));
    });
    const int confirmed = closeFromAnotherThread(QStringLiteral("Quorlin"), [] { return true; });
    QCOMPARE(confirmed, 1);
    QCOMPARE(requested.size(), 1);
    QVERIFY(entryGoneAtReply);
}

// An entry nobody listens on is kept while its process lives (it may be a
// checker that is still starting).
void TestCloseChannel::liveEntryWithoutListenerStays()
{
    QVERIFY(QDir().mkpath(closechannel::folder()));
    const QString entry = entryOf(QCoreApplication::applicationPid());
    QFile file(entry);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 0);
    QVERIFY(QFile::exists(entry));
}

// A listener that takes the request and never answers costs the sender at
// most its wait; its entry stays.
void TestCloseChannel::silentListenerIsLeftAfterTheWait()
{
    QVERIFY(QDir().mkpath(closechannel::folder()));
    QLocalServer silent;
    const QString entry = entryOf(QCoreApplication::applicationPid());
    QVERIFY(silent.listen(entry));
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 0);
    QVERIFY(QFile::exists(entry));
}

void TestCloseChannel::closeEndsTheChecker()
{
    QProcess *checker = startChecker();
    const QString entry = entryOf(checker->processId());
    QVERIFY(QFile::exists(entry));

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(!QFile::exists(entry));
    QVERIFY(checker->waitForFinished(10000));
    QCOMPARE(checker->exitStatus(), QProcess::NormalExit);
    QCOMPARE(checker->exitCode(), 0);
}

void TestCloseChannel::killedCheckerEntryIsCleanedUp()
{
    QProcess *checker = startChecker();
    const QString entry = entryOf(checker->processId());
    QVERIFY(QFile::exists(entry));
    checker->kill();
    QVERIFY(checker->waitForFinished(10000));
    QVERIFY(QFile::exists(entry));

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 0);
    QVERIFY(!QFile::exists(entry));
}

// Checkers of two stores run side by side, each reached by the close
// request of its own store alone.
void TestCloseChannel::eachStoreClosesItsOwnChecker()
{
    QTemporaryDir otherHome;
    fillStore(otherHome.path());
    QProcess *first = startChecker();
    QProcess *second = startChecker(otherHome.path());
    QVERIFY(QFile::exists(entryOf(first->processId())));
    {
        const OtherStore other(otherHome.path());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(entryOf(second->processId())), 20000);
    }

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitCode(), 0);
    QCOMPARE(second->state(), QProcess::Running);
    {
        const OtherStore other(otherHome.path());
        QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    }
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
}

// A later start of the checker of the same store, also from where the
// runtime folder cannot be used (over ssh -X) or no display is there, hands
// its request to the one that runs and ends with status 0; the first runs
// on, alone.
void TestCloseChannel::laterStartHandsOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("withRuntime");
    QTest::newRow("plain start") << QStringList() << true;
    QTest::newRow("plain start without the runtime folder") << QStringList() << false;
    QTest::newRow("--about") << QStringList{QStringLiteral("--about")} << true;
    QTest::newRow("--debug without the runtime folder")
        << QStringList{QStringLiteral("--debug")} << false;
    // Over ssh: no display to connect to, which the hand-over never needs.
    QTest::newRow("--check-now over ssh, no display")
        << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"),
                       QStringLiteral("--check-now")}
        << false;
}

void TestCloseChannel::laterStartHandsOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, withRuntime);
    QProcess *running = startChecker();
    QVERIFY(QFile::exists(entryOf(running->processId())));
    if (!withRuntime)
        qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    QProcess *later = startChecker(home->configDir(), arguments);
    QVERIFY(later->waitForFinished(10000));
    QCOMPARE(later->exitStatus(), QProcess::NormalExit);
    QCOMPARE(later->exitCode(), 0);
    QCOMPARE(running->state(), QProcess::Running);
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(running->waitForFinished(10000));
}

// Of three checkers started at the same moment on one store, one runs; the
// others hand over to it and end with status 0.
void TestCloseChannel::startsAtOnceLeaveOne()
{
    QList<QProcess *> started;
    for (int i = 0; i < 3; ++i)
        started.append(startChecker(home->configDir()));
    QTRY_COMPARE_WITH_TIMEOUT(std::count_if(started.begin(), started.end(),
                                            [](const QProcess *checker) {
                                                return checker->state() == QProcess::NotRunning;
                                            }),
                              2, 30000);
    QTest::qWait(500);
    QProcess *running = nullptr;
    for (QProcess *checker : std::as_const(started)) {
        if (checker->state() == QProcess::NotRunning)
            QCOMPARE(checker->exitCode(), 0);
        else
            running = checker;
    }
    QVERIFY(running);
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(running->waitForFinished(10000));
}

// The running checker takes only the requests it knows, and only from the
// user's own processes: another user's, even with the folders opened to it,
// is dropped unanswered, and a request with anything more is no request.
void TestCloseChannel::requestsOnTheGuard_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("otherUser");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("exit") << QByteArray("exit\n") << false << QByteArray("taken\n");
    QTest::newRow("another user's exit") << QByteArray("exit\n") << true << QByteArray();
    QTest::newRow("unknown") << QByteArray("close\n") << false << QByteArray();
    QTest::newRow("with a path") << QByteArray("launch-config /bin/sh\n") << false << QByteArray();
    QTest::newRow("no line break") << QByteArray(200, 'x') << false << QByteArray();
}

void TestCloseChannel::requestsOnTheGuard()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, otherUser);
    QFETCH(QByteArray, answer);
    QProcess *checker = startChecker();
    QVERIFY(QFile::exists(entryOf(checker->processId())));
    const QString guard = closechannel::fallbackFolder() + QStringLiteral("/Quorlin-window");
    if (otherUser) {
        // Open the way to the entry from the test's own folder on, as a
        // careless mode would.
        const QString top = QFileInfo(home->configDir()).path();
        for (QString path = closechannel::fallbackFolder(); path.startsWith(top);
             path = QFileInfo(path).path())
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(guard).constData(), 0777), 0);
    }
    QCOMPARE(peerTalk(guard, request, otherUser ? 65534 : ::geteuid()), answer);
    if (answer.isEmpty()) {
        QVERIFY(!checker->waitForFinished(500));
        QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    }
    QVERIFY(checker->waitForFinished(10000));
    QCOMPARE(checker->exitCode(), 0);
}

void TestCloseChannel::titleMatching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("closes");
    QTest::newRow("whole title") << QStringLiteral("Quorlin") << true;
    QTest::newRow("start") << QStringLiteral("Quor") << true;
    QTest::newRow("middle") << QStringLiteral("orli") << true;
    QTest::newRow("end") << QStringLiteral("lin") << true;
    QTest::newRow("lower case") << QStringLiteral("quorlin") << false;
    QTest::newRow("upper case") << QStringLiteral("QUORLIN") << false;
    QTest::newRow("with the dot") << QStringLiteral("Quorlin.") << false;
    QTest::newRow("the process id") << QStringLiteral("1") << false;
    QTest::newRow("longer") << QStringLiteral("Quorlin Config") << false;
}

void TestCloseChannel::titleMatching()
{
    QFETCH(QString, text);
    QFETCH(bool, closes);
    QProcess *checker = startChecker();
    const QString entry = entryOf(checker->processId());
    QVERIFY(QFile::exists(entry));

    QCOMPARE(closechannel::closeWindowsByTitle(text), closes ? 1 : 0);
    if (closes) {
        QVERIFY(checker->waitForFinished(10000));
        QVERIFY(!QFile::exists(entry));
    } else {
        QVERIFY(!checker->waitForFinished(300));
        QVERIFY(QFile::exists(entry));
        QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
        QVERIFY(checker->waitForFinished(10000));
    }
}

// A second editor started while one runs hands over to it and ends at once,
// with no window or box of its own and without touching the store. A killed
// editor's entries keep no later one out.
void TestCloseChannel::secondEditorHandsOverToTheFirst()
{
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("a"), QStringLiteral("http://h/a.html"),
                           QStringLiteral("check a")));
    const auto storeBytes = [this] {
        QFile file(home->storeFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = storeBytes();
    const QString editor = QStringLiteral(QUORLIN_BIN_DIR "/config");
    const QString entry = closechannel::folder() + QStringLiteral("/config-window");
    const auto answers = [&entry] {
        QLocalSocket socket;
        socket.connectToServer(entry);
        return socket.waitForConnected(1000);
    };

    QProcess first;
    first.start(editor, {});
    QTRY_VERIFY_WITH_TIMEOUT(answers(), 30000);
    QProcess second;
    second.start(editor, {});
    // A box of its own would wait for an answer that never comes.
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(storeBytes(), before);

    first.kill();
    QVERIFY(first.waitForFinished(30000));
    QProcess third;
    third.start(editor, {});
    QTRY_VERIFY_WITH_TIMEOUT(answers(), 30000);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    QVERIFY(third.waitForFinished(30000));
}

// Where the runtime folder cannot be used (after su, over ssh -X), Close
// still ends the one checker and a second editor still hands over, also from
// a session without one to a session with one. $XDG_RUNTIME_DIR, of this
// process and of those it starts, as a path under the test's folder.
void TestCloseChannel::unusableRuntimeFolder_data()
{
    QTest::addColumn<QString>("programs");
    QTest::addColumn<QString>("request");
    QTest::newRow("unset") << QString() << QString();
    // Nobody can make it, not even root (Qt makes a missing one where it can).
    QTest::newRow("missing under a plain file") << "plain/run"
                                                << "plain/run";
    // Root passes every permission check: only the owner tells.
    QTest::newRow("another user's") << "other"
                                    << "other";
    QTest::newRow("programs with, request without") << "run" << QString();
}

void TestCloseChannel::unusableRuntimeFolder()
{
    QFETCH(QString, programs);
    QFETCH(QString, request);
    const QString base = QFileInfo(home->runtimeDir()).path() + QLatin1Char('/');
    QFile plain(base + QStringLiteral("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly) && QDir().mkdir(base + QStringLiteral("other")));
    if (::chown(QFile::encodeName(base + QStringLiteral("other")).constData(), 65534, 65534))
        QSKIP("cannot make a folder of another user's");
    const auto useRuntime = [&base](const QString &path) {
        if (path.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + path));
    };
    const QString editor = QStringLiteral(QUORLIN_BIN_DIR "/config");

    useRuntime(programs);
    QProcess *checker = startChecker();
    QVERIFY(QFile::exists(entryOf(checker->processId())));
    QProcess first;
    first.start(editor, {});
    QTRY_VERIFY_WITH_TIMEOUT(
        QFile::exists(closechannel::fallbackFolder() + QStringLiteral("/config-window")), 30000);

    useRuntime(request);
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(checker->waitForFinished(10000));
    QCOMPARE(checker->exitCode(), 0);
    QProcess second;
    second.start(editor, {});
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    QVERIFY(first.waitForFinished(30000));
}

QTEST_MAIN(TestCloseChannel)
#include "tst_closechannel.moc"
