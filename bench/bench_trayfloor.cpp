// The least tray program, as a floor for the checker's resident footprint and
// start-up time: a hidden window, a tray icon with a four-entry menu, one 60 s
// timer and a local server listening at $XDG_RUNTIME_DIR/QL/floor.<pid>.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLocalServer>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QWidget window;
    window.resize(200, 100);

    QPixmap picture(32, 32);
    picture.fill(Qt::darkGreen);
    QMenu menu;
    for (const char *entry : {"Debug", "About", "Check Now", "Exit"})
        menu.addAction(QString::fromLatin1(entry));
    QSystemTrayIcon icon{QIcon(picture)};
    icon.setToolTip(QStringLiteral("floor"));
    icon.setContextMenu(&menu);
    icon.show();

    QTimer timer;
    timer.setInterval(60 * 1000);
    QObject::connect(&timer, &QTimer::timeout, &window, [] {});
    timer.start();

    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/QL");
    QDir().mkpath(folder);
    QLocalServer server;
    if (!server.listen(folder +
                       QStringLiteral("/floor.%1").arg(QCoreApplication::applicationPid())))
        return 1;
    return QApplication::exec();
}
