// The strict dotted quad of command lines and queries, against formatIPv4.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/ipv4_text.h"

namespace orb {
namespace {

TEST(ParseDottedQuad, TakesFourOctetsOfOneToThreeDigits) {
    uint32_t address = 0;
    ASSERT_TRUE(parseDottedQuad("010.001.000.255", &address));
    EXPECT_EQ(address, 0x0a0100ffu);  // decimal, not octal
    EXPECT_EQ(formatIPv4(address), "10.1.0.255");
}

TEST(ParseDottedQuad, RefusesAnythingElseAndKeepsTheAddress) {
    for (const char* text : {"", "1.2.3", "1.2.3.4.", "1..3.4", ".1.2.3.4", "1.2.3.256", "1.2.3.0004", "0001.2.3.4",
                             "1.2.3.4 ", " 1.2.3.4", "1*2*3*4", "1.2.3.-4", "1.2.3.4x"}) {
        uint32_t address = 7;
        EXPECT_FALSE(parseDottedQuad(text, &address)) << text;
        EXPECT_EQ(address, 7u) << text;
    }
}

}  // namespace
}  // namespace orb
