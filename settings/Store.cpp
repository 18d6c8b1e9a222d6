#include "Store.h"

#include "StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

QString keyPath(const QString &section, const QString &key)
{
    return Store::escapeSection(section) + QLatin1Char('/') + key;
}

// A hand-edited value such as "a, b" comes back from QSettings as a list; one
// with an element that begins with '@' (as typed, or as QSettings marks an
// element holding a NUL when it writes the list back) as a list of variants.
QString valueText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

qint64 modifiedMs(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return info.st_mtim.tv_sec * 1000LL + info.st_mtim.tv_nsec / 1000000;
}

void advanceModified(const QString &path, qint64 previousMs)
{
    if (previousMs < 0 || modifiedMs(path) > previousMs)
        return;
    const qint64 next = previousMs + 1;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {next / 1000, (next % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

quint64 inodeOf(const QByteArray &name)
{
    struct stat info {
    };
    return ::stat(name.constData(), &info) == 0 ? static_cast<quint64>(info.st_ino) : 0;
}

// How long a writer waits for another writer to finish before it gives up:
// a writer that hangs (a stopped process, a stuck network folder) must not
// hold up the other program's writes, and with them its windows, for ever.
constexpr int LockWaitMs = 5000;

// The copies a change is made on are named "<file>.edit-<pid>-<n>", beside
// the file they replace; QSettings adds files of its own to such a name.
const QString EditInfix = QStringLiteral(".edit-");

// Symbolic links followed at most this far; a longer chain is a loop.
constexpr int MaxLinkHops = 40;

// Waits for an exclusive lock on the folder `folder`, at most `waitMs`, and
// returns the descriptor that holds it, or -1. The wait blocks in the kernel,
// which hands a released lock to a waiting writer at once: a writer that only
// retried now and then could be overtaken for ever by another that writes
// without pause. flock() cannot be given a deadline, so the blocking call runs
// on a thread of its own; when the deadline passes first, that thread lets go
// of the lock as soon as it gets it.
int lockFolder(const QByteArray &folder, int waitMs)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return fd;
    if (errno != EWOULDBLOCK) {
        ::close(fd);
        return -1;
    }

    struct Wait {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        bool locked = false;
        bool abandoned = false;
    };
    const auto wait = std::make_shared<Wait>();
    std::thread([wait, fd] {
        int result;
        do {
            result = ::flock(fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        const std::lock_guard<std::mutex> guard(wait->mutex);
        if (wait->abandoned) {
            ::close(fd);
            return;
        }
        wait->locked = result == 0;
        wait->done = true;
        wait->answered.notify_one();
    }).detach();

    std::unique_lock<std::mutex> guard(wait->mutex);
    wait->answered.wait_for(guard, std::chrono::milliseconds(waitMs), [&] { return wait->done; });
    if (!wait->done) {
        // The thread closes the descriptor once its flock() returns.
        wait->abandoned = true;
        return -1;
    }
    if (wait->locked)
        return fd;
    ::close(fd);
    return -1;
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

// Removes what a writer killed half-way through a change left beside `file`:
// its copy and the files QSettings made next to that. Called only under the
// writers' lock, when no other writer can be in the middle of a change.
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

// The whole text of a file; an absent file is an empty one.
bool readWhole(const QString &path, QByteArray &text)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        text = file.readAll();
        return file.error() == QFileDevice::NoError;
    }
    text.clear();
    return !QFileInfo::exists(path);
}

// A private copy of the store file, made beside the file it will replace and
// under a name no other change of any process ever uses. QSettings keeps a
// change it could not save in memory, shared by every QSettings object of the
// process on the same file name, where later reads would see it; on a name of
// its own such a change stays out of sight. The copy goes away with the object
// unless it has replaced the file.
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

    QString fileName() const { return QFile::decodeName(name); }
    quint64 inode() const { return inodeOf(name); }

    // Creates the copy, private to the user, holding `text`.
    bool create(const QByteArray &text)
    {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        qsizetype done = 0;
        while (done < text.size()) {
            const ssize_t written =
                ::write(fd, text.constData() + done, size_t(text.size() - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            done += written;
        }
        return ::close(fd) == 0 && done == text.size();
    }

    // Moves the copy over `target` in one step: readers see the old file or
    // the new one, never a part of either.
    bool replace(const QString &target)
    {
        committed = ::rename(name.constData(), QFile::encodeName(target).constData()) == 0;
        return committed;
    }

private:
    QByteArray name;
    bool committed = false;
};

// The text a whole save of `text` changed by `change` leaves: what QSettings
// writes for it, written to a temporary file away from the store's folder.
// Comparing the store's new version with it byte for byte finds a write cut
// short (a disk with room for part of the file, which QSettings still moves
// into place), whatever the file held, even lines QSettings reads back
// otherwise than it wrote them.
bool wholeSaveText(const QByteArray &text, const std::function<bool(QSettings &)> &change,
                   QByteArray &result)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quorlin-store-XXXXXX.ini"));
    if (!file.open() || file.write(text) != text.size() || !file.flush())
        return false;
    file.close();
    {
        QSettings settings(file.fileName(), QSettings::IniFormat);
        if (!change(settings))
            return false;
        // Its status would also report the damaged lines it read; a write
        // that failed leaves the text unchanged, which the comparison finds.
        settings.sync();
    }
    // A limit on the size of the files this process writes cuts the copy
    // short just where it cuts this text: neither can be trusted then.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    return readWhole(file.fileName(), result) &&
           (limit.rlim_cur == RLIM_INFINITY || rlim_t(result.size()) < limit.rlim_cur);
}

} // namespace

Store::Store() : path(defaultFilePath()) {}

Store::Store(const QString &filePath) : path(filePath) {}

Store::~Store() = default;

QString Store::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QL/QL.ini");
}

QString Store::escapeSection(const QString &section)
{
    QString escaped = section;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%25"));
    escaped.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    // QSettings files every spelling of "general" under "General"; any other
    // spelling keeps its own section with its first letter escaped.
    if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0 &&
        section != QLatin1String("General"))
        escaped.replace(0, 1, QStringLiteral("%%1").arg(section.at(0).unicode(), 2, 16));
    return escaped;
}

