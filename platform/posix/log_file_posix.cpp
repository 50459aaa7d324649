#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/log_file.h"

namespace orb {

namespace {

// Why `path` is no file to log to, judged from what is there now; the
// system's reason when it looks like one.
std::string refusalOf(const char* path, int error) {
    struct stat there;
    if (::lstat(path, &there) == 0) {
        if (S_ISLNK(there.st_mode)) return "it is a symbolic link";
        if (S_ISDIR(there.st_mode)) return "it is a directory";
        if (!S_ISREG(there.st_mode)) return "it is not a regular file";
    }
    return std::strerror(error);
}

}  // namespace

LogFileHandle openLogFile(const char* path, std::string* reason) {
    // The log holds the user name, nonces and status pages: only the user may
    // read a new one. A link planted at the path is not followed, and a named
    // pipe without a reader cannot hold the open up (O_NONBLOCK).
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        int error = errno;
        if (reason != nullptr) *reason = refusalOf(path, error);
        return kNoLogFile;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        int error = errno;
        ::close(fd);
        if (reason != nullptr) *reason = std::strerror(error);
        return kNoLogFile;
    }
    if (!S_ISREG(opened.st_mode)) {  // a pipe with a reader, a device
        ::close(fd);
        if (reason != nullptr) *reason = "it is not a regular file";
        return kNoLogFile;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size, std::string* reason) {
    if (file == kNoLogFile) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(static_cast<int>(file), data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (reason != nullptr) {
                *reason = n < 0 ? std::strerror(errno) : "the write stopped short";
                if (done > 0) *reason += " after " + std::to_string(done) + " of " + std::to_string(size) + " bytes";
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void closeLogFile(LogFileHandle file) {
    if (file != kNoLogFile) ::close(static_cast<int>(file));
}

}  // namespace orb
