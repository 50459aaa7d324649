#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "platform/clock.h"

namespace orb {

static std::atomic<ClockSource> clockSource{nullptr};

uint32_t readWaitClock() { return timeGetTime(); }

uint32_t readMilliseconds() {
    if (ClockSource source = clockSource.load()) return source();
    return timeGetTime();
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void setClockSource(ClockSource source) { clockSource = source; }

}  // namespace orb