QString Store::unescapeSection(const QString &escaped)
{
    QString section;
    section.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        bool isHex = false;
        const int code = escaped.mid(i + 1, 2).toInt(&isHex, 16);
        if (escaped.at(i) == QLatin1Char('%') && i + 2 < escaped.size() && isHex) {
            section += QChar(code);
            i += 2;
        } else {
            section += escaped.at(i);
        }
    }
    return section;
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

Store::Stamp Store::currentStamp() const
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {static_cast<quint64>(info.st_ino), static_cast<qint64>(info.st_size),
            info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

const QSettings &Store::current() const
{
    Stamp stamp = currentStamp();
    if (reader && stamp == readerStamp)
        return *reader;
    if (hasRunawayLines()) {
        const FolderLock lock(path);
        if (lock.isHeld() && repairLocked())
            stamp = currentStamp();
    }
    if (!reader) {
        reader = std::make_unique<QSettings>(path, QSettings::IniFormat);
    } else if (stamp != readerStamp) {
        reader->sync();
    }
    readerStamp = stamp;
    return *reader;
}

QString Store::read(const QString &section, const QString &key, const QString &fallback) const
{
    return valueText(current().value(keyPath(section, key), fallback));
}

bool Store::write(const QString &section, const QString &key, const QString &value)
{
    Change change;
    change.write(section, key, value);
    return apply(change);
}

bool Store::apply(const Change &change)
{
    if (!prepareFolder())
        return false;
    return edit([&](QSettings &settings) {
        for (const Change::Step &step : change.steps) {
            switch (step.kind) {
            case Change::Kind::Write:
                settings.setValue(keyPath(step.section, step.key), step.value);
                break;
            case Change::Kind::RemoveKey:
                settings.remove(keyPath(step.section, step.key));
                break;
            case Change::Kind::RemoveSection:
                settings.remove(escapeSection(step.section));
                break;
            }
        }
        return true;
    });
}

bool Store::removeKey(const QString &section, const QString &key)
{
    return edit([&](QSettings &settings) {
        const QString full = keyPath(section, key);
        if (!settings.contains(full))
            return false;
        settings.remove(full);
        return true;
    });
}

bool Store::removeSection(const QString &section)
{
    return edit([&](QSettings &settings) {
        const QString group = escapeSection(section);
        settings.beginGroup(group);
        const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
        settings.endGroup();
        if (!exists)
            return false;
        settings.remove(group);
        return true;
    });
}

// A file damaged by hand may hold a line that would run on into the lines
// after it. It is rewritten without such lines, so that the sections after
// them are neither hidden from readers nor dropped by the next change.
bool Store::hasRunawayLines() const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && storefile::hasRunawayLines(file.readAll());
}

bool Store::repairLocked() const
{
    const QString target = resolvedTarget(path);
    QByteArray text;
    if (!readWhole(target, text) || !storefile::hasRunawayLines(text))
        return false;
    const qint64 before = modifiedMs(target);
    EditCopy repaired(target);
    if (!repaired.create(storefile::withoutRunawayLines(text)) || !repaired.replace(target))
        return false;
    advanceModified(target, before);
    return true;
}

// QSettings takes a file whose size and modification time (in milliseconds) it
// has seen before as unchanged, and then neither re-reads it nor merges with
// it before writing. Writers therefore take turns (an exclusive lock on the
// folder, released by the kernel even when a writer is killed), and each new
// version of the file gets a modification time later than the one it replaced,
// so no two versions ever look alike to any reader or writer.
//
// Every change, on every file system, is made on a private copy of the file
// (see EditCopy) and moved over the file only once saved. The change is saved
// when the copy's name stands for a new file afterwards (QSettings replaces
// the file whole, and only once the new version is written out) that reads
// back as everything the change meant it to hold. A store file that is a
// symbolic link has its target replaced.
bool Store::edit(const std::function<bool(QSettings &)> &change)
{
    const FolderLock lock(path);
    if (!lock.isHeld())
        return false;
    const QString target = resolvedTarget(path);
    removeLeftovers(path);
    if (target != QFileInfo(path).absoluteFilePath())
        removeLeftovers(target);
    QByteArray text;
    if (!readWhole(target, text))
        return false;
    // Lines damaged by hand go with the change.
    if (storefile::hasRunawayLines(text))
        text = storefile::withoutRunawayLines(text);
    EditCopy copy(target);
    if (!copy.create(text))
        return false;
    const quint64 original = copy.inode();
    const qint64 before = modifiedMs(target);
    bool saved = false;
    QByteArray whole;
    {
        QSettings settings(copy.fileName(), QSettings::IniFormat);
        if (!change(settings))
            return false;
        settings.sync();
        const quint64 now = copy.inode();
        QByteArray written;
        saved = now != 0 && now != original && readWhole(copy.fileName(), written) &&
                wholeSaveText(text, change, whole) && written == whole;
    }
    if (!saved || !copy.replace(target))
        return false;
    advanceModified(target, before);
    return true;
}
