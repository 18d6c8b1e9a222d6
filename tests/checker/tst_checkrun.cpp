#include "CheckRun.h"
#include "Layout.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"
#include "TestHome.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <memory>

namespace
{

const QString Today = QStringLiteral("03-07-2024");

QString page(const QString &text)
{
    return QStringLiteral("<html><head><title>Downloads</title></head><body><p>") + text +
           QStringLiteral("</p></body></html>");
}

QString updatePrompt(const QString &description, const QString &check, const QString &url)
{
    return QStringLiteral("Action: ") + description + QStringLiteral("\r\n\r\nData: ") + check +
           QStringLiteral("\r\nAt URL: ") + url +
           QStringLiteral("\r\n\r\nHTML document appears to have been updated. Go There?");
}

QString retryPrompt(const QString &url)
{
    return QStringLiteral("Couldn't retrive '") + url + QStringLiteral("'. Retry?");
}

} // namespace

class TestCheckRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void foundAtOnce();
    void emptyListStillCompletes();
    void emptyCheckStringAlwaysFound();
    void missingTwiceWithTheSameText_data();
    void missingTwiceWithTheSameText();
    void missingThenFound();
    void changingTextIsNeverReported();
    void letterCaseCounts();
    void retries();
    void error404PromptsAtOnce_data();
    void error404PromptsAtOnce();
    void noConnection();
    void valuesAreReadBeforeEveryDownload();
    void nextRunChecksTheListOfTheFolderPutInPlace();
    void inProgressBeforeTheFirstDownload();

    void dialUpGates_data();
    void dialUpGates();
    void dailyLimitRefusesButRewritesTDate();
    void dailyLimitOffWritesNoTDate_data();
    void dailyLimitOffWritesNoTDate();
    void overrideSkipsEveryGate();
    void alwaysModeSkipsTwoGates();
    void alwaysModeAndOverrideStillAskTheConnection();
    void secondRequestWhileAPromptIsOpen_data();
    void secondRequestWhileAPromptIsOpen();
    void secondRequestDuringADownload();

    void abandonDuringAPrompt_data();
    void abandonDuringAPrompt();
    void abandonDuringADownload();
    void abandonDuringTheNoConnectionMessage();

    void checksSinceStartStopsAt32767();
    void positionStopsAt32767();

private:
    void addAction(const QString &description, const QString &url, const QString &check);

    std::unique_ptr<TestHome> home;
    std::unique_ptr<Store> store;
    std::unique_ptr<ScriptedFetcher> fetcher;
    std::unique_ptr<FakeConnection> connection;
    std::unique_ptr<RecordingBrowser> browser;
    std::unique_ptr<RecordingStatus> status;
    std::unique_ptr<FixedClock> clock;
    std::unique_ptr<CheckRun> run;
    std::unique_ptr<ScriptedPrompts> boxes;
    int actions = 0;
};

void TestCheckRun::init()
{
    home = std::make_unique<TestHome>();
    store = std::make_unique<Store>();
    fetcher = std::make_unique<ScriptedFetcher>();
    connection = std::make_unique<FakeConnection>();
    browser = std::make_unique<RecordingBrowser>();
    status = std::make_unique<RecordingStatus>();
    clock = std::make_unique<FixedClock>();
    boxes = std::make_unique<ScriptedPrompts>();
    run = std::make_unique<CheckRun>(*store, *fetcher, *connection, *browser, *boxes, *status,
                                     *clock);
    actions = 0;
}

void TestCheckRun::cleanup()
{
    run.reset();
    boxes.reset();
    store.reset();
    home.reset();
}

void TestCheckRun::addAction(const QString &description, const QString &url, const QString &check)
{
    QVERIFY(layout::append(*store, description, url, check));
    ++actions;
}

