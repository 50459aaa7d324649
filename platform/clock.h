// The millisecond clock (wraps at 2^32) and a millisecond sleep.
#pragma once

#include <cstdint>

namespace orb {

uint32_t readMilliseconds();
void sleepMilliseconds(uint32_t milliseconds);

// Tests replace the clock so that long waits pass in test time; nullptr
// restores the system clock.
using ClockSource = uint32_t (*)();
void setClockSource(ClockSource source);

}  // namespace orb
