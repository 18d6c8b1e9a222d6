#include "Form1.h"

#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Intervals.h"
#include "MessageBox.h"
#include "Pictures.h"
#include "StartupOptions.h"

#include <QCoreApplication>
#include <QProcess>

Form1::Form1(const CheckerParts &parts, QObject *parent)
    : QObject(parent), store(parts.store), setProxy(parts.setProxy), status(parts.store),
      run(parts.store, parts.inet1, parts.connection, parts.browser, status, parts.clock),
      scheduler(run.state, parts.connection, [this] { run.request(); }),
      listener(QStringLiteral("Quorlin"))
{
    status.attach(run.state);

    // Precise, so that nothing happens before the minute is over.
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setTimerType(Qt::PreciseTimer);
    Timer3.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(intervals::ScheduleTickMs);
    Timer2.setInterval(intervals::SplashMs);
    Timer3.setInterval(intervals::ScheduleTickMs);
    // A run can wait for minutes in a download or a message box. The ticks are
    // handled from the event queue, so that a timer keeps ticking (and
    // counting) while the run it started is still under way.
    connect(&Timer1, &QTimer::timeout, this, &Form1::timer1Timer, Qt::QueuedConnection);
    connect(&Timer2, &QTimer::timeout, this, &Form1::timer2Timer, Qt::QueuedConnection);
    connect(&Timer3, &QTimer::timeout, this, &Form1::timer3Timer, Qt::QueuedConnection);

    mnuPopup.setTitle(QStringLiteral("Popup"));
    mnuDebug = mnuPopup.addAction(QStringLiteral("&Debug"));
    mnuAbout = mnuPopup.addAction(QStringLiteral("&About"));
    mnuCheck = mnuPopup.addAction(QStringLiteral("&Check Now"));
    mnuConfig = mnuPopup.addAction(QStringLiteral("&Launch Config"));
    mnuExit = mnuPopup.addAction(QStringLiteral("&Exit"));
    // Each item runs once the menu has closed.
    connect(mnuDebug, &QAction::triggered, this, &Form1::mnuDebugClick, Qt::QueuedConnection);
    connect(mnuAbout, &QAction::triggered, this, &Form1::mnuAboutClick, Qt::QueuedConnection);
    connect(mnuCheck, &QAction::triggered, this, &Form1::mnuCheckClick, Qt::QueuedConnection);
    connect(mnuConfig, &QAction::triggered, this, &Form1::mnuConfigClick, Qt::QueuedConnection);
    connect(mnuExit, &QAction::triggered, this, &Form1::mnuExitClick, Qt::QueuedConnection);

    trayIcon.setIcon(pictures::programIcon());
    trayIcon.setToolTip(QStringLiteral("Quorlin"));
    // The tray shows the menu itself: a StatusNotifierItem host natively at
    // the icon (the menu is exported over D-Bus), an XEmbed tray on the right
    // button. No other activation of the icon does anything.
    trayIcon.setContextMenu(&mnuPopup);
    connect(&listener, &CloseListener::closeRequested, this, &Form1::listenerCloseRequested);
    connect(&sessionEnd, &SessionEnd::ending, this, &Form1::sessionEnding);
}

Form1::~Form1()
{
    formUnload();
}

bool Form1::formLoad()
{
    version = startup::Version;
    form3 = std::make_unique<Form3>();
    form3->ui.Label1->setText(form3->ui.Label1->text() + version);
    aboutDeferred = true;
    scheduler.dialUpTicks = 0;
    scheduler.alwaysTicks = 0;
    form3->show();

    if (!startup::hasActions(store)) {
        msgbox::show(QStringLiteral("Quorlin Found No Configured Events. Please Run The "
                                    "Contfigurator. Closing..."),
                     msgbox::Critical, QStringLiteral("Quorlin Error:"));
        // The program ends here: nothing to unload, no icon to remove.
        unloaded = true;
        return false;
    }

    if (const std::optional<QString> proxy = startup::proxyText(store))
        setProxy(*proxy);
    run.state.dailyLimit = startup::dailyLimit(store);

    const startup::Timers timers = startup::timersFor(startup::alwaysConnected(store));
    if (timers.timer1)
        Timer1.start();
    if (timers.timer2)
        Timer2.start();
    if (timers.timer3)
        Timer3.start();

    trayIcon.show();
    listener.listen();
    return true;
}

void Form1::formUnload()
{
    if (unloaded)
        return;
    unloaded = true;
    run.abandon();
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
    trayIcon.hide();
    mnuPopup.hide();
    if (form3)
        form3->hide();
    if (form4)
        form4->hide();
    status.hide();
    listener.reply();
    emit ended();
}

Form4 *Form1::about()
{
    aboutDeferred = false;
    if (!form4) {
        form4 = std::make_unique<Form4>();
        form4->ui.Label1->setText(form4->ui.Label1->text() + version);
        connect(form4.get(), &Form4::unloaded, this, &Form1::form4Unloaded);
    }
    return form4.get();
}

// The close box unloads the About window; the next "&About" loads a new one.
void Form1::form4Unloaded()
{
    aboutDeferred = false;
    form4.release()->deleteLater();
}

void Form1::timer1Timer()
{
    if (!unloaded)
        scheduler.timer1Tick();
}

void Form1::timer2Timer()
{
    Timer2.stop();
    if (form3)
        form3->hide();
}

void Form1::timer3Timer()
{
    if (!unloaded)
        scheduler.timer3Tick();
}

void Form1::mnuDebugClick()
{
    status.show();
}

void Form1::mnuAboutClick()
{
    Form4 *window = about();
    window->show();
    window->raise();
    window->activateWindow();
}

void Form1::mnuCheckClick()
{
    if (!unloaded)
        scheduler.checkNow();
}

void Form1::mnuConfigClick()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/config");
    if (!QProcess::startDetached(path, {}))
        msgbox::show(QStringLiteral("Config Program Not Correctly Installed!"), msgbox::Critical,
                     QStringLiteral("Error:"));
}

void Form1::mnuExitClick()
{
    formUnload();
}

void Form1::listenerCloseRequested()
{
    formUnload();
}

// The session is ending: unload as Exit does.
void Form1::sessionEnding()
{
    formUnload();
}
