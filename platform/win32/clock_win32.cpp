#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/win32/wait_ticks_win32.h"

namespace orb {

static std::atomic<ClockSource> clockSource{nullptr};

// Each loop counts on its own thread, so each thread keeps its own count.
static thread_local uint32_t completedWaits = 0;

void countCompletedWait() { ++completedWaits; }

// The console program waits with the portable dialog manager, which sleeps
// through idle ticks and counts them afterwards, as on Linux: there a tick is
// a millisecond that has passed.
static std::atomic<bool> ticksAreMilliseconds{false};

void countWaitTicksInMilliseconds() { ticksAreMilliseconds = true; }

uint32_t readWaitTicks() { return ticksAreMilliseconds ? timeGetTime() : completedWaits; }

uint32_t readMilliseconds() {
    if (ClockSource source = clockSource.load()) return source();
    return timeGetTime();
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void setClockSource(ClockSource source) { clockSource = source; }

}  // namespace orb
