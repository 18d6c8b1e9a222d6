// Pictures of the checker for the README, taken on the X screen named by
// DISPLAY (scripts/screenshots.sh starts one with a window manager and a
// tray host): the tray icon with its menu open, the status window during a
// run, the update prompt of that run, and the About window.
//
// The checked page comes from a loopback server that stands in as the proxy,
// so the pictures show an ordinary web address and nothing leaves the machine.

#include "CheckerAboutWindow.h"
#include "CheckerBench.h"
#include "MessageBoxes.h"
#include "Pictures.h"
#include "SplashWindow.h"
#include "StatusWindow.h"
#include "StatusWindowHost.h"
#include "TestHome.h"
#include "XDesktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace
{

// Lets the window manager frame and the window paint itself.
void settle()
{
    QTest::qWait(600);
}

bool saveWindow(QWidget *window, const QString &file)
{
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    settle();
    return xdesktop::saveScreen(window->frameGeometry(), file);
}

bool fail(const char *what)
{
    std::fprintf(stderr, "shots_checker: %s\n", what);
    return false;
}

class CheckerShots
{
public:
    explicit CheckerShots(const QString &folder) : folder(folder) {}
    bool run();

private:
    bool trayMenu();
    bool runWithPrompt();
    bool about();
    // Answers the boxes of Check Now: Yes to the question, and, once its
    // picture and the status window's are taken, No to the update prompt.
    void answerBoxes();
    QString file(const char *name) const { return folder + QLatin1Char('/') + name; }

    QString folder;
    TestHome home;
    HttpTestServer proxy;
    Store store;
    PageDownload pageDownload;
    FakeConnection connection;
    RecordingBrowser browser;
    MessageBoxes prompts;
    SystemClock clock;
    TrayController tray{CheckerParts{store, pageDownload,
                                     [this](const QString &text) { pageDownload.setProxy(text); },
                                     connection, browser, prompts, clock}};
    bool promptTaken = false;
    bool promptSaved = false;
};

bool CheckerShots::run()
{
    const QString url = QStringLiteral("http://www.example.org/editor/downloads.html");
    proxy.servePage(url.toLatin1(), "<html><body><h1>Downloads</h1><p>The latest release is "
                                    "version 2.26, out on 12 March.</p></body></html>");
    if (!layout::append(store, QStringLiteral("Editor downloads"), url,
                        QStringLiteral("version 2.25")) ||
        !store.write(layout::Settings, layout::Fw, QStringLiteral("1")) ||
        !store.write(layout::Settings, layout::FwIp, QStringLiteral("127.0.0.1")) ||
        !store.write(layout::Settings, layout::FwPort, QString::number(proxy.port())))
        return fail("cannot write the store");
    if (!tray.load())
        return fail("the checker did not start");
    return trayMenu() && runWithPrompt() && about();
}

bool CheckerShots::trayMenu()
{
    QRect icon;
    if (!QTest::qWaitFor(
            [&] { return !(icon = xdesktop::embeddedIcon(QStringLiteral("Quorlin"))).isEmpty(); },
            15000))
        return fail("the icon did not reach the tray");
    // The splash goes after three seconds.
    if (!QTest::qWaitFor([&] { return !tray.splash()->isVisible(); }, 10000))
        return fail("the splash stayed");
    settle();
    // At the icon's lower left corner: the menu opens to the left of the
    // pointer at the screen's edge, and leaves the icon in sight.
    xdesktop::click(QPoint(icon.left() + 1, icon.bottom() - 4), 3);
    if (!QTest::qWaitFor([&] { return tray.menu().isVisible(); }, 10000))
        return fail("the menu did not open");
    settle();
    // The right end of the panel, from the top of the screen, with the menu.
    const QRect menu = tray.menu().frameGeometry();
    const QRect screen = tray.menu().screen()->geometry();
    const QRect area(QPoint(menu.left() - 80, screen.top()),
                     QPoint(screen.right(), menu.bottom() + 30));
    const bool saved = xdesktop::saveScreen(area, file("tray-menu.png"));
    xdesktop::key(QStringLiteral("Escape"));
    static_cast<void>(QTest::qWaitFor([&] { return !tray.menu().isVisible(); }, 5000));
    return saved || fail("cannot save the menu");
}

void CheckerShots::answerBoxes()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    if (box->windowTitle() == QLatin1String("Site Updated:") && !promptTaken) {
        promptTaken = true;
        // Beside the status window, not over it.
        StatusWindow *status = tray.status().form();
        box->move(status->frameGeometry().right() + 30, status->frameGeometry().top() + 40);
        promptSaved = saveWindow(box, file("update-prompt.png")) &&
                      saveWindow(status, file("status-window.png"));
        box->button(QMessageBox::No)->click();
    } else if (QAbstractButton *yes = box->button(QMessageBox::Yes)) {
        settle();
        yes->click();
    }
}

bool CheckerShots::runWithPrompt()
{
    tray.menuItem(TrayController::MenuItem::Debug)->trigger();
    if (!QTest::qWaitFor(
            [&] { return tray.status().isLoaded() && tray.status().form()->isVisible(); }, 5000))
        return fail("the status window did not open");
    tray.status().form()->move(40, 60);
    settle();

    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [this] { answerBoxes(); });
    boxes.start(200);
    tray.menuItem(TrayController::MenuItem::CheckNow)->trigger();
    if (!QTest::qWaitFor([&] { return promptTaken && !tray.runState().inProgress; }, 60000))
        return fail("the run did not reach the update prompt");
    boxes.stop();
    tray.status().hide();
    return promptSaved || fail("cannot save the prompt or the status window");
}

bool CheckerShots::about()
{
    tray.menuItem(TrayController::MenuItem::About)->trigger();
    if (!QTest::qWaitFor([&] { return tray.aboutLoaded() && tray.about()->isVisible(); }, 5000))
        return fail("the About window did not open");
    const bool saved = saveWindow(tray.about(), file("about-checker.png"));
    tray.about()->hide();
    return saved || fail("cannot save the About window");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlin"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(pictures::programIcon());
    if (argc != 2 || QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "usage: shots_checker <folder>, on an X display\n");
        return 2;
    }
    CheckerShots shots(QString::fromLocal8Bit(argv[1]));
    return shots.run() ? 0 : 1;
}
