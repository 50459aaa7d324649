// Regression tests for what the fuzz targets in fuzz/ found, and the
// invariants they check, on the inputs that matter most.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tftp/tftp_listener.h"
#include "tftp/tftp_packets.h"
#include "tftp/tftp_session.h"
#include "ui/ipv4_address_parser.h"
#include "web/digest_auth.h"
#include "web/http_exchange.h"

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
    ASSERT_EQ(parseDigestChallenge(challenge.c_str(), &state), 0);
    std::strcpy(state.cnonce, "7fff");
    state.nc = 0xffffffffu;
    const size_t room = kAuthorizationHeaderMaxLength + 1;
    std::unique_ptr<char[]> line(new char[room]);
    int length = buildAuthorizationHeader(&state, line.get(), room);
    EXPECT_EQ(static_cast<size_t>(length), kAuthorizationHeaderMaxLength);
    EXPECT_EQ(std::string(line.get() + length - 2), "\r\n");
}

}  // namespace
}  // namespace orb