void TestCheckRun::foundAtOnce()
{
    addAction(QStringLiteral("Tool"), QStringLiteral("http://a/"), QStringLiteral("version 2.25"));
    fetcher->pages[QStringLiteral("http://a/")] = {page(QStringLiteral("Get version 2.25 now"))};
    run->request();

    QCOMPARE(fetcher->fetched, QStringList{QStringLiteral("http://a/")});
    QVERIFY(boxes->boxes.isEmpty());
    QVERIFY(browser->opened.isEmpty());
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(run->state.connectionServed, true);
    QCOMPARE(run->state.checksSinceStart, qint16(1));
    QCOMPARE(status->label4, QStringLiteral("Checks Since Start: 1"));
    QCOMPARE(status->label5, QStringLiteral("Last Check Date: ") + Today);
    QCOMPARE(status->label1, QStringLiteral("Processing: "));
    QCOMPARE(status->label2, QStringLiteral("Connection Retry: "));
    QCOMPARE(status->text1, QStringLiteral("DownloadsGet version 2.25 now"));
}

void TestCheckRun::emptyListStillCompletes()
{
    run->request();
    QVERIFY(fetcher->fetched.isEmpty());
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
    QCOMPARE(status->label4, QStringLiteral("Checks Since Start: 1"));
    QCOMPARE(status->label1, QStringLiteral("Processing: "));
    QCOMPARE(run->state.inProgress, false);
}

void TestCheckRun::emptyCheckStringAlwaysFound()
{
    addAction(QStringLiteral("No check"), QStringLiteral("http://a/"), QString());
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("anything at all")};
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QVERIFY(boxes->boxes.isEmpty());
}

void TestCheckRun::missingTwiceWithTheSameText_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Yes opens the page") << Answer::Yes << true;
    QTest::newRow("No does not") << Answer::No << false;
    QTest::newRow("any other answer counts as Yes") << Answer::Ok << true;
}

