// Digest authentication: the computations, the Authorization line
// and the parse of challenges. Expected digests are computed here from the
// concatenated texts written out, with MD5 alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/random.h"
#include "web/digest_auth.h"
#include "web/md5.h"
#include "tests/support/digest_fields.h"
#include "tests/support/md5_hex.h"

namespace {

using orb::DigestAuthState;

using orb::test::md5Hex;
using orb::test::md5Raw;
using orb::test::setDigestFields;

std::string response(const char* nonce, const char* cnonce, const char* user, const char* realm, const char* password,
                     const char* algorithm, const char* ncText, const char* qop, const char* uri,
                     const char* body = "") {
    return orb::digestResponse({.user = user,
                                .realm = realm,
                                .password = password,
                                .algorithm = algorithm,
                                .nonce = nonce,
                                .cnonce = cnonce,
                                .ncText = ncText,
                                .qop = qop,
                                .method = "GET",
                                .uri = uri,
                                .entityBody = body})
        .data();
}

// The response of user "user" with password "pw" in realm "realm" to the
// nonce "n0nce", with the client nonce "1f" and an empty uri.
std::string userResponse(const char* algorithm, const char* ncText, const char* qop) {
    return response("n0nce", "1f", "user", "realm", "pw", algorithm, ncText, qop, "");
}

// Its HA1 plain, and with MD5-sess.
std::string plainHa1() { return md5Hex("user:realm:pw"); }
std::string sessionHa1() { return md5Hex(md5Raw("user:realm:pw") + ":n0nce:1f"); }

// The random numbers that the tests choose.
int scriptedNumbers[16];
int scriptedNext = 0;
int scriptedSource() { return scriptedNumbers[scriptedNext++ % 16]; }

class DigestTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(&state, 0, sizeof state);
        for (int i = 0; i < 16; ++i) scriptedNumbers[i] = 0x100 + i;
        scriptedNext = 0;
        orb::setRandomSource(scriptedSource);
    }
    void TearDown() override { orb::setRandomSource(nullptr); }

    std::string header() {
        char line[orb::kAuthorizationHeaderMaxLength + 1];
        int length = orb::buildAuthorizationHeader(&state, line);
        EXPECT_EQ(length, static_cast<int>(std::strlen(line)));
        return line;
    }

    DigestAuthState state;
};

// --- the computations --------------------------------------------------------

TEST(DigestToHex, LowercaseHighNibbleFirst) {
    const uint8_t digest[16] = {0x0a, 0xff, 0x00, 0x10, 0xab, 0xcd, 0xef, 0x01,
                                0x23, 0x45, 0x67, 0x89, 0x9a, 0xbc, 0xde, 0xf0};
    const orb::DigestHex text = orb::digestToHex(digest);
    EXPECT_EQ(std::string(text.data()), "0aff0010abcdef01234567899abcdef0");
    EXPECT_EQ(text[32], '\0');
}

TEST(DigestResponse, Rfc2617Example) {
    EXPECT_EQ(response("dcd98b7102dd2f0e8b11d0f600bfb0c093", "0a4f113b", "Mufasa", "testrealm@host.com",
                       "Circle Of Life", "", "00000001", "auth", "/dir/index.html"),
              "6629fae49393a05397450978507c4ef1");
}

TEST(DigestResponse, NoQop) { EXPECT_EQ(userResponse("MD5", "", ""), md5Hex(plainHa1() + ":n0nce:" + md5Hex("GET:"))); }

TEST(DigestResponse, Md5SessWithQop) {
    EXPECT_EQ(userResponse("md5-sess", "000000001", "auth"),
              md5Hex(sessionHa1() + ":n0nce:000000001:1f:auth:" + md5Hex("GET:")));
}

