#include "CloseChannel.h"

#include "Store.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int ReplyWaitMs = 10000;
// A request is one short line; anything longer is not one of ours.
constexpr qint64 MaxLine = 64;

const QByteArray CloseLine = QByteArrayLiteral("close");
const QByteArray ClosedLine = QByteArrayLiteral("closed");
// A later start of a program asks the running copy to come forward.
const QByteArray ShowLine = QByteArrayLiteral("show");
const QByteArray ShownLine = QByteArrayLiteral("shown");
const QByteArray NotShownLine = QByteArrayLiteral("not shown");
// A sole instance's entries: the lock it holds and the socket it listens on.
const QString LockSuffix = QStringLiteral("-lock");
const QString WindowSuffix = QStringLiteral("-window");
// The running copy may be between taking its lock and listening.
constexpr int ConnectRetryMs = 50;

// The folder exists as a real directory (not a link) that belongs to us.
bool isOwnFolder(const QString &path, struct stat &info)
{
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid();
}

// Creates the folder with mode 0700 when missing and tightens an own folder
// whose mode is wider. Refuses a link or a folder of another user: someone
// else could then see or remove the entries.
bool preparePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {
    };
    if (!isOwnFolder(path, info))
        return false;
    if ((info.st_mode & 07777) != 0700 && ::chmod(name.constData(), 0700) != 0)
        return false;
    return true;
}

// True while a process with that id exists (also when it belongs to someone
// else, which kill() reports as EPERM).
bool processAlive(const QString &pidText)
{
    bool ok = false;
    const qint64 pid = pidText.toLongLong(&ok);
    if (!ok || pid <= 0 || pid != static_cast<pid_t>(pid))
        return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

enum class Outcome { Confirmed, NoListener, NoReply };

// Connects to one entry, writes "close" and waits for "closed".
Outcome requestClose(const QString &path)
{
    const QDeadlineTimer deadline(ReplyWaitMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        return socket.error() == QLocalSocket::ConnectionRefusedError ? Outcome::NoListener
                                                                      : Outcome::NoReply;
    }
    socket.write(CloseLine + '\n');
    socket.flush();
    while (!deadline.hasExpired()) {
        while (socket.canReadLine()) {
            if (socket.readLine(MaxLine).trimmed() == ClosedLine)
                return Outcome::Confirmed;
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            break;
        socket.waitForReadyRead(int(deadline.remainingTime()));
    }
    return Outcome::NoReply;
}

// Removes an entry that nobody listens on, but only when the process named in
// it is gone: a checker that is still starting up (bound, not yet listening)
// keeps its entry.
void removeStaleEntry(const QString &path, const QString &pidText)
{
    if (!processAlive(pidText))
        ::unlink(QFile::encodeName(path).constData());
}

// Hands each new connection of `server` to `readLines` whenever it has
// something to read, and drops it once it disconnects.
void serveConnections(QLocalServer *server, QObject *context,
                      const std::function<void(QLocalSocket *)> &readLines)
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::readyRead, context,
                         [readLines, socket] { readLines(socket); });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readLines(socket);
    }
}

// A server listening at `path` that hands its connections to `readLines`;
// none when nothing can listen there.
QLocalServer *listenAt(const QString &path, QObject *owner,
                       const std::function<void(QLocalSocket *)> &readLines)
{
    auto *server = new QLocalServer(owner);
    QObject::connect(server, &QLocalServer::newConnection, owner,
                     [server, owner, readLines] { serveConnections(server, owner, readLines); });
    if (server->listen(path))
        return server;
    delete server;
    return nullptr;
}

// Makes one of the channel's folders; the one beside the store needs the
// store's folder first (an editor started before anything was saved).
bool prepareChannelFolder(const QString &folder)
{
    if (folder == closechannel::fallbackFolder())
        Store().prepareFolder();
    return preparePrivateFolder(folder);
}

// Whether `socket` has sent the line `expected`. Other lines are passed over;
// a peer that sends too much without a line break is cut off.
bool receivedLine(QLocalSocket *socket, const QByteArray &expected)
{
    while (socket->canReadLine()) {
        if (socket->readLine(MaxLine).trimmed() == expected)
            return true;
    }
    if (socket->bytesAvailable() > MaxLine)
        socket->abort();
    return false;
}

} // namespace

CloseListener::CloseListener(const QString &title, QObject *parent) : QObject(parent), title(title)
{
}

CloseListener::~CloseListener()
{
    for (QLocalServer *server : std::as_const(servers))
        server->close();
}

bool CloseListener::listen()
{
    if (!servers.isEmpty())
        return true;
    if (title.isEmpty() || title.contains(QLatin1Char('/')))
        return false;
    const QStringList places = closechannel::folders();
    for (const QString &folder : places)
        listenIn(folder);
    return !servers.isEmpty();
}

void CloseListener::listenIn(const QString &folder)
{
    if (!prepareChannelFolder(folder))
        return;
    const QString path =
        folder + QLatin1Char('/') + title + QLatin1Char('.') + QString::number(::getpid());
    // An entry under our own process id was left by an earlier process that
    // died without cleaning up; nobody can be listening on it.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(1000))
            return;
        ::unlink(QFile::encodeName(path).constData());
    }
    if (QLocalServer *server =
            listenAt(path, this, [this](QLocalSocket *socket) { socketReadyRead(socket); }))
        servers.append(server);
}

