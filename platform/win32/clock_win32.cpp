#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>

#include "platform/clock.h"
#include "platform/win32/wait_ticks_win32.h"

namespace orb {

namespace {

std::atomic<ClockSource> clockSource{nullptr};
std::atomic<WaitClock> waitClock{nullptr};

constexpr int kRecentWaits = 8;

// Each loop counts on its own thread, so each thread keeps its own count.
struct WaitCount {
    uint32_t ticks = 0;
    uint64_t cutShortUs = 0;  // time of cut-short waits not yet counted as a tick
    // The latest 1 ms waits that ran to their end (0: none yet). Their mean
    // is the wait's length as idle waits have it, the scheduler's delays
    // included: a shorter unit would let a flood advance the ticks faster.
    uint64_t recentUs[kRecentWaits] = {};
    int next = 0;
};
thread_local WaitCount count;

// The period of the system timer, which a 1 ms wait lasts on a stock system
// (15.625 ms): the unit until a wait of this thread has run to its end.
uint64_t systemTimerPeriodUs() {
    DWORD adjustment = 0, increment = 0;
    BOOL disabled = FALSE;
    if (GetSystemTimeAdjustment(&adjustment, &increment, &disabled) && increment > 0) return increment / 10;
    return 15625;
}

uint64_t waitLengthUs() {
    uint64_t total = 0, waits = 0;
    for (uint64_t us : count.recentUs) {
        if (us == 0) continue;
        total += us;
        ++waits;
    }
    return waits != 0 ? total / waits : systemTimerPeriodUs();
}

uint64_t performanceCounterUs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000000;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency);
}

}  // namespace

void countWait(int stepMs, bool completed, uint64_t elapsedUs) {
    if (completed) {
        ++count.ticks;
        // A 1 ms wait never lasts less than its millisecond.
        if (stepMs == 1) {
            count.recentUs[count.next] = std::max<uint64_t>(elapsedUs, 1000);
            count.next = (count.next + 1) % kRecentWaits;
        }
        return;
    }
    uint64_t unit = waitLengthUs();
    count.cutShortUs += elapsedUs;
    count.ticks += static_cast<uint32_t>(count.cutShortUs / unit);
    count.cutShortUs %= unit;
}

// The console program waits with the portable dialog manager, which sleeps
// through idle ticks and counts them afterwards, as on Linux: there a tick is
// a millisecond that has passed.
std::atomic<bool> ticksAreMilliseconds{false};

void countWaitTicksInMilliseconds() { ticksAreMilliseconds = true; }

uint32_t readWaitTicks() { return ticksAreMilliseconds ? timeGetTime() : count.ticks; }

void setWaitClock(WaitClock clock) { waitClock = clock; }

uint64_t readWaitClock() {
    if (WaitClock clock = waitClock.load()) return clock();
    return performanceCounterUs();
}

uint32_t readMilliseconds() {
    if (ClockSource source = clockSource.load()) return source();
    return timeGetTime();
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void setClockSource(ClockSource source) { clockSource = source; }

}  // namespace orb
