// The monotonic clock in milliseconds, for the deadlines of the test helpers'
// waits.
#pragma once

#include <time.h>

namespace orb::test {

inline long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

}  // namespace orb::test
