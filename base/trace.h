// The debug hook. It discards its arguments unless the build sets ORB_TRACE or
// a test has installed a sink.
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
