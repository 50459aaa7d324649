// Loopback addresses for tests. Every test that opens sockets takes its own
// 127.0.x.y so that tests run in parallel without meeting each other's ports.
// Ranges by area (x): 1 web client, 2 sequence and dialogs, 3 TFTP, 4 orb-sim,
// 5 whole runs, 6 terminal and Qt front-ends, 7 reliability. orb-sim's fleets
// span several /24s and take 127.4.0.0/16 instead.
#pragma once

#include <cstdint>
#include <string>

namespace orb::test {

constexpr uint32_t loopbackAddress(unsigned area, unsigned host) { return (127u << 24) | (area << 8) | host; }

inline std::string formatAddress(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

}  // namespace orb::test
