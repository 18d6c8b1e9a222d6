#include "CheckRun.h"
#include "CheckerBench.h"
#include "HomeTest.h"
#include "Scheduler.h"
#include "ScriptedPrompts.h"
#include "StatusWindowHost.h"

#include <QtTest>

namespace
{

const QString BusyText = QStringLiteral("Checking currently in progress. Please try again later.");
const QString QuestionText = QStringLiteral(
    "All security checks will be overridden. Are you sure you have a working internet "
    "connection running?");

} // namespace

// The schedules over the real check run, a real store and pages on a loopback
// server; the connection, the clock and the person are the test's.
class RunBench
{
public:
    explicit RunBench(int actions = 1)
    {
        server.servePage("/page1", pageWith("version 2.25"));
        server.servePage("/page2", pageWith("version 2.25"));
        storeActions(store, server, actions);
    }

    // Ticks the schedule until it has counted `ticks` more ticks.
    void dialUpTicks(int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            scheduler.dialUpTick();
    }
    void alwaysTicks(int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            scheduler.alwaysTick();
    }
    int runs() const { return run.state.checksSinceStart; }

    HttpTestServer server;
    Store store;
    PageDownload pageDownload{10};
    FakeConnection connection;
    RecordingBrowser browser;
    FixedClock clock{QDate(2026, 3, 14)};
    ScriptedPrompts prompts;
    StatusWindowHost status{store};
    CheckRun run{store, pageDownload, connection, browser, prompts, status, clock};
    Scheduler scheduler{run.state, connection, prompts, [this] { run.request(); }};
};

class TestScheduler : public HomeTest
{
    Q_OBJECT

private slots:

    void checkpointsOnTicks_data();
    void checkpointsOnTicks();
    void dialUpNoConnectionRearmsOnlyAtCheckpoints();
    void alwaysCheckpointDuringRunRequestsNothing();
    void dialUpRunsOncePerConnection();
    void dailyLimitHoldsScheduledRunsButNotCheckNow();
    void alwaysSkipsCheckpointDuringRun();
    void dialUpCheckpointDuringRunStillTestsConnection();
    void checkNowBusy();
    void checkNowNoChangesNothing();
};

void TestScheduler::checkpointsOnTicks_data()
{
    QTest::addColumn<bool>("always");
    QTest::newRow("dial-up") << false;
    QTest::newRow("always connected") << true;
}

// Counted in ticks: the first tick, then every 60th; nothing in between.
void TestScheduler::checkpointsOnTicks()
{
    QFETCH(bool, always);
    RunState state;
    FakeConnection connection;
    ScriptedPrompts prompts;
    QList<int> requests;
    int tick = 0;
    Scheduler scheduler(state, connection, prompts, [&] { requests.append(tick); });
    for (tick = 1; tick <= 181; ++tick) {
        if (always)
            scheduler.alwaysTick();
        else
            scheduler.dialUpTick();
        const int counter = always ? scheduler.alwaysTicks : scheduler.dialUpTicks;
        QVERIFY(counter >= 1 && counter <= 60);
    }
    QCOMPARE(requests, (QList<int>{1, 61, 121, 181}));
    QCOMPARE(state.alwaysMode, always);
}

void TestScheduler::dialUpNoConnectionRearmsOnlyAtCheckpoints()
{
    RunState state;
    FakeConnection connection;
    connection.up = false;
    ScriptedPrompts prompts;
    int requests = 0;
    Scheduler scheduler(state, connection, prompts, [&] { ++requests; });
    state.connectionServed = true;
    scheduler.dialUpTick();
    QCOMPARE(state.connectionServed, false);
    state.connectionServed = true;
    for (int tick = 2; tick <= 60; ++tick)
        scheduler.dialUpTick();
    QCOMPARE(state.connectionServed, true);
    scheduler.dialUpTick(); // tick 61
    QCOMPARE(state.connectionServed, false);
    QCOMPARE(requests, 0);
}

void TestScheduler::alwaysCheckpointDuringRunRequestsNothing()
{
    RunState state;
    FakeConnection connection;
    ScriptedPrompts prompts;
    int requests = 0;
    Scheduler scheduler(state, connection, prompts, [&] { ++requests; });
    state.inProgress = true;
    scheduler.alwaysTick();
    QCOMPARE(requests, 0);
    QCOMPARE(state.alwaysMode, false);
    QCOMPARE(scheduler.alwaysTicks, qint16(1));
    state.inProgress = false;
    for (int tick = 2; tick <= 61; ++tick)
        scheduler.alwaysTick();
    QCOMPARE(requests, 1);
    QCOMPARE(state.alwaysMode, true);
}

void TestScheduler::dialUpRunsOncePerConnection()
{
    RunBench bench;
    bench.run.state.dailyLimit = 0;
    ScriptedPrompts &script = bench.prompts;

    bench.dialUpTicks(180); // three hours with the connection up
    QCOMPARE(bench.runs(), 1);
    QCOMPARE(bench.server.hits("/page1"), 1);

    bench.connection.up = false;
    bench.dialUpTicks(1); // checkpoint 181 finds it down
    bench.connection.up = true;
    bench.dialUpTicks(59);
    QCOMPARE(bench.runs(), 1);
    bench.dialUpTicks(1); // checkpoint 241 finds it up again
    QCOMPARE(bench.runs(), 2);
    QCOMPARE(bench.server.hits("/page1"), 2);
    QVERIFY(script.boxes.isEmpty());
}

