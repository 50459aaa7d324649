// Which of the address dialog's PC addresses an unattended run chooses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orb::unattended {

// The entry of the address dialog's list of PC addresses to choose: that of
// --pc-address (`option`; index -1 when it is not offered), else the one from
// which the system routes to the adapter (`routeSource`), else the first; -1
// when none is offered. `how` says which rule chose: "--pc-address", "route",
// "first" (or "" for none).
struct PcAddressChoice {
    int index;
    const char* how;
};
PcAddressChoice choosePcAddress(const std::vector<uint32_t>& offered, const std::string& option,
                                std::optional<uint32_t> routeSource);

}  // namespace orb::unattended
