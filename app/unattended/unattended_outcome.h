// How one unattended upgrade ended, from what the run reported, and the exit
// status of the whole command.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "upgrade/run_outcome.h"
#include "app/unattended/unattended_events.h"

namespace orb::unattended {

// The values are the exit status of a run with one adapter.
enum class Outcome {
    Success = 0,
    UsageError = 2,
    NotReachable = 3,  // no connection, or no (whole) answer, before the upload
    AuthRefused = 4,   // the password was refused (or none was given)
    UploadIncomplete = 5,
    NoAnswerAfterUpload = 6,  // also: the adapter came back with another version
    Cancelled = 7,            // SIGINT, SIGTERM or SIGHUP
    Failed = 8,               // anything else
    NoRequest = 9,            // the adapter's read request never came (--request-timeout)
    NeedsUpgrade = 10,        // --check: the adapter does not run the embedded version
    RunTimeout = 11,          // the whole run passed --run-timeout
};

// Why the driver pressed Cancel itself.
enum class StopReason {
    None,
    Signal,
    BatchGone,    // the batch that started the run is gone: the end of its input
    NoRequest,    // --request-timeout passed without the adapter's read request
    HttpTimeout,  // --http-timeout passed with an exchange unfinished
    RunTimeout,   // --run-timeout passed before the run ended
    UsageError,   // the dialogs cannot be answered as the options say
    Current,      // the adapter already runs the embedded version (without --force)
    Checked,      // --check: the status page was all that was wanted
};

// What the driver learnt during one run.
struct Observation {
    std::optional<RunOutcome> ended;  // as the run reported it
    std::string reportedVersion;      // read back after the restart
    std::string imageVersion;         // the embedded image's
    bool uploaded = false;            // every block was acknowledged by the host that asked
    bool authRefused = false;
    bool runsImageVersion = false;  // the status page showed the embedded image's version
    bool forced = false;            // --force: written even when it runs the embedded version
    bool noFreePort = false;        // --port-wait passed without a port of the kind asked for
    StopReason stopReason = StopReason::None;
};

Outcome classifyRun(const Observation& seen);
// "success", "current", "needs-upgrade", "not-reachable",
// "authentication-refused", "upload-incomplete", "no-answer-after-upload",
// "wrong-version", "cancelled", "failed", "no-free-port", "no-request",
// "run-timeout",
// "usage-error".
std::string outcomeName(Outcome outcome, const Observation& seen);
// The name back to the outcome (Failed for an unknown name).
Outcome outcomeFromName(const std::string& name);

// Success and NeedsUpgrade are no failures: the adapter did what was asked.
bool isFailure(Outcome outcome);

// The exit status for the outcomes of all adapters: with one adapter its own
// code; with several 1 when any failed, else 10 when any would be upgraded,
// else 0.
int exitStatusFor(const std::vector<Outcome>& outcomes);

// The start of every "result" event: the adapter, the result's name and the
// outcome's code; the caller adds the rest, "text" last.
Event resultEvent(const std::string& adapter, const std::string& resultName, Outcome outcome);

}  // namespace orb::unattended
