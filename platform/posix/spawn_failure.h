// Which failures of a process's start are the system's shortage rather than
// a fault (spawned_process.h, SpawnedProcess::shortOfResources): shared by
// spawnProcess and spawnSelf. Only platform/posix/ includes this.
#pragma once

#include <cerrno>

namespace orb {

inline bool isShortOfResources(int error) {
    return error == EAGAIN || error == ENOMEM || error == EMFILE || error == ENFILE;
}

}  // namespace orb
