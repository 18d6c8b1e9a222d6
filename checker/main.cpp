#include "Browser.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "MessageBoxes.h"
#include "PageDownload.h"
#include "Pictures.h"
#include "Store.h"
#include "TrayController.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlin"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(pictures::programIcon());

    Store store;
    PageDownload pageDownload;
    ConnectionTest connection;
    Browser browser;
    MessageBoxes prompts;
    SystemClock clock;
    TrayController tray({store, pageDownload,
                         [&pageDownload](const QString &proxy) { pageDownload.setProxy(proxy); },
                         connection, browser, prompts, clock});
    // Ends every event loop, also the one a run waits in.
    QObject::connect(&tray, &TrayController::ended, &app, [] { QCoreApplication::exit(0); });
    if (!tray.load())
        return 0;
    return QApplication::exec();
}
