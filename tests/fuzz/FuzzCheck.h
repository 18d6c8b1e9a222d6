#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Stops the fuzzer with the input at hand when a property does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// A file name of its own for each input, in memory where there is such a
// folder: QSettings remembers the
// files it has read by name, size and time, so names are never reused.
inline QString scratchFile(const char *what)
{
    static unsigned long count = 0;
    static const QString folder = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                      ? QStringLiteral("/dev/shm")
                                      : QDir::tempPath();
    return QStringLiteral("%1/quorlin-fuzz-%2-%3-%4.ini")
        .arg(folder, QString::fromLatin1(what))
        .arg(qint64(::getpid()))
        .arg(++count);
}
