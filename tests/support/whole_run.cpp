#include "tests/support/whole_run.h"

#include <cstdio>
#include <sstream>
#include <thread>

#include "platform/clock.h"
#include "tests/support/dialog_robot.h"
#include "platform/own_addresses.h"
#include "platform/process.h"
#include "base/random.h"
#include "base/trace.h"
#include "upgrade/upgrade_sequence.h"
#include "upgrade/dialog_ids.h"

namespace orb::test {
namespace {

int randomValue = 0;

}  // namespace

void report(const std::string& line) { std::printf("[robot] %s\n", line.c_str()); }

WindowHandle need(int templateId, int timeoutMs) {
    WindowHandle window = robot::waitForDialog(templateId, timeoutMs);
    if (window == nullptr) {
        report("FAIL: no dialog " + std::to_string(templateId));
        endProcess(3);
    }
    return window;
}

void check(bool ok, const std::string& what) {
    if (ok) return;
    report("FAIL: " + what);
    endProcess(3);
}

ChildResult runProgramInChild(const ProgramSetup& setup, const std::function<void()>& robotScript) {
    return runInChild(
        [&] {
            setOwnAddressesForTesting(true, setup.pcAddresses);
            randomValue = setup.randomValue;
            setRandomSource([] {
                std::printf("[random draw]\n");
                return randomValue;
            });
            if (setup.traceToOutput) setTraceSink([](const char* text) { std::printf("[trace] %s\n", text); });
            robot::setAutoAnswer(true);
            if (setup.clock != nullptr) setClockSource(setup.clock);
            std::thread(robotScript).detach();
            int result = runProgram(nullptr);
            std::printf("[program returned %d]\n", result);
            endProcess(result);
        },
        setup.timeoutMs, setup.afterFork);
}

int countLines(const std::string& output, const std::string& text) {
    std::istringstream lines(output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

std::string messageBoxLine(const std::string& text, const std::string& caption) {
    return "[message box] caption=\"" + caption + "\" text=\"" + text + "\"";
}

void passWarningAndAddress(const std::string& address, int comboIndex) {
    WindowHandle warning = need(kWarningDialogId);
    check(robot::pressButton(warning, kIdOk), "press Continue");
    WindowHandle dialog = need(kAddressDialogId);
    if (comboIndex != 0) check(robot::selectComboEntry(dialog, 1017, comboIndex), "choose the PC address");
    check(robot::typeText(dialog, 1000, address), "type the address");
    check(robot::pressButton(dialog, kIdOk), "press OK");
}

}  // namespace orb::test
