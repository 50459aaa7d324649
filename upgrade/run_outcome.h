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
    WrongVersionAfterUpload,  // it answered, without the embedded image's version
};

enum class OutcomeClass {
    Success,
    Declined,      // the user chose not to start
    Cancelled,     // Cancel after the run began
    NotReachable,  // the adapter could not be reached or did not answer
    UploadIncomplete,
    NoAnswerAfterUpload,
    WrongVersion,  // the adapter came back without the embedded image's version
    Failed,        // this computer could not do its part
};

struct OutcomeDescription {
    OutcomeClass outcomeClass;
    // The error box's text; nullptr: no box. WrongVersionAfterUpload's box
    // says which version (upgrade_verdict.h): this is its general form.
    const char* message;
};

OutcomeDescription describeOutcome(RunOutcome outcome);

}  // namespace orb
