#include <unistd.h>

#include <cstdio>

#include "platform/process.h"

namespace orb {

void endProcess(int exitCode) {
    std::fflush(nullptr);
    ::_exit(exitCode);
}

}  // namespace orb
