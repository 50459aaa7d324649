#include "upgrade/upgrade_verdict.h"

#include <cstdio>
#include <cstring>

#include "base/ipv4_text.h"

namespace orb {

void formatSecondRequestNote(char* text, size_t size, uint32_t address) {
    std::snprintf(text, size, "two hosts asked for the image as %s", formatIPv4(address).c_str());
}

UpgradeVerdict judgeUpgrade(int32_t answerBytes, const char* reportedVersion, const char* imageVersion,
                            uint32_t secondRequester) {
    UpgradeVerdict verdict{RunOutcome::Success, ""};
    if (answerBytes > 0 && imageVersion[0] != '\0' && std::strcmp(reportedVersion, imageVersion) == 0) return verdict;
    int length;
    if (answerBytes <= 0) {
        verdict.outcome = RunOutcome::NotRespondingAfterUpload;
        length = std::snprintf(verdict.message, sizeof verdict.message, "%s",
                               describeOutcome(RunOutcome::NotRespondingAfterUpload).message);
    } else {
        verdict.outcome = RunOutcome::WrongVersionAfterUpload;
        // A page's value may hold any byte: the box shows at most its 127 characters.
        length = reportedVersion[0] == '\0'
                     ? std::snprintf(verdict.message, sizeof verdict.message,
                                     "Upgrade Failed: ORB reports no version after the upload")
                     : std::snprintf(verdict.message, sizeof verdict.message,
                                     "Upgrade Failed: ORB reports version %.127s after the upload", reportedVersion);
    }
    if (secondRequester == 0 || length < 0 || static_cast<size_t>(length) >= sizeof verdict.message) return verdict;
    char note[64];
    formatSecondRequestNote(note, sizeof note, secondRequester);
    std::snprintf(verdict.message + length, sizeof verdict.message - static_cast<size_t>(length), " (%s)", note);
    return verdict;
}

}  // namespace orb
