// The picture of the checker's tray menu on a Wayland desktop for the README:
// sway (headless) with waybar's tray, the checker on Qt's Wayland platform,
// and a right click on its icon through a virtual pointer, which opens the
// menu the checker exports, drawn by the tray host itself.

#include "Layout.h"
#include "Store.h"
#include "TestHome.h"
#include "WaylandDesktop.h"

#include <QCoreApplication>
#include <QTest>
#include <cstdio>

namespace
{

bool fail(const char *what)
{
    std::fprintf(stderr, "shots_wayland: %s\n", what);
    return false;
}

bool takeTrayMenu(const QString &file)
{
    wldesktop::Desktop desktop;
    QString why;
    if (!desktop.start(&why))
        return fail(qPrintable(why));
    TestHome home;
    Store store;
    if (!layout::append(store, QStringLiteral("Changelog"),
                        QStringLiteral("https://example.org/changes"),
                        QStringLiteral("version 2.25")))
        return fail("cannot write the store");

    QProcess checker;
    checker.setProcessEnvironment(desktop.environment());
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.start(wldesktop::checkerProgram(), {});
    if (!QTest::qWaitFor([&] { return !desktop.trayItems().isEmpty(); }, 20000))
        return fail("the icon did not reach the tray");
    // Past the splash.
    if (!QTest::qWaitFor([&] { return desktop.windowTitles().isEmpty(); }, 20000))
        return fail("the splash stayed");
    QTest::qWait(500);

    // The icon is the tray's only one, at the right end of the bar.
    if (!desktop.click(QPoint(1010, 15), 3))
        return fail("no virtual pointer");
    QTest::qWait(1500);
    const bool saved = desktop.saveScreen(QRect(744, 0, 280, 190), file);
    checker.terminate();
    checker.waitForFinished(10000);
    return saved || fail("cannot save the menu");
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int asDesktopUser = wldesktop::runAsDesktopUser(argc, argv); asDesktopUser >= 0)
        return asDesktopUser;
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: shots_wayland <folder the desktop user can write to>\n");
        return 2;
    }
    return takeTrayMenu(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/tray-menu-wayland.png"))
               ? 0
               : 1;
}
