// How one unattended upgrade ended, from what its dialogs showed, and the
// exit status of the whole command.
#pragma once

#include <string>
#include <vector>

namespace orb::unattended {

// The values are the exit status of a run with one adapter.
enum class Outcome {
    Success = 0,
    UsageError = 2,
    NotReachable = 3,      // no response, or no connection, before the upload
    AuthRefused = 4,       // the password was refused (or none was given)
    UploadIncomplete = 5,
    NoAnswerAfterUpload = 6,  // also: the adapter came back with another version
    Cancelled = 7,         // SIGINT, SIGTERM or SIGHUP
    Failed = 8,            // anything else
};

// What the front-end saw during one run.
struct Observation {
    bool successShown = false;
    std::string reportedVersion;  // the success dialog's version
    std::string imageVersion;     // the embedded image's, from the address dialog
    std::string errorText;        // the last error box, empty when none
    bool uploadStarted = false;   // the upload window opened
    bool authRefused = false;
    bool cancelRequested = false;
};

Outcome classifyRun(const Observation& seen);
// "success", "not-reachable", "authentication-refused", "upload-incomplete",
// "no-answer-after-upload", "wrong-version", "cancelled", "failed".
std::string outcomeName(Outcome outcome, const Observation& seen);
// The name back to the outcome (Failed for an unknown name).
Outcome outcomeFromName(const std::string& name);

// The exit status for the outcomes of all adapters: 0 when all succeeded;
// with one adapter its own code; with several 1 when any failed.
int exitStatusFor(const std::vector<Outcome>& outcomes);

}  // namespace orb::unattended
