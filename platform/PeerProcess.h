#pragma once

#include <QString>
#include <sys/types.h>

// The process at the other end of a local socket, as the kernel names it
// (the socket's peer credentials): for the channel's listeners, to take
// requests from the user's own processes alone, and for a close request, to
// end a checker that took the request and never answered.
namespace peerprocess
{

// Whether the process at the other end of `socketFd` runs as this user.
bool isOwnUser(int socketFd);

} // namespace peerprocess

// A hold on the process that listens at the other end of a connected socket,
// taken while the connection stands, as a pidfd: a signal sent through it
// reaches that process or nothing, never another that got its pid later.
class PeerProcess
{
public:
    // Holds the peer of `socketFd` when it is a process of this user running
    // the program file named `program`; holds nothing otherwise.
    PeerProcess(int socketFd, const QString &program);
    ~PeerProcess();
    PeerProcess(const PeerProcess &) = delete;
    PeerProcess &operator=(const PeerProcess &) = delete;

    bool isHeld() const { return pidfd >= 0; }
    // Ends the process: SIGTERM with SIGCONT (a stopped process acts on
    // nothing until continued), then SIGKILL when it is still there after
    // `graceMs`. Returns once it is gone, or after a further `graceMs`.
    void end(int graceMs);

private:
    bool signal(int number) const;
    bool waitGone(int ms) const;

    int pidfd = -1;
};
