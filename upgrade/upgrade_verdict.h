// Whether the upgrade worked, as the adapter says after its restart: the one
// rule behind "Upgrade Successful!" in every front-end. The run succeeds only
// when the adapter, asked at its own address, reports the version of the
// image this program carries; anything else is a failure whose text says what
// the adapter reports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "upgrade/run_outcome.h"

namespace orb {

// Room for every verdict's text, the note on a second requester included.
inline constexpr size_t kVerdictTextSize = 256;

struct UpgradeVerdict {
    RunOutcome outcome;              // Success, WrongVersionAfterUpload or NotRespondingAfterUpload
    char message[kVerdictTextSize];  // the error box's text; empty for Success
};

// The verification query's byte count (0: no answer), the software version its
// page showed ("" when it showed none) and the embedded image's version.
// `secondRequester` (host order, 0: none) is the address from which a second
// host asked for the image during the transfer; a failure's text names it.
UpgradeVerdict judgeUpgrade(int32_t answerBytes, const char* reportedVersion, const char* imageVersion,
                            uint32_t secondRequester);

// "two hosts asked for the image as A.B.C.D", into `text`.
void formatSecondRequestNote(char* text, size_t size, uint32_t address);

}  // namespace orb
