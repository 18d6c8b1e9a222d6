#include "Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>

// store_writer <prefix> <count>: writes "!Stress"/<prefix><i> = "value-<i>" for
// i from 0, printing each i once it is saved. A count of 0 writes forever.
//
// store_writer hold <seconds>: a writer that hangs. Takes the writers' lock on
// the store (an exclusive flock on the store's folder, as every writer does),
// prints "held", and keeps it for that long.
namespace
{

int holdLock(int seconds)
{
    const QString folder = QFileInfo(Store::defaultFilePath()).absolutePath();
    QDir().mkpath(folder);
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
        return 1;
    QTextStream(stdout) << "held" << Qt::endl;
    QThread::sleep(seconds);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    if (args.at(1) == QLatin1String("hold"))
        return holdLock(args.at(2).toInt());
    const QString prefix = args.at(1);
    const int count = args.at(2).toInt();
    Store store;
    QTextStream out(stdout);
    for (int i = 0; count == 0 || i < count; ++i) {
        if (!store.write(QStringLiteral("!Stress"), prefix + QString::number(i),
                         QStringLiteral("value-") + QString::number(i)))
            return 1;
        out << i << Qt::endl;
    }
    return 0;
}
