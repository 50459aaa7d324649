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

// Functions that run around a fork (POSIX; nothing on Windows, which has no
// fork): `prepare` in the forking thread before, `parent` and `child` after,
// so that a lock held by another thread is not copied into the child held.
void addForkHandlers(void (*prepare)(), void (*parent)(), void (*child)());

}  // namespace orb