void TestCheckRun::missingTwiceWithTheSameText()
{
    QFETCH(Answer, answer);
    QFETCH(bool, opens);
    const QString url = QStringLiteral("http://www.example.com/download.html");
    addAction(QStringLiteral("My Tool"), url, QStringLiteral("version 2.25"));
    addAction(QStringLiteral("Other"), QStringLiteral("http://b/"), QStringLiteral("b"));
    fetcher->pages[url] = {page(QStringLiteral("version 2.26"))};
    fetcher->pages[QStringLiteral("http://b/")] = {page(QStringLiteral("b"))};
    boxes->answer(answer);
    run->request();

    QCOMPARE(fetcher->fetched, (QStringList{url, url, QStringLiteral("http://b/")}));
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(boxes->boxes[0].text,
             updatePrompt(QStringLiteral("My Tool"), QStringLiteral("version 2.25"), url));
    QCOMPARE(boxes->boxes[0].flags, 68);
    QCOMPARE(boxes->boxes[0].title, QStringLiteral("Site Updated:"));
    QCOMPARE(browser->opened, opens ? QStringList{url} : QStringList{});
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::missingThenFound()
{
    const QString a = QStringLiteral("http://a/");
    const QString b = QStringLiteral("http://b/");
    addAction(QStringLiteral("A"), a, QStringLiteral("v1"));
    addAction(QStringLiteral("B"), b, QStringLiteral("v9"));
    fetcher->pages[a] = {page(QStringLiteral("v0")), page(QStringLiteral("v1"))};
    // B's first text equals A's first: nothing of A may be remembered for B.
    fetcher->pages[b] = {page(QStringLiteral("v0"))};
    boxes->answer(Answer::No);
    run->request();

    QCOMPARE(fetcher->fetched, (QStringList{a, a, b, b}));
    QCOMPARE(boxes->boxes.size(), 1);
    QVERIFY(boxes->boxes[0].text.startsWith(QStringLiteral("Action: B\r\n")));
}

void TestCheckRun::changingTextIsNeverReported()
{
    const QString a = QStringLiteral("http://a/");
    addAction(QStringLiteral("Counter"), a, QStringLiteral("never there"));
    fetcher->pages[a] = {page(QStringLiteral("visits: 1")), page(QStringLiteral("visits: 2")),
                         page(QStringLiteral("visits: 3"))};
    run->request();
    QCOMPARE(fetcher->fetched.size(), 2);
    QVERIFY(boxes->boxes.isEmpty());
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::letterCaseCounts()
{
    const QString a = QStringLiteral("http://a/");
    addAction(QStringLiteral("A"), a, QStringLiteral("Version 2"));
    fetcher->pages[a] = {page(QStringLiteral("version 2"))};
    boxes->answer(Answer::No);
    run->request();
    QCOMPARE(fetcher->fetched.size(), 2);
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(boxes->boxes[0].title, QStringLiteral("Site Updated:"));
}

void TestCheckRun::retries()
{
    const QString a = QStringLiteral("http://gone/");
    const QString b = QStringLiteral("http://b/");
    addAction(QStringLiteral("Gone"), a, QStringLiteral("x"));
    addAction(QStringLiteral("B"), b, QStringLiteral("b"));
    fetcher->pages[b] = {page(QStringLiteral("b"))};
    boxes->answer(Answer::Yes);
    boxes->answer(Answer::No);
    QStringList labelsAtPrompt;
    boxes->whileShown = [&](const ScriptedPrompts::Box &) { labelsAtPrompt << status->label2; };
    run->request();

    // Two silent retries, the prompt, three more attempts, the prompt again.
    QCOMPARE(fetcher->fetched, (QStringList{a, a, a, a, a, a, b}));
    QCOMPARE(boxes->boxes.size(), 2);
    for (const ScriptedPrompts::Box &box : boxes->boxes) {
        QCOMPARE(box.text, retryPrompt(a));
        QCOMPARE(box.flags, 20);
        QCOMPARE(box.title, QStringLiteral("Quorlin Error:"));
    }
    const QString zero = QStringLiteral("Connection Retry: 0");
    const QString one = QStringLiteral("Connection Retry: 1");
    const QString two = QStringLiteral("Connection Retry: 2");
    QCOMPARE(status->label2History, (QStringList{zero, one, two, zero, one, two, zero,
                                                 QStringLiteral("Connection Retry: ")}));
    QCOMPARE(labelsAtPrompt, (QStringList{two, two}));
    QCOMPARE(connection->asked, 6);
    QVERIFY(browser->opened.isEmpty());
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::error404PromptsAtOnce_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("upper case") << page(QStringLiteral("ERROR 404"));
    QTest::newRow("lower case") << page(QStringLiteral("error 404: not found"));
    QTest::newRow("mixed case in the markup")
        << QStringLiteral("<html><head><title>eRRoR 404</title></head><body>v1</body></html>");
    QTest::newRow("inside an attribute") << QStringLiteral("<img alt=\"Error 404\">v1<p>");
}

void TestCheckRun::error404PromptsAtOnce()
{
    QFETCH(QString, body);
    const QString a = QStringLiteral("http://a/");
    addAction(QStringLiteral("A"), a, QStringLiteral("v1"));
    // Even with the check string on the page, the 404 text counts as a failure.
    fetcher->pages[a] = {body, page(QStringLiteral("v1"))};
    boxes->answer(Answer::Yes);
    run->request();

    QCOMPARE(fetcher->fetched, (QStringList{a, a}));
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(boxes->boxes[0].text, retryPrompt(a));
    QCOMPARE(boxes->boxes[0].flags, 20);
    QCOMPARE(connection->asked, 0);
    QCOMPARE(status->label2History, (QStringList{QStringLiteral("Connection Retry: 0"),
                                                 QStringLiteral("Connection Retry: 0"),
                                                 QStringLiteral("Connection Retry: ")}));
}

void TestCheckRun::noConnection()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    addAction(QStringLiteral("B"), QStringLiteral("http://b/"), QStringLiteral("x"));
    connection->up = false;
    store->write(layout::Settings, layout::CheckDate, QStringLiteral("03-06-2024"));
    run->request();

    QCOMPARE(fetcher->fetched, QStringList{QStringLiteral("http://a/")});
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(boxes->boxes[0].text, QStringLiteral("Couldn't Proceed. Possibly disconnected?"));
    QCOMPARE(boxes->boxes[0].flags, 16);
    QCOMPARE(boxes->boxes[0].title, QStringLiteral("Quorlin Error:"));
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(run->state.connectionServed, true);
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), QStringLiteral("03-06-2024"));
    QCOMPARE(status->label1, QStringLiteral("Processing: A"));
    QCOMPARE(status->label2, QStringLiteral("Connection Retry: 0"));
    QCOMPARE(status->label5, QStringLiteral("Last Check Date:"));

    // The flag is clear: the next request runs.
    connection->up = true;
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    fetcher->pages[QStringLiteral("http://b/")] = {QStringLiteral("x")};
    run->state.connectionServed = false;
    run->request();
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::valuesAreReadBeforeEveryDownload()
{
    const QString a = QStringLiteral("http://a/");
    const QString moved = QStringLiteral("http://moved/");
    addAction(QStringLiteral("A"), a, QStringLiteral("v2"));
    fetcher->pages[moved] = {page(QStringLiteral("v2"))};
    // While the first download fails, the editor points the action elsewhere.
    fetcher->during = [&](const QString &url) {
        if (url == a)
            layout::change(*store, QStringLiteral("A"), moved, QStringLiteral("v2"));
    };
    run->request();
    QCOMPARE(fetcher->fetched, (QStringList{a, moved}));
    QVERIFY(boxes->boxes.isEmpty());
}

