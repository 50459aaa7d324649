#include "sim/poll_set.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace orb::sim {

namespace {

constexpr int kBatch = 256;  // ready sockets taken per wait; the rest come with the next

}  // namespace

PollSet::PollSet() : fd_(epoll_create1(EPOLL_CLOEXEC)) {}

PollSet::~PollSet() {
    if (fd_ >= 0) ::close(fd_);
}

bool PollSet::add(int fd, uint32_t events, void* tag) {
    epoll_event entry{};
    entry.events = events;
    entry.data.ptr = tag;
    return epoll_ctl(fd_, EPOLL_CTL_ADD, fd, &entry) == 0;
}

bool PollSet::change(int fd, uint32_t events, void* tag) {
    epoll_event entry{};
    entry.events = events;
    entry.data.ptr = tag;
    return epoll_ctl(fd_, EPOLL_CTL_MOD, fd, &entry) == 0;
}

void PollSet::remove(int fd) {
    epoll_event ignored{};
    epoll_ctl(fd_, EPOLL_CTL_DEL, fd, &ignored);
    ++removals_;
}

int PollSet::wait(int timeoutMs, std::vector<Readiness>* ready) {
    epoll_event events[kBatch];
    ready->clear();
    int count = epoll_wait(fd_, events, kBatch, timeoutMs);
    if (count < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < count; ++i) ready->push_back({events[i].data.ptr, events[i].events});
    return count;
}

}  // namespace orb::sim
