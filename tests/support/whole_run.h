// Runs the whole program (start-up and the sequence) in a forked child, with the
// headless view in auto-answer mode and a robot script on a second thread, as a
// person would drive it. What the robot saw, the message boxes, the traces and
// the draws of the random generator are written to the child's output, which
// the test reads with the exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/windowing.h"
#include "tests/support/child_process.h"

namespace orb::test {

// The scripted adapter listens on port 80, which needs root (CI runs as root).
class ProgramRunTest : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the scripted adapter binds port 80, which needs root";
    }
};

struct ProgramSetup {
    std::vector<uint32_t> pcAddresses;
    int randomValue = 0x1a2b;  // every draw of the generator gives this number
    bool traceToOutput = true;
    int timeoutMs = 30000;
    uint32_t (*clock)() = nullptr;  // replaces the millisecond clock in the child
    // Runs in the parent after the fork, before the child starts (see
    // runInChild): where a scripted adapter that runs threads is started, so
    // that the child is forked from a process with one thread.
    std::function<void()> afterFork;
};

test::ChildResult runProgramInChild(const ProgramSetup& setup, const std::function<void()>& robotScript);

// For robot scripts (they run in the child): one output line "[robot] ...".
void report(const std::string& line);
// Waits for a dialog of the template, or reports the failure and ends the child
// with exit code 3.
WindowHandle need(int templateId, int timeoutMs = 10000);
// Reports a failed action and ends the child with exit code 3.
void check(bool ok, const std::string& what);

// The number of lines in `output` that contain `text`.
int countLines(const std::string& output, const std::string& text);

// The lines the auto-answered message boxes leave in the output.
std::string messageBoxLine(const std::string& text, const std::string& caption = "ORB Firwmare Upgrade Error");

// Walks the warning and address dialogs with the given address text (and the
// combo entry), up to the point where the status query starts.
void passWarningAndAddress(const std::string& address, int comboIndex = 0);

}  // namespace orb::test
