#include <windows.h>

#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace orb
