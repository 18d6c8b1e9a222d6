#pragma once

#include <QString>

// True while the machine has a usable default route (IPv4 or IPv6): up, not a
// reject route, and through an interface other than loopback.
class ConnectionTest
{
public:
    explicit ConnectionTest(const QString &ipv4Routes = QStringLiteral("/proc/net/route"),
                            const QString &ipv6Routes = QStringLiteral("/proc/net/ipv6_route"));
    virtual ~ConnectionTest() = default;
    virtual bool connected() const;

private:
    QString ipv4Routes;
    QString ipv6Routes;
};
