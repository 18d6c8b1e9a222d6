#pragma once

#include <QDBusConnection>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A Wayland session of the test's own: a private D-Bus session bus, sway on
// its headless backend, and waybar along the top with its tray, which is a
// StatusNotifierItem host (and the org.kde.StatusNotifierWatcher).
//
// sway refuses to run as root. runAsDesktopUser() lets a test or picture
// program started as root run itself again as an unprivileged user (see
// unprivileged::runCopy()).
namespace wldesktop
{

// The programs the desktop needs that are not on the PATH.
QStringList missingPrograms();

// As root: runs a copy of this program as the unprivileged user with the same
// arguments and a copy of the built checker, and returns its exit status. As
// anybody else: returns -1 and does nothing.
int runAsDesktopUser(int argc, char *argv[]);

// The built checker, or its copy when the process was started as root.
QString checkerProgram();

// A property of a D-Bus object, asked as a tray host asks it; invalid when
// there is no such object or property (yet).
QVariant property(const QDBusConnection &bus, const QString &service, const QString &path,
                  const QString &interface, const QString &name);

class Desktop
{
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    // Starts the bus, the compositor and the tray; false (with the reason in
    // `why`) when one does not come up.
    bool start(QString *why);
    // Ends the tray, whose watcher then leaves the bus, and starts it again
    // (nothing when it runs), as a panel that comes late or restarts.
    void stopTray();
    bool startTray(QString *why);

    // For programs on this desktop: the Wayland display, the session bus and
    // Qt's Wayland platform.
    QProcessEnvironment environment() const;
    // The session bus, as the tray host sees it.
    QDBusConnection bus() const;

    // The items registered with the tray's watcher, as "service/path" or
    // "service".
    QStringList trayItems() const;
    // The titles of the windows sway manages, as `swaymsg -t get_tree` has them.
    QStringList windowTitles() const;
    // Runs swaymsg with `arguments`; its standard output.
    QString swaymsg(const QStringList &arguments) const;
    // Saves what the screen shows inside `area` as a PNG file (grim).
    bool saveScreen(const QRect &area, const QString &file) const;
    // A press and release of the pointer's `button` (1 left, 3 right) at
    // `at`, through a virtual pointer of the compositor's; the pointer stays
    // there, on the seat, for as long as the desktop lives.
    bool click(QPoint at, int button);

private:
    bool startProcess(QProcess &process, const QString &program, const QStringList &arguments);
    QString runtimeFile(const QString &prefix) const;

    struct Pointer;
    std::unique_ptr<Pointer> pointer;
    QTemporaryDir runtime;
    QProcess busDaemon;
    QProcess compositor;
    QProcess tray;
    QString busAddress;
    QString waylandDisplay;
    QString swaySocket;
};

} // namespace wldesktop
