// The "result" event of an unattended run: its last line, from what the run
// reported, and the text that both the event and the diagnostics log end with.
#pragma once

#include <string>

#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

struct ResultFacts {
    std::string adapter;
    Observation seen;
    std::string error;              // the error box's text; "" for a stop that is the answer
    std::string hint;               // the waiting window's hint, or what it would have said
    std::string noFreePortNote;     // "none of the UDP ports 69-168 was free ..."
    std::string secondRequestNote;  // "two hosts asked for the image as ..."
};

struct RunResult {
    Event event;  // without its "text"
    std::string text;
};

RunResult composeResult(const ResultFacts& facts);

}  // namespace orb::unattended