// Between two runs the store's folder is moved aside and another, with
// another list, put in its place: the next run checks the new list.
void TestCheckRun::nextRunChecksTheListOfTheFolderPutInPlace()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {page(QStringLiteral("x"))};
    fetcher->pages[QStringLiteral("http://b/")] = {page(QStringLiteral("x"))};
    run->state.alwaysMode = true;
    run->state.dailyLimit = 0;
    run->request();
    QCOMPARE(fetcher->fetched, QStringList{QStringLiteral("http://a/")});

    const QString folder = QFileInfo(store->filePath()).absolutePath();
    QVERIFY(QDir().rename(folder, folder + QStringLiteral(".old")));
    Store restored;
    QVERIFY(layout::append(restored, QStringLiteral("B"), QStringLiteral("http://b/"),
                           QStringLiteral("x")));
    run->request();
    QCOMPARE(fetcher->fetched,
             (QStringList{QStringLiteral("http://a/"), QStringLiteral("http://b/")}));
    QVERIFY(boxes->boxes.isEmpty());
}

void TestCheckRun::inProgressBeforeTheFirstDownload()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    run->state.overrideFlag = true;
    QList<bool> seen;
    fetcher->during = [&](const QString &) {
        seen << run->state.inProgress << run->state.connectionServed << run->state.overrideFlag;
    };
    run->request();
    QCOMPARE(seen, (QList<bool>{true, true, false}));
    QCOMPARE(status->label1, QStringLiteral("Processing: "));
}

void TestCheckRun::dialUpGates_data()
{
    QTest::addColumn<bool>("inProgress");
    QTest::addColumn<bool>("served");
    QTest::newRow("a run in progress") << true << false;
    QTest::newRow("connection already served") << false << true;
}

void TestCheckRun::dialUpGates()
{
    QFETCH(bool, inProgress);
    QFETCH(bool, served);
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    run->state.inProgress = inProgress;
    run->state.connectionServed = served;
    run->request();
    QVERIFY(fetcher->fetched.isEmpty());
    QCOMPARE(status->writes, 0);
    QCOMPARE(run->state.checksSinceStart, qint16(0));
    // Refused before the daily limit: not even "TDate" is written.
    QCOMPARE(store->read(layout::Settings, layout::TDate, QStringLiteral("absent")),
             QStringLiteral("absent"));
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), QString());
}

