// The unattended front-end of one adapter's run, the program's third beside
// the terminal and Qt views (dialogs/front_ends.h): answers the program's
// dialogs from the command line, through the same dialog procedures a person's
// clicks reach (dialog_answerer.h), and writes what the run reports
// (upgrade/run_observer.h) as JSON lines on standard output (see
// unattended_observer.h, unattended_events.h), ending with one "result" event.
// Its time limits are kept by run_deadlines.h.
#pragma once

#include <functional>

#include "app/unattended/front_end/pc_address_choice.h"
#include "app/unattended/unattended_options.h"

namespace orb::unattended {

// Runs `program` (the start-up and the sequence) on a second thread for the
// one adapter of `options` and answers its dialogs on this one. The password
// is the runner's (takeRunSecret). SIGINT, SIGTERM and
// SIGHUP press Cancel in the open windows, as a person would; so do the
// request and HTTP time-outs of `options`. Never returns: the program ends the
// process.
[[noreturn]] void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program);

}  // namespace orb::unattended
