// An IPv4 address as text, the one form every message, event, path and page
// writes it in, and the strict form read back from command lines and queries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

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

// True for exactly four decimal octets of 1 to 3 digits each (leading zeros
// allowed, and decimal: 010 is ten; each at most 255) separated by single
// dots, and nothing else around them; stores the address (first octet in the
// high byte) only then. The strict form of command lines and queries, unlike
// the dialog's typed addresses (ipv4_address_parser.h).
bool parseDottedQuad(std::string_view text, uint32_t* address);

}  // namespace orb
