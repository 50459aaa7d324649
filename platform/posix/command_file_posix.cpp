#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/command_file.h"

namespace orb {

namespace {

// Until the pipe has something to read or its writer has come and gone; a
// signal that interrupts the wait is not an answer.
// The parameters mirror poll()'s descriptor then time-out.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int waitForPipe(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

}  // namespace

bool readCommandFile(const std::string& path, size_t limit, std::string* text, std::string* reason,
                     const std::function<void()>& waiting) {
    // Non-blocking, so that a named pipe without a writer cannot hold the
    // open itself; reads block again below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && waitForPipe(fd, kCommandFileQuietMs) == 0) {
        if (waiting) waiting();
        waitForPipe(fd, -1);
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    char buffer[65536];
    int failure = 0;
    while (text->size() < limit) {
        ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - text->size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failure = errno;
        if (got <= 0) break;
        text->append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    if (failure != 0) *reason = std::strerror(failure);
    return failure == 0;
}

}  // namespace orb
