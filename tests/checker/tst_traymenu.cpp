#include "CheckerAboutWindow.h"
#include "CheckerBench.h"
#include "ScriptedPrompts.h"
#include "SplashWindow.h"
#include "StatusWindow.h"
#include "TestHome.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <csignal>

class TestTrayMenu : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuHoldsFiveItemsInOrder();
    void activationsOpenNothingOfTheirOwn_data();
    void activationsOpenNothingOfTheirOwn();
    void launchConfigWithoutProgramSaysSo();
    void debugShowsTheStatusWindow();
    void aboutShowsOneWindow();
    void aboutAfterCloseBoxLoadsAfresh();
    void checkNowAsksFirst();
    void exitRemovesIconAndEnds_data();
    void exitRemovesIconAndEnds();

private:
    // Lets the queued menu handlers run.
    static void settle() { QCoreApplication::processEvents(); }
    static QList<QWidget *> visibleWindows()
    {
        QList<QWidget *> shown = QApplication::topLevelWidgets();
        shown.removeIf([](const QWidget *window) { return !window->isVisible(); });
        return shown;
    }

    std::unique_ptr<TestHome> home;
    std::unique_ptr<HttpTestServer> server;
    std::unique_ptr<CheckerBench> bench;
};

void TestTrayMenu::init()
{
    home = std::make_unique<TestHome>();
    server = std::make_unique<HttpTestServer>();
    server->servePage("/page1", pageWith("version 2.25"));
    bench = std::make_unique<CheckerBench>();
    storeActions(bench->store, *server);
    QVERIFY(bench->tray.load());
}

void TestTrayMenu::cleanup()
{
    bench.reset();
    server.reset();
    home.reset();
}

void TestTrayMenu::menuHoldsFiveItemsInOrder()
{
    QStringList captions;
    const QList<QAction *> items = bench->tray.menu().actions();
    for (const QAction *item : items) {
        QVERIFY(!item->isSeparator());
        captions.append(item->text());
    }
    QCOMPARE(captions, (QStringList{"&Debug", "&About", "&Check Now", "&Launch Config", "&Exit"}));
    QCOMPARE(items[0], bench->tray.menuItem(TrayController::MenuItem::Debug));
    QCOMPARE(items[4], bench->tray.menuItem(TrayController::MenuItem::Exit));
}

// The menu belongs to the icon, and the tray opens it on the right button; no
// activation opens anything else, nor the menu a second time.
void TestTrayMenu::activationsOpenNothingOfTheirOwn_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::newRow("right button") << QSystemTrayIcon::Context;
    QTest::newRow("left click") << QSystemTrayIcon::Trigger;
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick;
    QTest::newRow("unknown") << QSystemTrayIcon::Unknown;
}

void TestTrayMenu::activationsOpenNothingOfTheirOwn()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QCOMPARE(bench->tray.icon()->contextMenu(), &bench->tray.menu());
    emit bench->tray.icon()->activated(reason);
    settle();
    QVERIFY(!bench->tray.menu().isVisible());
    QCOMPARE(visibleWindows(), QList<QWidget *>{static_cast<QWidget *>(bench->tray.splash())});
}

void TestTrayMenu::launchConfigWithoutProgramSaysSo()
{
    // The tests' folder holds no "config" program.
    QVERIFY(
        !QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/config")).isFile());
    ScriptedPrompts &script = bench->prompts;
    bench->tray.menuItem(TrayController::MenuItem::LaunchConfig)->trigger();
    settle();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, QStringLiteral("Config Program Not Correctly Installed!"));
    QCOMPARE(script.boxes[0].title, QStringLiteral("Error:"));
    QCOMPARE(script.boxes[0].flags, 16);
    QVERIFY(bench->tray.icon()->isVisible());
    QVERIFY(QFile::exists(CheckerBench::channelEntry()));
}

void TestTrayMenu::debugShowsTheStatusWindow()
{
    QVERIFY(!bench->tray.status().isLoaded());
    bench->tray.menuItem(TrayController::MenuItem::Debug)->trigger();
    settle();
    QVERIFY(bench->tray.status().isLoaded());
    StatusWindow *shown = bench->tray.status().form();
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->ui.Label4->text(), QStringLiteral("Checks Since Start: 0"));
    bench->tray.menuItem(TrayController::MenuItem::Debug)->trigger();
    settle();
    QCOMPARE(bench->tray.status().form(), shown);
    QVERIFY(shown->isVisible());
}

void TestTrayMenu::aboutShowsOneWindow()
{
    CheckerAboutWindow *loaded = bench->tray.about();
    bench->tray.menuItem(TrayController::MenuItem::About)->trigger();
    bench->tray.menuItem(TrayController::MenuItem::About)->trigger();
    settle();
    QCOMPARE(bench->tray.about(), loaded);
    QVERIFY(loaded->isVisible());
    QCOMPARE(loaded->windowTitle(), QStringLiteral("About Quorlin"));

    QTest::mouseClick(loaded->ui.Command1, Qt::LeftButton);
    QVERIFY(!loaded->isVisible());
    bench->tray.menuItem(TrayController::MenuItem::About)->trigger();
    settle();
    QCOMPARE(bench->tray.about(), loaded);
    QCOMPARE(loaded->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
}

void TestTrayMenu::aboutAfterCloseBoxLoadsAfresh()
{
    bench->tray.menuItem(TrayController::MenuItem::About)->trigger();
    settle();
    QPointer<CheckerAboutWindow> first = bench->tray.about();
    QVERIFY(first->close());
    QVERIFY(!bench->tray.aboutLoaded());
    QTRY_VERIFY(first.isNull());
    bench->tray.menuItem(TrayController::MenuItem::About)->trigger();
    settle();
    QVERIFY(bench->tray.about()->isVisible());
    QCOMPARE(bench->tray.about()->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
}

void TestTrayMenu::checkNowAsksFirst()
{
    ScriptedPrompts &script = bench->prompts;
    script.answer(Answer::No);
    bench->tray.menuItem(TrayController::MenuItem::CheckNow)->trigger();
    settle();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].title, QStringLiteral("Question:"));
    QCOMPARE(server->hits("/page1"), 0);

    script.answer(Answer::Yes);
    bench->tray.menuItem(TrayController::MenuItem::CheckNow)->trigger();
    settle();
    QCOMPARE(bench->tray.runState().checksSinceStart, qint16(1));
    QCOMPARE(server->hits("/page1"), 1);
    // The run wrote into the status window without showing it.
    QVERIFY(bench->tray.status().isLoaded());
    QVERIFY(!bench->tray.status().form()->isVisible());
    QCOMPARE(bench->tray.status().form()->ui.Label5->text(),
             QStringLiteral("Last Check Date: 03-14-2026"));
}

// The end of the session unloads the checker as its Exit does.
void TestTrayMenu::exitRemovesIconAndEnds_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("Exit") << 0;
    QTest::newRow("SIGTERM at log-off") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestTrayMenu::exitRemovesIconAndEnds()
{
    QFETCH(int, signalNumber);
    QSignalSpy ended(&bench->tray, &TrayController::ended);
    if (signalNumber)
        ::raise(signalNumber);
    else
        bench->tray.menuItem(TrayController::MenuItem::Exit)->trigger();
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(!bench->tray.icon()->isVisible());
    QVERIFY(!QFile::exists(CheckerBench::channelEntry()));
}

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
