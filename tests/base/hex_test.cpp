// Hexadecimal text of bytes, the digits read back, and the terminal escape
// built on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/hex.h"
#include "base/terminal_escape.h"

namespace orb {
namespace {

TEST(Hex, BytesAsLowercaseDigitsHighFirst) {
    const uint8_t bytes[] = {0x00, 0x0f, 0xa5, 0xff, 0x10};
    EXPECT_EQ(hexOfBytes(bytes, sizeof bytes), "000fa5ff10");
    char text[2 * sizeof bytes + 2];
    text[sizeof text - 1] = '#';
    writeHexOfBytes(bytes, sizeof bytes, text);
    EXPECT_EQ(std::string(text), "000fa5ff10");
    EXPECT_EQ(text[sizeof text - 1], '#');  // nothing past the terminator
}

TEST(Hex, UppercaseOnRequest) {
    std::string text;
    appendHexByte(text, 0xab, HexCase::Upper);
    appendHexByte(text, 0xcd);
    EXPECT_EQ(text, "ABcd");
}

TEST(Hex, DigitValuesOfEitherCase) {
    std::string digits = "0123456789abcdefABCDEF";
    for (size_t i = 0; i < digits.size(); ++i) EXPECT_EQ(hexDigitValue(digits[i]), i < 16 ? int(i) : int(i) - 6);
    for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0'}) EXPECT_EQ(hexDigitValue(c), -1) << int(c);
}

TEST(TerminalEscape, ControlAndHighBytesAsHexEscapes) {
    EXPECT_EQ(escapeForTerminal(std::string("a\x1b[2J\r\n\x7f\xc3\xa9~ \x1f", 13)),
              "a\\x1b[2J\\x0d\\x0a\\x7f\\xc3\\xa9~ \\x1f");
    std::string out = "kept ";
    appendEscapedForTerminal(out, std::string("\0z", 2));
    EXPECT_EQ(out, "kept \\x00z");
}

}  // namespace
}  // namespace orb
