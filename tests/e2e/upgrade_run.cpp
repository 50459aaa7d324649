#include "tests/e2e/upgrade_run.h"

#include <algorithm>

#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "upgrade/dialog_ids.h"

namespace orb::test {
namespace {

// Presses Cancel in the given progress window as soon as it is up.
void cancelIn(int templateId) {
    WindowHandle window = need(templateId, 20000);
    // The upload window is retitled with the bytes acknowledged once the
    // transfer runs.
    if (templateId == kUploadWindowId)
        check(robot::waitUntil([&] { return robot::title(window).find('@') != std::string::npos; }), "transfer runs");
    report("cancel in " + std::to_string(templateId) + " title=" + robot::title(window));
    check(robot::pressButton(window, kIdCancel), "Cancel");
}

void driveUpgrade(const std::string& address, const UpgradeScript& script) {
    passWarningAndAddress(address);
    size_t typed = 0;
    bool confirmed = false;
    std::vector<WindowHandle> seen;
    for (;;) {
        // The next dialog that needs a person: credentials, confirmation or success.
        WindowHandle dialog = nullptr;
        bool found = robot::waitUntil(
            [&] {
                for (WindowHandle w : robot::openWindows()) {
                    int id = robot::templateOf(w);
                    bool fresh = std::find(seen.begin(), seen.end(), w) == seen.end();
                    if (fresh && robot::isVisible(w) &&
                        (id == kCredentialsDialogId || id == kConfirmDialogId || id == kSuccessDialogId ||
                         (id == script.cancelWindow && confirmed)))
                        dialog = w;
                }
                return dialog != nullptr;
            },
            script.successTimeoutMs);
        if (!found) {
            report("FAIL: nothing more to answer");
            return;
        }
        seen.push_back(dialog);
        switch (robot::templateOf(dialog)) {
        case kCredentialsDialogId:
            report(std::string("credentials") + (confirmed ? " after confirmation" : ""));
            if (typed == script.passwords.size()) {
                check(robot::pressButton(dialog, kIdCancel), "Cancel");
                return;
            }
            check(robot::typeText(dialog, 1005, script.passwords[typed++]), "password");
            check(robot::pressButton(dialog, kIdOk), "OK");
            break;
        case kConfirmDialogId:
            report("confirmation software=" + robot::controlText(dialog, 1004));
            confirmed = true;
            check(robot::pressButton(dialog, script.cancelConfirmation ? kIdCancel : kIdOk), "Upgrade");
            if (script.cancelWindow != 0) {
                cancelIn(script.cancelWindow);
                return;
            }
            break;
        case kSuccessDialogId:
            report("success title=" + robot::title(dialog));
            report("success version=" + robot::controlText(dialog, 1004));
            check(robot::pressButton(dialog, kIdOk), "OK");
            return;
        default:
            return;
        }
    }
}

}  // namespace

uint32_t upgradeAddress(unsigned host) { return loopbackAddress(5, host); }

std::optional<UpgradeRun> runUpgrade(unsigned host, SimProcess& sim, std::vector<std::string> simOptions,
                                     const UpgradeScript& script) {
    SimRun run;
    run.simAddress = upgradeAddress(host);
    run.simOptions = std::move(simOptions);
    run.simOptions.push_back("--restart-ms=300");
    run.saveImage = true;
    run.program.traceToOutput = false;  // a whole transfer traces every block
    run.program.timeoutMs = 90000;
    run.program.clock = acceleratedClock<64>;
    const std::string typed = script.typedAddress.empty() ? formatAddress(run.simAddress) : script.typedAddress;
    return runAgainstSim(sim, run, [&] { driveUpgrade(typed, script); });
}

}  // namespace orb::test
