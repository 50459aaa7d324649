#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

struct NamedOutcome {
    const char* name;
    Outcome outcome;
};
constexpr NamedOutcome kNames[] = {
    {"success", Outcome::Success},
    {"current", Outcome::Success},
    {"needs-upgrade", Outcome::NeedsUpgrade},
    {"usage-error", Outcome::UsageError},
    {"not-reachable", Outcome::NotReachable},
    {"authentication-refused", Outcome::AuthRefused},
    {"upload-incomplete", Outcome::UploadIncomplete},
    {"no-answer-after-upload", Outcome::NoAnswerAfterUpload},
    {"wrong-version", Outcome::NoAnswerAfterUpload},
    {"cancelled", Outcome::Cancelled},
    {"failed", Outcome::Failed},
    {"no-free-port", Outcome::Failed},
    {"no-request", Outcome::NoRequest},
    {"run-timeout", Outcome::RunTimeout},
};

// A Cancel the driver pressed ends the run as a user abort; what it pressed
// Cancel for decides the class.
Outcome classifyStop(const Observation& seen) {
    switch (seen.stopReason) {
        case StopReason::NoRequest: return Outcome::NoRequest;
        case StopReason::RunTimeout: return Outcome::RunTimeout;
        case StopReason::HttpTimeout: return seen.uploaded ? Outcome::NoAnswerAfterUpload : Outcome::NotReachable;
        case StopReason::UsageError: return Outcome::UsageError;
        case StopReason::Signal:
        case StopReason::BatchGone: return Outcome::Cancelled;
        case StopReason::Current: return Outcome::Success;
        // With --force a current adapter would be written too: the check says so.
        case StopReason::Checked:
            return seen.runsImageVersion && !seen.forced ? Outcome::Success : Outcome::NeedsUpgrade;
        case StopReason::None: break;
    }
    return seen.authRefused ? Outcome::AuthRefused : Outcome::Cancelled;
}

}  // namespace

Outcome classifyRun(const Observation& seen) {
    if (!seen.ended) return seen.stopReason == StopReason::Signal ? Outcome::Cancelled : Outcome::Failed;
    switch (describeOutcome(*seen.ended).outcomeClass) {
        // The run's own verdict: it ends in success only with the embedded
        // image's version reported after the restart.
        case OutcomeClass::Success: return Outcome::Success;
        case OutcomeClass::WrongVersion: return Outcome::NoAnswerAfterUpload;
        case OutcomeClass::Declined:
        case OutcomeClass::Cancelled: return classifyStop(seen);
        case OutcomeClass::NotReachable:
            // After the upload the same failures mean that the adapter did not come back.
            return seen.uploaded ? Outcome::NoAnswerAfterUpload : Outcome::NotReachable;
        case OutcomeClass::UploadIncomplete: return Outcome::UploadIncomplete;
        case OutcomeClass::NoAnswerAfterUpload: return Outcome::NoAnswerAfterUpload;
        case OutcomeClass::Failed: break;
    }
    return Outcome::Failed;
}

std::string outcomeName(Outcome outcome, const Observation& seen) {
    if (outcome == Outcome::NoAnswerAfterUpload && seen.ended == RunOutcome::WrongVersionAfterUpload)
        return "wrong-version";
    // This computer could not do its part: it had no port for the run.
    if (outcome == Outcome::Failed && seen.noFreePort) return "no-free-port";
    bool untouched = seen.stopReason == StopReason::Current || seen.stopReason == StopReason::Checked;
    if (outcome == Outcome::Success && untouched) return "current";
    for (const NamedOutcome& named : kNames)
        if (named.outcome == outcome) return named.name;
    return "failed";
}

Outcome outcomeFromName(const std::string& name) {
    for (const NamedOutcome& named : kNames)
        if (name == named.name) return named.outcome;
    return Outcome::Failed;
}

bool isFailure(Outcome outcome) { return outcome != Outcome::Success && outcome != Outcome::NeedsUpgrade; }

int exitStatusFor(const std::vector<Outcome>& outcomes) {
    if (outcomes.size() == 1) return static_cast<int>(outcomes[0]);
    bool behind = false;
    for (Outcome outcome : outcomes) {
        if (isFailure(outcome)) return 1;
        behind |= outcome == Outcome::NeedsUpgrade;
    }
    return behind ? static_cast<int>(Outcome::NeedsUpgrade) : 0;
}

Event resultEvent(const std::string& adapter, const std::string& resultName, Outcome outcome) {
    return Event(adapter, "result").add("result", resultName).add("code", static_cast<long long>(outcome));
}

}  // namespace orb::unattended