void TestCheckRun::dailyLimitRefusesButRewritesTDate()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    store->write(layout::Settings, layout::TDate, QStringLiteral("01-01-2000"));
    store->write(layout::Settings, layout::CheckDate, Today);
    run->request();
    QVERIFY(fetcher->fetched.isEmpty());
    QCOMPARE(status->writes, 0);
    QCOMPARE(run->state.checksSinceStart, qint16(0));
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(run->state.connectionServed, false);
    QCOMPARE(store->read(layout::Settings, layout::TDate), Today);

    // Yesterday's date lets the run through.
    store->write(layout::Settings, layout::CheckDate, QStringLiteral("03-06-2024"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::dailyLimitOffWritesNoTDate_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("0") << 0;
    QTest::newRow("2") << 2;
    QTest::newRow("-1") << -1;
}

void TestCheckRun::dailyLimitOffWritesNoTDate()
{
    QFETCH(int, limit);
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    store->write(layout::Settings, layout::CheckDate, Today);
    run->state.dailyLimit = qint16(limit);
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(store->read(layout::Settings, layout::TDate, QStringLiteral("absent")),
             QStringLiteral("absent"));
}

void TestCheckRun::overrideSkipsEveryGate()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    store->write(layout::Settings, layout::CheckDate, Today);
    run->state.inProgress = true;
    run->state.connectionServed = true;
    run->state.overrideFlag = true;
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(run->state.overrideFlag, false);
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(store->read(layout::Settings, layout::TDate, QStringLiteral("absent")),
             QStringLiteral("absent"));
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::alwaysModeSkipsTwoGates()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    run->state.alwaysMode = true;
    run->state.inProgress = true;
    run->state.connectionServed = true;
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(run->state.alwaysMode, true);

    // The daily limit still holds in always mode.
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(run->state.checksSinceStart, qint16(1));
}

void TestCheckRun::alwaysModeAndOverrideStillAskTheConnection()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    connection->up = false;
    run->state.alwaysMode = true;
    run->request();
    run->state.overrideFlag = true;
    run->request();
    // No silent retry: each run ends at the first empty download.
    QCOMPARE(fetcher->fetched.size(), 2);
    QCOMPARE(boxes->boxes.size(), 2);
    QCOMPARE(boxes->boxes[1].text, QStringLiteral("Couldn't Proceed. Possibly disconnected?"));
    QCOMPARE(run->state.inProgress, false);
}

void TestCheckRun::secondRequestWhileAPromptIsOpen_data()
{
    QTest::addColumn<bool>("retryPrompt");
    QTest::addColumn<bool>("override");
    QTest::newRow("update prompt, checkpoint") << false << false;
    QTest::newRow("retry prompt, checkpoint") << true << false;
    // Callers test the flag before they set the override; a run on the
    // stack is not entered again even when one does not.
    QTest::newRow("update prompt, override") << false << true;
}

void TestCheckRun::secondRequestWhileAPromptIsOpen()
{
    QFETCH(bool, retryPrompt);
    QFETCH(bool, override);
    const QString a = QStringLiteral("http://a/");
    addAction(QStringLiteral("A"), a, QStringLiteral("x"));
    addAction(QStringLiteral("B"), QStringLiteral("http://b/"), QStringLiteral("x"));
    if (!retryPrompt)
        fetcher->pages[a] = {QStringLiteral("changed")};
    fetcher->pages[QStringLiteral("http://b/")] = {QStringLiteral("x")};
    int fetchesAtPrompt = -1;
    boxes->whileShown = [&](const ScriptedPrompts::Box &) {
        fetchesAtPrompt = int(fetcher->fetched.size());
        if (override)
            run->state.overrideFlag = true;
        run->request();
    };
    boxes->answer(Answer::No);
    run->request();

    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(fetcher->fetched.size(), qsizetype(fetchesAtPrompt + 1));
    QCOMPARE(run->state.checksSinceStart, qint16(1));
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

void TestCheckRun::secondRequestDuringADownload()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    fetcher->during = [&](const QString &) { run->request(); };
    run->request();
    QCOMPARE(fetcher->fetched.size(), 1);
    QCOMPARE(run->state.checksSinceStart, qint16(1));
}

void TestCheckRun::abandonDuringAPrompt_data()
{
    QTest::addColumn<bool>("retryPrompt");
    QTest::newRow("update prompt") << false;
    QTest::newRow("retry prompt") << true;
}