TEST(DigestResponse, Md5SessWithoutQopStillHashesTheClientNonce) {
    EXPECT_EQ(userResponse("md5-sess", "", ""), md5Hex(sessionHa1() + ":n0nce:" + md5Hex("GET:")));
    // The raw 16 bytes are hashed, not their hexadecimal form.
    EXPECT_NE(userResponse("md5-sess", "", ""),
              md5Hex(md5Hex(md5Hex("user:realm:pw") + ":n0nce:1f") + ":n0nce:" + md5Hex("GET:")));
}

TEST(DigestResponse, AuthIntHashesTheEmptyBody) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(userResponse("", "000000002", "auth-int"),
              md5Hex(plainHa1() + ":n0nce:000000002:1f:auth-int:" + md5Hex("GET::d41d8cd98f00b204e9800998ecf8427e")));
}

TEST(DigestResponse, AQopListIsHashedWholeWithThePlainA2) {
    EXPECT_EQ(userResponse("MD5", "000000001", "auth,auth-int"),
              md5Hex(plainHa1() + ":n0nce:000000001:1f:auth,auth-int:" + md5Hex("GET:")));
}

TEST(DigestResponse, KeywordsInCapitals) {
    EXPECT_EQ(userResponse("MD5-SESS", "000000001", "AUTH-INT"),
              md5Hex(sessionHa1() + ":n0nce:000000001:1f:AUTH-INT:" + md5Hex("GET::d41d8cd98f00b204e9800998ecf8427e")));
    EXPECT_EQ(userResponse("Md5-SeSs", "", ""), md5Hex(sessionHa1() + ":n0nce:" + md5Hex("GET:")));
    // Whole texts only: a longer word is not the keyword.
    EXPECT_EQ(userResponse("md5-sessx", "", ""), md5Hex(plainHa1() + ":n0nce:" + md5Hex("GET:")));
}

TEST(DigestResponse, StepsComposeAsDescribed) {
    const orb::DigestHex ha1 =
        orb::digestHa1({.user = "u", .realm = "r", .password = "p", .algorithm = "", .nonce = "n", .cnonce = "c"});
    EXPECT_EQ(std::string(ha1.data()), md5Hex("u:r:p"));
    const orb::DigestHex digest = orb::digestRequestDigest(
        ha1, {.nonce = "n", .cnonce = "c", .ncText = "000000001", .qop = "auth", .method = "GET", .uri = "/x"});
    EXPECT_EQ(std::string(digest.data()), md5Hex(md5Hex("u:r:p") + ":n:000000001:c:auth:" + md5Hex("GET:/x")));
}

// --- the Authorization line --------------------------------------------------

TEST_F(DigestTest, HeaderWithoutQop) {
    setDigestFields(
        &state,
        {.user = "admin", .password = "secret", .realm = "ORB", .nonce = "abc123", .cnonce = "1f", .algorithm = "MD5"});
    state.nc = 1;
    const std::string digest = md5Hex(md5Hex("admin:ORB:secret") + ":abc123:" + md5Hex("GET:"));
    EXPECT_EQ(header(),
              "Authorization: Digest username=\"admin\",realm=\"ORB\",nonce=\"abc123\",uri=\"\","
              "algorithm=\"MD5\",response=\"" +
                  digest + "\"\r\n");
}

TEST_F(DigestTest, HeaderWithQopAuthAndOpaque) {
    setDigestFields(&state, {.user = "admin",
                             .password = "secret",
                             .realm = "ORB",
                             .nonce = "abc123",
                             .cnonce = "7fff",
                             .algorithm = "MD5",
                             .qop = "auth",
                             .opaque = "op4que"});
    state.nc = 1;
    const std::string digest = md5Hex(md5Hex("admin:ORB:secret") + ":abc123:000000001:7fff:auth:" + md5Hex("GET:"));
    const std::string line = header();
    EXPECT_EQ(line,
              "Authorization: Digest username=\"admin\",realm=\"ORB\",nonce=\"abc123\",uri=\"\","
              "algorithm=\"MD5\",response=\"" +
                  digest + "\",opaque=\"op4que\",qop=auth,nc=000000001,cnonce=\"7fff\"\r\n");
    EXPECT_EQ(state.nc, 1u);  // the record is not changed
}

