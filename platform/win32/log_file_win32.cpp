#include <windows.h>

#include <string>

#include "platform/log_file.h"

namespace orb {

LogFileHandle openLogFile(const char* path, std::string* reason) {
    // A link planted at the path is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT)
    // and refused below, never followed; so are a device ("CON", "NUL") and a pipe.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (reason != nullptr) *reason = "Windows error " + std::to_string(GetLastError());
        return kNoLogFile;
    }
    const char* refusal = nullptr;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK)
        refusal = "it is not a regular file";
    else if (GetFileInformationByHandle(file, &information) == 0)
        refusal = "its kind cannot be read";
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        refusal = "it is a symbolic link or another reparse point";
    if (refusal != nullptr) {
        CloseHandle(file);
        if (reason != nullptr) *reason = refusal;
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
