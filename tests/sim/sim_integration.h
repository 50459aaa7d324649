// Shared by the tests that run orb-sim as a subprocess on 127.0.4.x.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"

namespace orb::test {

inline uint32_t simAddress(unsigned host) { return loopbackAddress(4, host); }

// The options that put a simulator on 127.0.4.host at the test port, with a
// fixed seed.
inline std::vector<std::string> simOptions(unsigned host, std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--address=" + formatAddress(simAddress(host)),
                                        "--http-port=" + std::to_string(SimProcess::httpPortForTests()), "--seed=1"};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

}  // namespace orb::test
