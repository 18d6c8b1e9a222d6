#include "WaylandDesktop.h"

#include "Unprivileged.h"
#include "virtual-pointer-client.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <linux/input-event-codes.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <wayland-client.h>

namespace wldesktop
{

namespace
{

constexpr uint32_t ScreenWidth = 1024;
constexpr uint32_t ScreenHeight = 768;

} // namespace

QStringList missingPrograms()
{
    QStringList missing;
    for (const char *program : {"dbus-daemon", "sway", "swaymsg", "waybar", "grim"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            missing.append(QString::fromLatin1(program));
    }
    return missing;
}

int runAsDesktopUser(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return unprivileged::runCopy(arguments, {QStringLiteral(QUORLIN_BIN_DIR "/Quorlin")});
}

QString checkerProgram()
{
    const QString copies = unprivileged::copiesFolder();
    return (copies.isEmpty() ? QStringLiteral(QUORLIN_BIN_DIR) : copies) +
           QStringLiteral("/Quorlin");
}

QVariant property(const QDBusConnection &bus, const QString &service, const QString &path,
                  const QString &interface, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << name;
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, 5000);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

// A connection of the test's own to the compositor with a virtual pointer on
// its seat.
struct Desktop::Pointer {
    wl_display *display = nullptr;
    wl_seat *seat = nullptr;
    zwlr_virtual_pointer_manager_v1 *manager = nullptr;
    zwlr_virtual_pointer_v1 *device = nullptr;
    QElapsedTimer clock;

    ~Pointer()
    {
        if (device)
            zwlr_virtual_pointer_v1_destroy(device);
        if (manager)
            zwlr_virtual_pointer_manager_v1_destroy(manager);
        if (seat)
            wl_seat_destroy(seat);
        if (display)
            wl_display_disconnect(display);
    }

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t)
    {
        auto *self = static_cast<Pointer *>(data);
        if (qstrcmp(interface, wl_seat_interface.name) == 0 && !self->seat)
            self->seat =
                static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (qstrcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
            self->manager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
    static void globalRemoved(void *, wl_registry *, uint32_t) {}

    bool connect(const QString &waylandDisplay)
    {
        display = wl_display_connect(QFile::encodeName(waylandDisplay).constData());
        if (!display)
            return false;
        static const wl_registry_listener listener{global, globalRemoved};
        wl_registry *registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
        if (!seat || !manager)
            return false;
        device = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
        clock.start();
        return wl_display_roundtrip(display) >= 0;
    }

    uint32_t now() const { return uint32_t(clock.elapsed()); }
};

Desktop::Desktop() = default;

Desktop::~Desktop()
{
    pointer.reset();
    for (QProcess *process : {&tray, &compositor, &busDaemon}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
    }
}

bool Desktop::startProcess(QProcess &process, const QString &program, const QStringList &arguments)
{
    // Each ends with the test, also when the test is killed.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(runtime.path() + QLatin1Char('/') + program +
                                  QStringLiteral(".log"));
    process.start(program, arguments);
    return process.waitForStarted(10000);
}

// The first file in the runtime folder whose name begins with `prefix`,
// other than a lock file; empty while there is none.
QString Desktop::runtimeFile(const QString &prefix) const
{
    const QStringList names =
        QDir(runtime.path()).entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Files);
    for (const QString &name : names) {
        if (!name.endsWith(QLatin1String(".lock")))
            return runtime.path() + QLatin1Char('/') + name;
    }
    return {};
}

bool Desktop::start(QString *why)
{
    const auto fail = [why](const QString &reason) {
        *why = reason;
        return false;
    };
    if (!runtime.isValid())
        return fail(QStringLiteral("no runtime folder"));

    busAddress = QStringLiteral("unix:path=") + runtime.path() + QStringLiteral("/bus");
    if (!startProcess(busDaemon, QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--address=") + busAddress}))
        return fail(QStringLiteral("dbus-daemon did not start"));
    QDeadlineTimer deadline(20000);
    while (!bus().isConnected()) {
        QDBusConnection::disconnectFromBus(QStringLiteral("quorlin-desktop"));
        if (deadline.hasExpired())
            return fail(QStringLiteral("the session bus did not come up"));
        QThread::msleep(50);
    }

    QFile config(runtime.path() + QStringLiteral("/sway.conf"));
    QFile bar(runtime.path() + QStringLiteral("/waybar.json"));
    QFile style(runtime.path() + QStringLiteral("/waybar.css"));
    if (!config.open(QIODevice::WriteOnly) || !bar.open(QIODevice::WriteOnly) ||
        !style.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write the desktop's settings"));
    config.write("output HEADLESS-1 resolution " + QByteArray::number(ScreenWidth) + 'x' +
                 QByteArray::number(ScreenHeight) + '\n');
    bar.write(R"({"layer": "top", "position": "top", "height": 30,
"modules-right": ["tray"], "tray": {"icon-size": 22, "spacing": 6}})");
    style.write("* { font-family: sans-serif; font-size: 13px; }\n"
                "window#waybar { background: #2b2b2b; }\n");
    config.close();
    bar.close();
    style.close();

    QProcessEnvironment session = QProcessEnvironment::systemEnvironment();
    session.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    session.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    session.remove(QStringLiteral("DISPLAY"));
    session.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcessEnvironment headless = session;
    headless.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    headless.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    headless.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    compositor.setProcessEnvironment(headless);
    if (!startProcess(compositor, QStringLiteral("sway"),
                      {QStringLiteral("-c"), config.fileName()}))
        return fail(QStringLiteral("sway did not start"));
    while ((waylandDisplay = runtimeFile(QStringLiteral("wayland-"))).isEmpty() ||
           (swaySocket = runtimeFile(QStringLiteral("sway-ipc."))).isEmpty()) {
        if (deadline.hasExpired() || compositor.state() != QProcess::Running)
            return fail(QStringLiteral("sway did not come up"));
        QThread::msleep(50);
    }

    session.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
    tray.setProcessEnvironment(session);
    tray.setArguments(
        {QStringLiteral("-c"), bar.fileName(), QStringLiteral("-s"), style.fileName()});
    return startTray(why);
}

void Desktop::stopTray()
{
    tray.terminate();
    tray.waitForFinished(5000);
}

bool Desktop::startTray(QString *why)
{
    if (tray.state() != QProcess::NotRunning)
        return true;
    const QDeadlineTimer deadline(20000);
    if (!startProcess(tray, QStringLiteral("waybar"), tray.arguments())) {
        *why = QStringLiteral("waybar did not start");
        return false;
    }
    while (!property(bus(), QStringLiteral("org.kde.StatusNotifierWatcher"),
                     QStringLiteral("/StatusNotifierWatcher"),
                     QStringLiteral("org.kde.StatusNotifierWatcher"),
                     QStringLiteral("IsStatusNotifierHostRegistered"))
                .toBool()) {
        if (deadline.hasExpired() || tray.state() != QProcess::Running) {
            *why = QStringLiteral("waybar's tray did not come up");
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

QProcessEnvironment Desktop::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.remove(QStringLiteral("DISPLAY"));
    return environment;
}

QDBusConnection Desktop::bus() const
{
    return QDBusConnection::connectToBus(busAddress, QStringLiteral("quorlin-desktop"));
}

QStringList Desktop::trayItems() const
{
    return property(bus(), QStringLiteral("org.kde.StatusNotifierWatcher"),
                    QStringLiteral("/StatusNotifierWatcher"),
                    QStringLiteral("org.kde.StatusNotifierWatcher"),
                    QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

QString Desktop::swaymsg(const QStringList &arguments) const
{
    QProcess tool;
    tool.start(QStringLiteral("swaymsg"),
               QStringList{QStringLiteral("-s"), swaySocket} + arguments);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

namespace
{

void collectTitles(const QJsonObject &node, QStringList &titles)
{
    if (node.contains(QLatin1String("pid")))
        titles.append(node.value(QLatin1String("name")).toString());
    for (const char *children : {"nodes", "floating_nodes"}) {
        const QJsonArray nodes = node.value(QLatin1String(children)).toArray();
        for (const QJsonValue &child : nodes)
            collectTitles(child.toObject(), titles);
    }
}

} // namespace

QStringList Desktop::windowTitles() const
{
    QStringList titles;
    const QByteArray tree = swaymsg({QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8();
    collectTitles(QJsonDocument::fromJson(tree).object(), titles);
    return titles;
}

bool Desktop::click(QPoint at, int button)
{
    if (!pointer) {
        pointer = std::make_unique<Pointer>();
        if (!pointer->connect(waylandDisplay)) {
            pointer.reset();
            return false;
        }
        // The clients learn of the new pointer from the seat; let them bind it.
        QThread::msleep(500);
    }
    const uint32_t code = button == 3 ? BTN_RIGHT : BTN_LEFT;
    zwlr_virtual_pointer_v1 *device = pointer->device;
    zwlr_virtual_pointer_v1_motion_absolute(device, pointer->now(), uint32_t(at.x()),
                                            uint32_t(at.y()), ScreenWidth, ScreenHeight);
    zwlr_virtual_pointer_v1_frame(device);
    zwlr_virtual_pointer_v1_button(device, pointer->now(), code, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(device);
    zwlr_virtual_pointer_v1_button(device, pointer->now(), code, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(device);
    return wl_display_roundtrip(pointer->display) >= 0;
}

bool Desktop::saveScreen(const QRect &area, const QString &file) const
{
    QProcess grim;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    grim.setProcessEnvironment(env);
    const QString geometry = QStringLiteral("%1,%2 %3x%4")
                                 .arg(area.x())
                                 .arg(area.y())
                                 .arg(area.width())
                                 .arg(area.height());
    grim.start(QStringLiteral("grim"), {QStringLiteral("-g"), geometry, file});
    return grim.waitForFinished(20000) && grim.exitStatus() == QProcess::NormalExit &&
           grim.exitCode() == 0;
}

} // namespace wldesktop