void TestScheduler::dailyLimitHoldsScheduledRunsButNotCheckNow()
{
    RunBench bench;
    bench.run.state.dailyLimit = 1;
    ScriptedPrompts &script = bench.prompts;

    bench.alwaysTicks(1);
    QCOMPARE(bench.runs(), 1);
    QCOMPARE(bench.store.read(layout::Settings, layout::CheckDate), QStringLiteral("03-14-2026"));

    QVERIFY(bench.store.write(layout::Settings, layout::TDate, QStringLiteral("01-01-2000")));
    bench.alwaysTicks(60); // checkpoint 61, same day
    QCOMPARE(bench.runs(), 1);
    QCOMPARE(bench.server.hits("/page1"), 1);
    QCOMPARE(bench.store.read(layout::Settings, layout::TDate), QStringLiteral("03-14-2026"));

    script.answer(Answer::Yes);
    bench.scheduler.checkNow();
    QCOMPARE(bench.runs(), 2);
    QCOMPARE(bench.server.hits("/page1"), 2);
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, QuestionText);

    // The next day the schedule runs again.
    bench.clock.date = bench.clock.date.addDays(1);
    bench.alwaysTicks(60);
    QCOMPARE(bench.runs(), 3);
    QCOMPARE(bench.store.read(layout::Settings, layout::CheckDate), QStringLiteral("03-15-2026"));
}

// The run waits in the update prompt through a whole hour of ticks: the
// checkpoint that falls in it starts nothing, Check Now only says it is busy,
// and the next chance comes 60 ticks later.
void TestScheduler::alwaysSkipsCheckpointDuringRun()
{
    RunBench bench;
    bench.server.servePage("/page1", pageWith("version 2.26"));
    bench.run.state.dailyLimit = 0;
    ScriptedPrompts &script = bench.prompts;
    script.answer(Answer::No);
    int hitsDuringPrompt = -1;
    script.whileShown = [&](const ScriptedPrompts::Box &box) {
        if (box.title != QLatin1String("Site Updated:"))
            return;
        bench.alwaysTicks(60); // ticks 2 .. 61
        bench.scheduler.checkNow();
        hitsDuringPrompt = bench.server.hits("/page1");
    };

    bench.alwaysTicks(1);
    QCOMPARE(bench.runs(), 1);
    QCOMPARE(hitsDuringPrompt, 2);
    QCOMPARE(bench.server.hits("/page1"), 2);
    QCOMPARE(script.boxes.size(), 2);
    QCOMPARE(script.boxes[1].text, BusyText);
    QCOMPARE(script.boxes[1].title, QStringLiteral("Error:"));
    QCOMPARE(script.boxes[1].flags, 16);
    QCOMPARE(bench.run.state.inProgress, false);

    script.whileShown = nullptr;
    bench.alwaysTicks(59); // ticks 62 .. 120
    QCOMPARE(bench.runs(), 1);
    bench.alwaysTicks(1); // tick 121
    QCOMPARE(bench.runs(), 2);
}

void TestScheduler::dialUpCheckpointDuringRunStillTestsConnection()
{
    RunBench bench;
    bench.server.servePage("/page1", pageWith("version 2.26"));
    bench.run.state.dailyLimit = 0;
    ScriptedPrompts &script = bench.prompts;
    script.answer(Answer::No);
    bool servedAfterCheckpoint = true;
    script.whileShown = [&](const ScriptedPrompts::Box &) {
        bench.connection.up = false;
        bench.dialUpTicks(60); // checkpoint 61, connection down
        servedAfterCheckpoint = bench.run.state.connectionServed;
        bench.connection.up = true;
    };
    bench.dialUpTicks(1);
    QCOMPARE(servedAfterCheckpoint, false);
    QCOMPARE(bench.runs(), 1);
    QCOMPARE(script.boxes.size(), 1);
}

void TestScheduler::checkNowBusy()
{
    RunBench bench;
    ScriptedPrompts &script = bench.prompts;
    bench.run.state.inProgress = true;
    bench.scheduler.checkNow();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, BusyText);
    QCOMPARE(script.boxes[0].title, QStringLiteral("Error:"));
    QCOMPARE(script.boxes[0].flags, 16);
    QCOMPARE(bench.run.state.overrideFlag, false);
    QCOMPARE(bench.server.hits("/page1"), 0);
}

void TestScheduler::checkNowNoChangesNothing()
{
    RunBench bench;
    ScriptedPrompts &script = bench.prompts;
    script.answer(Answer::No);
    bench.scheduler.checkNow();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, QuestionText);
    QCOMPARE(script.boxes[0].title, QStringLiteral("Question:"));
    QCOMPARE(script.boxes[0].flags, 36);
    QCOMPARE(bench.run.state.overrideFlag, false);
    QCOMPARE(bench.runs(), 0);
    QCOMPARE(bench.server.hits("/page1"), 0);
    QCOMPARE(bench.store.read(layout::Settings, layout::TDate, QStringLiteral("absent")),
             QStringLiteral("absent"));
    QVERIFY(!bench.status.isLoaded());
}

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
