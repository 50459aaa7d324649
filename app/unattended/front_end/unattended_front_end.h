// The unattended front-end of one adapter's run: answers the program's dialogs
// from the command line, through the same dialog procedures a person's clicks
// reach, and writes what the run reports (upgrade/run_observer.h) as JSON
// lines on standard output (see unattended_events.h), ending with one
// "result" event.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/unattended/unattended_options.h"

namespace orb::unattended {

// Runs `program` (the start-up and the sequence) on a second thread for the
// one adapter of `options` and answers its dialogs on this one. The password
// is the runner's (takeRunSecret). SIGINT, SIGTERM and
// SIGHUP press Cancel in the open windows, as a person would; so do the
// request and HTTP time-outs of `options`. Never returns: the program ends the
// process.
// The entry of the address dialog's list of PC addresses to choose: that of
// --pc-address (`option`; index -1 when it is not offered), else the one from
// which the system routes to the adapter (`routeSource`), else the first; -1
// when none is offered. `how` says which rule chose: "--pc-address", "route",
// "first" (or "" for none).
struct PcAddressChoice {
    int index;
    const char* how;
};
PcAddressChoice choosePcAddress(const std::vector<uint32_t>& offered, const std::string& option,
                                std::optional<uint32_t> routeSource);

[[noreturn]] void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program);

}  // namespace orb::unattended
