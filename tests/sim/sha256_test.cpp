// SHA-256 against the examples of FIPS 180-2 (appendix B) and the empty message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/sha256.h"

namespace orb::sim {
namespace {

TEST(SimSha256, OneBlockMessage) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(SimSha256, MultiBlockMessage) {
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(SimSha256, LongMessageOfOneMillionA) {
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SimSha256, EmptyMessage) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(SimSha256, PiecesOfAnyLengthGiveTheSameDigest) {
    std::string message;
    for (int i = 0; i < 1000; ++i) message += static_cast<char>(i * 7 + 3);
    std::string whole = sha256Hex(message);
    for (size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u}) {
        Sha256 hash;
        for (size_t at = 0; at < message.size(); at += piece)
            hash.update(message.data() + at, std::min(piece, message.size() - at));
        uint8_t digest[32];
        hash.finish(digest);
        char text[65];
        for (int i = 0; i < 32; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
        EXPECT_EQ(std::string(text), whole) << "pieces of " << piece;
    }
}

TEST(SimSha256, LengthsAroundThePaddingBoundary) {
    // 55 bytes fit the length in the same block, 56 need another one.
    EXPECT_EQ(sha256Hex(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(sha256Hex(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(sha256Hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(SimSha256, ResetStartsANewMessage) {
    Sha256 hash;
    hash.update("xyz", 3);
    hash.reset();
    hash.update("abc", 3);
    uint8_t digest[32];
    hash.finish(digest);
    EXPECT_EQ(digest[0], 0xba);
    EXPECT_EQ(digest[31], 0xad);
}

}  // namespace
}  // namespace orb::sim
