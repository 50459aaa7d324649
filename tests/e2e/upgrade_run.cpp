#include "tests/e2e/upgrade_run.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/clock.h"
#include "tests/support/dialog_robot.h"
#include "platform/embedded_image.h"
#include "sim/sha256.h"
#include "tests/support/loopback.h"
#include "upgrade/dialog_ids.h"

namespace orb::test {
namespace {

uint32_t fastClock() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>((now.tv_sec * 1000ull + now.tv_nsec / 1000000) * 64);
}

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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

uint32_t upgradeAddress(unsigned host) { return loopbackAddress(5, host); }

std::optional<UpgradeRun> runUpgrade(unsigned host, SimProcess& sim, std::vector<std::string> simOptions,
                                     const UpgradeScript& script) {
    const std::string address = formatAddress(upgradeAddress(host));
    const std::string saved = "/tmp/orb-e2e-" + std::to_string(host) + "-" + std::to_string(::getpid()) + ".bin";
    std::remove(saved.c_str());
    simOptions.push_back("--address=" + address);
    simOptions.push_back("--http-port=80");
    simOptions.push_back("--restart-ms=300");
    simOptions.push_back("--quiet-blocks");
    simOptions.push_back("--save-image=" + saved);
    if (!sim.start(simOptions)) return std::nullopt;

    ProgramSetup setup;
    setup.pcAddresses = {upgradeAddress(host)};
    setup.traceToOutput = false;  // a whole transfer traces every block
    setup.timeoutMs = 90000;
    setup.clock = fastClock;
    UpgradeRun result;
    const std::string typed = script.typedAddress.empty() ? address : script.typedAddress;
    result.program = runProgramInChild(setup, [&] { driveUpgrade(typed, script); });
    result.savedImage = readFile(saved);
    std::remove(saved.c_str());
    return result;
}

std::string embeddedImageBytes() {
    EmbeddedImage image = findEmbeddedImage(nullptr);
    return std::string(reinterpret_cast<const char*>(image.data), image.size);
}

std::string sha256Hex(const std::string& bytes) { return sim::sha256Hex(bytes); }

}  // namespace orb::test
