#include <cstdio>

#include "platform/debug_output.h"

namespace orb {

void writeDebugText(const char* text) { std::fputs(text, stderr); }

}  // namespace orb
