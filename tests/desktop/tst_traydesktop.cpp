#include "CheckerBench.h"
#include "CloseChannel.h"
#include "DesktopEntry.h"
#include "Layout.h"
#include "MessageBoxes.h"
#include "StatusWindow.h"
#include "Store.h"
#include "TestHome.h"
#include "XDesktop.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// The checker on an X screen of the test's own with a real XEmbed tray host
// (trayer), the way a session starts it: often before the panel is up, and
// sometimes on a desktop with no notification area at all.
class TestTrayDesktop : public QObject
{
    Q_OBJECT

public:
    explicit TestTrayDesktop(bool haveScreen) : haveScreen(haveScreen) {}

private slots:
    void initTestCase();

    void iconArrivesWithALaterTray();
    void menuOpensWhileARunWaitsInItsPrompt();
    void realCheckerStartedBeforeThePanel();
    void noTrayKeepsTheCheckerReachable();
    void menuEntryActionsReachTheChecker_data();
    void menuEntryActionsReachTheChecker();
    void endOfSessionUnloadsAsExitDoes();

private:
    bool haveScreen;
};

namespace
{

// One action, on a port where nothing listens: nothing is downloaded within
// the test anyway, the first checkpoint is a minute away.
bool storeOneAction(Store &store)
{
    return layout::append(store, QStringLiteral("Page"), QStringLiteral("http://127.0.0.1:9/"),
                          QStringLiteral("version 2.25"));
}

QString channelEntry(const QProcess &process)
{
    return closechannel::folder() + QStringLiteral("/Quorlin.") +
           QString::number(process.processId());
}

// Starts a checker program on the test's screen, its store and close-request
// folder the current TestHome's; true once it listens for close requests.
bool startChecker(QProcess &checker,
                  const QString &program = QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"),
                  const QStringList &arguments = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    checker.setProcessEnvironment(env);
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.setStandardOutputFile(QProcess::nullDevice());
    checker.start(program, arguments);
    return checker.waitForStarted(10000) &&
           QTest::qWaitFor([&] { return QFileInfo::exists(channelEntry(checker)); }, 20000);
}

// Whether the checker ends within seconds, on its own, with status 0.
bool endsCleanly(QProcess &checker)
{
    return checker.waitForFinished(10000) && checker.exitStatus() == QProcess::NormalExit &&
           checker.exitCode() == 0;
}

// The program a running process was started from, links resolved.
QString programOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath();
}

} // namespace

void TestTrayDesktop::initTestCase()
{
    const QStringList missing =
        xdesktop::missingPrograms({QStringLiteral("Xvfb"), QStringLiteral("trayer"),
                                   QStringLiteral("xdotool"), QStringLiteral("xwininfo")});
    if (!missing.isEmpty()) {
        const QByteArray why = "missing: " + missing.join(QLatin1Char(' ')).toLocal8Bit() +
                               " (packages xvfb trayer xdotool x11-utils)";
        if (xdesktop::inCi())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }
    QVERIFY2(haveScreen, "Xvfb did not come up");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(!xdesktop::trayOwned());
}

