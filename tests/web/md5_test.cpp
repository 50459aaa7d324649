// MD5 against the test suite of RFC 1321 (appendix A.5), and the same input fed
// in pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "web/md5.h"
#include "tests/support/md5_hex.h"

namespace {

using orb::test::hexOf;
using orb::test::md5Hex;

TEST(Md5, Rfc1321TestSuite) {
    struct Case {
        const char* input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(md5Hex(c.input), c.digest) << "input \"" << c.input << "\"";
}

// Inputs of several lengths (around the block and padding boundaries), each
// split into two pieces at the given points: the digest is the one-shot one.
TEST(Md5, PiecesGiveTheOneShotDigest) {
    const size_t splits[] = {0, 1, 55, 56, 63, 64, 65};
    const size_t lengths[] = {65, 100, 128, 129, 200};
    for (size_t length : lengths) {
        std::string input;
        for (size_t i = 0; i < length; ++i) input += static_cast<char>('A' + (i * 7) % 53);
        const std::string expected = md5Hex(input);
        for (size_t split : splits) {
            orb::Md5Context context;
            uint8_t digest[16];
            orb::md5Init(&context);
            orb::md5Update(&context, input.data(), split);
            orb::md5Update(&context, input.data() + split, 0);  // empty pieces change nothing
            orb::md5Update(&context, input.data() + split, length - split);
            orb::md5Final(digest, &context);
            EXPECT_EQ(hexOf(digest), expected) << "length " << length << " split at " << split;
        }
    }
}

TEST(Md5, ThePiecesOfTheRfcMessageInSeveralCalls) {
    const std::string input = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    orb::Md5Context context;
    uint8_t digest[16];
    orb::md5Init(&context);
    for (char c : input) orb::md5Update(&context, &c, 1);
    orb::md5Final(digest, &context);
    EXPECT_EQ(hexOf(digest), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, FinalWipesTheContext) {
    orb::Md5Context context;
    uint8_t digest[16];
    orb::md5Init(&context);
    orb::md5Update(&context, "abc", 3);
    orb::md5Final(digest, &context);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&context);
    for (size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
    // Initialised again, the context is good for the next computation.
    orb::md5Init(&context);
    orb::md5Update(&context, "a", 1);
    orb::md5Final(digest, &context);
    EXPECT_EQ(hexOf(digest), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(Md5, InitLoadsTheChainingWordsAndZeroesTheCount) {
    orb::Md5Context context;
    std::memset(&context, 0xAB, sizeof context);
    orb::md5Init(&context);
    EXPECT_EQ(context.state[0], 0x67452301u);
    EXPECT_EQ(context.state[1], 0xefcdab89u);
    EXPECT_EQ(context.state[2], 0x98badcfeu);
    EXPECT_EQ(context.state[3], 0x10325476u);
    EXPECT_EQ(context.count[0], 0u);
    EXPECT_EQ(context.count[1], 0u);
}

TEST(Md5, BitCountLowWordFirst) {
    orb::Md5Context context;
    orb::md5Init(&context);
    std::string input(100, 'x');
    orb::md5Update(&context, input.data(), input.size());
    EXPECT_EQ(context.count[0], 800u);
    EXPECT_EQ(context.count[1], 0u);
}

}  // namespace
