// Ending the process from any thread.
#pragma once

#include <cstdint>

namespace orb {

// Flushes the standard streams and ends the process at once, without running
// static destructors that other threads may still be using. The hooks added
// with addProcessEndHook run first, newest first, on the calling thread. Only
// the first call does this: a thread that calls it later waits for the end
// (waitUntilProcessEnds), so the hooks run once and the first exit code wins.
[[noreturn]] void endProcess(int exitCode);

// A function that must run however the process ends through endProcess (a
// front-end that has to give the terminal back, for instance). Up to 8 hooks;
// further ones are ignored. A hook may run on any thread, must not call
// endProcess and must not block for long.
void addProcessEndHook(void (*hook)());

// For a thread with nothing left to do until another ends the process: it
// blocks (Linux), or sleeps in steps of 10 ms as the Windows program always
// has.
[[noreturn]] void waitUntilProcessEnds();

// This process's id.
uint32_t currentProcessId();

// Windows: a crash ends the process at once, with its exception code as
// status, instead of waiting behind an error-report dialog that no one may
// see (a scheduled task); its runs inherit this. Elsewhere nothing changes.
void disableCrashDialogs();

}  // namespace orb
