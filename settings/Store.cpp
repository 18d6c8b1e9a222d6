#include "Store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

// How long a writer waits for another writer to finish before it gives up:
// a writer that hangs (a stopped process, a stuck network folder) must not
// hold up the other program's writes, and with them its windows, for ever.
constexpr int LockWaitMs = 5000;

// The copies a change is written into are named "<file>.edit-<pid>-<n>",
// beside the file they replace.
const QString EditInfix = QStringLiteral(".edit-");

// Symbolic links followed at most this far; a longer chain is a loop.
constexpr int MaxLinkHops = 40;

// The wait for the writers' lock on one folder, shared by all the writers of
// this program. The wait blocks in the kernel, which hands a released lock to
// a waiting writer at once: a writer that only retried now and then could be
// overtaken for ever by another that writes without pause. flock() cannot be
// given a deadline, so the blocking call runs on a thread of its own; a writer
// whose deadline passes leaves that thread waiting, and the next writer takes
// up the same wait instead of starting another. A hung holder thus costs the
// program one waiting thread and descriptor, however often it tries to write.
struct LockWait {
    std::condition_variable settled;
    // A thread is blocked on the lock.
    bool running = false;
    // Its flock() failed.
    bool failed = false;
    // The descriptor that holds the lock, until a writer takes it over.
    int held = -1;
    // Writers waiting for the thread now; with none, it lets go at once.
    int writers = 0;
};

std::mutex &lockWaitsMutex()
{
    // Never destroyed: a waiting thread may outlive the program's statics.
    static auto *mutex = new std::mutex;
    return *mutex;
}

// Called with lockWaitsMutex() held.
LockWait &lockWaitFor(const QByteArray &folder)
{
    static auto *waits = new std::map<QByteArray, LockWait>;
    return (*waits)[folder];
}

