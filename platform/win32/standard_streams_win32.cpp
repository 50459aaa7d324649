#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/standard_streams.h"

namespace orb {

namespace {

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool standardStreamsAreTerminal() { return isConsole(STD_INPUT_HANDLE) && isConsole(STD_OUTPUT_HANDLE); }

void keepStandardOutputBytes() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace orb
