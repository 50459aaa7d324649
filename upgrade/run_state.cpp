#include "upgrade/run_state.h"

#include <cstdio>

#include "base/random.h"

namespace orb {

RunState runState{};

void drawTftpFileName() {
    std::snprintf(runState.tftpFileName, sizeof runState.tftpFileName, "/orb%x.bin",
                  static_cast<unsigned>(nextRandom() & 0xffff));
}

}  // namespace orb
