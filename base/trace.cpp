#include "base/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/debug_output.h"

namespace orb {

static std::atomic<TraceSink> traceSink{nullptr};

void setTraceSink(TraceSink sink) { traceSink = sink; }

void trace(const char* format, ...) {
    TraceSink sink = traceSink.load();
#ifndef ORB_TRACE
    if (sink == nullptr) return;
#endif
    char text[4096];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (sink != nullptr) {
        sink(text);
    } else {
        writeDebugText(text);
    }
}

}  // namespace orb
