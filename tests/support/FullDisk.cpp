#include "FullDisk.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace
{

// Mounts made from here on stay in this thread's own namespace. Entered once.
bool privateMounts()
{
    static const bool entered = ::unshare(CLONE_NEWNS) == 0 &&
                                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

// Writes until the file system has no room left.
void fillUp(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray chunk(4096, 'x');
    while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    const char one = 'x';
    while (::write(fd, &one, 1) > 0) {
    }
    ::close(fd);
}

} // namespace

FullDisk::FullDisk(const QString &folder) : folder(QFile::encodeName(folder))
{
    if (!mountFull())
        limitFileSize();
}

FullDisk::~FullDisk()
{
    if (mounted)
        ::umount2(folder.constData(), MNT_DETACH);
    if (limited) {
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
    }
}

QString FullDisk::how() const
{
    if (mounted)
        return QStringLiteral("64 KiB tmpfs filled up");
    if (limited)
        return QStringLiteral("file size limit 0");
    return QStringLiteral("none");
}

bool FullDisk::mountFull()
{
    const QDir dir(QFile::decodeName(folder));
    if (!dir.exists() || !privateMounts())
        return false;
    QList<QPair<QString, QByteArray>> files;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        files.append({name, file.readAll()});
    }
    if (::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") !=
        0)
        return false;
    mounted = true;
    for (const auto &[name, contents] : files) {
        QFile copy(dir.filePath(name));
        if (!copy.open(QIODevice::WriteOnly) || copy.write(contents) != contents.size())
            return true; // already full
        copy.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    fillUp(folder + "/.filler");
    return true;
}

bool FullDisk::limitFileSize()
{
    if (::getrlimit(RLIMIT_FSIZE, &oldLimit) != 0)
        return false;
    struct rlimit none = oldLimit;
    none.rlim_cur = 0;
    oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limited = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    if (!limited)
        std::signal(SIGXFSZ, oldHandler);
    return limited;
}
