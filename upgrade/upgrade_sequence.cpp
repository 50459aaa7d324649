#include "upgrade/upgrade_sequence.h"

#include <cstdio>

#include "platform/process.h"
#include "platform/windowing.h"
#include "base/ipv4_text.h"
#include "upgrade/device_query.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/error_box.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"
#include "upgrade/serve_image.h"
#include "upgrade/startup.h"

namespace orb {

int runProgram(InstanceHandle instance) {
    runStartup(instance);
    return runUpgradeSequence();
}

int runUpgradeSequence() {
    InstanceHandle instance = runState.instance;
    if (runModalDialog(instance, kWarningDialogId, warningDialogProc) != 1 ||
        runModalDialog(instance, kAddressDialogId, addressDialogProc) != 1 || runState.deviceAddress == 0) {
        reportRunEnded(RunOutcome::Declined);
        return 0;
    }
    // Drawn before the status query, whose challenges draw the client nonces.
    drawTftpFileName();

    DeviceQuery query{instance,
                      {.pc = {runState.pcAddress, kFirstLocalHttpPort},
                       .device = {runState.deviceAddress, kDeviceHttpPort}},
                      kStatusPagePath,
                      runState.responseBuffer};
    if (!deviceAnswered(query)) {
        showFailure(RunOutcome::NoResponse);
        return 0;
    }
    if (RunObserver* observer = runObserver()) observer->statusRead(runState.deviceInfo);
    if (runModalDialog(instance, kConfirmDialogId, confirmDialogProc) != 1) {
        showFailure(RunOutcome::UserAbort);
        return 0;
    }

    auto port = static_cast<uint16_t>(startTftpListener(runState.pcAddress) & 0xffff);
    // Room for the longest address and port and any file name.
    char triggerPath[sizeof "/admin/upgrade?tftp://255.255.255.255:65535" + sizeof runState.tftpFileName];
    std::snprintf(triggerPath, sizeof triggerPath, kTriggerPathFormat, formatIPv4(runState.pcAddress).c_str(),
                  static_cast<unsigned>(port), runState.tftpFileName);
    query.path = triggerPath;
    runDeviceQuery(query);  // the adapter's answer to the trigger is not used

    // The listener thread finishes the run and ends the process.
    waitUntilProcessEnds();
}

}  // namespace orb
