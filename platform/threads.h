// Threads: started with one argument, ended with a 32-bit result. Whether a
// thread has finished is read from its state, never from its exit code.
#pragma once

#include <cstdint>

namespace orb {

struct ThreadHandle;
using ThreadEntry = int32_t (*)(void* argument);

// Starts the thread at once; nullptr when it cannot be started.
ThreadHandle* startThread(ThreadEntry entry, void* argument);
// False while the thread runs, and when its state cannot be read.
bool hasThreadFinished(ThreadHandle* thread);
// The entry's result; only meaningful once hasThreadFinished is true.
int32_t readThreadResult(ThreadHandle* thread);
// Frees the handle of a finished thread.
void releaseThread(ThreadHandle* thread);

}  // namespace orb
