#pragma once

namespace orb {

// Where trace text goes in an ORB_TRACE build: standard error, or the debugger
// on Windows.
void writeDebugText(const char* text);

}  // namespace orb
