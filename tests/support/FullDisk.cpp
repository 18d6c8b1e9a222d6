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

// Makes empty files until the file system takes no more.
void useAllNames(const QByteArray &folder)
{
    for (int i = 0;; ++i) {
        const QByteArray name = folder + "/.name-" + QByteArray::number(i);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        ::close(fd);
    }
}

} // namespace

FileSizeCap::FileSizeCap(qint64 bytes)
{
    if (::getrlimit(RLIMIT_FSIZE, &oldLimit) != 0)
        return;
    struct rlimit capped = oldLimit;
    capped.rlim_cur = rlim_t(bytes);
    oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    set = ::setrlimit(RLIMIT_FSIZE, &capped) == 0;
    if (!set)
        std::signal(SIGXFSZ, oldHandler);
}

FileSizeCap::~FileSizeCap()
{
    if (!set)
        return;
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
}

FullDisk::FullDisk(const QString &folder, Exhausted what)
    : folder(QFile::encodeName(folder)), what(what)
{
    if (!mountFull() && what == Space)
        capped = std::make_unique<FileSizeCap>(0);
}

FullDisk::~FullDisk()
{
    if (mounted)
        ::umount2(folder.constData(), MNT_DETACH);
}

QString FullDisk::how() const
{
    if (mounted)
        return what == Names ? QStringLiteral("tmpfs with every inode in use")
                             : QStringLiteral("64 KiB tmpfs filled up");
    if (isFull())
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
    const char *options = what == Names ? "size=1m,nr_inodes=64,mode=0700" : "size=64k,mode=0700";
    if (::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) != 0)
        return false;
    mounted = true;
    for (const auto &[name, contents] : files) {
        QFile copy(dir.filePath(name));
        if (!copy.open(QIODevice::WriteOnly) || copy.write(contents) != contents.size())
            return true; // already full
        copy.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    if (what == Names)
        useAllNames(folder);
    else
        fillUp(folder + "/.filler");
    return true;
}
