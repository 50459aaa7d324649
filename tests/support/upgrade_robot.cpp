#include "tests/support/upgrade_robot.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "upgrade/dialog_ids.h"
#include "upgrade/run_state.h"
#include "upgrade/startup.h"
#include "upgrade/upgrade_sequence.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"

namespace orb::test {
namespace {

// Set once the run's hostile peer (UpgradeOptions::duringRun) has done its
// work; the robot closes the success dialog, which ends the run, only then.
class PeerDone {
public:
    void set() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }
    bool waitFor(int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

// Presses Cancel in the given progress window as soon as it is up (the upload
// window once its title holds `titleHas`).
void cancelIn(int templateId, const std::string& titleHas) {
    WindowHandle window = need(templateId, 20000);
    if (templateId == kUploadWindowId)
        check(robot::waitUntil([&] { return robot::title(window).find(titleHas) != std::string::npos; }),
              "transfer runs");
    report("cancel in " + std::to_string(templateId) + " title=" + robot::title(window));
    check(robot::pressButton(window, kIdCancel), "Cancel");
}

void driveUpgrade(const std::string& address, const UpgradeScript& script, PeerDone* peer) {
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
                check(robot::typeText(dialog, kPasswordFieldId, script.passwords[typed++]), "password");
                check(robot::pressButton(dialog, kIdOk), "OK");
                break;
            case kConfirmDialogId:
                report("confirmation software=" + robot::controlText(dialog, kSoftwareFieldId));
                confirmed = true;
                check(robot::pressButton(dialog, script.cancelConfirmation ? kIdCancel : kIdOk), "Upgrade");
                if (script.cancelWindow != 0) {
                    cancelIn(script.cancelWindow, script.cancelWhenTitleHas);
                    return;
                }
                break;
            case kSuccessDialogId:
                report("success title=" + robot::title(dialog));
                report("success version=" + robot::controlText(dialog, kSoftwareFieldId));
                if (peer != nullptr) check(peer->waitFor(script.successTimeoutMs), "the hostile peer's end");
                check(robot::pressButton(dialog, kIdOk), "OK");
                return;
            default: return;
        }
    }
}

}  // namespace

std::optional<UpgradeRun> runUpgrade(SimProcess& sim, const UpgradeOptions& run) {
    SimRun simRun;
    simRun.simAddress = run.simAddress;
    simRun.simOptions = run.simOptions;
    simRun.saveImage = run.saveImage;
    if (run.pcAddress != 0) simRun.program.pcAddresses = {run.pcAddress};
    simRun.program.traceToOutput = run.traceToOutput;
    simRun.program.echoObserver = run.echoObserver;
    simRun.program.reportDraws = run.reportDraws;
    simRun.program.timeoutMs = run.timeoutMs;
    simRun.program.clock = run.clock;
    const uint32_t imageBytes = run.imageBytes;
    const std::function<void()> duringRun = run.duringRun;
    // Shared by the child's two threads: fork copies the one object for both.
    std::shared_ptr<PeerDone> peerDone = duringRun ? std::make_shared<PeerDone>() : nullptr;
    simRun.program.program = [imageBytes, duringRun, peerDone] {
        if (duringRun) {
            std::thread([duringRun, peerDone] {
                if (robot::waitForDialog(kWaitingWindowId, 60000) != nullptr) duringRun();
                peerDone->set();
            }).detach();
        }
        runStartup(nullptr);
        if (imageBytes != 0 && imageBytes < runState.firmwareImage.size) runState.firmwareImage.size = imageBytes;
        return runUpgradeSequence();
    };
    const std::string typed = run.script.typedAddress.empty() ? formatAddress(run.simAddress) : run.script.typedAddress;
    const UpgradeScript script = run.script;
    return runAgainstSim(sim, simRun, [typed, script, peerDone] { driveUpgrade(typed, script, peerDone.get()); });
}

}  // namespace orb::test
