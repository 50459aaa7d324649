#include <unistd.h>

#include "platform/process.h"
#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ::_exit(exitCode); }

void waitUntilProcessEnds() {
    for (;;) ::pause();
}

// A crash ends the process with its signal already: nothing to change.
void disableCrashDialogs() {}

uint32_t currentProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace orb
