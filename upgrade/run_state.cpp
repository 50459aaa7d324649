#include "upgrade/run_state.h"

namespace orb {

RunState runState{};

}  // namespace orb
