// The least tray program, as a floor for the checker's resident footprint and
// start-up time: a hidden window, a tray icon with a four-entry menu, one 60 s
// timer and a local server listening at $XDG_CONFIG_HOME/QL/channel/floor.<pid>.
// Header only, so that the floor itself links nothing but Qt.

#pragma once

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLocalServer>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

class TrayFloor
{
public:
    // An icon of one colour, made without reading a picture.
    static QIcon plainIcon()
    {
        QPixmap picture(32, 32);
        picture.fill(Qt::darkGreen);
        return QIcon(picture);
    }

    // Shows the icon with its menu, starts the timer and listens. False when
    // the server cannot listen.
    bool start(const QIcon &picture)
    {
        window.resize(200, 100);
        for (const char *entry : {"Debug", "About", "Check Now", "Exit"})
            menu.addAction(QString::fromLatin1(entry));
        icon.setIcon(picture);
        icon.setToolTip(QStringLiteral("floor"));
        icon.setContextMenu(&menu);
        icon.show();

        timer.setInterval(60 * 1000);
        QObject::connect(&timer, &QTimer::timeout, &window, [] {});
        timer.start();

        // Where bench_startup watches: the channel folder beside the store.
        const QString folder =
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/QL/channel");
        QDir().mkpath(folder);
        return server.listen(folder +
                             QStringLiteral("/floor.%1").arg(QCoreApplication::applicationPid()));
    }

private:
    QWidget window;
    QMenu menu;
    QSystemTrayIcon icon;
    QTimer timer;
    QLocalServer server;
};
