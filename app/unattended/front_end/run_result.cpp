#include "app/unattended/front_end/run_result.h"

namespace orb::unattended {

RunResult composeResult(const ResultFacts& facts) {
    const Observation& seen = facts.seen;
    Outcome outcome = classifyRun(seen);
    std::string name = outcomeName(outcome, seen);
    Event event = resultEvent(facts.adapter, name, outcome);
    event.add("version", seen.reportedVersion).add("image-version", seen.imageVersion);
    event.add("error", facts.error);
    event.fields.push_back({"uploaded", seen.uploaded ? "true" : "false", true});
    std::string text = "result: " + name;
    if (seen.uploaded && outcome != Outcome::Success) text += " after the upload";
    if (name == "current" || outcome == Outcome::NeedsUpgrade) {
        text += ", version " + seen.reportedVersion;
        if (outcome == Outcome::NeedsUpgrade) text += " (the embedded image's is " + seen.imageVersion + ")";
    } else if (outcome == Outcome::Success) {
        text += ", version " + seen.reportedVersion;
    }
    if (seen.ended == RunOutcome::WrongVersionAfterUpload)
        text += ", version " + (seen.reportedVersion.empty() ? std::string("none") : seen.reportedVersion) +
                " instead of " + seen.imageVersion;
    if (!facts.error.empty()) text += " (" + facts.error + ")";
    if (outcome == Outcome::NoRequest) text += "; " + facts.hint;
    if (seen.noFreePort) text += "; " + facts.noFreePortNote;
    if (!facts.secondRequestNote.empty() && text.find(facts.secondRequestNote) == std::string::npos)
        text += "; " + facts.secondRequestNote;
    if (seen.stopReason == StopReason::BatchGone && outcome == Outcome::Cancelled)
        text += "; the batch that started this run is gone";
    return {event, text};
}

}  // namespace orb::unattended
