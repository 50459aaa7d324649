#include <cstdint>

#include "platform/open_files.h"

namespace orb {

// Nothing to raise: a run's pipes are kernel handles, and Windows has no
// per-process limit on those short of the millions its handle table holds.
// The C runtime's limit (_setmaxstdio, 512 streams by default) counts only
// its own FILE streams, which the runs' pipes never are.
size_t raiseOpenFileLimit(size_t) { return SIZE_MAX; }

}  // namespace orb
