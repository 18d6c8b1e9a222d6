#include "XDesktop.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace xdesktop
{

bool inCi()
{
    return !qEnvironmentVariableIsEmpty("CI");
}

QStringList missingPrograms(const QStringList &programs)
{
    QStringList missing;
    for (const QString &program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing.append(program);
    }
    return missing;
}

VirtualScreen::~VirtualScreen()
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

// The server writes its display number and a newline to the descriptor given
// with -displayfd once it accepts connections.
bool VirtualScreen::start(int width, int height)
{
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (server.isEmpty())
        return false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;

    const QByteArray path = server.toLocal8Bit();
    const QByteArray screen = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
    const char *argv[] = {path.constData(),   "-displayfd", "3",   "-screen", "0",
                          screen.constData(), "-nolisten",  "tcp", nullptr};
    pid = ::fork();
    if (pid == 0) {
        // The server ends with this process, also when it is killed or
        // aborts, so that no test leaves a server behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int quiet = ::open("/dev/null", O_WRONLY);
        // dup2() onto itself would keep the close-on-exec flag.
        const bool toThree =
            pipeFds[1] == 3 ? ::fcntl(3, F_SETFD, 0) == 0 : ::dup2(pipeFds[1], 3) == 3;
        if (!toThree || quiet < 0 || ::dup2(quiet, 1) < 0 || ::dup2(quiet, 2) < 0)
            ::_exit(127);
        ::execv(path.constData(), const_cast<char **>(argv));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return false;
    }

    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.endsWith('\n') && !deadline.hasExpired()) {
        pollfd waitFor{pipeFds[0], POLLIN, 0};
        if (::poll(&waitFor, 1, int(deadline.remainingTime())) <= 0)
            break;
        char chunk[16];
        const ssize_t got = ::read(pipeFds[0], chunk, sizeof chunk);
        if (got <= 0)
            break;
        number.append(chunk, got);
    }
    ::close(pipeFds[0]);
    if (!number.endsWith('\n'))
        return false;
    name = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", name.toLocal8Bit());
    return true;
}

Tray::~Tray()
{
    stop();
}

bool Tray::start()
{
    trayer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    trayer.setStandardOutputFile(QProcess::nullDevice());
    trayer.start(QStringLiteral("trayer"),
                 {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                  QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                  QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
                  QStringLiteral("true"), QStringLiteral("--transparent"),
                  QStringLiteral("false")});
    if (!trayer.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!trayOwned()) {
        if (deadline.hasExpired() || trayer.state() != QProcess::Running)
            return false;
        QThread::msleep(50);
    }
    return true;
}

void Tray::stop()
{
    if (trayer.state() == QProcess::NotRunning)
        return;
    trayer.terminate();
    if (!trayer.waitForFinished(5000))
        trayer.kill();
    trayer.waitForFinished(5000);
}

QString run(const QString &program, const QStringList &arguments, int *exitCode)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::SeparateChannels);
    tool.start(program, arguments);
    tool.waitForFinished(20000);
    if (exitCode)
        *exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// xwininfo -tree prints one window a line, indented by depth:
//   0x200010 "Quorlin": ("quorlin" "Quorlin")  22x30+0+0  +617+1
// with WM_CLASS's instance and class names, and the window's place on the
// screen last.
QRect embeddedIcon(const QString &className)
{
    static const QRegularExpression line(QStringLiteral(
        R"re(^(\s*)0x[0-9a-f]+ .*\("([^"]*)" "([^"]*)"\)\s+(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)re"));
    const QStringList lines =
        run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
            .split(QLatin1Char('\n'));
    qsizetype panelDepth = -1;
    for (const QString &text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        const qsizetype depth = match.capturedLength(1);
        if (panelDepth >= 0 && depth <= panelDepth)
            panelDepth = -1;
        if (match.captured(3) == QLatin1String("trayer") &&
            match.captured(2) == QLatin1String("panel"))
            panelDepth = depth;
        else if (panelDepth >= 0 && match.captured(3) == className)
            return QRect(match.captured(6).toInt(), match.captured(7).toInt(),
                         match.captured(4).toInt(), match.captured(5).toInt());
    }
    return {};
}

// Asked afresh each time (Qt's own answer keeps a tray it has once seen).
bool trayOwned()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
        nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return owned;
}

QStringList visibleWindows(const QString &className)
{
    const QString found =
        run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--class"), className});
    return found.isEmpty() ? QStringList() : found.split(QLatin1Char('\n'));
}

void click(QPoint at, int button)
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
         QStringLiteral("click"), QString::number(button)});
}

void key(const QString &name)
{
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), name});
}

bool saveScreen(const QRect &area, const QString &file)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect inside = area.intersected(screen->geometry());
    const QPixmap shot =
        screen->grabWindow(0, inside.x(), inside.y(), inside.width(), inside.height());
    return !shot.isNull() && shot.save(file, "PNG", 9);
}

} // namespace xdesktop
