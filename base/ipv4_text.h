// An IPv4 address as text, the one form every message, event, path and page
// writes it in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orb {

// "A.B.C.D" of a host-order address (first octet in the high byte), each
// octet in decimal without leading zeros: at most 15 characters.
inline std::string formatIPv4(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
                  static_cast<unsigned>((address >> 16) & 255), static_cast<unsigned>((address >> 8) & 255),
                  static_cast<unsigned>(address & 255));
    return text;
}

}  // namespace orb
