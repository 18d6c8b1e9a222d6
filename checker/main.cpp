#include "Browser.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "Form1.h"
#include "PageDownload.h"
#include "Pictures.h"
#include "Store.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlin"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(pictures::programIcon());

    Store store;
    PageDownload inet1;
    ConnectionTest connection;
    Browser browser;
    SystemClock clock;
    Form1 form1({store, inet1, [&inet1](const QString &proxy) { inet1.setProxy(proxy); },
                 connection, browser, clock});
    // Ends every event loop, also the one a run waits in.
    QObject::connect(&form1, &Form1::ended, &app, [] { QCoreApplication::exit(0); });
    if (!form1.formLoad())
        return 0;
    return QApplication::exec();
}
