#include "CloseChannel.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"
#include "WaylandDesktop.h"
#include "XDesktop.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFileInfo>
#include <QtTest>

// The built checker on a Wayland session of the test's own (sway, headless),
// with waybar's tray as the StatusNotifierItem host, checked over D-Bus as
// the host sees it: the item, its tip and its exported menu, and what the
// menu's items and the icon's activation do; also when the panel comes up
// after the checker or restarts under it.
class TestWaylandTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void trayShowsTheCheckersOwnMenu_data();
    void trayShowsTheCheckersOwnMenu();

private:
    wldesktop::Desktop desktop;
};

namespace
{

struct MenuItem {
    int id = 0;
    QString label;
};

// The items of a dbusmenu layout (ia{sv}av), top level only.
QList<MenuItem> menuItems(const QDBusArgument &layout)
{
    QList<MenuItem> items;
    int rootId = 0;
    QVariantMap rootProperties;
    layout.beginStructure();
    layout >> rootId >> rootProperties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        MenuItem entry;
        QVariantMap properties;
        item.beginStructure();
        item >> entry.id >> properties;
        item.endStructure();
        entry.label =
            properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                ? QStringLiteral("-")
                : properties.value(QStringLiteral("label")).toString();
        items.append(entry);
    }
    layout.endArray();
    layout.endStructure();
    return items;
}

// The title in a StatusNotifierItem tool tip (s a(iiay) s s).
QString toolTipTitle(const QDBusArgument &toolTip)
{
    QString iconName;
    QString title;
    QString text;
    toolTip.beginStructure();
    toolTip >> iconName;
    toolTip.beginArray();
    while (!toolTip.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        toolTip.beginStructure();
        toolTip >> width >> height >> pixels;
        toolTip.endStructure();
    }
    toolTip.endArray();
    toolTip >> title >> text;
    toolTip.endStructure();
    return title;
}

} // namespace

void TestWaylandTray::initTestCase()
{
    const QStringList missing = wldesktop::missingPrograms();
    if (!missing.isEmpty()) {
        const QByteArray why = "missing: " + missing.join(QLatin1Char(' ')).toLocal8Bit() +
                               " (packages dbus-daemon sway waybar grim)";
        if (xdesktop::inCi())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }
    QString why;
    QVERIFY2(desktop.start(&why), qPrintable(why));
}

void TestWaylandTray::trayShowsTheCheckersOwnMenu_data()
{
    QTest::addColumn<int>("panelLateMs");
    QTest::addColumn<bool>("panelRestarts");
    QTest::newRow("panel up first") << 0 << false;
    // An autostarted checker before the panel: no watcher on the bus at all.
    QTest::newRow("panel started 6 s after the checker") << 6000 << false;
    QTest::newRow("panel ends and comes back") << 0 << true;
}

void TestWaylandTray::trayShowsTheCheckersOwnMenu()
{
    QFETCH(int, panelLateMs);
    QFETCH(bool, panelRestarts);
    QString why;
    if (panelLateMs > 0)
        desktop.stopTray();
    else
        QVERIFY2(desktop.startTray(&why), qPrintable(why));
    TestHome home;
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("Page"), QStringLiteral("http://127.0.0.1:9/"),
                           QStringLiteral("version 2.25")));

    QProcess checker;
    QProcessEnvironment environment = desktop.environment();
    // Under AddressSanitizer: Qt's Wayland platform and its D-Bus tray keep
    // allocations of the system libraries to the end of the process. The
    // checker's own code is checked for leaks by the tests that run it
    // offscreen and on X11.
    if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":detect_leaks=0"));
    checker.setProcessEnvironment(environment);
    checker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    checker.setStandardOutputFile(QProcess::nullDevice());
    checker.start(wldesktop::checkerProgram(), {});
    QVERIFY(checker.waitForStarted(10000));
    const QString entry =
        closechannel::folder() + QStringLiteral("/Quorlin.") + QString::number(checker.processId());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(entry), 20000);
    const QDBusConnection bus = desktop.bus();
    if (panelLateMs > 0) {
        QTest::qWait(panelLateMs);
        QVERIFY2(desktop.startTray(&why), qPrintable(why));
    }
    if (panelRestarts) {
        QTRY_COMPARE_WITH_TIMEOUT(desktop.trayItems().size(), 1, 20000);
        desktop.stopTray();
        QVERIFY2(desktop.startTray(&why), qPrintable(why));
    }

    // One item registered with the watcher, as "service/path" or "service".
    QTRY_COMPARE_WITH_TIMEOUT(desktop.trayItems().size(), 1, 20000);
    const QString item = desktop.trayItems().constFirst();
    const qsizetype slash = item.indexOf(QLatin1Char('/'));
    const QString service = slash < 0 ? item : item.left(slash);
    const QString path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
    const auto itemProperty = [&](const QString &name) {
        return wldesktop::property(bus, service, path, QStringLiteral("org.kde.StatusNotifierItem"),
                                   name);
    };

    QCOMPARE(toolTipTitle(itemProperty(QStringLiteral("ToolTip")).value<QDBusArgument>()),
             QStringLiteral("Quorlin"));
    const QString menuPath = itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    QVERIFY2(!menuPath.isEmpty() && menuPath != QLatin1String("/NO_DBUSMENU"),
             qPrintable(menuPath));

    QDBusMessage getLayout = QDBusMessage::createMethodCall(
        service, menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    const QDBusMessage layout = bus.call(getLayout, QDBus::Block, 5000);
    QCOMPARE(layout.type(), QDBusMessage::ReplyMessage);
    const QList<MenuItem> items = menuItems(layout.arguments().at(1).value<QDBusArgument>());
    QStringList labels;
    for (const MenuItem &entry : items)
        labels.append(entry.label);
    // Access keys as dbusmenu writes them.
    QCOMPARE(labels, (QStringList{QStringLiteral("_Debug"), QStringLiteral("_About"),
                                  QStringLiteral("_Check Now"), QStringLiteral("_Launch Config"),
                                  QStringLiteral("_Exit")}));
    const auto click = [&](int id) {
        QDBusMessage event = QDBusMessage::createMethodCall(
            service, menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
        event << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << uint(0);
        return bus.call(event, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    };

    // The splash goes after its three seconds; the left button then opens
    // nothing.
    QTRY_VERIFY_WITH_TIMEOUT(desktop.windowTitles().isEmpty(), 20000);
    QDBusMessage activate = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    activate << 0 << 0;
    QCOMPARE(bus.call(activate, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
    QTest::qWait(1000);
    QCOMPARE(desktop.windowTitles(), QStringList());

    QVERIFY(click(items.at(0).id));
    QTRY_COMPARE_WITH_TIMEOUT(desktop.windowTitles(), QStringList{QStringLiteral("Debug Window")},
                              10000);

    QVERIFY(click(items.at(4).id));
    QVERIFY(checker.waitForFinished(10000));
    QCOMPARE(checker.exitStatus(), QProcess::NormalExit);
    QCOMPARE(checker.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(entry));
    QTRY_VERIFY_WITH_TIMEOUT(desktop.trayItems().isEmpty(), 10000);
}

// sway refuses to run as root: as root the test runs itself as a user of its
// own, with copies of itself and of the checker.
int main(int argc, char *argv[])
{
    if (const int asDesktopUser = wldesktop::runAsDesktopUser(argc, argv); asDesktopUser >= 0)
        return asDesktopUser;
    QCoreApplication app(argc, argv);
    TestWaylandTray test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandtray.moc"