// The icon is shown before any tray exists; once trayer comes up, the icon is
// embedded in it, and a right click on it through the X server opens the menu
// with its five items, which the keyboard then works.
void TestTrayDesktop::iconArrivesWithALaterTray()
{
    TestHome home;
    CheckerBench bench;
    QVERIFY(storeOneAction(bench.store));
    QVERIFY(bench.tray.load());
    QVERIFY(bench.tray.icon()->isVisible());
    QVERIFY(bench.tray.icon()->geometry().isEmpty());

    xdesktop::Tray tray;
    QVERIFY(tray.start());
    QTRY_VERIFY_WITH_TIMEOUT(!bench.tray.icon()->geometry().isEmpty(), 10000);
    // Where the tray host put it, as the X server has it.
    QRect icon;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(icon = xdesktop::embeddedIcon(QCoreApplication::applicationName())).isEmpty(), 10000);

    xdesktop::click(icon.center(), 3);
    const QMenu &menu = bench.tray.menu();
    QTRY_VERIFY_WITH_TIMEOUT(menu.isVisible(), 10000);
    QStringList captions;
    const QList<QAction *> items = menu.actions();
    for (const QAction *item : items) {
        QVERIFY(item->isVisible() && item->isEnabled());
        captions.append(item->text());
    }
    QCOMPARE(captions, QStringList({QStringLiteral("&Debug"), QStringLiteral("&About"),
                                    QStringLiteral("&Check Now"), QStringLiteral("&Launch Config"),
                                    QStringLiteral("&Exit")}));
    // Opened where the pointer was, on the screen.
    QVERIFY(menu.geometry().adjusted(-2, -2, 2, 2).contains(icon.center()) ||
            menu.geometry().intersects(icon.adjusted(-40, -40, 40, 40)));
    QVERIFY(menu.screen()->geometry().contains(menu.geometry()));

    xdesktop::key(QStringLiteral("d"));
    QTRY_VERIFY_WITH_TIMEOUT(!menu.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        bench.tray.status().isLoaded() && bench.tray.status().form()->isVisible(), 10000);

    // Exit takes the icon out of the tray.
    bench.tray.unload();
    QTRY_VERIFY_WITH_TIMEOUT(xdesktop::embeddedIcon(QCoreApplication::applicationName()).isEmpty(),
                             10000);
}

// The visible message box titled `title`, if any.
static QMessageBox *openBox(const QString &title)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (box && box->isVisible() && box->windowTitle() == title)
            return box;
    }
    return nullptr;
}

// While a run waits in its retry prompt, the icon's menu still opens on the
// right button: Debug shows the action being processed with its failed
// downloads, and Check Now says that a run is under way. Once the prompt is
// answered the run finishes.
void TestTrayDesktop::menuOpensWhileARunWaitsInItsPrompt()
{
    TestHome home;
    MessageBoxes boxes;
    CheckerBench bench(&boxes);
    QVERIFY(storeOneAction(bench.store));
    QVERIFY(bench.tray.load());
    xdesktop::Tray tray;
    QVERIFY(tray.start());
    QRect icon;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(icon = xdesktop::embeddedIcon(QCoreApplication::applicationName())).isEmpty(), 10000);
    const QMenu &menu = bench.tray.menu();
    // A click that comes while a window is still being mapped can go astray;
    // the person clicks again.
    const auto chooseFromMenu = [&](const QString &key) {
        for (int attempt = 0; attempt < 5 && !menu.isVisible(); ++attempt) {
            xdesktop::click(icon.center(), 3);
            static_cast<void>(QTest::qWaitFor([&] { return menu.isVisible(); }, 2000));
        }
        if (!menu.isVisible())
            return false;
        xdesktop::key(key);
        return true;
    };

    // Check Now's question is answered Yes and the busy message OK as they
    // come; the retry prompt waits for
    // the test, or for a failure of it, so that the run never hangs.
    QStringList busyTexts;
    bool answerRetry = false;
    QTimer answering;
    connect(&answering, &QTimer::timeout, [&] {
        if (QMessageBox *busy = openBox(QStringLiteral("Error:"))) {
            busyTexts.append(busy->text());
            busy->button(QMessageBox::Ok)->click();
        }
        if (QMessageBox *question = openBox(QStringLiteral("Question:")))
            question->button(QMessageBox::Yes)->click();
        QMessageBox *retry = openBox(QStringLiteral("Quorlin Error:"));
        if (retry && answerRetry)
            retry->button(QMessageBox::No)->click();
    });
    answering.start(100);

    // What the person does once the retry prompt is open, from inside the
    // prompt's own event loop.
    QString processing;
    QString retries;
    bool menuOpened = false;
    bool checkedNow = false;
    QTimer driving;
    connect(&driving, &QTimer::timeout, [&] {
        if (!openBox(QStringLiteral("Quorlin Error:")))
            return;
        driving.stop();
        const auto answerAtLast = qScopeGuard([&] { answerRetry = true; });
        if (!(menuOpened = chooseFromMenu(QStringLiteral("d"))))
            return;
        if (!QTest::qWaitFor(
                [&] {
                    return bench.tray.status().isLoaded() &&
                           bench.tray.status().form()->isVisible();
                },
                10000))
            return;
        processing = bench.tray.status().form()->ui.Label1->text();
        retries = bench.tray.status().form()->ui.Label2->text();
        checkedNow = chooseFromMenu(QStringLiteral("c")) &&
                     QTest::qWaitFor([&] { return !busyTexts.isEmpty(); }, 10000);
    });
    driving.start(100);
    // Check Now, answered Yes: the run waits in the retry prompt.
    bench.tray.menuItem(TrayController::MenuItem::CheckNow)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        bench.tray.runState().checksSinceStart == 1 && !bench.tray.runState().inProgress, 60000);

    QVERIFY(menuOpened);
    QCOMPARE(processing, QStringLiteral("Processing: Page"));
    QCOMPARE(retries, QStringLiteral("Connection Retry: 2"));
    QVERIFY(checkedNow);
    QCOMPARE(busyTexts, QStringList{QStringLiteral(
                            "Checking currently in progress. Please try again later.")});
    QCOMPARE(bench.tray.runState().inProgress, false);
    QCOMPARE(bench.store.read(QStringLiteral("!Settings"), QStringLiteral("CheckDate")),
             bench.clock.todayText());
}

