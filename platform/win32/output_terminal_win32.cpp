#include <windows.h>

#include <atomic>

#include "platform/output_terminal.h"
#include "platform/process.h"

namespace orb {

// The live status line redraws itself with ANSI escapes ("\r\033[K"): a
// console shows them only with virtual terminal processing on (Windows 10
// 1511 on). A console where it cannot be turned on would print the escapes
// as text, so it does not count as a terminal.
namespace {

std::atomic<DWORD> modeBefore{0};

// The console is shared with the shell that started this program: it gets
// its mode back as it was.
void restoreConsoleMode() { SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), modeBefore.load()); }

bool enableEscapes() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
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
    modeBefore = mode;
    addProcessEndHook(restoreConsoleMode);
    return true;
}

}  // namespace

bool standardOutputIsTerminal() {
    static const bool terminal = enableEscapes();
    return terminal;
}

size_t standardOutputColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<size_t>(columns) : 80;
}

}  // namespace orb
