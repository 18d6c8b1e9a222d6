#include "CheckerAboutWindow.h"
#include "CheckerBench.h"
#include "HomeTest.h"
#include "ScriptedPrompts.h"
#include "SplashWindow.h"
#include "StartupOptions.h"
#include "StoreFault.h"

#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <memory>

class TestStartup : public HomeTest
{
    Q_OBJECT

private slots:

    void proxyText_data();
    void proxyText();
    void limitValue_data();
    void limitValue();
    void modeEnablesTwoTimers_data();
    void modeEnablesTwoTimers();
    void emptyListRefusesToRun_data();
    void emptyListRefusesToRun();
    void configuredStartSettlesInTheTray();
    void proxyReachesTheDownload();
    void splashGoesAfterThreeSeconds();
    void unloadRemovesIconAndEntryOnce();
    void closeRequestDuringRunEndsIt();
};

void TestStartup::proxyText_data()
{
    QTest::addColumn<QStringList>("settings"); // key, value, key, value, ...
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("proxy");

    QTest::newRow("address and port")
        << QStringList{"FW", "1", "FWIP", "10.0.0.7", "FWPort", "3128"} << true
        << QStringLiteral("10.0.0.7:3128");
    QTest::newRow("both empty") << QStringList{"FW", "1", "FWIP", "", "FWPort", ""} << true
                                << QStringLiteral(":");
    QTest::newRow("both missing") << QStringList{"FW", "1"} << true << QStringLiteral(":");
    QTest::newRow("port missing") << QStringList{"FW", "1", "FWIP", "proxy.lan"} << true
                                  << QStringLiteral("proxy.lan:");
    QTest::newRow("nothing trimmed")
        << QStringList{"FW", "1", "FWIP", " proxy.lan ", "FWPort", "80 "} << true
        << QStringLiteral(" proxy.lan :80 ");
    QTest::newRow("FW 0") << QStringList{"FW", "0", "FWIP", "10.0.0.7", "FWPort", "3128"} << false
                          << QString();
    QTest::newRow("FW missing") << QStringList{"FWIP", "10.0.0.7", "FWPort", "3128"} << false
                                << QString();
    QTest::newRow("FW with space")
        << QStringList{"FW", " 1", "FWIP", "h", "FWPort", "1"} << false << QString();
    QTest::newRow("FW 01") << QStringList{"FW", "01", "FWIP", "h", "FWPort", "1"} << false
                           << QString();
    QTest::newRow("FW empty") << QStringList{"FW", "", "FWIP", "h", "FWPort", "1"} << false
                              << QString();
}

void TestStartup::proxyText()
{
    QFETCH(QStringList, settings);
    QFETCH(bool, set);
    QFETCH(QString, proxy);
    Store store;
    for (qsizetype i = 0; i + 1 < settings.size(); i += 2)
        QVERIFY(store.write(layout::Settings, settings[i], settings[i + 1]));
    const std::optional<QString> text = startup::proxyText(store);
    QCOMPARE(text.has_value(), set);
    if (set)
        QCOMPARE(*text, proxy);
}

void TestStartup::limitValue_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");

    QTest::newRow("missing") << false << QString() << 1;
    QTest::newRow("1") << true << QStringLiteral("1") << 1;
    QTest::newRow("0") << true << QStringLiteral("0") << 0;
    QTest::newRow("2") << true << QStringLiteral("2") << 2;
    QTest::newRow("-1") << true << QStringLiteral("-1") << -1;
    QTest::newRow("largest") << true << QStringLiteral("32767") << 32767;
    QTest::newRow("smallest") << true << QStringLiteral("-32768") << -32768;
    QTest::newRow("too large") << true << QStringLiteral("32768") << 0;
    QTest::newRow("65537 does not wrap to 1") << true << QStringLiteral("65537") << 0;
    QTest::newRow("too small") << true << QStringLiteral("-32769") << 0;
    QTest::newRow("stored empty") << true << QString() << 0;
    QTest::newRow("word") << true << QStringLiteral("yes") << 0;
    QTest::newRow("fraction") << true << QStringLiteral("1.4") << 0;
    QTest::newRow("trailing text") << true << QStringLiteral("1x") << 0;
}

void TestStartup::limitValue()
{
    QFETCH(bool, stored);
    QFETCH(QString, text);
    QFETCH(int, limit);
    Store store;
    if (stored)
        QVERIFY(store.write(layout::Settings, layout::Limit, text));
    QCOMPARE(int(startup::dailyLimit(store)), limit);
}

