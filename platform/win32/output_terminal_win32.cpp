#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/output_terminal.h"
#include "platform/process.h"

namespace orb {

// The live status line redraws itself with ANSI escapes ("\r\033[K"): a
// console shows them only with virtual terminal processing on (Windows 10
// 1511 on). A console where it cannot be turned on would print the escapes
// as text, so it does not count as a terminal.
namespace {

DWORD handleOf(StandardStream stream) {
    return stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
}

// Each console handle's mode before, by StandardStream.
std::atomic<DWORD> modeBefore[2] = {0, 0};
std::atomic<bool> changed[2] = {false, false};

// The console is shared with the shell that started this program: it gets
// its modes back as they were.
void restoreConsoleModes() {
    for (StandardStream stream : {StandardStream::Output, StandardStream::Error})
        if (changed[static_cast<int>(stream)])
            SetConsoleMode(GetStdHandle(handleOf(stream)), modeBefore[static_cast<int>(stream)].load());
}

bool enableEscapes(StandardStream stream) {
    HANDLE output = GetStdHandle(handleOf(stream));
    DWORD mode = 0;
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    if (!SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
    // Only a console that kept the flag counts.
    DWORD now = 0;
    if (!GetConsoleMode(output, &now) || (now & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        SetConsoleMode(output, mode);
        return false;
    }
    modeBefore[static_cast<int>(stream)] = mode;
    changed[static_cast<int>(stream)] = true;
    static std::once_flag hookAdded;
    std::call_once(hookAdded, [] { addProcessEndHook(restoreConsoleModes); });
    return true;
}

}  // namespace

bool standardStreamIsTerminal(StandardStream stream) {
    if (stream == StandardStream::Output) {
        static const bool output = enableEscapes(StandardStream::Output);
        return output;
    }
    static const bool error = enableEscapes(StandardStream::Error);
    return error;
}

size_t terminalColumns(StandardStream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(handleOf(stream)), &info)) return 80;
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<size_t>(columns) : 80;
}

}  // namespace orb
