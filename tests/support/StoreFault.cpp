#include "StoreFault.h"

#include "Store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString MovedAside = QStringLiteral(".moved");
const QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;

} // namespace

StoreFault::StoreFault(Kind kind, qint64 room)
    : folder(QFileInfo(Store::defaultFilePath()).absolutePath()), kind(kind)
{
    QDir().mkpath(folder);
    switch (kind) {
    case FolderReplaced:
        set = replaceFolder();
        break;
    case DiskFull:
    case NoNewNames:
        disk = std::make_unique<FullDisk>(folder,
                                          kind == DiskFull ? FullDisk::Space : FullDisk::Names);
        set = disk->isFull();
        break;
    case LittleRoom:
        cap = std::make_unique<FileSizeCap>(QFileInfo(Store::defaultFilePath()).size() + room);
        set = cap->isSet();
        break;
    case LockHeld:
        set = holdLock();
        break;
    case ReadOnlyFile:
        set = QFile::setPermissions(Store::defaultFilePath(), ReadOnly);
        break;
    case NamedPipe:
    case LinkToZero:
    case LinkToNull:
    case FolderInPlace:
        set = replaceFile();
        break;
    }
}

StoreFault::~StoreFault()
{
    if (holder) {
        holder->kill();
        holder->waitForFinished(30000);
    }
    if (kind == ReadOnlyFile && set)
        QFile::setPermissions(Store::defaultFilePath(), QFile::ReadOwner | QFile::WriteOwner);
    if (kind == FolderReplaced && set) {
        QFile::remove(folder);
        QDir().rename(folder + MovedAside, folder);
    }
    const QString file = Store::defaultFilePath();
    if (fileReplaced)
        ::remove(QFile::encodeName(file).constData());
    if (fileMoved)
        QFile::rename(file + MovedAside, file);
}

QString StoreFault::how() const
{
    switch (kind) {
    case FolderReplaced:
        return QStringLiteral("folder replaced by a file");
    case DiskFull:
    case NoNewNames:
        return disk->how();
    case LittleRoom:
        return QStringLiteral("room for one key, not for a whole change");
    case LockHeld:
        return QStringLiteral("writers' lock held by a hung process");
    case ReadOnlyFile:
        return QStringLiteral("file made read-only (0444), written by its user");
    case NamedPipe:
        return QStringLiteral("a named pipe in place of the file");
    case LinkToZero:
        return QStringLiteral("a link to /dev/zero in place of the file");
    case LinkToNull:
        return QStringLiteral("a link to /dev/null in place of the file");
    case FolderInPlace:
        return QStringLiteral("a folder in place of the file");
    }
    return {};
}

bool StoreFault::replaceFolder()
{
    if (!QDir().rename(folder, folder + MovedAside))
        return false;
    QFile blocker(folder);
    return blocker.open(QIODevice::WriteOnly);
}

bool StoreFault::replaceFile()
{
    const QString file = Store::defaultFilePath();
    if (QFileInfo::exists(file)) {
        if (!QFile::rename(file, file + MovedAside))
            return false;
        fileMoved = true;
    }
    const QByteArray name = QFile::encodeName(file);
    if (kind == NamedPipe)
        fileReplaced = ::mkfifo(name.constData(), 0600) == 0;
    else if (kind == LinkToZero)
        fileReplaced = ::symlink("/dev/zero", name.constData()) == 0;
    else if (kind == LinkToNull)
        fileReplaced = ::symlink("/dev/null", name.constData()) == 0;
    else
        fileReplaced = ::mkdir(name.constData(), 0700) == 0;
    return fileReplaced;
}

// The holder takes the lock as every writer does, says so, and then hangs.
bool StoreFault::holdLock()
{
    holder = std::make_unique<QProcess>();
    holder->start(QStringLiteral(QUORLIN_TEST_BIN_DIR "/store_writer"),
                  {QStringLiteral("hold"), QStringLiteral("600")});
    return holder->waitForReadyRead(30000) && holder->readLine().trimmed() == "held";
}
