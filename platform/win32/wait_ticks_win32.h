// The Windows program's ticks (platform/clock.h, readWaitTicks): the calling
// thread's 1 ms waits that ran to their end, plus the time that waits cut
// short by an arrival spent, in units of the wait that ran to its end. So a
// stream of datagrams advances the ticks as idle waits would, and an interval
// lasts as long with it as without.
#pragma once

#include <cstdint>

namespace orb {

// Called by waitForInput after each of its waits: `stepMs` as asked,
// `completed` when no arrival cut it short, `elapsedUs` as readWaitClock
// measured it.
void countWait(int stepMs, bool completed, uint64_t elapsedUs);

// The clock that times the waits, in microseconds (QueryPerformanceCounter).
// Tests replace it with the clock of their replaced wait; nullptr restores it.
using WaitClock = uint64_t (*)();
void setWaitClock(WaitClock clock);
uint64_t readWaitClock();

}  // namespace orb
