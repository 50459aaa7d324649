#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/command_file.h"
#include "platform/system_text.h"

namespace orb {

// Windows has no named pipe in the file system to wait for: a file, a device
// or a pipe's path opens at once or fails, and is read up to the limit. The
// path is UTF-8: any letters of it reach the system whole.
bool readCommandFile(const std::string& path, size_t limit, std::string* text, std::string* reason,
                     const std::function<void()>&) {
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    char buffer[65536];
    while (text->size() < limit) {
        size_t want = std::min(sizeof buffer, limit - text->size());
        size_t got = std::fread(buffer, 1, want, file);
        text->append(buffer, got);
        if (got < want) break;
    }
    int failure = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (failure != 0) *reason = std::strerror(failure);
    return failure == 0;
}

}  // namespace orb
