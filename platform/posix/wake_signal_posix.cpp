#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

#include "platform/wake_signal.h"

namespace orb {

struct WakeSignal {
    int fd;
};

WakeSignal* createWakeSignal() {
    int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd < 0 ? nullptr : new WakeSignal{fd};
}

void raiseWakeSignal(WakeSignal* signal) {
    if (signal == nullptr) return;
    uint64_t one = 1;
    ssize_t ignored = ::write(signal->fd, &one, sizeof one);
    (void)ignored;
}

namespace {

// Each thread's wake-up time, kept across waits. Arming a timer for every
// wait, as poll() with a time-out does, makes the kernel reprogram the CPU's
// timer for each, which a virtual machine turns into exits: in a lock-step
// transfer, where nearly every wait ends on a datagram, that doubled the CPU
// time per block. So a deadline that is still ahead and no later than the one
// asked for is kept; the wait then ends at it, early, and the caller, which
// counts time from the clock, simply waits again.
struct WaitTimer {
    int fd = -1;
    bool armed = false;
    timespec deadline{};
    ~WaitTimer() {
        if (fd >= 0) ::close(fd);
    }
};
thread_local WaitTimer waitTimer;

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool armWaitTimer(int timeoutMs) {
    if (waitTimer.fd < 0) waitTimer.fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (waitTimer.fd < 0) return false;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    timespec wanted{now.tv_sec + timeoutMs / 1000, now.tv_nsec + static_cast<long>(timeoutMs % 1000) * 1000000L};
    if (wanted.tv_nsec >= 1000000000L) {
        ++wanted.tv_sec;
        wanted.tv_nsec -= 1000000000L;
    }
    if (waitTimer.armed && before(now, waitTimer.deadline) && !before(wanted, waitTimer.deadline)) return true;
    itimerspec once{{0, 0}, wanted};
    waitTimer.armed = ::timerfd_settime(waitTimer.fd, TFD_TIMER_ABSTIME, &once, nullptr) == 0;
    waitTimer.deadline = wanted;
    return waitTimer.armed;
}

void drain(int fd) {
    uint64_t count = 0;
    ssize_t ignored = ::read(fd, &count, sizeof count);
    (void)ignored;
}

}  // namespace

void waitForSocketOrSignal(SocketHandle socket, WakeSignal* signal, int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    pollfd entries[3];
    nfds_t count = 0;
    int signalAt = -1, timerAt = -1;
    if (socket != kInvalidSocket) entries[count++] = {socket, POLLIN, 0};
    if (signal != nullptr) {
        signalAt = static_cast<int>(count);
        entries[count++] = {signal->fd, POLLIN, 0};
    }
    int pollTimeout = timeoutMs;
    if (timeoutMs > 0 && armWaitTimer(timeoutMs)) {
        timerAt = static_cast<int>(count);
        entries[count++] = {waitTimer.fd, POLLIN, 0};
        pollTimeout = -1;
    }
    if (::poll(entries, count, pollTimeout) <= 0) return;
    if (timerAt >= 0 && (entries[timerAt].revents & POLLIN)) {
        drain(waitTimer.fd);
        waitTimer.armed = false;
    }
    if (signalAt >= 0 && (entries[signalAt].revents & POLLIN)) drain(signal->fd);
}

}  // namespace orb
