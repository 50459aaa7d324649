#include <windows.h>

#include "platform/process.h"
#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

void waitUntilProcessEnds() {
    for (;;) Sleep(10);
}

uint32_t currentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

}  // namespace orb
