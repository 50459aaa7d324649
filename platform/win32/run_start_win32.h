// How spawnProcess and spawnSelf (spawned_process_win32.cpp,
// self_spawn_win32.cpp) start a run: one way, with its output in a pipe that
// a thread reads, its stop event, in the runs' job, without a console of its
// own, and nothing inherited but its own handles.
// Only platform/win32/ includes this.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/spawned_process.h"

namespace orb {

// Whether a failed start's error is the system's shortage of memory, handles
// or quota (SpawnedProcess::shortOfResources) rather than a fault.
bool isShortOfResources(DWORD error);

// Starts `program` with its standard output in a pipe and `input` (an
// inheritable handle, or nullptr for this process's own standard input) as
// its standard input, and `secret` (an inheritable handle, or nullptr) a handle
// that the run alone inherits (kSecretVariable names it there). The caller
// still owns `input` and `secret` and closes them after.
bool startRun(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, HANDLE input, HANDLE secret, SpawnedProcess* process);

}  // namespace orb
