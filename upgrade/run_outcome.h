// How a run ends: one value per way, each with its class (what kind of end it
// is for someone who upgrades many adapters) and the exact text of the error
// box that reports it, defined once here.
#pragma once

namespace orb {

enum class RunOutcome {
    Success,   // the success dialog was closed
    Declined,  // Cancel in the warning or address dialog: no box
    UserAbort,
    WinsockInitError,
    NoFirmwareImage,
    FirmwareImageTooShort,
    HttpSocketFailed,
    HttpBindFailed,
    CannotConnect,
    NoResponse,
    ConnectionThreadFailed,
    ListenerAllocationFailed,
    ListenerSocketFailed,
    ListenerBindFailed,
    ListenerThreadFailed,
    SessionAllocationFailed,
    UploadIncomplete,
    NotRespondingAfterUpload,
};

enum class OutcomeClass {
    Success,
    Declined,      // the user chose not to start
    Cancelled,     // Cancel after the run began
    NotReachable,  // the adapter could not be reached or did not answer
    UploadIncomplete,
    NoAnswerAfterUpload,
    Failed,  // this computer could not do its part
};

struct OutcomeDescription {
    OutcomeClass outcomeClass;
    const char* message;  // the error box's text; nullptr: no box
};

OutcomeDescription describeOutcome(RunOutcome outcome);

}  // namespace orb
