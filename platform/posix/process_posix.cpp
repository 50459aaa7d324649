#include <unistd.h>

#include "platform/process.h"
#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ::_exit(exitCode); }

void waitUntilProcessEnds() {
    for (;;) ::pause();
}

uint32_t currentProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace orb
