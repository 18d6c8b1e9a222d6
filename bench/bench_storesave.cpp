// One save of the store beside the least a save can cost.
//
//   bench_storesave DIR ACTIONS ROUNDS
//       makes DIR/QL.ini holding ACTIONS actions as the editor writes them and
//       prints "name value" lines, one per round of each:
//         store<ACTIONS>_save_*: one write of a date by a store that reads the
//           file first (a program's first save);
//         store<ACTIONS>_warm_*: the same by a store that read the file before
//           (the editor's save after it showed the list);
//         store<ACTIONS>_floor_*: reading the file, then writing the same bytes
//           into a copy beside it with write, fdatasync, rename over the file
//           and fsync of the folder;
//       each as _ms (wall time), _read_bytes and _written_bytes (from
//       /proc/self/io), and store<ACTIONS>_file_bytes.

#include "Layout.h"
#include "Store.h"
#include "StoreFile.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace
{

struct Io {
    qint64 read = 0;
    qint64 written = 0;
};

// The bytes this process has read and written through system calls so far.
Io ioSoFar()
{
    QFile file(QStringLiteral("/proc/self/io"));
    Io io;
    if (!file.open(QIODevice::ReadOnly))
        return io;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("rchar: "))
            io.read = line.mid(7).toLongLong();
        else if (line.startsWith("wchar: "))
            io.written = line.mid(7).toLongLong();
    }
    return io;
}

QByteArray storeText(int actions)
{
    storefile::Contents contents;
    for (int i = 1; i <= actions; ++i) {
        const QString description = QStringLiteral("Action %1 page").arg(i);
        contents.write(layout::ActionList, QString::number(i), description);
        contents.write(description, layout::Url,
                       QStringLiteral("https://www.example.org/products/%1/changes.html").arg(i));
        contents.write(description, layout::Check, QStringLiteral("version 2.%1").arg(i));
        contents.write(description, layout::Nr, QString::number(i));
    }
    contents.write(layout::Settings, layout::Limit, QStringLiteral("1"));
    contents.write(layout::Settings, layout::CheckDate, QStringLiteral("12-06-2026"));
    return contents.text();
}

bool readFile(const QByteArray &name, QByteArray &text)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    ssize_t got;
    text.clear();
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, got);
    ::close(fd);
    return got == 0;
}

// The floor: the file read, its bytes written whole into a copy that is synced
// and renamed over it, and the folder synced.
bool floorSave(const QString &folder, const QString &path)
{
    QByteArray text;
    const QByteArray copy = QFile::encodeName(path + QStringLiteral(".floor"));
    if (!readFile(QFile::encodeName(path), text))
        return false;
    const int fd = ::open(copy.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, text.constData(), size_t(text.size())) == text.size() && ::fdatasync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(copy.constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const bool synced = dir >= 0 && ::fsync(dir) == 0;
    ::close(dir);
    return synced;
}

// Times one save and counts its bytes; prints them under `name`.
template <typename Save> bool measure(const QString &name, Save save)
{
    QElapsedTimer clock;
    const Io before = ioSoFar();
    clock.start();
    const bool saved = save();
    const qint64 ns = clock.nsecsElapsed();
    const Io after = ioSoFar();
    // Reading /proc/self/io is itself a read: the second one's bytes are not the save's.
    const Io idle = ioSoFar();
    QTextStream out(stdout);
    out << name << "_ms " << double(ns) / 1e6 << '\n'
        << name << "_read_bytes " << (after.read - before.read) - (idle.read - after.read) << '\n'
        << name << "_written_bytes " << after.written - before.written << '\n';
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4)
        return 2;
    const QString folder = QFile::decodeName(argv[1]);
    const int actions = QByteArray(argv[2]).toInt();
    const int rounds = QByteArray(argv[3]).toInt();
    const QString path = folder + QStringLiteral("/QL.ini");
    const QString key = QStringLiteral("store%1").arg(actions);
    QDir().mkpath(folder);
    const QByteArray text = storeText(actions);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 1;
    file.close();
    QTextStream(stdout) << key << "_file_bytes " << text.size() << Qt::endl;

    Store warm(path);
    for (int round = 0; round < rounds; ++round) {
        // Dates of the same length: every version of the file has its size.
        const QString date = QStringLiteral("12-%1-2026").arg(10 + round % 2);
        const QString other = QStringLiteral("12-%1-2026").arg(12 + round % 2);
        if (!measure(key + QStringLiteral("_floor"), [&] { return floorSave(folder, path); }))
            return 1;
        const auto fresh = [&] {
            return Store(path).write(layout::Settings, layout::CheckDate, date);
        };
        if (!measure(key + QStringLiteral("_save"), fresh))
            return 1;
        // The warm store reads the file as it stands before its save is timed.
        warm.read(layout::Settings, layout::TDate);
        const auto again = [&] { return warm.write(layout::Settings, layout::TDate, other); };
        if (!measure(key + QStringLiteral("_warm"), again))
            return 1;
    }
    return 0;
}
