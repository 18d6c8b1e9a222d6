#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// A desktop of the test's own: a virtual X screen, a real notification-area
// host (trayer, an XEmbed tray) and the X tools that look at windows and act
// as the person at the desk would.
namespace xdesktop
{

// Whether the test run is CI's, where every tool must be present.
bool inCi();

// The programs of `programs` that are not on the PATH.
QStringList missingPrograms(const QStringList &programs);

// Xvfb on a display it picks itself (-displayfd), ended with the object.
// Start it before the application connects to the display.
class VirtualScreen
{
public:
    VirtualScreen() = default;
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen &) = delete;
    VirtualScreen &operator=(const VirtualScreen &) = delete;

    // Starts the server and sets DISPLAY to it. False when it does not come up.
    bool start(int width, int height);
    QString display() const { return name; }

private:
    pid_t pid = -1;
    QString name;
};

// The tray host along the top edge, ended with the object.
class Tray
{
public:
    ~Tray();
    // Starts trayer and waits until it owns the tray selection of screen 0.
    bool start();
    void stop();

private:
    QProcess trayer;
};

// Runs an X tool to its end; its standard output, trimmed.
QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr);

// The window of WM_CLASS `className` embedded in the tray host, in screen
// coordinates; empty while there is none.
QRect embeddedIcon(const QString &className);

// Whether a tray host owns the tray selection of screen 0 (asked of the X
// server through this application's own connection).
bool trayOwned();

// The mapped top-level windows of WM_CLASS `className` (X ids), as xdotool
// finds them.
QStringList visibleWindows(const QString &className);

// A press and release of `button` at `at`, through the X server.
void click(QPoint at, int button);
// A key as typed (xdotool's names: "Escape", "l").
void key(const QString &name);

// Saves what the screen shows inside `area` as a PNG file.
bool saveScreen(const QRect &area, const QString &file);

} // namespace xdesktop
