#include <windows.h>

#include "platform/debug_output.h"

namespace orb {

void writeDebugText(const char* text) { OutputDebugStringA(text); }

}  // namespace orb
