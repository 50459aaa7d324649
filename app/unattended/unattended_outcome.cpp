#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

// The error boxes' own texts.
constexpr const char* kNoResponse = "Upgrade Failed: No Response From ORB";
constexpr const char* kCannotConnect = "Upgrade Failed: Can't connect to ORB";
constexpr const char* kUploadIncomplete = "Upgrade Failed: Firmware Upload Incomplete";
constexpr const char* kNotRespondingAfterUpload = "Upgrade Failed: ORB not responding after firmware upload";

struct NamedOutcome {
    const char* name;
    Outcome outcome;
};
constexpr NamedOutcome kNames[] = {
    {"success", Outcome::Success},
    {"usage-error", Outcome::UsageError},
    {"not-reachable", Outcome::NotReachable},
    {"authentication-refused", Outcome::AuthRefused},
    {"upload-incomplete", Outcome::UploadIncomplete},
    {"no-answer-after-upload", Outcome::NoAnswerAfterUpload},
    {"wrong-version", Outcome::NoAnswerAfterUpload},
    {"cancelled", Outcome::Cancelled},
    {"failed", Outcome::Failed},
};

}  // namespace

Outcome classifyRun(const Observation& seen) {
    if (seen.successShown) {
        bool sameVersion = !seen.imageVersion.empty() && seen.reportedVersion == seen.imageVersion;
        return sameVersion ? Outcome::Success : Outcome::NoAnswerAfterUpload;
    }
    if (seen.authRefused) return Outcome::AuthRefused;
    if (seen.cancelRequested) return Outcome::Cancelled;
    const std::string& error = seen.errorText;
    if (error == kUploadIncomplete) return Outcome::UploadIncomplete;
    if (error == kNotRespondingAfterUpload) return Outcome::NoAnswerAfterUpload;
    // After the upload the same boxes mean that the adapter did not come back.
    if (error == kNoResponse || error == kCannotConnect)
        return seen.uploadStarted ? Outcome::NoAnswerAfterUpload : Outcome::NotReachable;
    return Outcome::Failed;
}

std::string outcomeName(Outcome outcome, const Observation& seen) {
    if (outcome == Outcome::NoAnswerAfterUpload && seen.successShown) return "wrong-version";
    for (const NamedOutcome& named : kNames)
        if (named.outcome == outcome) return named.name;
    return "failed";
}

Outcome outcomeFromName(const std::string& name) {
    for (const NamedOutcome& named : kNames)
        if (name == named.name) return named.outcome;
    return Outcome::Failed;
}

int exitStatusFor(const std::vector<Outcome>& outcomes) {
    if (outcomes.size() == 1) return static_cast<int>(outcomes[0]);
    for (Outcome outcome : outcomes)
        if (outcome != Outcome::Success) return 1;
    return 0;
}

}  // namespace orb::unattended
