#include "ConnectionTest.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QByteArray Ipv4Header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask"
                              "\t\tMTU\tWindow\tIRTT                                   \n";

QByteArray ipv4(const char *interface, const char *destination, const char *flags, const char *mask)
{
    return QByteArray(interface) + '\t' + destination + "\t010200C0\t" + flags + "\t0\t0\t0\t" +
           mask + "\t0\t0\t0                    \n";
}

QByteArray ipv6(const char *destination, const char *prefix, const char *flags,
                const char *interface)
{
    return QByteArray(destination) + ' ' + prefix +
           " 00000000000000000000000000000000 00 fd000000000000000000000000000001 00000400 "
           "00000002 00000000 " +
           flags + "     " + interface + '\n';
}

const char AnyV6[] = "00000000000000000000000000000000";

// The kernel's own unreachable IPv6 default, present on every machine.
QByteArray kernelV6Reject()
{
    return ipv6(AnyV6, "00", "00200200", "lo");
}

} // namespace

class TestConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void connected_data();
    void connected();
    void missingFiles();
};

void TestConnectionTest::connected_data()
{
    QTest::addColumn<QByteArray>("v4");
    QTest::addColumn<QByteArray>("v6");
    QTest::addColumn<bool>("expected");

    const QByteArray subnet = ipv4("eth0", "000200C0", "0001", "00FFFFFF");
    QTest::newRow("IPv4 default route up")
        << Ipv4Header + ipv4("eth0", "00000000", "0003", "00000000") + subnet << kernelV6Reject()
        << true;
    QTest::newRow("dial-up interface")
        << Ipv4Header + ipv4("ppp0", "00000000", "0001", "00000000") << QByteArray() << true;
    QTest::newRow("only a subnet route") << Ipv4Header + subnet << kernelV6Reject() << false;
    QTest::newRow("only loopback") << Ipv4Header + ipv4("lo", "00000000", "0003", "00000000") +
                                          ipv4("lo", "0000007F", "0001", "000000FF")
                                   << kernelV6Reject() << false;
    QTest::newRow("default route down")
        << Ipv4Header + ipv4("eth0", "00000000", "0002", "00000000") << QByteArray() << false;
    QTest::newRow("reject route") << Ipv4Header + ipv4("*", "00000000", "0201", "00000000")
                                  << kernelV6Reject() << false;
    QTest::newRow("reject route on an interface")
        << Ipv4Header + ipv4("eth0", "00000000", "0201", "00000000") << QByteArray() << false;
    QTest::newRow("mask not zero")
        << Ipv4Header + ipv4("eth0", "00000000", "0003", "000000FF") << QByteArray() << false;
    QTest::newRow("IPv6 only") << Ipv4Header
                               << kernelV6Reject() + ipv6(AnyV6, "00", "00000003", "wlan0") << true;
    QTest::newRow("IPv6 route with a prefix")
        << Ipv4Header << ipv6("20010db8000000000000000000000000", "20", "00000003", "eth0")
        << false;
    QTest::newRow("IPv6 default down")
        << Ipv4Header << ipv6(AnyV6, "00", "00000002", "eth0") << false;
    QTest::newRow("IPv6 reject") << Ipv4Header << ipv6(AnyV6, "00", "00000201", "eth0") << false;
    QTest::newRow("header only, both") << Ipv4Header << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray("\x01\x02 not a route table\n\n")
                             << QByteArray("zz zz zz\n") << false;
}

void TestConnectionTest::connected()
{
    QFETCH(QByteArray, v4);
    QFETCH(QByteArray, v6);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QFile v4File(dir.filePath(QStringLiteral("route")));
    QFile v6File(dir.filePath(QStringLiteral("ipv6_route")));
    QVERIFY(v4File.open(QIODevice::WriteOnly) && v4File.write(v4) == v4.size());
    QVERIFY(v6File.open(QIODevice::WriteOnly) && v6File.write(v6) == v6.size());
    v4File.close();
    v6File.close();
    const ConnectionTest test(v4File.fileName(), v6File.fileName());
    QCOMPARE(test.connected(), expected);
}

void TestConnectionTest::missingFiles()
{
    QTemporaryDir dir;
    const ConnectionTest none(dir.filePath(QStringLiteral("route")),
                              dir.filePath(QStringLiteral("ipv6_route")));
    QCOMPARE(none.connected(), false);

    // One table missing does not hide a default route in the other.
    QFile v4File(dir.filePath(QStringLiteral("route")));
    QVERIFY(v4File.open(QIODevice::WriteOnly));
    v4File.write(Ipv4Header + ipv4("eth0", "00000000", "0003", "00000000"));
    v4File.close();
    const ConnectionTest onlyV4(v4File.fileName(), dir.filePath(QStringLiteral("ipv6_route")));
    QCOMPARE(onlyV4.connected(), true);
}

QTEST_GUILESS_MAIN(TestConnectionTest)
#include "tst_connectiontest.moc"
