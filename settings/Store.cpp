#include "Store.h"

#include "StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// An exclusive lock on the store's folder, held while the object lives: writers
// take turns, and the kernel releases it even when a writer is killed.
class FolderLock
{
public:
    explicit FolderLock(const QString &filePath)
        : fd(::open(QFile::encodeName(QFileInfo(filePath).absolutePath()).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
    }
    ~FolderLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int fd;
};

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

// The folder is private to the user (0700) and the file too (0600). QSettings
// replaces the file atomically and keeps the permissions of the one it replaces,
// so creating it once with 0600 is enough.
bool Store::prepareFile() const
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    if (!dir.exists()) {
        if (!dir.mkpath(QStringLiteral(".")))
            return false;
        QFile::setPermissions(dir.absolutePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (info.exists())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QFileInfo::exists(path);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
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
        if (repairLocked())
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
    if (!prepareFile())
        return false;
    return edit([&](QSettings &settings) {
        settings.setValue(keyPath(section, key), value);
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    file.close();
    if (!storefile::hasRunawayLines(text))
        return false;
    const qint64 before = modifiedMs(path);
    QSaveFile repaired(path);
    if (!repaired.open(QIODevice::WriteOnly) ||
        repaired.write(storefile::withoutRunawayLines(text)) < 0 || !repaired.commit())
        return false;
    advanceModified(path, before);
    return true;
}

// QSettings takes a file whose size and modification time (in milliseconds) it
// has seen before as unchanged, and then neither re-reads it nor merges with
// it before writing. Writers therefore take turns (an exclusive lock on the
// folder, released by the kernel even when a writer is killed), and each new
// version of the file gets a modification time later than the one it replaced,
// so no two versions ever look alike to any reader or writer.
//
// QSettings also keeps a change it could not save in memory, shared by every
// QSettings object of the process on the same file name, where reads see it and
// the next change that succeeds saves it too. So each change goes through a
// name of its own, a second link to the file that nothing else opens, and only
// a saved version is moved over the store's own name. The change is saved
// exactly when that link names a new file afterwards: QSettings replaces the
// file whole, and only once the new version is written out.
bool Store::edit(const std::function<bool(QSettings &)> &change)
{
    static std::atomic<quint64> edits = 0;
    const FolderLock lock(path);
    repairLocked();
    const QByteArray name = QFile::encodeName(path);
    QByteArray alias =
        name + ".edit-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(++edits);
    if (::link(name.constData(), alias.constData()) != 0) {
        if (errno == ENOENT)
            return false;
        // A file system without hard links: change the file under its own name.
        alias = name;
    }
    const quint64 original = inodeOf(alias);
    const qint64 before = modifiedMs(path);
    bool ok = false;
    {
        QSettings settings(QFile::decodeName(alias), QSettings::IniFormat);
        if (change(settings)) {
            settings.sync();
            const quint64 now = inodeOf(alias);
            ok = now != 0 && now != original;
        }
    }
    if (alias != name) {
        if (ok)
            ok = ::rename(alias.constData(), name.constData()) == 0;
        if (!ok)
            ::unlink(alias.constData());
    }
    if (ok)
        advanceModified(path, before);
    return ok;
}