void TestStartup::modeEnablesTwoTimers_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("always");
    QTest::addColumn<bool>("alwaysMode");

    QTest::newRow("missing") << false << QString() << false;
    QTest::newRow("0") << true << QStringLiteral("0") << false;
    QTest::newRow("1") << true << QStringLiteral("1") << true;
    QTest::newRow("empty") << true << QString() << false;
    QTest::newRow("space 1") << true << QStringLiteral(" 1") << false;
    QTest::newRow("11") << true << QStringLiteral("11") << false;
    QTest::newRow("yes") << true << QStringLiteral("yes") << false;
}

void TestStartup::modeEnablesTwoTimers()
{
    QFETCH(bool, stored);
    QFETCH(QString, always);
    QFETCH(bool, alwaysMode);
    HttpTestServer server;
    CheckerBench bench;
    storeActions(bench.store, server);
    if (stored)
        QVERIFY(bench.store.write(layout::Settings, layout::Always, always));

    QVERIFY(bench.tray.load());
    QCOMPARE(bench.tray.timer(TrayController::TimerRole::DialUp).isActive(), !alwaysMode);
    QVERIFY(bench.tray.timer(TrayController::TimerRole::Splash).isActive());
    QCOMPARE(bench.tray.timer(TrayController::TimerRole::Always).isActive(), alwaysMode);
    QCOMPARE(bench.tray.timer(TrayController::TimerRole::DialUp).interval(), 60000);
    QCOMPARE(bench.tray.timer(TrayController::TimerRole::Splash).interval(), 3000);
    QCOMPARE(bench.tray.timer(TrayController::TimerRole::Always).interval(), 60000);
}

void TestStartup::emptyListRefusesToRun_data()
{
    QTest::addColumn<bool>("laterEntry");
    // Something in place of the store file, which has entry 1; none when -1.
    QTest::addColumn<int>("inPlace");
    QTest::newRow("empty store") << false << -1;
    // Only key "1" counts.
    QTest::newRow("entry 2 without entry 1") << true << -1;
    // A store that cannot be read holds no actions.
    QTest::newRow("store file a named pipe") << true << int(StoreFault::NamedPipe);
    QTest::newRow("store file a link to /dev/zero") << true << int(StoreFault::LinkToZero);
}

void TestStartup::emptyListRefusesToRun()
{
    QFETCH(bool, laterEntry);
    QFETCH(int, inPlace);
    CheckerBench bench;
    QVERIFY(bench.store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    if (laterEntry)
        QVERIFY(bench.store.write(layout::ActionList, QStringLiteral("2"), QStringLiteral("B")));
    std::unique_ptr<StoreFault> unreadable;
    if (inPlace >= 0) {
        QVERIFY(bench.store.write(layout::ActionList, QStringLiteral("1"), QStringLiteral("A")));
        unreadable = std::make_unique<StoreFault>(StoreFault::Kind(inPlace));
        QVERIFY(unreadable->isSet());
    }

    ScriptedPrompts &script = bench.prompts;
    bool splashShown = false;
    script.whileShown = [&](const ScriptedPrompts::Box &) {
        splashShown = bench.tray.splash()->isVisible();
    };
    QSignalSpy ended(&bench.tray, &TrayController::ended);
    QVERIFY(!bench.tray.load());

    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text,
             QStringLiteral(
                 "Quorlin Found No Configured Events. Please Run The Contfigurator. Closing..."));
    QCOMPARE(script.boxes[0].title, QStringLiteral("Quorlin Error:"));
    QCOMPARE(script.boxes[0].flags, 16);
    QVERIFY(splashShown);
    QVERIFY(!bench.tray.icon());
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::DialUp).isActive());
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::Splash).isActive());
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::Always).isActive());
    QVERIFY(bench.proxies.isEmpty());
    QVERIFY(!QFile::exists(CheckerBench::channelEntry()));
    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 0);
    // Ending the program runs no unload step.
    bench.tray.unload();
    QCOMPARE(ended.size(), 0);
}

