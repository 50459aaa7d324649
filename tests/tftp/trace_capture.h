// Collects the trace messages of a test.
#pragma once

#include <string>

#include "base/trace.h"

namespace orb::test {

class TraceCapture {
public:
    TraceCapture() {
        text().clear();
        setTraceSink([](const char* line) { text() += line; });
    }
    ~TraceCapture() { setTraceSink(nullptr); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::string& traced() const { return text(); }
    void clear() { text().clear(); }

private:
    static std::string& text() {
        static std::string collected;
        return collected;
    }
};

}  // namespace orb::test
