// A fleet: --count adapters in one orb-sim, on consecutive addresses from
// --address, each with its own serial number and MAC address derived from the
// options' values and its index (0 = the first adapter, which keeps them), so
// that a test can predict every one.
#pragma once

#include <cstdint>
#include <string>

#include "sim/options.h"

namespace orb::sim {

inline constexpr unsigned kMaxFleetSize = 100000;

// The address of adapter `index`: `first` itself for index 0, then the
// addresses after it in order, leaving out every one whose last number is 0 or
// 255. No adapter on a /24 network has those, and scripts that build address
// lists skip them too.
uint32_t deriveAdapterAddress(uint32_t first, unsigned index);

// False, with one line in `error`, when a fleet of `count` (more than one)
// would not start on a last number of 1 to 254 or would leave 127.0.0.0/8:
// only the loopback network has every address without any set-up.
bool checkFleetRange(uint32_t first, unsigned count, std::string* error);

// The trailing decimal digits plus `index`, as wide as they were (wider when
// they overflow): ORB41000001 gives ORB41000002 for index 1. A serial without
// trailing digits gets the index appended (SN, SN1, SN2, ...).
std::string deriveSerialNumber(const std::string& first, unsigned index);

// Six hexadecimal pairs separated by ':' or '-' plus `index` as a 48-bit
// number, written with the same separator and letter case. Any other text is
// the same for every adapter.
std::string deriveMacAddress(const std::string& first, unsigned index);

// The settings of adapter `index` of `fleet`: its address, serial number and
// MAC address, the seed plus the index (its own nonces and percent faults),
// and in a fleet of more than one, --save-image's path with ".A.B.C.D" (the
// adapter's address) appended. Everything else is the fleet's.
SimConfig makeAdapterConfig(const SimConfig& fleet, unsigned index);

// Descriptors that `count` adapters may hold at once: each its listener, a
// TFTP socket and a few connections, plus the program's own.
uint64_t estimateDescriptors(unsigned count);

// The soft limit of open descriptors to set for `needed` with the limits
// `soft` and `hard` (UINT64_MAX: unlimited): unchanged when it suffices,
// otherwise raised to the hard limit (to `needed` under an unlimited one).
// `enough` says whether the result covers `needed`.
struct DescriptorPlan {
    uint64_t soft = 0;
    bool enough = true;
};
DescriptorPlan planDescriptorLimit(uint64_t soft, uint64_t hard, uint64_t needed);

// Applies planDescriptorLimit to this process for `count` adapters. False
// when the limit stays below what they may need; `warning` then says so in
// one line.
bool raiseDescriptorLimit(unsigned count, std::string* warning);

}  // namespace orb::sim
