// Setting up a child process that runs the listener or the transfer as the
// program does, and reading what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sockets.h"

namespace orb::test {

constexpr const char* kTestFileName = "/orb1a2b.bin";

// A deterministic image of `size` bytes (different bytes in every block).
std::vector<uint8_t> makeTestImage(size_t size);

// In the child: message boxes answered and logged, traces to standard error,
// and runState filled for a run that serves `image` under kTestFileName. The
// image must stay in place for the life of the child.
void prepareChildRun(const std::vector<uint8_t>& image, const char* deviceAddressText);

// Clocks for setClockSource: real time sped up 200 times (the restart wait
// passes in 250 ms), or 50 times (1 s); the logging one also writes each read,
// in units of 32 ms, as a line "[clock] N".
uint32_t fastClock();
uint32_t quickClock();
uint32_t loggingFastClock();

// A UDP socket bound to address:0, for uploadAndVerify; kInvalidSocket on failure.
SocketHandle openSessionSocket(uint32_t address);

// Sends "ready <port>" to address:port: how a child tells its parent that the
// listener is bound.
void signalReady(uint32_t address, uint16_t port, uint16_t boundPort);

// The line that auto-answer mode writes for an error box.
std::string errorBoxLine(const std::string& text);

size_t countOf(const std::string& text, const std::string& piece);
// True when the pieces occur in `text` in this order, without overlapping.
bool inOrder(const std::string& text, const std::vector<std::string>& pieces);

}  // namespace orb::test
