// The pipe through which a caught stop signal wakes a waiting poll: shared by
// the two POSIX halves that need it (signals_posix.cpp writes, the wait for a
// spawned process's output reads). Only platform/posix/ includes this.
#pragma once

namespace orb {

// The read end, or -1 before catchStopSignals (or when no pipe could be made).
int stopSignalWakeFd();

// Empties the pipe after a wake.
void drainStopSignalWake();

// In a child forked without exec, before it closes what it inherited: the
// parent's pipe is no longer this process's (catchStopSignals makes its own).
void forgetStopSignalWake();

}  // namespace orb
