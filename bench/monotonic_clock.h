// The benchmarks' one clock: CLOCK_MONOTONIC in nanoseconds, read the same way
// by each program so their figures compare.
#pragma once

#include <time.h>

inline long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}
