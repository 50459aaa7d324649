#include "base/ipv4_address_parser.h"

#include <cstring>

namespace orb {

namespace {

constexpr size_t kShortestText = 7;  // 0.0.0.0
constexpr size_t kLongestText = 15;  // 255.255.255.255

bool isSeparator(char c) { return c == '.' || c == '*'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

AddressParseResult parseIPv4Address(const char* text, uint32_t* address) {
    // Every failure leaves 0 behind.
    *address = 0;

    // The length; no more than 16 characters are looked at.
    size_t length = strnlen(text, kLongestText + 1);
    if (length > kLongestText || length < kShortestText) return AddressParseResult::BadLength;

    // The characters; bytes of 128 and above are other characters.
    for (size_t i = 0; i < length; ++i) {
        if (!isDigit(text[i]) && !isSeparator(text[i])) return AddressParseResult::BadCharacter;
    }

    // The working copy with its terminator.
    char copy[kLongestText + 1];
    std::memcpy(copy, text, length);
    copy[length] = '\0';

    // Tokens between runs of separators, left to right: each is counted
    // first, then its range is checked.
    uint32_t octets[4];
    int taken = 0;
    bool anyToken = false;
    size_t i = 0;
    for (;;) {
        while (isSeparator(copy[i])) ++i;
        if (copy[i] == '\0') break;
        anyToken = true;
        if (taken == 4) return AddressParseResult::TooManyOctets;
        uint32_t value = 0;
        while (isDigit(copy[i])) {
            value = value * 10 + static_cast<uint32_t>(copy[i] - '0');
            if (value > 255) value = 256;  // above the limit, and never overflowing
            ++i;
        }
        if (value > 255) return AddressParseResult::OctetOutOfRange;
        octets[taken++] = value;
    }
    if (!anyToken) return AddressParseResult::TooFewOctets;

    if (taken < 4) return AddressParseResult::TooFewOctets;

    *address = (octets[0] << 24) | (octets[1] << 16) | (octets[2] << 8) | octets[3];
    return AddressParseResult::Ok;
}

}  // namespace orb