// The built checker, started through a link in another folder before the
// panel, as a session's autostart does: its icon lands in the tray that comes
// up later, its menu opens on a right click, and its Launch Config starts
// config from the checker's own folder, past the link.
void TestTrayDesktop::realCheckerStartedBeforeThePanel()
{
    TestHome home;
    Store store;
    QVERIFY(storeOneAction(store));
    QTemporaryDir commands;
    const QString command = commands.path() + QStringLiteral("/quorlin");
    QVERIFY(QFile::link(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"), command));

    QProcess checker;
    QVERIFY(startChecker(checker, command));
    // The splash goes after three seconds; then no window of it is mapped.
    QTRY_VERIFY_WITH_TIMEOUT(xdesktop::visibleWindows(QStringLiteral("Quorlin")).isEmpty(), 15000);

    xdesktop::Tray tray;
    QVERIFY(tray.start());
    QRect icon;
    QTRY_VERIFY_WITH_TIMEOUT(!(icon = xdesktop::embeddedIcon(QStringLiteral("Quorlin"))).isEmpty(),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(xdesktop::visibleWindows(QStringLiteral("Quorlin")).size(), 1, 10000);

    xdesktop::click(icon.center(), 3);
    // The menu is the second mapped window.
    QTRY_COMPARE_WITH_TIMEOUT(xdesktop::visibleWindows(QStringLiteral("Quorlin")).size(), 2, 10000);
    xdesktop::key(QStringLiteral("l"));

    QString config;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(config = xdesktop::run(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--name"), QStringLiteral("^Quorlin Config$")}))
             .isEmpty(),
        20000);
    const qint64 configPid =
        xdesktop::run(QStringLiteral("xdotool"),
                      {QStringLiteral("getwindowpid"), config.section(QLatin1Char('\n'), 0, 0)})
            .toLongLong();
    QVERIFY(configPid > 0);
    QCOMPARE(programOf(configPid),
             QFileInfo(QStringLiteral(QUORLIN_BIN_DIR "/config")).canonicalFilePath());
    ::kill(pid_t(configPid), SIGTERM);

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(endsCleanly(checker));
}

// With no notification area at all the checker goes on running, past its
// splash, and the close request still reaches and ends it.
void TestTrayDesktop::noTrayKeepsTheCheckerReachable()
{
    TestHome home;
    Store store;
    QVERIFY(storeOneAction(store));
    QVERIFY(!xdesktop::trayOwned());

    QProcess checker;
    QVERIFY(startChecker(checker));
    QTRY_VERIFY_WITH_TIMEOUT(!xdesktop::visibleWindows(QStringLiteral("Quorlin")).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(xdesktop::visibleWindows(QStringLiteral("Quorlin")).isEmpty(), 15000);
    QCOMPARE(checker.state(), QProcess::Running);

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(endsCleanly(checker));
}

namespace
{

// The command line of the menu entry's action `action` ("debug"), or of the
// entry itself when empty, with the built checker as its command.
QStringList menuEntryCommand(const QString &action)
{
    const QString group = action.isEmpty() ? QStringLiteral("Desktop Entry")
                                           : QStringLiteral("Desktop Action ") + action;
    return desktopEntryValue(QStringLiteral(QUORLIN_MENU_ENTRY), group, QStringLiteral("Exec"))
        .replace(QStringLiteral("@QUORLIN_CHECKER_EXEC@"),
                 QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Whether a window titled exactly `title` is mapped on the screen.
bool windowShown(const QString &title)
{
    return !xdesktop::run(QStringLiteral("xdotool"),
                          {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                           QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')})
                .isEmpty();
}

} // namespace

// On a desktop with no notification area, each action of the menu entry
// reaches the running checker as its menu item would: the command hands it
// over and ends with status 0, and the checker shows the window, asks the
// question, starts config or ends. With none running, Debug starts one that
// shows its status window; so does the entry itself with one running.
void TestTrayDesktop::menuEntryActionsReachTheChecker_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Debug") << "debug" << true << "Debug Window";
    QTest::newRow("About") << "about" << true << "About Quorlin";
    QTest::newRow("Check Now") << "check-now" << true << "Question:";
    QTest::newRow("Launch Config") << "launch-config" << true << "Quorlin Config";
    QTest::newRow("Exit") << "exit" << true << QString();
    QTest::newRow("the entry itself") << QString() << true << "Debug Window";
    QTest::newRow("Debug, none running") << "debug" << false << "Debug Window";
}

void TestTrayDesktop::menuEntryActionsReachTheChecker()
{
    QFETCH(QString, action);
    QFETCH(bool, running);
    QFETCH(QString, shown);
    TestHome home;
    Store store;
    QVERIFY(storeOneAction(store));
    QVERIFY(!xdesktop::trayOwned());
    QProcess checker;
    if (running) {
        QVERIFY(startChecker(checker));
        QTRY_VERIFY_WITH_TIMEOUT(!windowShown(QStringLiteral("Quorlin")), 15000);
    }
    QStringList command = menuEntryCommand(action);
    QVERIFY(!command.isEmpty());
    QProcess chosen;
    const QString program = command.takeFirst();
    if (running) {
        chosen.start(program, command);
        QVERIFY(chosen.waitForFinished(10000));
        QCOMPARE(chosen.exitCode(), 0);
    } else {
        QVERIFY(startChecker(chosen, program, command));
    }

    if (shown.isEmpty()) {
        QVERIFY(endsCleanly(checker));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(shown), 20000);
    if (shown == QStringLiteral("Quorlin Config")) {
        const QString window = xdesktop::run(QStringLiteral("xdotool"),
                                             {QStringLiteral("search"), QStringLiteral("--name"),
                                              QStringLiteral("^Quorlin Config$")});
        ::kill(pid_t(xdesktop::run(
                         QStringLiteral("xdotool"),
                         {QStringLiteral("getwindowpid"), window.section(QLatin1Char('\n'), 0, 0)})
                         .toLongLong()),
               SIGTERM);
    }
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(endsCleanly(running ? checker : chosen));
}

// At log-off the session sends SIGTERM: the checker takes its icon out of the
// tray and its entry out of the channel, and ends with status 0.
void TestTrayDesktop::endOfSessionUnloadsAsExitDoes()
{
    TestHome home;
    Store store;
    QVERIFY(storeOneAction(store));
    xdesktop::Tray tray;
    QVERIFY(tray.start());

    QProcess checker;
    QVERIFY(startChecker(checker));
    const QString entry = channelEntry(checker);
    QTRY_VERIFY_WITH_TIMEOUT(!xdesktop::embeddedIcon(QStringLiteral("Quorlin")).isEmpty(), 10000);

    checker.terminate();
    QVERIFY(endsCleanly(checker));
    QVERIFY(!QFileInfo::exists(entry));
    QTRY_VERIFY_WITH_TIMEOUT(xdesktop::embeddedIcon(QStringLiteral("Quorlin")).isEmpty(), 10000);
}

// The screen must be up, and the platform chosen, before the application
// connects to its display.
int main(int argc, char *argv[])
{
    xdesktop::VirtualScreen screen;
    const bool haveScreen = screen.start(1024, 768);
    qputenv("QT_QPA_PLATFORM", haveScreen ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestTrayDesktop test(haveScreen);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_traydesktop.moc"