void TestCheckRun::abandonDuringAPrompt()
{
    QFETCH(bool, retryPrompt);
    const QString a = QStringLiteral("http://a/");
    addAction(QStringLiteral("A"), a, QStringLiteral("x"));
    addAction(QStringLiteral("B"), QStringLiteral("http://b/"), QStringLiteral("x"));
    if (!retryPrompt)
        fetcher->pages[a] = {QStringLiteral("changed")};
    boxes->whileShown = [&](const ScriptedPrompts::Box &) { run->abandon(); };
    boxes->answer(Answer::Yes);
    run->request();
    const qsizetype fetches = retryPrompt ? 3 : 2;

    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(fetcher->fetched.size(), fetches); // nothing after the answer
    QVERIFY(browser->opened.isEmpty());
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), QString());
    QCOMPARE(run->state.inProgress, false);

    // The program is ending: no new run either.
    run->state.overrideFlag = true;
    run->request();
    QCOMPARE(fetcher->fetched.size(), fetches);
}

void TestCheckRun::abandonDuringADownload()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    addAction(QStringLiteral("B"), QStringLiteral("http://b/"), QStringLiteral("x"));
    fetcher->pages[QStringLiteral("http://a/")] = {QStringLiteral("x")};
    fetcher->during = [&](const QString &) { run->abandon(); };
    run->request();
    QCOMPARE(fetcher->cancels, 1);
    QCOMPARE(fetcher->fetched.size(), 1);
    QVERIFY(boxes->boxes.isEmpty());
    QCOMPARE(connection->asked, 0);
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), QString());
    QCOMPARE(run->state.inProgress, false);
}

void TestCheckRun::abandonDuringTheNoConnectionMessage()
{
    addAction(QStringLiteral("A"), QStringLiteral("http://a/"), QStringLiteral("x"));
    connection->up = false;
    boxes->whileShown = [&](const ScriptedPrompts::Box &) { run->abandon(); };
    run->request();
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(run->state.inProgress, false);
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), QString());
}

void TestCheckRun::checksSinceStartStopsAt32767()
{
    run->state.checksSinceStart = 32766;
    run->state.dailyLimit = 0;
    run->request();
    QCOMPARE(run->state.checksSinceStart, qint16(32767));
    run->request();
    QCOMPARE(run->state.checksSinceStart, qint16(32767));
    QCOMPARE(status->label4, QStringLiteral("Checks Since Start: 32767"));
}

void TestCheckRun::positionStopsAt32767()
{
    // A hand-made list one entry longer than any position can be: the run
    // ends after position 32767 instead of wrapping to a negative key.
    addAction(QStringLiteral("Same"), QStringLiteral("http://same/"), QStringLiteral("x"));
    store->write(QStringLiteral("Beyond"), layout::Url, QStringLiteral("http://beyond/"));
    store->write(QStringLiteral("Beyond"), layout::Check, QStringLiteral("x"));
    {
        QSettings file(home->storeFile(), QSettings::IniFormat);
        file.beginGroup(Store::escapeSection(layout::ActionList));
        for (int position = 1; position <= layout::MaxPosition; ++position)
            file.setValue(QString::number(position), QStringLiteral("Same"));
        for (const char *key : {"32768", "-32768", "0"})
            file.setValue(QString::fromLatin1(key), QStringLiteral("Beyond"));
        file.endGroup();
        file.sync();
        QCOMPARE(file.status(), QSettings::NoError);
    }
    QCOMPARE(store->read(layout::ActionList, QStringLiteral("32767")), QStringLiteral("Same"));
    QCOMPARE(store->read(layout::ActionList, QStringLiteral("32768")), QStringLiteral("Beyond"));

    fetcher->pages[QStringLiteral("http://same/")] = {QStringLiteral("x")};
    fetcher->pages[QStringLiteral("http://beyond/")] = {QStringLiteral("x")};
    run->request();
    QCOMPARE(fetcher->fetched.size(), qsizetype(layout::MaxPosition));
    QVERIFY(!fetcher->fetched.contains(QStringLiteral("http://beyond/")));
    QCOMPARE(store->read(layout::Settings, layout::CheckDate), Today);
}

QTEST_GUILESS_MAIN(TestCheckRun)
#include "tst_checkrun.moc"
