// The one whole-run harness. The whole program (start-up and the sequence)
// runs in a forked child, with the headless view in auto-answer mode and a
// robot script on a second thread, as a person would drive it; a front-end with
// a driver of its own (the Qt view) runs its program instead. What the robot
// saw, the message boxes, the traces and the draws of the random generator are
// written to the child's output, which the test reads with the exit code.
// Against orb-sim, runAgainstSim starts the simulator on the run's address,
// runs the program, leaves the simulator running for the test to read its
// events, and hands back the image it saved, for the checks below.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/windowing.h"
#include "sim/event_log.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_process.h"

namespace orb::test {

// The scripted adapter and orb-sim listen on port 80, which needs root (CI runs as root).
class ProgramRunTest : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the scripted adapter binds port 80, which needs root";
    }
};

struct ProgramSetup {
    std::vector<uint32_t> pcAddresses;
    bool fixRandom = true;  // every draw of the generator gives randomValue
    int randomValue = 0x1a2b;
    int randomStep = 0;       // added to randomValue after each draw: tells the draws apart
    bool reportDraws = true;  // each draw writes "[random draw]"
    bool traceToOutput = true;
    bool echoObserver = false;  // the run's observer facts as lines (observer_lines.h)
    int timeoutMs = 30000;
    uint32_t (*clock)() = nullptr;  // replaces the millisecond clock in the child
    // Runs in the parent after the fork, before the child starts (see
    // runInChild): where a scripted adapter that runs threads is started, so
    // that the child is forked from a process with one thread.
    std::function<void()> afterFork;
    // False for a front-end with its own driver: no auto-answered boxes and no
    // robot thread; `program` starts the driver.
    bool headless = true;
    // What the child runs; runProgram(nullptr) when empty. Its result is the
    // child's exit code.
    std::function<int()> program;
};

ChildResult runProgramInChild(const ProgramSetup& setup, const std::function<void()>& robotScript);

// For robot scripts (they run in the child): one output line "[robot] ...".
void report(const std::string& line);
// Waits for a dialog of the template, or reports the failure and ends the child
// with exit code 3.
WindowHandle need(int templateId, int timeoutMs = 10000);
// Reports a failed action and ends the child with exit code 3.
void check(bool ok, const std::string& what);

// Walks the warning and address dialogs with the given address text (and the
// combo entry), up to the point where the status query starts.
void passWarningAndAddress(const std::string& address, int comboIndex = 0);

// Fails the test when a sanitizer (ThreadSanitizer, AddressSanitizer,
// UndefinedBehaviorSanitizer) reported anything in `output`: a child that ends
// with _exit does not turn its reports into an exit code.
void expectNoSanitizerReport(const std::string& output, const std::string& where);

// orb-sim for a whole run: on `address`, port 80, no line per TFTP block
// (nobody reads the simulator's output while the child runs, and a full pipe
// would stop it), then `more`.
std::vector<std::string> wholeRunSimOptions(uint32_t address, const std::vector<std::string>& more = {});

struct SimRun {
    uint32_t simAddress = 0;
    std::vector<std::string> simOptions;  // after wholeRunSimOptions' own
    bool saveImage = false;               // orb-sim saves what it received, for savedImage
    ProgramSetup program;                 // pcAddresses, when empty, are the simulator's
};

struct SimRunResult {
    ChildResult program;
    std::string savedImage;  // what orb-sim received and saved
};

// Starts orb-sim (left running in `sim` for the test to read) and runs the
// program against it; nothing when orb-sim did not start.
std::optional<SimRunResult> runAgainstSim(SimProcess& sim, const SimRun& run, const std::function<void()>& robotScript);

// The embedded image's bytes, whole or its first `bytes`.
std::string embeddedImageBytes(uint32_t bytes = 0);
std::string sha256Hex(const std::string& bytes);

// The image-received events whose check is ok and whose sha256 and size are
// those of `image`.
int wholeImagesReceived(const std::vector<sim::EventLine>& events, const std::string& image);

}  // namespace orb::test
