#pragma once

// The checker's times, each written here and nowhere else.
namespace intervals
{

// Both schedules' timers tick once a minute...
constexpr int ScheduleTickMs = 60 * 1000;
// ...and make a checkpoint on the first tick and on every 60th after it.
constexpr int TicksPerCheckpoint = 60;
// How long the splash window stays up after start-up.
constexpr int SplashMs = 3000;

} // namespace intervals
