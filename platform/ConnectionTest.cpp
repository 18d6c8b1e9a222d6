#include "ConnectionTest.h"

#include <QFile>
#include <QList>

namespace
{

// Route flags of <linux/route.h>.
constexpr unsigned RouteUp = 0x0001;
constexpr unsigned RouteReject = 0x0200;

const QByteArray Loopback = QByteArrayLiteral("lo");

bool usable(const QByteArray &interface, const QByteArray &flagsText)
{
    bool isNumber = false;
    const unsigned flags = flagsText.toUInt(&isNumber, 16);
    return isNumber && (flags & RouteUp) && !(flags & RouteReject) && !interface.isEmpty() &&
           interface != Loopback && interface != "*";
}

QList<QList<QByteArray>> routeLines(const QString &path)
{
    QList<QList<QByteArray>> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    const QList<QByteArray> all = file.readAll().split('\n');
    for (const QByteArray &line : all)
        lines.append(line.simplified().split(' '));
    return lines;
}

// /proc/net/route: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
// after one header line; addresses in hexadecimal.
bool ipv4DefaultRoute(const QString &path)
{
    const QList<QList<QByteArray>> lines = routeLines(path);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> &fields = lines[i];
        if (fields.size() < 8)
            continue;
        if (fields[1] != "00000000" || fields[7] != "00000000")
            continue;
        if (usable(fields[0], fields[3]))
            return true;
    }
    return false;
}

// /proc/net/ipv6_route: destination, prefix length, source, source prefix
// length, next hop, metric, reference count, use count, flags, interface.
bool ipv6DefaultRoute(const QString &path)
{
    static const QByteArray anyAddress(32, '0');
    const QList<QList<QByteArray>> lines = routeLines(path);
    for (const QList<QByteArray> &fields : lines) {
        if (fields.size() < 10)
            continue;
        if (fields[0] != anyAddress || fields[1] != "00")
            continue;
        if (usable(fields[9], fields[8]))
            return true;
    }
    return false;
}

} // namespace

ConnectionTest::ConnectionTest(const QString &ipv4Routes, const QString &ipv6Routes)
    : ipv4Routes(ipv4Routes), ipv6Routes(ipv6Routes)
{
}

bool ConnectionTest::connected() const
{
    return ipv4DefaultRoute(ipv4Routes) || ipv6DefaultRoute(ipv6Routes);
}
