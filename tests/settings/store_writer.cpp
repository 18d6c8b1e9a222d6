#include "Store.h"

#include <QCoreApplication>
#include <QTextStream>

// store_writer <prefix> <count>: writes "!Stress"/<prefix><i> = "value-<i>" for
// i from 0, printing each i once it is saved. A count of 0 writes forever.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
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
