#include "TrayController.h"

#include "CheckerAboutWindow.h"
#include "Intervals.h"
#include "Pictures.h"
#include "ProgramStart.h"
#include "Prompts.h"
#include "SplashWindow.h"
#include "StartupOptions.h"
#include "StatusWindow.h"

#include <QCoreApplication>
#include <cstdio>

TrayController::TrayController(const CheckerParts &parts, QObject *parent)
    : QObject(parent), store(parts.store), setProxy(parts.setProxy), statusHost(parts.store),
      run(parts.store, parts.pageDownload, parts.connection, parts.browser, parts.prompts,
          statusHost, parts.clock),
      scheduler(run.state, parts.connection, parts.prompts, [this] { run.request(); }),
      listener(QStringLiteral("Quorlin")), prompts(parts.prompts)
{
    statusHost.attach(run.state);

    // Precise, so that nothing happens before the minute is over.
    dialUpTimer.setTimerType(Qt::PreciseTimer);
    splashTimer.setTimerType(Qt::PreciseTimer);
    alwaysTimer.setTimerType(Qt::PreciseTimer);
    dialUpTimer.setInterval(intervals::ScheduleTickMs);
    splashTimer.setInterval(intervals::SplashMs);
    alwaysTimer.setInterval(intervals::ScheduleTickMs);
    // A run can wait for minutes in a download or a message box. The ticks are
    // handled from the event queue, so that a timer keeps ticking (and
    // counting) while the run it started is still under way.
    connect(&dialUpTimer, &QTimer::timeout, this, &TrayController::dialUpTick,
            Qt::QueuedConnection);
    connect(&splashTimer, &QTimer::timeout, this, &TrayController::hideSplash,
            Qt::QueuedConnection);
    connect(&alwaysTimer, &QTimer::timeout, this, &TrayController::alwaysTick,
            Qt::QueuedConnection);

    popupMenu.setTitle(QStringLiteral("Popup"));
    debugItem = popupMenu.addAction(QStringLiteral("&Debug"));
    aboutItem = popupMenu.addAction(QStringLiteral("&About"));
    checkItem = popupMenu.addAction(QStringLiteral("&Check Now"));
    configItem = popupMenu.addAction(QStringLiteral("&Launch Config"));
    exitItem = popupMenu.addAction(QStringLiteral("&Exit"));
    popupMenu.setObjectName(QStringLiteral("mnuPopup"));
    debugItem->setObjectName(QStringLiteral("mnuDebug"));
    aboutItem->setObjectName(QStringLiteral("mnuAbout"));
    checkItem->setObjectName(QStringLiteral("mnuCheck"));
    configItem->setObjectName(QStringLiteral("mnuConfig"));
    exitItem->setObjectName(QStringLiteral("mnuExit"));
    // Each item runs once the menu has closed.
    connect(debugItem, &QAction::triggered, this, &TrayController::showStatus,
            Qt::QueuedConnection);
    connect(aboutItem, &QAction::triggered, this, &TrayController::showAbout, Qt::QueuedConnection);
    connect(checkItem, &QAction::triggered, this, &TrayController::checkNowChosen,
            Qt::QueuedConnection);
    connect(configItem, &QAction::triggered, this, &TrayController::launchConfig,
            Qt::QueuedConnection);
    connect(exitItem, &QAction::triggered, this, &TrayController::exitChosen, Qt::QueuedConnection);

    connect(&notificationArea, &NotificationAreaWait::ready, this, &TrayController::installIcon);
    connect(&listener, &CloseListener::closeRequested, this, &TrayController::closeRequestArrived);
    connect(&sessionEnd, &SessionEnd::ending, this, &TrayController::sessionEnding);
}

TrayController::~TrayController()
{
    unload();
}

bool TrayController::load()
{
    version = startup::Version;
    splashWindow = std::make_unique<SplashWindow>();
    splashWindow->ui.Label1->setText(splashWindow->ui.Label1->text() + version);
    aboutDeferred = true;
    scheduler.dialUpTicks = 0;
    scheduler.alwaysTicks = 0;
    splashWindow->show();

    if (!startup::hasActions(store)) {
        prompts.ask({PromptKind::Error, QStringLiteral("Quorlin Error:"),
                     QStringLiteral("Quorlin Found No Configured Events. Please Run The "
                                    "Contfigurator. Closing...")});
        // The program ends here: nothing to unload, no icon to remove.
        unloaded = true;
        return false;
    }

    if (const std::optional<QString> proxy = startup::proxyText(store))
        setProxy(*proxy);
    run.state.dailyLimit = startup::dailyLimit(store);

    const startup::Timers timers = startup::timersFor(startup::alwaysConnected(store));
    if (timers.timer1)
        dialUpTimer.start();
    if (timers.timer2)
        splashTimer.start();
    if (timers.timer3)
        alwaysTimer.start();

    notificationArea.start();
    if (!listener.listen())
        reportNoListener();
    resident = true;
    for (const MenuItem item : std::as_const(chosenAtStart))
        choose(item);
    chosenAtStart.clear();
    return true;
}

