// How the console program's two Windows halves meet: a stop request noted by
// signals_win32.cpp ends the wait for the runs' output in
// spawned_process_win32.cpp at once, and a run is asked to stop through an
// event without a name that its parent made and it alone inherits. Only
// platform/win32/ includes this.
#pragma once

#include <windows.h>

#include <string>

namespace orb {

// The variables that give a run the numbers of the handles it inherits: its
// stop event (spawnProcess) and the pipe that holds its secret (spawnSelf).
// A number is no name: no other process can open what it stands for.
inline constexpr const char* kStopEventVariable = "ORB_STOP_HANDLE";
inline constexpr const char* kSecretVariable = "ORB_SECRET_HANDLE";

// The handle whose number the variable holds, or nullptr; the variable is
// taken out of the environment, so that the run's own runs do not see it.
HANDLE takeInheritedHandle(const char* variable);

// Ends a waitForProcessOutput that is waiting now, or the next one.
void wakeProcessOutputWait();

}  // namespace orb
