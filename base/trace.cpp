#include "base/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/diagnostics_log.h"

namespace orb {

static std::atomic<TraceSink> traceSink{nullptr};

void setTraceSink(TraceSink sink) { traceSink = sink; }

void trace(const char* format, ...) {
    TraceSink sink = traceSink.load();
    bool logging = diagnosticsLogActive();
    if (sink == nullptr && !logging) return;
    // Most messages fit the buffer; a long HTTP response is formatted again
    // into a string of its size, so that the log holds all of it.
    char buffer[4096];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int needed = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    std::string longText;
    const char* text = buffer;
    if (needed >= static_cast<int>(sizeof buffer)) {
        longText.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(longText.data(), longText.size(), format, again);
        longText.resize(static_cast<size_t>(needed));
        text = longText.c_str();
    }
    va_end(again);
    if (sink != nullptr) sink(text);
    if (logging) writeDiagnosticsEntryOfKind(format, text);  // a message's kind is its format
}

}  // namespace orb
