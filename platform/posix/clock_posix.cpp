#include <time.h>

#include <atomic>

#include "platform/clock.h"

namespace orb {

static std::atomic<ClockSource> clockSource{nullptr};

uint32_t readWaitTicks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

uint32_t readMilliseconds() {
    if (ClockSource source = clockSource.load()) return source();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncated to 32 bits on purpose: it wraps like timeGetTime.
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void sleepMilliseconds(uint32_t milliseconds) {
    timespec duration{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&duration, &duration) != 0) {}
}

void countWaitTicksInMilliseconds() {}

void setClockSource(ClockSource source) { clockSource = source; }

}  // namespace orb
