// The debug hook. Its messages go to the diagnostics log when one is open
// (platform/diagnostics_log.h: --log FILE or ORB_TRACE=FILE) and to a test's
// sink when one is installed; otherwise they are discarded.
#pragma once

namespace orb {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void trace(const char* format, ...);

// Tests observe the trace messages through a sink; nullptr removes it.
using TraceSink = void (*)(const char* text);
void setTraceSink(TraceSink sink);

}  // namespace orb