void CloseListener::reply()
{
    // The entries go first, so that whoever reads "closed" finds them gone.
    for (QLocalServer *server : std::as_const(servers))
        server->close();
    for (const QPointer<QLocalSocket> &socket : std::as_const(requesters)) {
        if (!socket || socket->state() != QLocalSocket::ConnectedState)
            continue;
        socket->write(ClosedLine + '\n');
        socket->flush();
        if (socket->bytesToWrite() > 0)
            socket->waitForBytesWritten(1000);
    }
    requesters.clear();
}

void CloseListener::socketReadyRead(QLocalSocket *socket)
{
    if (!receivedLine(socket, CloseLine))
        return;
    if (!requesters.contains(socket))
        requesters.append(socket);
    emit closeRequested();
}

SoleInstance::SoleInstance(const QString &name, QObject *parent) : QObject(parent), name(name) {}

SoleInstance::~SoleInstance()
{
    release();
}

void SoleInstance::release()
{
    for (QLocalServer *server : std::as_const(servers))
        server->close();
    qDeleteAll(servers);
    servers.clear();
    for (const int fd : std::as_const(lockFds))
        ::close(fd);
    lockFds.clear();
}

QString SoleInstance::entry(const QString &folder, const QString &suffix) const
{
    return folder + QLatin1Char('/') + name + suffix;
}

// The locks are taken in the order of the folders, by every copy alike, so
// that two copies starting together never each hold one of them.
bool SoleInstance::claim()
{
    QStringList held;
    const QStringList places = closechannel::folders();
    for (const QString &folder : places) {
        if (!prepareChannelFolder(folder))
            continue;
        const int fd = ::open(QFile::encodeName(entry(folder, LockSuffix)).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool taken = errno == EWOULDBLOCK;
            ::close(fd);
            if (!taken)
                continue;
            release();
            runningIn = folder;
            return false;
        }
        lockFds.append(fd);
        held.append(folder);
    }
    for (const QString &folder : std::as_const(held)) {
        // Holding the lock, any entry left by an earlier copy is stale.
        const QString path = entry(folder, WindowSuffix);
        QLocalServer::removeServer(path);
        if (QLocalServer *server =
                listenAt(path, this, [this](QLocalSocket *socket) { socketReadyRead(socket); }))
            servers.append(server);
    }
    return true;
}

bool SoleInstance::askToComeForward()
{
    const QDeadlineTimer deadline(ReplyWaitMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(entry(runningIn, WindowSuffix));
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(ConnectRetryMs);
    }
    socket.write(ShowLine + '\n');
    socket.flush();
    while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState) {
        if (socket.canReadLine())
            return socket.readLine(MaxLine).trimmed() == ShownLine;
        socket.waitForReadyRead(int(deadline.remainingTime()));
    }
    return socket.canReadLine() && socket.readLine(MaxLine).trimmed() == ShownLine;
}

void SoleInstance::setComeForward(std::function<bool()> handler)
{
    comeForward = std::move(handler);
}

void SoleInstance::socketReadyRead(QLocalSocket *socket)
{
    if (!receivedLine(socket, ShowLine))
        return;
    const bool shown = comeForward && comeForward();
    socket->write((shown ? ShownLine : NotShownLine) + '\n');
    socket->flush();
}

QStringList closechannel::folders()
{
    QStringList places;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info {
    };
    // A runtime folder of another user's would not keep our entries private
    // (root could make its own folder inside it); a missing one is left to
    // whoever makes it.
    if (QDir::isAbsolutePath(runtime) &&
        ::stat(QFile::encodeName(runtime).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::geteuid())
        places.append(runtime + QStringLiteral("/QL"));
    places.append(fallbackFolder());
    return places;
}

QString closechannel::folder()
{
    return folders().constFirst();
}

QString closechannel::fallbackFolder()
{
    return QFileInfo(Store::defaultFilePath()).absolutePath() + QStringLiteral("/channel");
}

int closechannel::closeWindowsByTitle(const QString &text)
{
    // A listener keeps an entry in each folder it could use: it is asked
    // once, in the first folder that has it.
    QStringList asked;
    int confirmed = 0;
    const QStringList places = folders();
    for (const QString &dir : places) {
        struct stat info {
        };
        if (!isOwnFolder(dir, info))
            continue;
        const QStringList names = QDir(dir).entryList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &name : names) {
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            if (dot < 0 || !name.left(dot).contains(text, Qt::CaseSensitive) ||
                asked.contains(name))
                continue;
            const QString path = dir + QLatin1Char('/') + name;
            switch (requestClose(path)) {
            case Outcome::Confirmed:
                ++confirmed;
                asked.append(name);
                break;
            case Outcome::NoListener:
                removeStaleEntry(path, name.mid(dot + 1));
                break;
            case Outcome::NoReply:
                asked.append(name);
                break;
            }
        }
    }
    return confirmed;
}
