#pragma once

#include <QObject>

class QDBusServiceWatcher;

// Says when a tray icon may be made. Qt decides once per process, when the
// first tray icon is made or the tray is first asked about, whether icons go
// to a StatusNotifierItem host over D-Bus, and keeps that answer. On Wayland
// there is no XEmbed tray to fall back on: an icon made before a host has
// registered with the session's org.kde.StatusNotifierWatcher never appears,
// not even once the panel is up. There the wait lasts until a host is
// registered; everywhere else, and without a session bus, it ends at once.
// (Once made, Qt's icon registers itself again with a watcher that restarts.)
class NotificationAreaWait : public QObject
{
    Q_OBJECT

public:
    explicit NotificationAreaWait(QObject *parent = nullptr);
    ~NotificationAreaWait() override;

    // Emits ready() before returning, or later, once a host is registered.
    void start();
    // No ready() from now on.
    void stop();

signals:
    void ready();

private slots:
    void askWhetherHostRegistered();

private:
    void hostAnswered(bool registered);

    QDBusServiceWatcher *watcher = nullptr;
    bool waiting = false;
};
