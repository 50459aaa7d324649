// The one way every part of the program reports a failure.
#pragma once

#include "upgrade/run_outcome.h"

namespace orb {

inline constexpr const char* kErrorBoxCaption = "ORB Firwmare Upgrade Error";

// Task-modal box without owner and with an OK button only; returns when the
// user closes it. A null caption gives kErrorBoxCaption.
void showErrorBox(const char* message, const char* caption = nullptr);

// Claims the run's end (claimRunEnd: a thread that comes second waits there
// for the process to end), tells the observer how the run ended, then shows
// the outcome's error box (none for an outcome without one); returns when it
// is closed. `message` replaces the outcome's own text (one that names what
// the adapter reported).
void showFailure(RunOutcome outcome, const char* message = nullptr);

// showFailure, then ends the process with exit code 0 from the calling thread.
[[noreturn]] void failRun(RunOutcome outcome);

}  // namespace orb