int openFolder(const QByteArray &folder)
{
    return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Called with lockWaitsMutex() held.
bool startWaiting(LockWait &wait, const QByteArray &folder)
{
    const int fd = openFolder(folder);
    if (fd < 0)
        return false;
    wait.running = true;
    std::thread([&wait, fd] {
        int result;
        do {
            result = ::flock(fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        const std::lock_guard<std::mutex> guard(lockWaitsMutex());
        wait.running = false;
        wait.failed = result != 0;
        if (result == 0 && wait.writers > 0)
            wait.held = fd;
        else
            ::close(fd);
        wait.settled.notify_all();
    }).detach();
    return true;
}

// Waits for an exclusive lock on the folder `folder`, at most `waitMs`, and
// returns the descriptor that holds it, or -1.
int lockFolder(const QByteArray &folder, int waitMs)
{
    const int fd = openFolder(folder);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return fd;
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    if (!busy)
        return -1;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::unique_lock<std::mutex> guard(lockWaitsMutex());
    LockWait &wait = lockWaitFor(folder);
    ++wait.writers;
    int held = -1;
    for (;;) {
        if (wait.held >= 0) {
            std::swap(held, wait.held);
            break;
        }
        if (wait.failed) {
            wait.failed = false;
            break;
        }
        if (!wait.running && !startWaiting(wait, folder))
            break;
        if (wait.settled.wait_until(guard, deadline) == std::cv_status::timeout && wait.held < 0)
            break;
    }
    --wait.writers;
    return held;
}

// An exclusive lock on the store's folder, held while the object lives: writers
// take turns, and the kernel releases it even when a writer is killed. Waits
// at most LockWaitMs for a writer that holds it.
class FolderLock
{
public:
    explicit FolderLock(const QString &filePath)
        : fd(lockFolder(QFile::encodeName(QFileInfo(filePath).absolutePath()), LockWaitMs))
    {
    }
    ~FolderLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isHeld() const { return fd >= 0; }

private:
    int fd;
};

// The file that `path` names: a symbolic link is followed to its end, anew at
// each write, so that a link kept by a dotfile manager stays a link.
QString resolvedTarget(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; hops < MaxLinkHops && info.isSymLink(); ++hops)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// Removes the copies a writer killed half-way through a change left beside
// `file`. Called only under the writers' lock, when no other writer can be in
// the middle of a change.
void removeLeftovers(const QString &file)
{
    const QFileInfo info(file);
    const QString prefix = info.fileName() + EditInfix;
    QDir dir = info.absoluteDir();
    const QStringList names =
        dir.entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (name.startsWith(prefix))
            dir.remove(name);
    }
}

qint64 nanoseconds(const struct timespec &time)
{
    return time.tv_sec * 1000000000LL + time.tv_nsec;
}

// Reads the first `size` bytes of the open file `fd`: what it held when it
// was opened, however it grows meanwhile; less when it shrank. False on a
// read error.
bool readUpTo(int fd, qint64 size, QByteArray &text)
{
    text.resize(qMax<qint64>(size, 0));
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t got = ::read(fd, text.data() + done, size_t(text.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += got;
    }
    text.truncate(done);
    return true;
}

// Writes all of `text` to `fd`; false unless every byte was written.
bool writeAll(int fd, const QByteArray &text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// Makes what the folder holds, such as a rename into it, last.
void syncFolder(const QString &folder)
{
    const int fd = openFolder(QFile::encodeName(folder));
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A private copy of the store file, written beside the file it will replace
// under a name no other change of any process ever uses. The copy goes away
// with the object unless it has replaced the file.
class EditCopy
{
public:
    explicit EditCopy(const QString &target)
    {
        static std::atomic<quint64> edits = 0;
        name = QFile::encodeName(target) + EditInfix.toLatin1() + QByteArray::number(::getpid()) +
               '-' + QByteArray::number(++edits);
    }
    ~EditCopy()
    {
        if (!committed)
            ::unlink(name.constData());
    }
    EditCopy(const EditCopy &) = delete;
    EditCopy &operator=(const EditCopy &) = delete;

    // Creates the copy, private to the user, holding `text` on the disk, and
    // modified later than `previousModified` (nanoseconds).
    bool create(const QByteArray &text, qint64 previousModified)
    {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool written =
            writeAll(fd, text) && laterThan(fd, previousModified) && ::fdatasync(fd) == 0;
        return ::close(fd) == 0 && written;
    }

    // Moves the copy over `target` in one step: readers see the old file or
    // the new one, never a part of either.
    bool replace(const QString &target)
    {
        committed = ::rename(name.constData(), QFile::encodeName(target).constData()) == 0;
        return committed;
    }

private:
    // A version written within the same clock tick as the one before it
    // gets a modification time of its own all the same.
    static bool laterThan(int fd, qint64 previousModified)
    {
        struct stat info {
        };
        if (::fstat(fd, &info) != 0)
            return false;
        if (nanoseconds(info.st_mtim) > previousModified)
            return true;
        const qint64 next = previousModified + 1;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {next / 1000000000, next % 1000000000}};
        return ::futimens(fd, times) == 0;
    }

    QByteArray name;
    bool committed = false;
};

} // namespace

bool Store::Change::makeIn(storefile::Contents &contents) const
{
    bool changed = false;
    for (const Step &step : steps) {
        switch (step.kind) {
        case Kind::Write:
            changed |= contents.write(step.section, step.key, step.value);
            break;
        case Kind::RemoveKey:
            changed |= contents.removeKey(step.section, step.key);
            break;
        case Kind::RemoveSection:
            changed |= contents.removeSection(step.section);
            break;
        }
    }
    return changed;
}

Store::Store() : Store(defaultFilePath()) {}

Store::Store(const QString &filePath) : path(filePath), encodedPath(QFile::encodeName(filePath)) {}

Store::~Store()
{
    forget();
}

QString Store::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QL/QL.ini");
}

// The folder is private to the user (0700), and so is the file: every version
// of it is a copy made with mode 0600.
bool Store::prepareFolder() const
{
    QDir dir = QFileInfo(path).absoluteDir();
    if (dir.exists())
        return true;
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    QFile::setPermissions(dir.absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

Store::Stamp Store::stampOf(const struct stat &info)
{
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

bool Store::refresh() const
{
    struct stat info {
    };
    if (::stat(encodedPath.constData(), &info) != 0) {
        const bool absent = errno == ENOENT || errno == ENOTDIR;
        forget();
        contents = {};
        stamp = {};
        loaded = absent;
        return loaded;
    }
    if (loaded && stampOf(info) == stamp)
        return true;
    forget();
    QByteArray text;
    if (!S_ISREG(info.st_mode) || !keepCurrentVersion() || !readUpTo(kept, stamp.size, text)) {
        forget();
        return false;
    }
    contents = storefile::Contents::parse(text);
    loaded = true;
    return true;
}

// A named pipe would wait for a writer, and a device may never end: the file
// is opened without waiting, and only a plain file is read.
bool Store::keepCurrentVersion() const
{
    const int fd = ::open(encodedPath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    kept = fd;
    stamp = stampOf(info);
    return true;
}

void Store::forget() const
{
    loaded = false;
    if (kept >= 0)
        ::close(kept);
    kept = -1;
}

QString Store::read(const QString &section, const QString &key, const QString &fallback) const
{
    return current().read(section, key, fallback);
}

const StoreReading &Store::current() const
{
    static const storefile::Contents unreadable;
    refresh();
    return loaded ? contents : unreadable;
}

bool Store::write(const QString &section, const QString &key, const QString &value)
{
    Change change;
    change.write(section, key, value);
    return apply(change);
}

bool Store::apply(const Change &change)
{
    return edit([&](storefile::Contents &now) {
        return change.makeIn(now) ? Edit::Changed : Edit::Unchanged;
    });
}

bool Store::update(const Plan &plan)
{
    return edit([&](storefile::Contents &now) {
        Change change;
        if (!plan(now, change))
            return Edit::Refused;
        return change.makeIn(now) ? Edit::Changed : Edit::Unchanged;
    });
}

bool Store::removeKey(const QString &section, const QString &key)
{
    return edit([&](storefile::Contents &now) {
        return now.removeKey(section, key) ? Edit::Changed : Edit::Refused;
    });
}

bool Store::removeSection(const QString &section)
{
    return edit([&](storefile::Contents &now) {
        return now.removeSection(section) ? Edit::Changed : Edit::Refused;
    });
}

// Writers take turns (an exclusive lock on the folder, released by the kernel
// even when a writer is killed). Each reads the file once, or not at all when
// the version it read last is still in place, changes its contents, and writes
// the whole new text once into a private copy beside the file, which replaces
// the file only once every byte of it is on the disk. A store file that is a
// symbolic link has its target replaced; one the user may not write, and a
// path that holds no plain file (a named pipe, a device, a folder), stay as
// they are.
bool Store::edit(const std::function<Edit(storefile::Contents &)> &change)
{
    if (!prepareFolder())
        return false;
    const FolderLock lock(path);
    if (!lock.isHeld() || !refresh())
        return false;
    const Edit done = change(contents);
    if (done != Edit::Changed)
        return done == Edit::Unchanged;
    // The contents no longer stand for the old version; they stand for the
    // new one once it is in place.
    forget();
    if (!save(resolvedTarget(path), contents.text()))
        return false;
    loaded = keepCurrentVersion();
    return true;
}

bool Store::save(const QString &target, const QByteArray &text) const
{
    const QByteArray name = QFile::encodeName(target);
    if (::access(name.constData(), F_OK) == 0 && ::access(name.constData(), W_OK) != 0)
        return false;
    removeLeftovers(target);
    EditCopy copy(target);
    if (!copy.create(text, stamp.modified) || !copy.replace(target))
        return false;
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}
