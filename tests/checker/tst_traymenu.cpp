#include "CheckerBench.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "MessageBox.h"
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
    QVERIFY(bench->form1.formLoad());
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
    const QList<QAction *> items = bench->form1.mnuPopup.actions();
    for (const QAction *item : items) {
        QVERIFY(!item->isSeparator());
        captions.append(item->text());
    }
    QCOMPARE(captions, (QStringList{"&Debug", "&About", "&Check Now", "&Launch Config", "&Exit"}));
    QCOMPARE(items[0], bench->form1.mnuDebug);
    QCOMPARE(items[4], bench->form1.mnuExit);
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
    QCOMPARE(bench->form1.trayIcon.contextMenu(), &bench->form1.mnuPopup);
    emit bench->form1.trayIcon.activated(reason);
    settle();
    QVERIFY(!bench->form1.mnuPopup.isVisible());
    QCOMPARE(visibleWindows(), QList<QWidget *>{static_cast<QWidget *>(bench->form1.splash())});
}

void TestTrayMenu::launchConfigWithoutProgramSaysSo()
{
    // The tests' folder holds no "config" program.
    QVERIFY(
        !QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/config")).isFile());
    MessageBoxScript script;
    bench->form1.mnuConfig->trigger();
    settle();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, QStringLiteral("Config Program Not Correctly Installed!"));
    QCOMPARE(script.boxes[0].title, QStringLiteral("Error:"));
    QCOMPARE(script.boxes[0].flags, 16);
    QVERIFY(bench->form1.trayIcon.isVisible());
    QVERIFY(QFile::exists(CheckerBench::channelEntry()));
}

void TestTrayMenu::debugShowsTheStatusWindow()
{
    QVERIFY(!bench->form1.status.isLoaded());
    bench->form1.mnuDebug->trigger();
    settle();
    QVERIFY(bench->form1.status.isLoaded());
    Form2 *shown = bench->form1.status.form();
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->ui.Label4->text(), QStringLiteral("Checks Since Start: 0"));
    bench->form1.mnuDebug->trigger();
    settle();
    QCOMPARE(bench->form1.status.form(), shown);
    QVERIFY(shown->isVisible());
}

void TestTrayMenu::aboutShowsOneWindow()
{
    Form4 *loaded = bench->form1.about();
    bench->form1.mnuAbout->trigger();
    bench->form1.mnuAbout->trigger();
    settle();
    QCOMPARE(bench->form1.about(), loaded);
    QVERIFY(loaded->isVisible());
    QCOMPARE(loaded->windowTitle(), QStringLiteral("About Quorlin"));

    QTest::mouseClick(loaded->ui.Command1, Qt::LeftButton);
    QVERIFY(!loaded->isVisible());
    bench->form1.mnuAbout->trigger();
    settle();
    QCOMPARE(bench->form1.about(), loaded);
    QCOMPARE(loaded->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
}

void TestTrayMenu::aboutAfterCloseBoxLoadsAfresh()
{
    bench->form1.mnuAbout->trigger();
    settle();
    QPointer<Form4> first = bench->form1.about();
    QVERIFY(first->close());
    QVERIFY(!bench->form1.aboutLoaded());
    QTRY_VERIFY(first.isNull());
    bench->form1.mnuAbout->trigger();
    settle();
    QVERIFY(bench->form1.about()->isVisible());
    QCOMPARE(bench->form1.about()->ui.Label1->text(), QStringLiteral("Quorlin 1.6"));
}

void TestTrayMenu::checkNowAsksFirst()
{
    MessageBoxScript script;
    script.answer(msgbox::No);
    bench->form1.mnuCheck->trigger();
    settle();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].title, QStringLiteral("Question:"));
    QCOMPARE(server->hits("/page1"), 0);

    script.answer(msgbox::Yes);
    bench->form1.mnuCheck->trigger();
    settle();
    QCOMPARE(bench->form1.run.state.checksSinceStart, qint16(1));
    QCOMPARE(server->hits("/page1"), 1);
    // The run wrote into the status window without showing it.
    QVERIFY(bench->form1.status.isLoaded());
    QVERIFY(!bench->form1.status.form()->isVisible());
    QCOMPARE(bench->form1.status.form()->ui.Label5->text(),
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
    QSignalSpy ended(&bench->form1, &Form1::ended);
    if (signalNumber)
        ::raise(signalNumber);
    else
        bench->form1.mnuExit->trigger();
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(!bench->form1.trayIcon.isVisible());
    QVERIFY(!QFile::exists(CheckerBench::channelEntry()));
}

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
