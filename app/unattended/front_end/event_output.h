// The run's event lines (unattended_events.h) on standard output, one JSON
// object a line, flushed at once. The result is the last: nothing is written
// after it.
#pragma once

#include <string>

#include "app/unattended/unattended_events.h"

namespace orb::unattended {

class EventOutput {
public:
    void write(const Event& event);
    // The event with its "text" last.
    void emit(Event event, const std::string& text);
    // The result, and nothing after it.
    void writeLast(const Event& event);
    bool closed() const { return closed_; }

private:
    bool closed_ = false;
};

}  // namespace orb::unattended
