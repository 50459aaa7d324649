// How the console program's two Windows halves meet: a stop request noted by
// signals_win32.cpp ends the wait for the runs' output in
// spawned_process_win32.cpp at once, and a run is asked to stop through a
// named event that its parent made. Only platform/win32/ includes this.
#pragma once

#include <string>

namespace orb {

// The variable that names a run's stop event, set by spawnProcess.
inline constexpr const char* kStopEventVariable = "ORB_STOP_EVENT";

// Ends a waitForProcessOutput that is waiting now, or the next one.
void wakeProcessOutputWait();

}  // namespace orb
