// The sockets that orb-sim's one thread waits on, in one epoll set: the set is
// kept by the kernel between waits, so a wait costs the same for one adapter
// as for a thousand idle ones, and a wait without a deadline blocks until
// something arrives.
#pragma once

#include <cstdint>
#include <vector>

namespace orb::sim {

// What a socket is watched for, and what a wait found (EPOLLIN, EPOLLOUT,
// EPOLLERR, EPOLLHUP of <sys/epoll.h>).
struct Readiness {
    void* tag;  // as given to add()
    uint32_t events;
};

class PollSet {
public:
    PollSet();
    ~PollSet();
    PollSet(const PollSet&) = delete;
    PollSet& operator=(const PollSet&) = delete;

    bool valid() const { return fd_ >= 0; }
    // Watches `fd` for `events`; a wait reports it with `tag`. Errors and
    // hang-ups are reported whatever `events` holds, as poll() does.
    bool add(int fd, uint32_t events, void* tag);
    bool change(int fd, uint32_t events, void* tag);
    // Before the socket is closed.
    void remove(int fd);
    // How many sockets remove() has taken out so far: each frees a descriptor
    // once closed.
    uint64_t removals() const { return removals_; }
    // Waits up to timeoutMs (-1: without end) and fills `ready`. The number of
    // ready sockets, 0 after the time-out or a signal, -1 on an error.
    int wait(int timeoutMs, std::vector<Readiness>* ready);

private:
    int fd_ = -1;
    uint64_t removals_ = 0;
};

}  // namespace orb::sim
