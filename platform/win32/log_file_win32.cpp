#include <windows.h>

#include <string>

#include "platform/log_file.h"

namespace orb {

LogFileHandle openLogFile(const char* path, std::string* reason) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (reason != nullptr) *reason = "Windows error " + std::to_string(GetLastError());
        return kNoLogFile;
    }
    return reinterpret_cast<LogFileHandle>(file);
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size) {
    if (file == kNoLogFile) return false;
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) != 0 &&
           written == size;
}

void closeLogFile(LogFileHandle file) {
    if (file != kNoLogFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

}  // namespace orb
