#include <windows.h>

#include <cwchar>

#include "platform/system_text.h"
#include "platform/win32/utf16_win32.h"

namespace orb {

std::FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(toUtf16(path).c_str(), toUtf16(mode).c_str());
}

// The C runtime's getenv converts to the ANSI code page, which loses letters
// outside it: the process's own wide environment keeps them.
bool readEnvironmentVariable(const char* name, std::string* value) {
    std::wstring wideName = toUtf16(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value->clear();  // set, and empty
        return true;
    }
    std::wstring wide(size, L'\0');
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), wide.data(), size);
    if (length >= size) return false;
    *value = toUtf8(wide.data(), length);
    return true;
}

void writeText(std::FILE* stream, const std::string& text) {
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if ((stream != stdout && stream != stderr) || !GetConsoleMode(handle, &mode)) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    // What the C runtime holds goes first, so that the order stays.
    std::fflush(stream);
    std::wstring wide = toUtf16(text);
    const wchar_t* rest = wide.data();
    size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(handle, rest, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
        rest += written;
        left -= written;
    }
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(toUtf8(argv[i], std::wcslen(argv[i])));
    return arguments;
}

}  // namespace orb
