#include "Scheduler.h"

#include "CheckRun.h"
#include "ConnectionTest.h"
#include "Intervals.h"
#include "MessageBox.h"

#include <utility>

namespace
{

// Counts one tick; true when this tick is a checkpoint (the first tick, and
// every 60th after it).
template <typename Counter> bool checkpointDue(Counter &ticks)
{
    if (ticks != intervals::TicksPerCheckpoint && ticks != 0) {
        ++ticks;
        return false;
    }
    ticks = 1;
    return true;
}

} // namespace

Scheduler::Scheduler(RunState &state, ConnectionTest &connection, std::function<void()> requestRun)
    : state(state), connection(connection), requestRun(std::move(requestRun))
{
}

void Scheduler::timer1Tick()
{
    if (!checkpointDue(dialUpTicks))
        return;
    if (connection.connected())
        requestRun();
    else
        state.connectionServed = 0;
}

void Scheduler::timer3Tick()
{
    if (!checkpointDue(alwaysTicks))
        return;
    if (state.inProgress == 1)
        return;
    state.alwaysMode = 1;
    requestRun();
}

void Scheduler::checkNow()
{
    if (state.inProgress == 1) {
        msgbox::show(QStringLiteral("Checking currently in progress. Please try again later."),
                     msgbox::Critical, QStringLiteral("Error:"));
        return;
    }
    const int answer =
        msgbox::show(QStringLiteral("All security checks will be overridden. Are you sure you "
                                    "have a working internet connection running?"),
                     msgbox::YesNoQuestion, QStringLiteral("Question:"));
    if (answer == msgbox::No)
        return;
    state.overrideFlag = 1;
    requestRun();
}