void TrayController::choose(MenuItem item)
{
    if (unloaded)
        return;
    if (!resident)
        chosenAtStart.append(item);
    else
        menuItem(item)->trigger();
}

void TrayController::unload()
{
    if (unloaded)
        return;
    unloaded = true;
    run.abandon();
    dialUpTimer.stop();
    splashTimer.stop();
    alwaysTimer.stop();
    notificationArea.stop();
    if (trayIcon)
        trayIcon->hide();
    popupMenu.hide();
    if (splashWindow)
        splashWindow->hide();
    if (aboutWindow)
        aboutWindow->hide();
    statusHost.hide();
    emit leaving();
    listener.reply();
    emit ended();
}

// Without a listener config's Close cannot end this checker, and would start
// a second one beside it: whoever started it should know why.
void TrayController::reportNoListener()
{
    std::fprintf(stderr, "Quorlin: cannot listen for close requests in %s\n",
                 qPrintable(closechannel::folders().join(QStringLiteral(" or "))));
}

// The icon is made only now: making it, or asking Qt about the tray at all,
// fixes for the whole process which kind of tray Qt speaks to.
void TrayController::installIcon()
{
    if (unloaded || trayIcon)
        return;
    trayIcon = std::make_unique<QSystemTrayIcon>(pictures::programIcon());
    trayIcon->setToolTip(QStringLiteral("Quorlin"));
    // The tray shows the menu itself: a StatusNotifierItem host natively at
    // the icon (the menu is exported over D-Bus), an XEmbed tray on the right
    // button. No other activation of the icon does anything.
    trayIcon->setContextMenu(&popupMenu);
    trayIcon->show();
}

CheckerAboutWindow *TrayController::about()
{
    aboutDeferred = false;
    if (!aboutWindow) {
        aboutWindow = std::make_unique<CheckerAboutWindow>();
        aboutWindow->ui.Label1->setText(aboutWindow->ui.Label1->text() + version);
        connect(aboutWindow.get(), &CheckerAboutWindow::unloaded, this,
                &TrayController::aboutClosed);
    }
    return aboutWindow.get();
}

// The close box unloads the About window; the next "&About" loads a new one.
void TrayController::aboutClosed()
{
    aboutDeferred = false;
    aboutWindow.release()->deleteLater();
}

void TrayController::dialUpTick()
{
    if (!unloaded)
        scheduler.dialUpTick();
}

void TrayController::hideSplash()
{
    splashTimer.stop();
    if (splashWindow)
        splashWindow->hide();
}

void TrayController::alwaysTick()
{
    if (!unloaded)
        scheduler.alwaysTick();
}

void TrayController::showStatus()
{
    statusHost.show();
}

void TrayController::showAbout()
{
    CheckerAboutWindow *window = about();
    window->show();
    window->raise();
    window->activateWindow();
}

void TrayController::checkNowChosen()
{
    if (!unloaded)
        scheduler.checkNow();
}

void TrayController::launchConfig()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/config");
    if (!programstart::startDetached(path))
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"),
                     QStringLiteral("Config Program Not Correctly Installed!")});
}

void TrayController::exitChosen()
{
    unload();
}

void TrayController::closeRequestArrived()
{
    unload();
}

// The session is ending: unload as Exit does.
void TrayController::sessionEnding()
{
    unload();
}

QAction *TrayController::menuItem(MenuItem item) const
{
    switch (item) {
    case MenuItem::Debug:
        return debugItem;
    case MenuItem::About:
        return aboutItem;
    case MenuItem::CheckNow:
        return checkItem;
    case MenuItem::LaunchConfig:
        return configItem;
    case MenuItem::Exit:
        break;
    }
    return exitItem;
}

const QTimer &TrayController::timer(TimerRole role) const
{
    switch (role) {
    case TimerRole::DialUp:
        return dialUpTimer;
    case TimerRole::Splash:
        return splashTimer;
    case TimerRole::Always:
        break;
    }
    return alwaysTimer;
}
