// Regression tests for what the fuzz targets in fuzz/ found, and the
// invariants they check, on the inputs that matter most.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/ipv4_address_parser.h"
#include "tftp/listener_datagram.h"
#include "tftp/packets.h"
#include "tftp/transfer.h"
#include "web/digest_auth.h"
#include "web/http_exchange.h"
#include "web/response_parsing.h"

namespace orb {
namespace {

// The longest header of the run (every field full, a four-digit client nonce,
// nc all ones) fits the room that the exchange leaves for it, never cut.
TEST(FuzzRegression, TheLongestAuthorizationHeaderFitsItsRoom) {
    DigestAuthState state{};
    std::memset(state.user, 'u', 127);
    std::memset(state.password, 'p', 127);
    std::string challenge = "WWW-Authenticate: Digest realm=\"" + std::string(500, 'r') + "\", nonce=\"" +
                            std::string(500, 'n') + "\", qop=\"" + std::string(500, 'q') + "\", algorithm=\"" +
                            std::string(500, 'a') + "\", opaque=\"" + std::string(500, 'o') + "\"";
    ASSERT_TRUE(parseDigestChallenge(challenge.c_str(), &state));
    std::strcpy(state.cnonce, "7fff");
    state.nc = 0xffffffffu;
    const size_t room = kAuthorizationHeaderMaxLength + 1;
    std::unique_ptr<char[]> line(new char[room]);
    int length = buildAuthorizationHeader(&state, std::span(line.get(), room));
    EXPECT_EQ(static_cast<size_t>(length), kAuthorizationHeaderMaxLength);
    EXPECT_EQ(std::string(line.get() + length - 2), "\r\n");
}

// A read request whose name fills the whole 1024-byte receive area without a
// NUL is refused, and nothing past the datagram is read (the datagram sits in
// a heap block of exactly its length, so AddressSanitizer would see it).
TEST(FuzzRegression, AReadRequestWithoutANulInTheWholeAreaIsRefused) {
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[1024]);
    datagram[0] = 0;
    datagram[1] = 1;
    std::memset(datagram.get() + 2, 'a', 1022);
    const ListenerPeers fromAdapter{{0x7f000102, 4000}, 0x7f000102};
    EXPECT_EQ(handleListenerDatagram(datagram.get(), 1024, "/orb1a2b.bin", fromAdapter), ListenerVerdict::Ignore);
    EXPECT_EQ(handleListenerDatagram(datagram.get(), 2, "/orb1a2b.bin", fromAdapter), ListenerVerdict::Ignore);
    EXPECT_EQ(handleListenerDatagram(datagram.get(), 1, "/orb1a2b.bin", fromAdapter), ListenerVerdict::Idle);
}

// The invariants of the session fuzz target on a hostile sequence: stale,
// repeated and too-short ACKs, foreign ACKs for the awaited block, then the
// rest of the transfer. bytesAcked never passes the image size, the block
// never passes blockCount + 1, and every block lies inside the image.
TEST(FuzzRegression, TheTransferKeepsItsInvariantsUnderStaleAndForeignAcks) {
    const uint32_t size = 1100;
    std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
    for (uint32_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i);
    TftpSession session{};
    initTftpSession(&session, kInvalidSocket, {0x7f000702, 4000}, image.get(), size);
    auto ack = [&](unsigned block, Endpoint from = {0x7f000702, 4000}, int length = 4) {
        std::unique_ptr<uint8_t[]> bytes(
            new uint8_t[4]{0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)});
        SessionVerdict verdict = handleSessionDatagram(&session, bytes.get(), length, from);
        EXPECT_LE(static_cast<uint32_t>(session.bytesAcked), size);
        EXPECT_GE(session.bytesAcked, 0);
        EXPECT_LE(session.block, session.blockCount + 1);
        if (verdict == SessionVerdict::SendBlock) {
            EXPECT_GE(session.blockData, image.get());
            EXPECT_LE(session.blockData + session.blockSize, image.get() + size);
        }
        return verdict;
    };
    EXPECT_EQ(ack(0, {0x7f000702, 4000}, 3), SessionVerdict::Foreign) << "an ACK without its block number is no ACK";
    EXPECT_EQ(ack(0, {0x7f000703, 4000}), SessionVerdict::Foreign) << "another address";
    EXPECT_EQ(ack(0, {0x7f000702, 4001}), SessionVerdict::Foreign) << "another port";
    EXPECT_EQ(ack(0), SessionVerdict::SendBlock);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ack(0), SessionVerdict::Discard) << "a stale ACK";
    EXPECT_EQ(ack(2), SessionVerdict::Discard) << "an ACK ahead of the transfer";
    EXPECT_EQ(ack(1), SessionVerdict::SendBlock);
    EXPECT_EQ(ack(2), SessionVerdict::SendBlock);
    EXPECT_EQ(session.blockSize, 76);
    EXPECT_EQ(ack(3), SessionVerdict::Complete);
    EXPECT_EQ(static_cast<uint32_t>(session.bytesAcked), size);
    EXPECT_EQ(session.block, session.blockCount + 1);
}

// The five labels of a page whose values run to the end of the text, and a
// label at the very end: nothing is read past the terminator.
TEST(FuzzRegression, LabelsAtTheEndOfTheText) {
    for (const char* page :
         {"Product Name:", "Product Name:>", "Product Name:><", "Product Name:><b", "Product Name:<b>x"}) {
        std::string copy(page);
        std::unique_ptr<char[]> text(new char[copy.size() + 1]);
        std::memcpy(text.get(), copy.c_str(), copy.size() + 1);
        char field[128] = "untouched";
        char* result = scrapeLabel(text.get(), "Product Name:", field);
        if (result == nullptr) {
            EXPECT_STREQ(field, "untouched") << page;
        } else {
            EXPECT_LE(std::strlen(field), 127u) << page;
        }
    }
}

// Typed addresses at and past the length limits.
TEST(FuzzRegression, AddressesAtTheLengthLimits) {
    uint32_t address = 1;
    EXPECT_EQ(parseIPv4Address("255.255.255.255", &address), AddressParseResult::Ok);
    EXPECT_EQ(address, 0xffffffffu);
    EXPECT_EQ(parseIPv4Address("255.255.255.2555", &address), AddressParseResult::BadLength);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(parseIPv4Address("99999999999.1.1", &address), AddressParseResult::OctetOutOfRange);
    EXPECT_EQ(parseIPv4Address("*******", &address), AddressParseResult::TooFewOctets);
}

}  // namespace
}  // namespace orb
