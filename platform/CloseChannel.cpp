#include "CloseChannel.h"

#include "PeerProcess.h"
#include "Store.h"

#include <QCryptographicHash>
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
// How long a checker that took a close request and never answered has to end
// on SIGTERM before SIGKILL, and then to be gone.
constexpr int EndGraceMs = 5000;
// A request is one short line; anything longer is not one of ours.
constexpr qint64 MaxLine = 64;

const QByteArray CloseLine = QByteArrayLiteral("close");
const QByteArray ClosedLine = QByteArrayLiteral("closed");
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

// Writes "close" to a connected listener and waits for "closed".
Outcome awaitClosed(QLocalSocket &socket, const QDeadlineTimer &deadline)
{
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

// Connects to one entry, writes "close" and waits for "closed". A listener
// that takes the request and does not answer in time (stopped, hung) is
// ended, when it is a process of this user running the program the entry's
// title names: the one the connection's peer credentials name, held from the
// moment of connecting, so that no other process is ever hit.
Outcome requestClose(const QString &path, const QString &title)
{
    const QDeadlineTimer deadline(ReplyWaitMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        return socket.error() == QLocalSocket::ConnectionRefusedError ? Outcome::NoListener
                                                                      : Outcome::NoReply;
    }
    PeerProcess listener(int(socket.socketDescriptor()), title);
    const Outcome outcome = awaitClosed(socket, deadline);
    if (outcome == Outcome::NoReply)
        listener.end(EndGraceMs);
    return outcome;
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
// something to read, and drops it once it disconnects. A connection from a
// process of another user is dropped at once: the folders are private, and
// nothing another user sends is ever acted on.
void serveConnections(QLocalServer *server, QObject *context,
                      const std::function<void(QLocalSocket *)> &readLines)
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        if (!peerprocess::isOwnUser(int(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
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

// Makes one of the channel's folders: the one beside the store needs the
// store's folder first (an editor started before anything was saved), the
// store's own in the runtime folder needs the private folder that holds the
// stores' folders.
bool prepareChannelFolder(const QString &folder)
{
    if (folder == closechannel::fallbackFolder())
        Store().prepareFolder();
    else if (!preparePrivateFolder(QFileInfo(folder).path()))
        return false;
    return preparePrivateFolder(folder);
}

// The next whole line `socket` has sent, or nothing yet; a peer that sends
// too much without a line break is cut off.
std::optional<QByteArray> nextLine(QLocalSocket *socket)
{
    if (socket->canReadLine())
        return socket->readLine(MaxLine).trimmed();
    if (socket->bytesAvailable() > MaxLine)
        socket->abort();
    return std::nullopt;
}

// Whether `socket` has sent the line `expected`; other lines are passed over.
bool receivedLine(QLocalSocket *socket, const QByteArray &expected)
{
    while (const std::optional<QByteArray> line = nextLine(socket)) {
        if (*line == expected)
            return true;
    }
    return false;
}

// Connects to `path`, writes `request` and waits for one line back. While
// `waitForListener`, a refused or missing entry is tried again until the
// wait is over (the running copy may be between taking its lock and
// listening); otherwise such an entry means nobody runs there.
SoleInstance::Answer exchange(const QString &path, const QByteArray &request, bool waitForListener)
{
    const QDeadlineTimer deadline(ReplyWaitMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        const bool nobody = socket.error() == QLocalSocket::ConnectionRefusedError ||
                            socket.error() == QLocalSocket::ServerNotFoundError;
        if (!waitForListener && nobody)
            return {SoleInstance::Reached::Nobody, {}};
        if (deadline.hasExpired())
            return {nobody ? SoleInstance::Reached::Nobody : SoleInstance::Reached::Silent, {}};
        QThread::msleep(ConnectRetryMs);
    }
    socket.write(request + '\n');
    socket.flush();
    for (;;) {
        if (const std::optional<QByteArray> line = nextLine(&socket))
            return {SoleInstance::Reached::Answered, *line};
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState)
            return {SoleInstance::Reached::Silent, {}};
        socket.waitForReadyRead(int(deadline.remainingTime()));
    }
}

// `path` with every link resolved, as far as it exists.
QString resolvedPath(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString parent = file.absolutePath();
    if (parent == file.absoluteFilePath())
        return parent;
    return resolvedPath(parent) + QLatin1Char('/') + file.fileName();
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

SoleInstance::Answer SoleInstance::ask(const QByteArray &request) const
{
    return exchange(entry(runningIn, WindowSuffix), request, true);
}

SoleInstance::Answer SoleInstance::askRunning(const QByteArray &request) const
{
    const QStringList places = closechannel::folders();
    for (const QString &folder : places) {
        const Answer answer = exchange(entry(folder, WindowSuffix), request, false);
        if (answer.reached != Reached::Nobody)
            return answer;
    }
    return {Reached::Nobody, {}};
}

void SoleInstance::setRequestHandler(RequestHandler handler)
{
    handleRequest = std::move(handler);
}

// Each line is one request; one the handler does not know gets no answer.
void SoleInstance::socketReadyRead(QLocalSocket *socket)
{
    while (const std::optional<QByteArray> request = nextLine(socket)) {
        const QByteArray answer = handleRequest ? handleRequest(*request) : QByteArray();
        if (answer.isEmpty())
            continue;
        socket->write(answer + '\n');
        socket->flush();
    }
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
        places.append(runtime + QStringLiteral("/QL/") + storeIdentity());
    places.append(fallbackFolder());
    return places;
}

// Every store of the user shares the runtime folder: each store's programs
// meet in a folder of their own there, named for the store file's path with
// every link resolved, so that two names of one store meet too.
QString closechannel::storeIdentity()
{
    const QByteArray path = QFile::encodeName(resolvedPath(Store::defaultFilePath()));
    return QString::fromLatin1(
        QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16));
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
            switch (requestClose(path, name.left(dot))) {
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
