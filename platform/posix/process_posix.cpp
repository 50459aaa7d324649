#include <unistd.h>

#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ::_exit(exitCode); }

}  // namespace orb
