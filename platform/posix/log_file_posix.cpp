#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/log_file.h"

namespace orb {

LogFileHandle openLogFile(const char* path, std::string* reason) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (reason != nullptr) *reason = std::strerror(errno);
        return kNoLogFile;
    }
    return fd;
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size) {
    if (file == kNoLogFile) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(static_cast<int>(file), data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void closeLogFile(LogFileHandle file) {
    if (file != kNoLogFile) ::close(static_cast<int>(file));
}

}  // namespace orb
