// Runs orb-sim as a real subprocess for a test and reads its event lines as
// they come. Every wait is bounded, so a test fails instead of hanging.
//
//   SimProcess sim;
//   ASSERT_TRUE(sim.start({"--address=127.0.5.1", "--restart-ms=200"})) << sim.diagnostics();
//   auto image = sim.waitFor("image-received", 10000);
//   ASSERT_TRUE(image) << sim.diagnostics();
//   EXPECT_EQ(image->value("check"), "ok");
//   EXPECT_EQ(sim.stop(), 0);
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/event_log.h"

namespace orb::test {

class SimProcess {
public:
    using Match = std::function<bool(const sim::EventLine&)>;

    SimProcess() = default;
    ~SimProcess();  // kills a simulator that is still running
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The orb-sim that the build made.
    static std::string executable();
    // The build's orb-rrq-thief (tests/support/rrq_thief.cpp): another host
    // that asks the listener for every file name it could have drawn.
    static std::string rrqThiefExecutable();
    // 80 when the tests run as root (as CI does), otherwise a port that needs
    // no privilege, so that a developer can run them too.
    static uint16_t httpPortForTests();

    // Starts orb-sim with these options and waits until it logs
    // event=listening. False when it exits first or the time runs out; then
    // diagnostics() tells why.
    bool start(const std::vector<std::string>& options, int timeoutMs = 5000);
    // The same for another program that writes orb-sim's event lines and
    // starts with event=listening (the read request thief, rrqThiefExecutable).
    bool startProgram(const std::string& program, const std::vector<std::string>& options, int timeoutMs = 5000);
    // True when start() failed only because the port needs privileges that
    // this process lacks.
    bool failedForPrivilege() const;

    // The first event named `name` (and satisfying `match`) at or after index
    // `from` of events(), waiting up to timeoutMs for it to arrive.
    std::optional<sim::EventLine> waitFor(const std::string& name, int timeoutMs = 5000, const Match& match = nullptr,
                                          size_t from = 0);
    // Reads what has arrived, waiting at most timeoutMs for more.
    void poll(int timeoutMs = 0);
    const std::vector<sim::EventLine>& events() const { return events_; }
    size_t eventCount() const { return events_.size(); }
    std::vector<sim::EventLine> eventsNamed(const std::string& name) const;

    // Sends the signal and waits for the exit. The exit status, or -1 when the
    // process had to be killed or ended by a signal.
    int stop(int signalNumber = 15, int timeoutMs = 5000);
    // Waits for the process to exit by itself; its exit status, or -1.
    int waitForExit(int timeoutMs);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Standard output and standard error so far, for failure messages.
    std::string diagnostics() const;
    const std::string& errorText() const { return stderrText_; }

private:
    // Reads both pipes once; false when nothing could be read before the time-out.
    bool readOnce(int timeoutMs);
    void takeLines();
    int reap(bool block);

    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int stderrFd_ = -1;
    int exitStatus_ = -1;
    std::string pendingOutput_;
    std::string stdoutText_;
    std::string stderrText_;
    std::vector<sim::EventLine> events_;
};

}  // namespace orb::test

// Starts the simulator or ends the test: skipped when only the privilege for
// port 80 is missing, failed otherwise.
#define ORB_START_SIM(sim, options)                                                                      \
    do {                                                                                                 \
        if (!(sim).start(options)) {                                                                     \
            if ((sim).failedForPrivilege()) GTEST_SKIP() << "port 80 needs root: " << (sim).errorText(); \
            FAIL() << "orb-sim did not start\n" << (sim).diagnostics();                                  \
        }                                                                                                \
    } while (0)
