// The millisecond clock (wraps at 2^32) and a millisecond sleep.
#pragma once

#include <cstdint>

namespace orb {

uint32_t readMilliseconds();
void sleepMilliseconds(uint32_t milliseconds);

// The system's millisecond clock that the progress loops count their ticks
// from (a tick is a millisecond of waiting that has passed). It wraps at 2^32;
// compare readings by their difference. Never replaced by tests: an interval
// of the transfer must last its real 100 ms whatever the other clock does.
uint32_t readWaitClock();

// Tests replace the clock so that long waits pass in test time; nullptr
// restores the system clock.
using ClockSource = uint32_t (*)();
void setClockSource(ClockSource source);

}  // namespace orb
