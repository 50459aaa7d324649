#include "app/unattended/front_end/pc_address_choice.h"

#include "base/ipv4_text.h"

namespace orb::unattended {

PcAddressChoice choosePcAddress(const std::vector<uint32_t>& offered, const std::string& option,
                                std::optional<uint32_t> routeSource) {
    if (!option.empty()) {
        for (size_t i = 0; i < offered.size(); ++i)
            if (formatIPv4(offered[i]) == option) return {static_cast<int>(i), "--pc-address"};
        return {-1, "--pc-address"};
    }
    if (offered.empty()) return {-1, ""};
    // With several networks (a VPN, a virtual switch) the first address may
    // not reach the adapter; the one the system sends to it from does.
    for (size_t i = 0; routeSource && i < offered.size(); ++i)
        if (offered[i] == *routeSource) return {static_cast<int>(i), "route"};
    return {0, "first"};
}

}  // namespace orb::unattended
