#include "NotificationArea.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

namespace
{

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

// Wayland's platform plugins are "wayland", "wayland-egl" and the like.
bool withoutXEmbed()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

NotificationAreaWait::NotificationAreaWait(QObject *parent) : QObject(parent) {}

NotificationAreaWait::~NotificationAreaWait()
{
    stop();
}

void NotificationAreaWait::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!withoutXEmbed() || !bus.isConnected()) {
        emit ready();
        return;
    }
    waiting = true;
    // A watcher that appears, and a host that registers with a watcher that
    // is already there, are each worth asking about.
    watcher = new QDBusServiceWatcher(WatcherService, bus,
                                      QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &NotificationAreaWait::askWhetherHostRegistered);
    bus.connect(WatcherService, WatcherPath, WatcherInterface,
                QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(askWhetherHostRegistered()));
    askWhetherHostRegistered();
}

void NotificationAreaWait::stop()
{
    if (!waiting)
        return;
    waiting = false;
    delete watcher;
    watcher = nullptr;
    QDBusConnection::sessionBus().disconnect(WatcherService, WatcherPath, WatcherInterface,
                                             QStringLiteral("StatusNotifierHostRegistered"), this,
                                             SLOT(askWhetherHostRegistered()));
}

// Asked as Qt asks when it makes the icon: the watcher's
// IsStatusNotifierHostRegistered. Without blocking, so that the checker's
// timers and windows go on meanwhile.
void NotificationAreaWait::askWhetherHostRegistered()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        hostAnswered(reply.isValid() && reply.value().variant().toBool());
    });
}

void NotificationAreaWait::hostAnswered(bool registered)
{
    if (!waiting || !registered)
        return;
    stop();
    emit ready();
}
