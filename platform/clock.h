// The millisecond clock (wraps at 2^32) and a millisecond sleep.
#pragma once

#include <cstdint>

namespace orb {

uint32_t readMilliseconds();
void sleepMilliseconds(uint32_t milliseconds);

// The ticks that the progress loops count (the transfer's intervals, the
// waiting and connecting bars); compare readings by their difference, which
// wraps at 2^32.
// - Linux: the monotonic millisecond clock. A 1 ms wait lasts 1 ms there, so
//   a tick is a millisecond of waiting that has passed, and the loops may
//   sleep through idle ticks and count them afterwards.
// - Windows: the number of the calling thread's 1 ms waits (waitForInput)
//   that ran to their end, however long the system timer made each one (about
//   15.6 ms on a stock system), plus the time that waits cut short by an
//   arrival took, counted in the length of those that ran to their end.
// Either way an arrival neither shortens an interval nor stretches it. Tests never replace the
// Linux clock: an interval there must last its real 100 ms.
uint32_t readWaitTicks();

// Windows: from now on a tick is a millisecond that has passed, as on Linux.
// The console program calls it first, since its portable dialog manager
// sleeps through idle ticks; the GUI program never does. Elsewhere nothing
// changes.
void countWaitTicksInMilliseconds();

// Tests replace the clock so that long waits pass in test time; nullptr
// restores the system clock.
using ClockSource = uint32_t (*)();
void setClockSource(ClockSource source);

}  // namespace orb
