#include "app/unattended/front_end/event_output.h"

#include <cstdio>

namespace orb::unattended {

void EventOutput::write(const Event& event) {
    if (closed_) return;
    std::string line = formatJson(event) + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

void EventOutput::emit(Event event, const std::string& text) { write(event.add("text", text)); }

void EventOutput::writeLast(const Event& event) {
    write(event);
    closed_ = true;
}

}  // namespace orb::unattended
