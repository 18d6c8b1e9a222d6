#include "Scheduler.h"

#include "CheckRun.h"
#include "ConnectionTest.h"
#include "Intervals.h"
#include "Prompts.h"

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

Scheduler::Scheduler(RunState &state, ConnectionTest &connection, Prompts &prompts,
                     std::function<void()> requestRun)
    : state(state), connection(connection), prompts(prompts), requestRun(std::move(requestRun))
{
}

void Scheduler::dialUpTick()
{
    if (!checkpointDue(dialUpTicks))
        return;
    if (connection.connected())
        requestRun();
    else
        state.connectionServed = false;
}

void Scheduler::alwaysTick()
{
    if (!checkpointDue(alwaysTicks))
        return;
    if (state.inProgress)
        return;
    state.alwaysMode = true;
    requestRun();
}

void Scheduler::checkNow()
{
    if (state.inProgress) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"),
                     QStringLiteral("Checking currently in progress. Please try again later.")});
        return;
    }
    const Answer answer =
        prompts.ask({PromptKind::Question, QStringLiteral("Question:"),
                     QStringLiteral("All security checks will be overridden. Are you sure you "
                                    "have a working internet connection running?")});
    if (answer == Answer::No)
        return;
    state.overrideFlag = true;
    requestRun();
}