TEST_F(DigestTest, HeaderNcHasNineDigits) {
    std::strcpy(state.qop, "auth");
    std::strcpy(state.cnonce, "0");
    state.nc = 0x1234abcd;
    const std::string line = header();
    EXPECT_NE(line.find(",qop=auth,nc=01234abcd,cnonce=\"0\"\r\n"), std::string::npos) << line;
    const std::string digest = md5Hex(md5Hex("::") + ":" + ":01234abcd:0:auth:" + md5Hex("GET:"));
    EXPECT_NE(line.find("response=\"" + digest + "\""), std::string::npos) << line;
}

TEST_F(DigestTest, HeaderWithEmptyAlgorithm) {
    setDigestFields(&state, {.user = "u", .password = "p", .realm = "r", .nonce = "n"});
    state.nc = 1;
    const std::string digest = md5Hex(md5Hex("u:r:p") + ":n:" + md5Hex("GET:"));
    EXPECT_EQ(header(),
              "Authorization: Digest username=\"u\",realm=\"r\",nonce=\"n\",uri=\"\",algorithm=\"\","
              "response=\"" +
                  digest + "\"\r\n");
}

TEST_F(DigestTest, HeaderUserWithADoubleQuoteIsNotEscaped) {
    setDigestFields(&state, {.user = "ad\"min", .password = "p", .realm = "r", .nonce = "n"});
    const std::string digest = md5Hex(md5Hex("ad\"min:r:p") + ":n:" + md5Hex("GET:"));
    EXPECT_EQ(header(),
              "Authorization: Digest username=\"ad\"min\",realm=\"r\",nonce=\"n\",uri=\"\",algorithm=\"\","
              "response=\"" +
                  digest + "\"\r\n");
}

TEST_F(DigestTest, TheLongestHeaderFits) {
    std::memset(state.user, 'u', 127);
    std::memset(state.password, 'p', 127);
    std::memset(state.realm, 'r', 127);
    std::memset(state.nonce, 'n', 127);
    std::memset(state.previousNonce, 'n', 127);
    std::memset(state.opaque, 'o', 127);
    std::memset(state.qop, 'q', 15);
    std::memset(state.algorithm, 'a', 15);
    std::strcpy(state.cnonce, "7fff");
    state.nc = 0xffffffffu;
    char line[orb::kAuthorizationHeaderMaxLength + 1 + 16];
    std::memset(line, '#', sizeof line);
    int length = orb::buildAuthorizationHeader(&state, std::span(line, orb::kAuthorizationHeaderMaxLength + 1));
    EXPECT_EQ(length, 697);
    EXPECT_EQ(orb::kAuthorizationHeaderMaxLength, 697u);
    EXPECT_EQ(line[697], '\0');
    for (size_t i = 698; i < sizeof line; ++i) ASSERT_EQ(line[i], '#') << "written past the line at " << i;
    const std::string text(line, 697);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.find(",nc=0ffffffff,cnonce=\"7fff\"\r\n"), std::string::npos);
}

TEST_F(DigestTest, HeaderReadsNoFieldPastItsWidth) {
    // Fields without a terminator inside their width (the record is never left
    // so by the program) are read only up to their width.
    std::memset(&state, 'x', sizeof state);
    state.nc = 1;
    std::memset(state.uri, 0, sizeof state.uri);
    char line[2048];
    int length = orb::buildAuthorizationHeader(&state, line);
    EXPECT_EQ(length, 697 - 4 + 127);  // the longest line, with a client nonce of 127 characters
    std::string text(line);
    EXPECT_NE(text.find("username=\"" + std::string(127, 'x') + "\",realm="), std::string::npos);
    EXPECT_NE(text.find("algorithm=\"" + std::string(15, 'x') + "\",response="), std::string::npos);
}

