#include "upgrade/run_outcome.h"

namespace orb {

OutcomeDescription describeOutcome(RunOutcome outcome) {
    using C = OutcomeClass;
    switch (outcome) {
        case RunOutcome::Success: return {C::Success, nullptr};
        case RunOutcome::Declined: return {C::Declined, nullptr};
        case RunOutcome::UserAbort: return {C::Cancelled, "Upgrade Failed: User Abort"};
        case RunOutcome::WinsockInitError: return {C::Failed, "Upgrade Failed: Winsock init error"};
        case RunOutcome::NoFirmwareImage: return {C::Failed, "Upgrade Failed: This program carries no firmware image"};
        case RunOutcome::FirmwareImageTooShort:
            return {C::Failed,
                    "Upgrade Failed: The firmware image in this program is shorter than its 128-byte header"};
        case RunOutcome::HttpSocketFailed: return {C::Failed, "Upgrade Failed: Can't open HTTP socket"};
        case RunOutcome::HttpBindFailed: return {C::Failed, "Upgrade Failed: Can't bind HTTP socket"};
        case RunOutcome::CannotConnect: return {C::NotReachable, "Upgrade Failed: Can't connect to ORB"};
        case RunOutcome::NoResponse: return {C::NotReachable, "Upgrade Failed: No Response From ORB"};
        case RunOutcome::ConnectionThreadFailed:
            return {C::Failed, "Upgrade Failed: Can't start the connection thread"};
        case RunOutcome::ListenerAllocationFailed: return {C::Failed, "Upgrade Failed: Can't malloc for TFTP listener"};
        case RunOutcome::ListenerSocketFailed: return {C::Failed, "Upgrade Failed: Can't create TFTP listener socket"};
        case RunOutcome::ListenerBindFailed: return {C::Failed, "Upgrade Failed: Can't bind TFTP listener socket"};
        case RunOutcome::ListenerThreadFailed: return {C::Failed, "Upgrade Failed: Can't start TFTP listener"};
        case RunOutcome::SessionAllocationFailed: return {C::Failed, "Upgrade Failed: Can't malloc for TFTP session"};
        case RunOutcome::UploadIncomplete: return {C::UploadIncomplete, "Upgrade Failed: Firmware Upload Incomplete"};
        case RunOutcome::NotRespondingAfterUpload:
            return {C::NoAnswerAfterUpload, "Upgrade Failed: ORB not responding after firmware upload"};
        case RunOutcome::WrongVersionAfterUpload:
            return {C::WrongVersion, "Upgrade Failed: ORB reports another version after the upload"};
    }
    return {C::Failed, nullptr};
}

}  // namespace orb
