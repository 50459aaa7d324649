#include "base/hex.h"

namespace orb {

char hexDigit(unsigned nibble, HexCase letters) {
    static constexpr char kLower[] = "0123456789abcdef";
    static constexpr char kUpper[] = "0123456789ABCDEF";
    return (letters == HexCase::Upper ? kUpper : kLower)[nibble & 15];
}

void appendHexByte(std::string& text, uint8_t byte, HexCase letters) {
    text += hexDigit(byte >> 4, letters);
    text += hexDigit(byte, letters);
}

std::string hexOfBytes(const void* bytes, size_t length) {
    std::string text;
    text.reserve(2 * length);
    const auto* at = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i) appendHexByte(text, at[i]);
    return text;
}

void writeHexOfBytes(const void* bytes, size_t length, char* text) {
    const auto* at = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        text[2 * i] = hexDigit(at[i] >> 4);
        text[2 * i + 1] = hexDigit(at[i]);
    }
    text[2 * length] = '\0';
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace orb