TEST_F(DigestTest, HeaderCutAtASmallCapacity) {
    std::strcpy(state.user, "admin");
    char line[21];
    std::memset(line, '#', sizeof line);
    int length = orb::buildAuthorizationHeader(&state, std::span(line, 20));
    EXPECT_EQ(length, 19);
    EXPECT_EQ(std::string(line), "Authorization: Dige");
    EXPECT_EQ(line[20], '#');
}

// --- parseDigestChallenge ----------------------------------------------------

TEST_F(DigestTest, ChallengeTaken) {
    scriptedNumbers[0] = 0x2a;
    const char* text =
        "WWW-Authenticate: Digest realm=\"ORB Admin\", nonce=\"n1\", algorithm=\"MD5\", qop=\"auth\", "
        "opaque=\"op\"\r\nContent-Length: 0\r\n\r\n";
    EXPECT_TRUE(orb::parseDigestChallenge(text, &state));
    EXPECT_STREQ(state.realm, "ORB Admin");
    EXPECT_STREQ(state.nonce, "n1");
    EXPECT_STREQ(state.previousNonce, "n1");
    EXPECT_STREQ(state.cnonce, "2a");
    EXPECT_STREQ(state.algorithm, "MD5");
    EXPECT_STREQ(state.qop, "auth");
    EXPECT_STREQ(state.opaque, "op");
    EXPECT_EQ(state.nc, 0u);
}

TEST_F(DigestTest, NewNonceResetsNcSameNonceKeepsItClientNonceDrawnEveryTime) {
    scriptedNumbers[0] = 0;
    scriptedNumbers[1] = 32767;
    scriptedNumbers[2] = 0xabc;
    const char* first = "WWW-Authenticate: Digest realm=\"r\", nonce=\"n1\", qop=\"auth\"";
    ASSERT_TRUE(orb::parseDigestChallenge(first, &state));
    EXPECT_STREQ(state.cnonce, "0");
    state.nc = 5;
    ASSERT_TRUE(orb::parseDigestChallenge(first, &state));
    EXPECT_EQ(state.nc, 5u);
    EXPECT_STREQ(state.previousNonce, "n1");
    EXPECT_STREQ(state.cnonce, "7fff");
    const char* second = "WWW-Authenticate: Digest realm=\"r\", nonce=\"n2\", qop=\"auth\"";
    ASSERT_TRUE(orb::parseDigestChallenge(second, &state));
    EXPECT_EQ(state.nc, 0u);
    EXPECT_STREQ(state.previousNonce, "n2");
    EXPECT_STREQ(state.cnonce, "abc");
    EXPECT_EQ(scriptedNext, 3);
}

