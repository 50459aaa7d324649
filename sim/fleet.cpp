#include "sim/fleet.h"

#include <sys/resource.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "base/hex.h"
#include "sim/device_pages.h"

namespace orb::sim {

namespace {

constexpr uint64_t kHostsPerBlock = 254;  // last numbers 1..254 of each /24
constexpr uint64_t kMacMask = (uint64_t{1} << 48) - 1;

// Adds `amount` to a string of decimal digits, carrying into a new leading digit.
std::string addDecimal(std::string digits, uint64_t amount) {
    for (size_t at = digits.size(); at-- > 0 && amount > 0;) {
        uint64_t sum = static_cast<uint64_t>(digits[at] - '0') + amount % 10;
        amount /= 10;
        digits[at] = static_cast<char>('0' + sum % 10);
        amount += sum / 10;
    }
    if (amount > 0) digits = std::to_string(amount) + digits;
    return digits;
}

}  // namespace

uint32_t deriveAdapterAddress(uint32_t first, unsigned index) {
    // The first adapter is where --address says, whatever it ends in: alone it
    // may end in 0 or 255; a fleet never starts there (checkFleetRange).
    if (index == 0) return first;
    uint64_t host = first & 255;
    uint64_t position = uint64_t{first >> 8} * kHostsPerBlock + (host - 1) + index;
    return static_cast<uint32_t>(((position / kHostsPerBlock) << 8) | (position % kHostsPerBlock + 1));
}

bool checkFleetRange(uint32_t first, unsigned count, std::string* error) {
    if (count <= 1) return true;
    std::string range = "--count " + std::to_string(count) + " from " + formatIPv4(first);
    if ((first >> 24) != 127) {
        *error = range + ": a fleet needs an --address in 127.0.0.0/8, where every address works without set-up";
        return false;
    }
    unsigned host = first & 255;
    if (host == 0 || host == 255) {
        *error = range + ": a fleet's first --address must end in 1 to 254 (addresses ending in 0 or 255 are skipped)";
        return false;
    }
    uint64_t last = uint64_t{first >> 8} * kHostsPerBlock + (host - 1) + (count - 1);
    if (last / kHostsPerBlock > 0x7fffff) {
        *error = range +
                 " leaves 127.0.0.0/8 (addresses ending in 0 or 255 are skipped); choose a lower --address "
                 "or a smaller --count";
        return false;
    }
    return true;
}

std::string deriveSerialNumber(const std::string& first, unsigned index) {
    if (index == 0) return first;
    size_t digits = first.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(first[digits - 1]))) --digits;
    if (digits == first.size()) return first + std::to_string(index);
    return first.substr(0, digits) + addDecimal(first.substr(digits), index);
}

std::string deriveMacAddress(const std::string& first, unsigned index) {
    if (index == 0 || first.size() != 17) return first;
    char separator = first[2];
    if (separator != ':' && separator != '-') return first;
    uint64_t value = 0;
    bool lowercase = false;
    for (size_t at = 0; at < 17; ++at) {
        if (at % 3 == 2) {
            if (first[at] != separator) return first;
            continue;
        }
        int digit = hexDigitValue(first[at]);
        if (digit < 0) return first;
        lowercase = lowercase || (first[at] >= 'a' && first[at] <= 'f');
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    value = (value + index) & kMacMask;
    HexCase letters = lowercase ? HexCase::Lower : HexCase::Upper;
    std::string text;
    for (int shift = 40; shift >= 0; shift -= 8) {
        if (!text.empty()) text += separator;
        appendHexByte(text, static_cast<uint8_t>(value >> shift), letters);
    }
    return text;
}

SimConfig makeAdapterConfig(const SimConfig& fleet, unsigned index) {
    SimConfig adapter = fleet;
    adapter.address = deriveAdapterAddress(fleet.address, index);
    adapter.identity.serialNumber = deriveSerialNumber(fleet.identity.serialNumber, index);
    adapter.identity.macAddress = deriveMacAddress(fleet.identity.macAddress, index);
    adapter.seed = fleet.seed + index;
    // Adapters of a fleet would otherwise overwrite each other's image.
    if (fleet.count > 1 && !fleet.saveImagePath.empty()) {
        adapter.saveImagePath += "." + formatIPv4(adapter.address);
    }
    return adapter;
}

uint64_t estimateDescriptors(unsigned count) { return 16 + 4 * uint64_t{count}; }

// Soft before hard, as struct rlimit's rlim_cur and rlim_max.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
DescriptorPlan planDescriptorLimit(uint64_t soft, uint64_t hard, uint64_t needed) {
    if (needed <= soft) return {soft, true};
    if (hard == UINT64_MAX) return {needed, true};
    return {hard, hard >= needed};
}

bool raiseDescriptorLimit(unsigned count, std::string* warning) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return true;  // nothing known, nothing to change
    auto asNumber = [](rlim_t value) { return value == RLIM_INFINITY ? UINT64_MAX : uint64_t{value}; };
    uint64_t needed = estimateDescriptors(count);
    DescriptorPlan plan = planDescriptorLimit(asNumber(limit.rlim_cur), asNumber(limit.rlim_max), needed);
    uint64_t soft = asNumber(limit.rlim_cur);
    std::string failure;
    if (plan.soft != soft) {
        rlimit raised = limit;
        raised.rlim_cur = static_cast<rlim_t>(plan.soft);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            soft = plan.soft;
        } else {
            failure = std::string(" (raising it failed: ") + std::strerror(errno) + ")";
        }
    }
    if (soft >= needed) return true;
    *warning = std::to_string(count) + " adapters may need about " + std::to_string(needed) +
               " open descriptors, but the limit is " + std::to_string(soft) + failure +
               "; some may fail to listen, accept or fetch. Raise the hard limit (ulimit -Hn, as root)";
    return false;
}

}  // namespace orb::sim
