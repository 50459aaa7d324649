#include "tests/support/whole_run.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/clock.h"
#include "platform/embedded_image.h"
#include "platform/own_addresses.h"
#include "platform/process.h"
#include "base/random.h"
#include "base/trace.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/upgrade_sequence.h"
#include "sim/sha256.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/observer_lines.h"

namespace orb::test {
namespace {

int randomValue = 0;
int randomStep = 0;
bool reportDraws = true;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
            if (setup.fixRandom) {
                randomValue = setup.randomValue;
                randomStep = setup.randomStep;
                reportDraws = setup.reportDraws;
                setRandomSource([] {
                    if (reportDraws) std::printf("[random draw]\n");
                    int drawn = randomValue;
                    randomValue += randomStep;
                    return drawn;
                });
            }
            if (setup.traceToOutput) setTraceSink([](const char* text) { std::printf("[trace] %s\n", text); });
            if (setup.echoObserver) echoRunObserver();
            if (setup.clock != nullptr) setClockSource(setup.clock);
            if (setup.headless) {
                robot::setAutoAnswer(true);
                std::thread(robotScript).detach();
            }
            int result = setup.program ? setup.program() : runProgram(nullptr);
            std::printf("[program returned %d]\n", result);
            endProcess(result);
        },
        setup.timeoutMs, setup.afterFork);
}

void passWarningAndAddress(const std::string& address, int comboIndex) {
    WindowHandle warning = need(kWarningDialogId);
    check(robot::pressButton(warning, kIdOk), "press Continue");
    WindowHandle dialog = need(kAddressDialogId);
    if (comboIndex != 0) check(robot::selectComboEntry(dialog, kPcAddressComboId, comboIndex), "choose the PC address");
    check(robot::typeText(dialog, kAddressFieldId, address), "type the address");
    check(robot::pressButton(dialog, kIdOk), "press OK");
}

void expectNoSanitizerReport(const std::string& output, const std::string& where) {
    for (const char* marker :
         {"WARNING: ThreadSanitizer", "ERROR: AddressSanitizer", "runtime error: ", "ERROR: LeakSanitizer"}) {
        EXPECT_EQ(output.find(marker), std::string::npos) << where << " has a sanitizer report:\n" << output;
    }
}

std::vector<std::string> wholeRunSimOptions(uint32_t address, const std::vector<std::string>& more) {
    std::vector<std::string> options = {"--address=" + formatAddress(address), "--http-port=80", "--quiet-blocks"};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

std::optional<SimRunResult> runAgainstSim(SimProcess& sim, const SimRun& run,
                                          const std::function<void()>& robotScript) {
    std::vector<std::string> options = wholeRunSimOptions(run.simAddress, run.simOptions);
    const std::string saved =
        "/tmp/orb-whole-run-" + formatAddress(run.simAddress) + "-" + std::to_string(::getpid()) + ".bin";
    if (run.saveImage) {
        std::remove(saved.c_str());
        options.push_back("--save-image=" + saved);
    }
    if (!sim.start(options)) return std::nullopt;

    ProgramSetup setup = run.program;
    if (setup.pcAddresses.empty()) setup.pcAddresses = {run.simAddress};
    SimRunResult result;
    result.program = runProgramInChild(setup, robotScript);
    if (run.saveImage) {
        result.savedImage = readFile(saved);
        std::remove(saved.c_str());
    }
    return result;
}

std::string embeddedImageBytes(uint32_t bytes) {
    EmbeddedImage image = findEmbeddedImage(nullptr);
    uint32_t size = bytes != 0 && bytes < image.size ? bytes : image.size;
    return std::string(reinterpret_cast<const char*>(image.data), size);
}

std::string sha256Hex(const std::string& bytes) { return sim::sha256Hex(bytes); }

int wholeImagesReceived(const std::vector<sim::EventLine>& events, const std::string& image) {
    const std::string sha256 = sha256Hex(image);
    int count = 0;
    for (const sim::EventLine& event : events) {
        if (event.name == "image-received" && event.value("check") == "ok" && event.value("sha256") == sha256 &&
            event.value("size") == std::to_string(image.size()))
            ++count;
    }
    return count;
}

}  // namespace orb::test
