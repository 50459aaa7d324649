// Whole runs of the program against orb-sim with faults injected, by the one
// upgrade robot (tests/support/upgrade_robot): the real start-up and upgrade
// sequence in a forked child, with an accelerated clock so that
// the 49,984 ms restart wait passes in about half a second, and orb-sim as a
// subprocess on 127.0.7.x with a short restart.
//
// Every run must end in exactly one of two ways: the image arrived byte for
// byte (orb-sim's sha256 of what it received equals the image served) and the
// success dialog showed, or an error box "Upgrade Failed: ..." ended it. Never
// a success with a partial or corrupt image, never a crash, never a hang.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/upgrade_robot.h"

namespace orb::test {

// The clock of the child runs this many times faster than real time.
inline constexpr uint32_t kClockSpeedUp = 100;
// orb-sim's restart, well inside the accelerated restart wait (~500 ms).
inline constexpr int kSimRestartMs = 100;

struct FaultRun {
    unsigned host = 0;                    // orb-sim on 127.0.7.host, the PC on 127.0.7.(host + 100)
    std::vector<std::string> simOptions;  // the faults
    // 0 serves the embedded image; otherwise its first `imageBytes` bytes (the
    // header and version included), so that heavy-loss runs stay short.
    uint32_t imageBytes = 0;
    int timeoutMs = 90000;
    // Runs in the child on its own thread once the waiting window (114) has
    // opened, alongside the robot; may use robot calls. For hostile peers: a
    // run that succeeds ends only after it has returned.
    std::function<void()> duringRun;
    // The robot presses Cancel in the upload window once its title holds this
    // text (empty: never).
    std::string cancelUploadWhenTitleHas;
};

struct FaultRunResult {
    ChildResult child;
    std::vector<sim::EventLine> simEvents;
    std::string simDiagnostics;
    std::string servedImage;  // the image the run served

    bool succeeded() const;  // the success dialog showed
    // The text of the one error box, empty when there was none.
    std::string errorBox() const;
    int errorBoxCount() const;
    // The image-received events with check=ok and the served image's sha256 and size.
    int wholeImagesReceived() const;
    std::string describe() const;  // for failure messages
};

// Runs one whole upgrade against orb-sim started with the run's options.
FaultRunResult runWithFaults(const FaultRun& run);

// Asserts the outcome rules that hold for every run (see above); returns true
// when the run succeeded.
bool checkOutcome(const FaultRunResult& result);

// A UDP socket bound to `address` (any port) for hostile peers; -1 on failure.
int openUdpFrom(uint32_t address);
// Sends one datagram to address:port.
void sendDatagram(int socket, uint32_t address, uint16_t port, const std::string& bytes);

}  // namespace orb::test
