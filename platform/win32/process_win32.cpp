#include <windows.h>

#include <cstdio>

#include "platform/process.h"

namespace orb {

void endProcess(int exitCode) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace orb
