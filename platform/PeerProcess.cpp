#include "PeerProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

bool peerCredentials(int socketFd, struct ucred &credentials)
{
    socklen_t size = sizeof credentials;
    return ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           size == sizeof credentials;
}

// The file name of the program a process runs, whichever link started it
// (the command "quorlin" runs "Quorlin"), also when the file was replaced
// since (an upgrade).
QString programName(pid_t pid)
{
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    target.remove(QRegularExpression(QStringLiteral(" \\(deleted\\)$")));
    return QFileInfo(target).fileName();
}

// Whether the other end of the connection still stands: the listener that
// the credentials name has not gone (and its pid not been given to another
// process) since they were read.
bool connectionStands(int socketFd)
{
    struct pollfd state {
        socketFd, POLLRDHUP, 0
    };
    return ::poll(&state, 1, 0) >= 0 && !(state.revents & (POLLHUP | POLLRDHUP | POLLERR));
}

} // namespace

bool peerprocess::isOwnUser(int socketFd)
{
    struct ucred credentials {
    };
    return peerCredentials(socketFd, credentials) && credentials.uid == ::geteuid();
}

PeerProcess::PeerProcess(int socketFd, const QString &program)
{
    struct ucred credentials {
    };
    if (!peerCredentials(socketFd, credentials) || credentials.uid != ::geteuid() ||
        credentials.pid <= 0)
        return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, credentials.pid, 0));
    if (fd < 0)
        return;
    if (programName(credentials.pid) != program || !connectionStands(socketFd)) {
        ::close(fd);
        return;
    }
    pidfd = fd;
}

PeerProcess::~PeerProcess()
{
    if (pidfd >= 0)
        ::close(pidfd);
}

bool PeerProcess::signal(int number) const
{
    return ::syscall(SYS_pidfd_send_signal, pidfd, number, nullptr, 0) == 0;
}

// A pidfd reads as ready once its process has ended.
bool PeerProcess::waitGone(int ms) const
{
    struct pollfd gone {
        pidfd, POLLIN, 0
    };
    return ::poll(&gone, 1, ms) > 0;
}

void PeerProcess::end(int graceMs)
{
    if (pidfd < 0)
        return;
    if (signal(SIGTERM) && signal(SIGCONT) && waitGone(graceMs))
        return;
    if (signal(SIGKILL))
        waitGone(graceMs);
}
