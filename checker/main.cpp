#include "Browser.h"
#include "CloseChannel.h"
#include "CommandLine.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "MessageBoxes.h"
#include "PageDownload.h"
#include "Pictures.h"
#include "Store.h"
#include "TrayController.h"

#include <QApplication>
#include <cstdio>

namespace
{

// One checker runs per store: later starts hand their request to it.
const QString GuardName = QStringLiteral("Quorlin");
// What the running checker answers once it has taken a request (not once the
// item is done: Check Now's question waits for the user).
const QByteArray TakenAnswer = QByteArrayLiteral("taken");

// How a start that found a checker running ends.
int handedOver(const SoleInstance::Answer &answer)
{
    if (answer.reached == SoleInstance::Reached::Answered && answer.line == TakenAnswer)
        return 0;
    std::fputs("Quorlin: the running checker did not take the request\n", stderr);
    return 1;
}

// The request of a start: a plain start asks for the status window.
QByteArray requestOf(const std::optional<commandline::MenuItem> &item)
{
    return commandline::requestFor(item.value_or(commandline::MenuItem::Debug));
}

} // namespace

int main(int argc, char *argv[])
{
    std::optional<commandline::MenuItem> item;
    {
        // Before anything connects to a display: the command line, and the
        // hand-over to a checker that runs already (which works over ssh too).
        QCoreApplication command(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quorlin"));
        const commandline::Command asked = commandline::parse(QCoreApplication::arguments());
        if (asked.status) {
            std::fputs(qPrintable(asked.text), *asked.status == 0 ? stdout : stderr);
            return *asked.status;
        }
        item = asked.item;
        const SoleInstance::Answer answer = SoleInstance(GuardName).askRunning(requestOf(item));
        if (answer.reached != SoleInstance::Reached::Nobody)
            return handedOver(answer);
        // Nothing runs that could end.
        if (item == commandline::MenuItem::Exit)
            return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlin"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(pictures::programIcon());

    // Another start may have got in first since the look above.
    SoleInstance guard(GuardName);
    if (!guard.claim())
        return handedOver(guard.ask(requestOf(item)));

    Store store;
    PageDownload pageDownload;
    ConnectionTest connection;
    Browser browser;
    MessageBoxes prompts;
    SystemClock clock;
    TrayController tray({store, pageDownload,
                         [&pageDownload](const QString &proxy) { pageDownload.setProxy(proxy); },
                         connection, browser, prompts, clock});
    guard.setRequestHandler([&tray](const QByteArray &request) {
        const std::optional<commandline::MenuItem> chosen = commandline::itemFor(request);
        if (!chosen)
            return QByteArray();
        tray.choose(*chosen);
        return TakenAnswer;
    });
    // The next checker may start as soon as this one has let go of the guard,
    // before it confirms a close request.
    QObject::connect(&tray, &TrayController::leaving, &guard, &SoleInstance::release);
    // Ends every event loop, also the one a run waits in.
    QObject::connect(&tray, &TrayController::ended, &app, [] { QCoreApplication::exit(0); });
    if (!tray.load())
        return 0;
    if (item)
        tray.choose(*item);
    return QApplication::exec();
}
