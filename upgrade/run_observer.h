// What a run tells an observer, as values, while it happens: the windows it
// opens, what the adapter reported, the upload block by block, the restart
// wait, the version read back, the hint, and how it ended. The interactive
// programs install none, and then nothing of this happens; the unattended
// driver and tests install one before the run starts.
//
// Calls come from whichever thread of the run meets the step (the main
// thread, the listener's, a query's worker), possibly at once: an observer is
// thread-safe, returns quickly, and never calls back into the run.
#pragma once

#include <cstdint>

#include "platform/windowing.h"
#include "web/device_info.h"
#include "upgrade/run_outcome.h"

namespace orb {

enum class RunStep {
    Warning,
    Address,
    Connecting,  // one attempt of a device query
    Credentials,
    Confirm,
    Waiting,  // the listener waits for the read request
    Upload,   // the upload window: the transfer, then the restart wait
    Success,
};

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // A window of the run is up with this title. Modal dialogs report from
    // their initialisation, before they take input; progress windows once
    // created. `window` is what a driver answers through.
    virtual void windowShown(RunStep /*step*/, WindowHandle /*window*/, const char* /*title*/) {}
    // The run has destroyed it (an attempt's connecting window, the waiting
    // window on the read request, the upload window after the restart wait).
    virtual void windowClosed(RunStep /*step*/, WindowHandle /*window*/) {}
    // The address dialog offers these PC addresses (host order, `count` of
    // them, in the list's order) and will install this version.
    virtual void addressOffered(const uint32_t* /*pcAddresses*/, int /*count*/, const char* /*imageVersion*/) {}
    // The status page's five fields, after the status query.
    virtual void statusRead(const DeviceInfo& /*info*/) {}
    // The TFTP listener waits on this UDP port (the trigger names it).
    virtual void listening(uint16_t /*port*/) {}
    // The adapter wants credentials; `refused` when it refused the ones held.
    virtual void credentialsDemanded(bool /*refused*/) {}
    // The adapter's read request was accepted on the listener's `port`.
    virtual void uploadStarted(uint16_t /*port*/, uint32_t /*peerAddress*/, uint16_t /*peerPort*/, uint32_t /*size*/) {}
    virtual void blockAcknowledged(uint32_t /*bytes*/, uint32_t /*size*/) {}
    // Every byte of the image was acknowledged.
    virtual void uploadComplete(uint32_t /*size*/) {}
    virtual void restartWaitProgress(uint32_t /*elapsedMs*/, uint32_t /*totalMs*/) {}
    // The software version the adapter reports after its restart ("" when its
    // page shows none).
    virtual void versionRead(const char* /*version*/) {}
    // No read request came within 20 s: the waiting window shows this hint.
    virtual void hintShown(const char* /*text*/) {}
    // A second host asked for the image as the adapter (`address`, from UDP
    // `port`) while the transfer to the first went on. Once per run.
    virtual void secondRequest(uint32_t /*address*/, uint16_t /*port*/) {}
    // How the run ended, before its error box (if any) is shown, with the
    // box's exact text (nullptr: none). Once per run.
    virtual void runEnded(RunOutcome /*outcome*/, const char* /*message*/) {}
};

// nullptr: none (the default).
void setRunObserver(RunObserver* observer);
RunObserver* runObserver();

// windowShown with the window's current title; nothing without an observer.
void reportWindowShown(RunStep step, WindowHandle window);
void reportWindowClosed(RunStep step, WindowHandle window);
// runEnded, at most once per run however many threads end it; `message`
// nullptr: the outcome's own text.
void reportRunEnded(RunOutcome outcome, const char* message = nullptr);

}  // namespace orb
