#pragma once

#include "CheckRun.h"
#include "CloseChannel.h"
#include "Scheduler.h"
#include "SessionEnd.h"
#include "StatusWindow.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

class Browser;
class Clock;
class ConnectionTest;
class Form3;
class Form4;
class PageFetcher;
class Store;

// What the checker works with: the store, the page download (Inet1) with its
// proxy setting, the connection test, the browser hand-off and the clock.
struct CheckerParts {
    Store &store;
    PageFetcher &inet1;
    std::function<void(const QString &)> setProxy;
    ConnectionTest &connection;
    Browser &browser;
    const Clock &clock;
};

// The checker's hidden main window: start-up and shutdown, the three timers,
// the tray icon with its menu, and the splash, status and About windows.
class Form1 : public QObject
{
    Q_OBJECT

public:
    explicit Form1(const CheckerParts &parts, QObject *parent = nullptr);
    ~Form1() override;

    // Start-up. False when the program must end at once (no action
    // configured): then no timer runs, no icon is shown and nobody listens
    // for a close request.
    bool formLoad();
    // Shutdown: abandons a run under way, stops the timers, removes the icon,
    // answers a pending close request and emits ended(). Runs once.
    void formUnload();

    Form3 *splash() const { return form3.get(); }
    // The About window, loaded (hidden) when it is not. Start-up loads it in
    // name only: its widgets are made here, on first use, with the version
    // recorded at start. Until it is shown nobody can tell the difference.
    Form4 *about();
    bool aboutLoaded() const { return form4 != nullptr || aboutDeferred; }

    Store &store;
    std::function<void(const QString &)> setProxy;
    QString version;
    StatusWindow status;
    CheckRun run;
    Scheduler scheduler;
    CloseListener listener;
    SessionEnd sessionEnd;

    QTimer Timer1;
    QTimer Timer2;
    QTimer Timer3;
    QSystemTrayIcon trayIcon;
    QMenu mnuPopup;
    QAction *mnuDebug;
    QAction *mnuAbout;
    QAction *mnuCheck;
    QAction *mnuConfig;
    QAction *mnuExit;

signals:
    // The program is to end now.
    void ended();

private:
    void timer1Timer();
    void timer2Timer();
    void timer3Timer();
    void mnuDebugClick();
    void mnuAboutClick();
    void mnuCheckClick();
    void mnuConfigClick();
    void mnuExitClick();
    void listenerCloseRequested();
    void sessionEnding();
    void form4Unloaded();

    std::unique_ptr<Form3> form3;
    std::unique_ptr<Form4> form4;
    // Loaded at start-up, its widgets not yet made.
    bool aboutDeferred = false;
    bool unloaded = false;
};
