// Ending the process from any thread.
#pragma once

namespace orb {

// Flushes the standard streams and ends the process at once, without running
// static destructors that other threads may still be using.
[[noreturn]] void endProcess(int exitCode);

}  // namespace orb
