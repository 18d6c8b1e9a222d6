#include "ProgramStart.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr int FirstOwnDescriptor = STDERR_FILENO + 1;

// Without close_range() (kernels before 5.11): one descriptor at a time, as
// the process's descriptor folder lists them.
void markEachListed()
{
    const QStringList names =
        QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool isNumber = false;
        const int fd = name.toInt(&isNumber);
        if (!isNumber || fd < FirstOwnDescriptor)
            continue;
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

} // namespace

void programstart::keepDescriptorsToOurselves()
{
    if (::close_range(FirstOwnDescriptor, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        markEachListed();
}

bool programstart::startDetached(const QString &program, const QStringList &arguments,
                                 const QString &folder, qint64 *pid)
{
    keepDescriptorsToOurselves();
    return QProcess::startDetached(program, arguments, folder, pid);
}