void TestStartup::configuredStartSettlesInTheTray()
{
    HttpTestServer server;
    CheckerBench bench;
    storeActions(bench.store, server);
    QVERIFY(bench.store.write(layout::Settings, layout::Limit, QStringLiteral("0")));

    ScriptedPrompts &script = bench.prompts;
    QVERIFY(bench.tray.load());
    QVERIFY(script.boxes.isEmpty());
    QVERIFY(bench.tray.splash()->isVisible());
    QCOMPARE(bench.tray.splash()->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
    QVERIFY(bench.tray.aboutLoaded());
    // Loaded in name: its widgets are made when it is first used.
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget *window) {
        return qobject_cast<CheckerAboutWindow *>(window);
    }));
    QVERIFY(!bench.tray.about()->isVisible());
    QCOMPARE(bench.tray.about()->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
    QCOMPARE(bench.tray.runState().dailyLimit, qint16(0));
    QVERIFY(bench.proxies.isEmpty());
    QVERIFY(bench.tray.icon()->isVisible());
    QCOMPARE(bench.tray.icon()->toolTip(), QStringLiteral("Quorlin"));
    QVERIFY(!bench.tray.icon()->icon().isNull());
    QVERIFY(QFile::exists(CheckerBench::channelEntry()));
    // Nothing happens before the first tick.
    QCOMPARE(bench.tray.runState().checksSinceStart, qint16(0));
    QCOMPARE(server.hits("/page1"), 0);
}

void TestStartup::proxyReachesTheDownload()
{
    HttpTestServer server;
    CheckerBench bench;
    storeActions(bench.store, server);
    QVERIFY(bench.store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    QVERIFY(bench.store.write(layout::Settings, layout::FwIp, QStringLiteral("127.0.0.1")));
    QVERIFY(bench.store.write(layout::Settings, layout::FwPort, QStringLiteral("3128")));
    QVERIFY(bench.tray.load());
    QCOMPARE(bench.proxies, QStringList{QStringLiteral("127.0.0.1:3128")});
}

void TestStartup::splashGoesAfterThreeSeconds()
{
    HttpTestServer server;
    CheckerBench bench;
    storeActions(bench.store, server);
    QVERIFY(bench.tray.load());
    QVERIFY(bench.tray.splash()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!bench.tray.splash()->isVisible(), 15000);
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::Splash).isActive());
    // It stays loaded, hidden.
    QCOMPARE(bench.tray.splash()->ui.Label2->text(), QStringLiteral("Initializing..."));
}

void TestStartup::unloadRemovesIconAndEntryOnce()
{
    HttpTestServer server;
    CheckerBench bench;
    storeActions(bench.store, server);
    QVERIFY(bench.tray.load());
    QSignalSpy ended(&bench.tray, &TrayController::ended);
    bool iconGoneAtEnd = false;
    connect(&bench.tray, &TrayController::ended, this,
            [&] { iconGoneAtEnd = !bench.tray.icon()->isVisible(); });

    bench.tray.unload();
    QCOMPARE(ended.size(), 1);
    QVERIFY(iconGoneAtEnd);
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::DialUp).isActive());
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::Splash).isActive());
    QVERIFY(!bench.tray.timer(TrayController::TimerRole::Always).isActive());
    QVERIFY(!QFile::exists(CheckerBench::channelEntry()));
    bench.tray.unload();
    QCOMPARE(ended.size(), 1);
}

// A close request that comes while the run waits for the user ends the
// program there: the icon goes, "closed" goes out, and the run does nothing
// more (no browser, no date, no further page).
void TestStartup::closeRequestDuringRunEndsIt()
{
    HttpTestServer server;
    server.servePage("/page1", pageWith("version 2.26"));
    server.servePage("/page2", pageWith("version 2.25"));
    CheckerBench bench;
    storeActions(bench.store, server, 2);
    QVERIFY(bench.tray.load());

    ScriptedPrompts &script = bench.prompts;
    script.answer(Answer::Yes); // the question of Check Now
    script.answer(Answer::Yes); // the update prompt
    QSignalSpy ended(&bench.tray, &TrayController::ended);
    int confirmed = -1;
    bool iconGoneWhenConfirmed = false;
    script.whileShown = [&](const ScriptedPrompts::Box &box) {
        if (box.title != QLatin1String("Site Updated:"))
            return;
        std::unique_ptr<QThread> sender(QThread::create(
            [&] { confirmed = closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")); }));
        sender->start();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        QVERIFY(sender->wait(15000));
        iconGoneWhenConfirmed = !bench.tray.icon()->isVisible();
    };
    bench.tray.menuItem(TrayController::MenuItem::CheckNow)->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(script.boxes.size(), 2); // the question, then the update prompt
    QCOMPARE(script.boxes[1].title, QStringLiteral("Site Updated:"));
    QCOMPARE(confirmed, 1);
    QVERIFY(iconGoneWhenConfirmed);
    QVERIFY(bench.browser.opened.isEmpty());
    QCOMPARE(bench.store.read(layout::Settings, layout::CheckDate), QString());
    QCOMPARE(server.hits("/page2"), 0);
    QVERIFY(!QFile::exists(CheckerBench::channelEntry()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
