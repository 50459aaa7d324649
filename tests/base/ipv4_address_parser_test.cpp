// The typed-address parser: text, result code and address.
#include <gtest/gtest.h>

#include <string>

#include "base/ipv4_address_parser.h"

namespace {

using orb::AddressParseResult;

struct Case {
    std::string text;
    AddressParseResult result;
    uint32_t address;
};

TEST(ParseIPv4Address, Table) {
    const Case cases[] = {
        {"1.2.3.4", AddressParseResult::Ok, 0x01020304},
        {"255.255.255.255", AddressParseResult::Ok, 0xFFFFFFFF},
        {"001.002.003.004", AddressParseResult::Ok, 0x01020304},
        {"010.1.1.1", AddressParseResult::Ok, 0x0A010101},  // leading zeros are not octal
        {"10*1*0*123", AddressParseResult::Ok, 0x0A01007B},
        {"10*1.0*123", AddressParseResult::Ok, 0x0A01007B},
        {"1..2.3.4", AddressParseResult::Ok, 0x01020304},
        {".1.2.3.4", AddressParseResult::Ok, 0x01020304},
        {"1.2.3.4.", AddressParseResult::Ok, 0x01020304},
        {"**1*.2.3..4**", AddressParseResult::Ok, 0x01020304},
        {"0.0.0.0", AddressParseResult::Ok, 0},
        {"192.168.2.110", AddressParseResult::Ok, 0xC0A8026E},
        {"1.2.3", AddressParseResult::BadLength, 0},
        {"10.1.2", AddressParseResult::BadLength, 0},
        {"", AddressParseResult::BadLength, 0},
        {"001.002.003.0004", AddressParseResult::BadLength, 0},
        {"1111111111111111111111", AddressParseResult::BadLength, 0},
        {"1.2.3.4 ", AddressParseResult::BadCharacter, 0},
        {" 1.2.3.4", AddressParseResult::BadCharacter, 0},
        {"1.2.3.a", AddressParseResult::BadCharacter, 0},
        {"1.2.3.-4", AddressParseResult::BadCharacter, 0},
        {"1.2.3.+4", AddressParseResult::BadCharacter, 0},
        {"1,2,3,4", AddressParseResult::BadCharacter, 0},
        {"1.2.3.4\xb9", AddressParseResult::BadCharacter, 0},
        {"1.2.3.\xff\xff", AddressParseResult::BadCharacter, 0},
        {"1.2.3.256x", AddressParseResult::BadCharacter, 0},  // characters before tokens
        {"10.10.1", AddressParseResult::TooFewOctets, 0},
        {"........", AddressParseResult::TooFewOctets, 0},
        {"*******", AddressParseResult::TooFewOctets, 0},
        {"1.2...3", AddressParseResult::TooFewOctets, 0},
        {"1.2.3.4.5", AddressParseResult::TooManyOctets, 0},
        {"1.2.3.4.999", AddressParseResult::TooManyOctets, 0},
        {"1.2.3.4*5*6", AddressParseResult::TooManyOctets, 0},
        {"1.2.3.256", AddressParseResult::OctetOutOfRange, 0},
        {"1.2.3.4444", AddressParseResult::OctetOutOfRange, 0},
        {"300.1.2", AddressParseResult::OctetOutOfRange, 0},  // range before count
        {"256.1.2.3.4", AddressParseResult::OctetOutOfRange, 0},
        {"1.2.3.999999999", AddressParseResult::OctetOutOfRange, 0},
        {"999999999999999", AddressParseResult::OctetOutOfRange, 0},
    };
    for (const Case& c : cases) {
        uint32_t address = 0xDEADBEEF;  // whatever it held before the call
        AddressParseResult result = orb::parseIPv4Address(c.text.c_str(), &address);
        EXPECT_EQ(static_cast<int>(result), static_cast<int>(c.result)) << "\"" << c.text << "\"";
        EXPECT_EQ(address, c.address) << "\"" << c.text << "\"";
    }
}

TEST(ParseIPv4Address, ResultCodesHaveTheirNumbers) {
    EXPECT_EQ(static_cast<int>(AddressParseResult::Ok), 0);
    EXPECT_EQ(static_cast<int>(AddressParseResult::OctetOutOfRange), 1);
    EXPECT_EQ(static_cast<int>(AddressParseResult::TooManyOctets), 2);
    EXPECT_EQ(static_cast<int>(AddressParseResult::TooFewOctets), 3);
    EXPECT_EQ(static_cast<int>(AddressParseResult::BadLength), 4);
    EXPECT_EQ(static_cast<int>(AddressParseResult::BadCharacter), 5);
}

TEST(ParseIPv4Address, TheTextIsNotChanged) {
    char text[] = "1*2.3*4";
    uint32_t address = 0;
    EXPECT_EQ(orb::parseIPv4Address(text, &address), AddressParseResult::Ok);
    EXPECT_STREQ(text, "1*2.3*4");
}

TEST(ParseIPv4Address, ReadsNoFurtherThanSixteenCharacters) {
    // A text without a NUL in its 16 bytes: the length check stops there
    // (AddressSanitizer would report a read of the 17th byte).
    char* text = new char[16];
    for (int i = 0; i < 16; ++i) text[i] = '1';
    uint32_t address = 7;
    EXPECT_EQ(orb::parseIPv4Address(text, &address), AddressParseResult::BadLength);
    EXPECT_EQ(address, 0u);
    delete[] text;
}

}  // namespace
