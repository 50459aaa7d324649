// Setting up a child process (tests/support/child_process) that runs the
// listener or the transfer as the program does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "tests/support/child_process.h"
#include "tests/support/test_images.h"

namespace orb::test {

constexpr const char* kTestFileName = "/orb1a2b.bin";

// In the child: message boxes answered and logged, traces to standard error,
// and runState filled for a run that serves `image` under kTestFileName to the
// adapter at deviceAddress (the only host the listener serves, and the one the
// verification asks), shown as deviceAddressText. The image must stay in place
// for the life of the child.
void prepareChildRun(const std::vector<uint8_t>& image, const char* deviceAddressText, uint32_t deviceAddress);

// The clocks for setClockSource are the harness's acceleratedClock: at 200 the
// restart wait passes in 250 ms, at 50 in 1 s. This one runs 200 times fast and
// also writes each read, in units of 32 ms, as a line "[clock] N".
uint32_t loggingFastClock();

// A UDP socket bound to address:0, for startTftpSession; kInvalidSocket on failure.
SocketHandle openSessionSocket(uint32_t address);

// Sends "ready <port>" to address:port: how a child tells its parent that the
// listener is bound.
void signalReady(uint32_t address, uint16_t port, uint16_t boundPort);

}  // namespace orb::test
