#pragma once

#include "CheckRun.h"
#include "CloseChannel.h"
#include "NotificationArea.h"
#include "Scheduler.h"
#include "SessionEnd.h"
#include "StatusWindowHost.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

class Browser;
class Clock;
class ConnectionTest;
class SplashWindow;
class CheckerAboutWindow;
class PageFetcher;
class Prompts;
class Store;

// What the checker works with: the store, the page download (Inet1) with its
// proxy setting, the connection test, the browser hand-off, the prompts and
// the clock.
struct CheckerParts {
    Store &store;
    PageFetcher &pageDownload;
    std::function<void(const QString &)> setProxy;
    ConnectionTest &connection;
    Browser &browser;
    Prompts &prompts;
    const Clock &clock;
};

// The checker as it sits in the notification area: start-up and shutdown, the
// three timers, the tray icon with its menu, and the splash, status and About
// windows. Tests drive it through its menu items and look at it through the
// few accessors below.
class TrayController : public QObject
{
    Q_OBJECT

public:
    explicit TrayController(const CheckerParts &parts, QObject *parent = nullptr);
    ~TrayController() override;

    // Start-up. False when the program must end at once (no action
    // configured): then no timer runs, no icon is shown and nobody listens
    // for a close request.
    bool load();
    // Shutdown: abandons a run under way, stops the timers, removes the icon,
    // emits leaving(), answers a pending close request and emits ended().
    // Runs once.
    void unload();

    SplashWindow *splash() const { return splashWindow.get(); }
    // The About window, loaded (hidden) when it is not. Start-up loads it in
    // name only: its widgets are made here, on first use, with the version
    // recorded at start. Until it is shown nobody can tell the difference.
    CheckerAboutWindow *about();
    bool aboutLoaded() const { return aboutWindow != nullptr || aboutDeferred; }

    // The menu's items, top to bottom.
    enum class MenuItem { Debug, About, CheckNow, LaunchConfig, Exit };
    QAction *menuItem(MenuItem item) const;
    // Does what the menu item does, as handed over by a later start of the
    // program; one that comes during start-up waits until start-up is over.
    void choose(MenuItem item);
    const QMenu &menu() const { return popupMenu; }
    // The tray icon; none before start-up has made it (on Wayland, not before
    // a notification area is there) or when the program ended at start.
    QSystemTrayIcon *icon() const { return trayIcon.get(); }
    StatusWindowHost &status() { return statusHost; }
    const RunState &runState() const { return run.state; }

    enum class TimerRole { DialUp, Splash, Always };
    const QTimer &timer(TimerRole role) const;

signals:
    // The program is about to end: a later start may run from now on, also
    // before a close request is answered.
    void leaving();
    // The program is to end now.
    void ended();

private:
    void dialUpTick();
    void hideSplash();
    void alwaysTick();
    void showStatus();
    void showAbout();
    void checkNowChosen();
    void launchConfig();
    void exitChosen();
    void closeRequestArrived();
    void sessionEnding();
    void aboutClosed();
    void installIcon();
    void reportNoListener();

    Store &store;
    std::function<void(const QString &)> setProxy;
    QString version;
    StatusWindowHost statusHost;
    CheckRun run;
    Scheduler scheduler;
    CloseListener listener;
    SessionEnd sessionEnd;
    NotificationAreaWait notificationArea;

    QTimer dialUpTimer;
    QTimer splashTimer;
    QTimer alwaysTimer;
    QMenu popupMenu;
    QAction *debugItem;
    QAction *aboutItem;
    QAction *checkItem;
    QAction *configItem;
    QAction *exitItem;
    // Made after the menu it shows, and removed before it.
    std::unique_ptr<QSystemTrayIcon> trayIcon;

    std::unique_ptr<SplashWindow> splashWindow;
    std::unique_ptr<CheckerAboutWindow> aboutWindow;
    // Loaded at start-up, its widgets not yet made.
    bool aboutDeferred = false;
    bool unloaded = false;
    // Start-up is over and the program runs.
    bool resident = false;
    // Items chosen from outside while it started.
    QList<MenuItem> chosenAtStart;
    Prompts &prompts;
};
