#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

bool startNetworking() { return true; }

void closeSocket(SocketHandle socket) { ::close(socket); }

bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0;
}

namespace {

// Each thread's wait deadline. A wait that a datagram ends early leaves the
// deadline armed for the next wait of the same length, so a wait still ends
// within timeoutMs of the deadline's start, never later. Arming a fresh timer
// for every wait, as poll() with a time-out does, makes the kernel reprogram
// the CPU's timer twice per wait (a 1 ms timer is nearly always the next one
// due), which a virtual machine turns into two exits each: in a lock-step
// transfer, where most waits end early, that doubled the CPU time per block.
struct WaitDeadline {
    int fd = -1;
    int armedMs = 0;  // 0: not armed
    ~WaitDeadline() {
        if (fd >= 0) ::close(fd);
    }
};
thread_local WaitDeadline deadline;

bool armDeadline(int timeoutMs) {
    if (deadline.fd < 0) deadline.fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (deadline.fd < 0) return false;
    if (deadline.armedMs == timeoutMs) return true;
    itimerspec once{{0, 0}, {timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L}};
    deadline.armedMs = ::timerfd_settime(deadline.fd, 0, &once, nullptr) == 0 ? timeoutMs : 0;
    return deadline.armedMs != 0;
}

}  // namespace

bool waitReadable(SocketHandle socket, int timeoutMs) {
    if (timeoutMs > 0 && armDeadline(timeoutMs)) {
        pollfd entries[2] = {{socket, POLLIN, 0}, {deadline.fd, POLLIN, 0}};
        ::poll(entries, 2, -1);
        if (entries[1].revents & POLLIN) {
            uint64_t expiries = 0;
            ssize_t ignored = ::read(deadline.fd, &expiries, sizeof expiries);
            (void)ignored;
            deadline.armedMs = 0;
        }
        return entries[0].revents != 0;
    }
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

}  // namespace orb