TEST_F(DigestTest, OptionalParametersBecomeEmptyWhenAbsent) {
    std::strcpy(state.algorithm, "MD5");
    std::strcpy(state.qop, "auth");
    std::strcpy(state.opaque, "old");
    ASSERT_TRUE(orb::parseDigestChallenge("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"", &state));
    EXPECT_STREQ(state.algorithm, "");
    EXPECT_STREQ(state.qop, "");
    EXPECT_STREQ(state.opaque, "");
}

TEST_F(DigestTest, OnlyQuotedFormsCount) {
    ASSERT_TRUE(orb::parseDigestChallenge("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=MD5, qop=auth",
                                          &state));
    EXPECT_STREQ(state.algorithm, "");
    EXPECT_STREQ(state.qop, "");
}

TEST_F(DigestTest, AQopListIsStoredWhole) {
    ASSERT_TRUE(
        orb::parseDigestChallenge("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=\"auth,auth-int\"", &state));
    EXPECT_STREQ(state.qop, "auth,auth-int");
}

TEST_F(DigestTest, BasicThenDigest) {
    const char* text =
        "WWW-Authenticate: Basic realm=\"basic-realm\"\r\n"
        "WWW-Authenticate: Digest realm=\"digest-realm\", nonce=\"dn\", qop=\"auth\", opaque=\"o\"\r\n\r\n";
    ASSERT_TRUE(orb::parseDigestChallenge(text, &state));
    EXPECT_STREQ(state.realm, "basic-realm");
    EXPECT_STREQ(state.nonce, "dn");
    EXPECT_STREQ(state.qop, "auth");
    EXPECT_STREQ(state.opaque, "o");
}

TEST_F(DigestTest, MissingRealmLeavesTheRecordUnchanged) {
    std::strcpy(state.realm, "old");
    std::strcpy(state.nonce, "oldnonce");
    state.nc = 3;
    DigestAuthState before = state;
    EXPECT_FALSE(orb::parseDigestChallenge("WWW-Authenticate: Digest nonce=\"n\", qop=\"auth\"", &state));
    EXPECT_EQ(std::memcmp(&before, &state, sizeof state), 0);
    EXPECT_EQ(scriptedNext, 0);
}

TEST_F(DigestTest, MissingNonceReplacesOnlyTheRealm) {
    std::strcpy(state.realm, "old");
    std::strcpy(state.nonce, "oldnonce");
    std::strcpy(state.qop, "auth");
    state.nc = 3;
    DigestAuthState expected = state;
    std::memset(expected.realm, 0, sizeof expected.realm);
    std::strcpy(expected.realm, "basic");
    EXPECT_FALSE(orb::parseDigestChallenge("WWW-Authenticate: Basic realm=\"basic\"\r\n\r\n", &state));
    EXPECT_EQ(std::memcmp(&expected, &state, sizeof state), 0);
    EXPECT_EQ(scriptedNext, 0);
}

TEST_F(DigestTest, UnterminatedQuoteRunsToTheEnd) {
    ASSERT_TRUE(orb::parseDigestChallenge("WWW-Authenticate: Digest realm=\"r\", nonce=\"abc def", &state));
    EXPECT_STREQ(state.nonce, "abc def");
}

TEST_F(DigestTest, OverlongValuesAreCutAtTheirFields) {
    for (size_t extra : {size_t{1}, size_t{500}}) {
        std::memset(&state, 0, sizeof state);
        const std::string longText(127 + extra, 'L');
        const std::string shortText(15 + extra, 'S');
        const std::string text = "WWW-Authenticate: Digest realm=\"" + longText + "\", nonce=\"" + longText +
                                 "\", algorithm=\"" + shortText + "\", qop=\"" + shortText + "\", opaque=\"" +
                                 longText + "\"";
        // The canaries of the neighbouring fields show that no copy passes its field.
        std::memset(state.cnonce, 'C', sizeof state.cnonce);
        ASSERT_TRUE(orb::parseDigestChallenge(text.c_str(), &state));
        EXPECT_EQ(std::string(state.realm), std::string(127, 'L'));
        EXPECT_EQ(std::string(state.nonce), std::string(127, 'L'));
        EXPECT_EQ(std::string(state.previousNonce), std::string(127, 'L'));
        EXPECT_EQ(std::string(state.opaque), std::string(127, 'L'));
        EXPECT_EQ(std::string(state.algorithm), std::string(15, 'S'));
        EXPECT_EQ(std::string(state.qop), std::string(15, 'S'));
        EXPECT_EQ(state.uri[0], '\0');
        EXPECT_EQ(state.user[0], '\0');
        EXPECT_EQ(state.password[0], '\0');
        // A second challenge with the same long nonce: the cut values compare equal.
        state.nc = 4;
        ASSERT_TRUE(orb::parseDigestChallenge(text.c_str(), &state));
        EXPECT_EQ(state.nc, 4u);
    }
}

TEST_F(DigestTest, FirstOccurrenceWinsWhereverItStands) {
    // "nonce=\"" inside "cnonce=\"" comes first here and is taken.
    ASSERT_TRUE(orb::parseDigestChallenge("WWW-Authenticate: Digest realm=\"r\", cnonce=\"c\", nonce=\"n\"", &state));
    EXPECT_STREQ(state.nonce, "c");
}

}  // namespace
