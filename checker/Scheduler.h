#pragma once

#include <QtGlobal>
#include <functional>

class ConnectionTest;
class Prompts;
struct RunState;

// The two hourly schedules and Check Now. Each schedule counts its timer's
// one-minute ticks and makes a checkpoint on the first tick and on every 60th
// after it; the run itself applies the admission rule.
class Scheduler
{
public:
    Scheduler(RunState &state, ConnectionTest &connection, Prompts &prompts,
              std::function<void()> requestRun);

    // Dial-up schedule (dialUpTimer): at a checkpoint, a run while the connection
    // is up; no connection re-arms the next one.
    void dialUpTick();
    // Always-connected schedule (alwaysTimer): at a checkpoint, a run unless one is
    // under way.
    void alwaysTick();
    // The "&Check Now" menu item: refuses during a run, otherwise asks and
    // then runs past every gate.
    void checkNow();

    // Ticks since the last checkpoint, 0 to 60.
    int dialUpTicks = 0;
    qint16 alwaysTicks = 0;

private:
    RunState &state;
    ConnectionTest &connection;
    Prompts &prompts;
    std::function<void()> requestRun;
};
