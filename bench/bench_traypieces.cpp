// The least tray program (bench/TrayFloor.h) with the checker's own pieces
// added, to tell what each of them costs the resident checker:
//
//   bench_traypieces [icon] [splash] [download URL]
//
// It links the checker's libraries, so that even with no piece named it loads
// what the checker loads (libcurl and the libraries that come with it).
//   icon      the program's icon, read from its PNG, for the tray and the
//             windows, instead of a plain one
//   splash    the checker's splash window (SplashWindow, with its banner and its
//             Times New Roman texts) shown at start, hidden after 3 s
//   download  the checker's page download fetching URL once, just after
//             listening: curl and its TLS library set up, one page downloaded

#include "Intervals.h"
#include "PageDownload.h"
#include "Pictures.h"
#include "SplashWindow.h"
#include "StartupOptions.h"
#include "TrayFloor.h"

#include <cstdio>
#include <memory>

namespace
{

int usage()
{
    std::fprintf(stderr, "usage: bench_traypieces [icon] [splash] [download URL]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    bool icon = false;
    bool splash = false;
    QString url;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("icon"))
            icon = true;
        else if (args[i] == QLatin1String("splash"))
            splash = true;
        else if (args[i] == QLatin1String("download") && i + 1 < args.size())
            url = args[++i];
        else
            return usage();
    }

    if (icon)
        QApplication::setWindowIcon(pictures::programIcon());
    std::unique_ptr<SplashWindow> splashWindow;
    QTimer splashTimer;
    if (splash) {
        splashWindow = std::make_unique<SplashWindow>();
        splashWindow->ui.Label1->setText(splashWindow->ui.Label1->text() + startup::Version);
        splashWindow->show();
        splashTimer.setSingleShot(true);
        QObject::connect(&splashTimer, &QTimer::timeout, splashWindow.get(), &QWidget::hide);
        splashTimer.start(intervals::SplashMs);
    }

    TrayFloor floor;
    if (!floor.start(icon ? pictures::programIcon() : TrayFloor::plainIcon()))
        return 1;

    PageDownload download;
    if (!url.isEmpty()) {
        QTimer::singleShot(0, &app, [&download, &url] {
            if (download.fetch(url).isEmpty())
                std::fprintf(stderr, "could not download %s\n", qPrintable(url));
        });
    }
    return QApplication::exec();
}
