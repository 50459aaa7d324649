// The adapter's Digest check, against headers written by hand: the utility's
// form (empty uri, nine-digit nc, whole qop text) and the standard form of
// RFC 7616 clients such as curl.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "sim/digest_server.h"
#include "tests/sim/sim_test_helpers.h"

namespace orb::sim {
namespace {

const std::string kNonce = "0123456789abcdef0123456789abcdef";

DigestSettings settingsFor(const std::string& algorithm, const std::string& qop) {
    DigestSettings settings;
    settings.user = "admin";
    settings.password = "s3cret";
    settings.realm = "ORB Admin";
    EXPECT_TRUE(parseDigestAlgorithm(algorithm, &settings.algorithm));
    settings.algorithmText = algorithm;
    settings.qopText = qop;
    return settings;
}

// The header value (without "Authorization: " and CR LF) that the utility
// sends in answer to this adapter's challenge.
std::string utilityHeaderValue(const DigestSettings& settings, const std::string& password, uint32_t nc,
                               const std::string& cnonce, const std::string& nonce = kNonce) {
    auto challenge =
        test::readChallengeLikeUtility("WWW-Authenticate: " + buildDigestChallenge(settings, nonce) + "\r\n\r\n");
    EXPECT_TRUE(challenge.taken);
    std::string line = test::utilityAuthorizationLine(settings.user, password, challenge, nc, cnonce);
    EXPECT_EQ(line.rfind("Authorization: ", 0), 0u);
    return line.substr(15, line.size() - 17);
}

DigestVerdict check(const DigestSettings& settings, const std::string& headerValue,
                    const std::string& target = "/admin/advanced") {
    return verifyDigestAuthorization(settings, parseAuthorizationHeader(headerValue),
                                     {.method = "GET", .target = target},
                                     [](const std::string& nonce) { return nonce == kNonce; });
}

// A standard client's header: one qop option, eight-digit nc, the request's
// uri, MD5-sess over the hexadecimal H(A1), blanks after the commas.
std::string standardHeaderValue(const DigestSettings& settings, const std::string& qop, const std::string& uri) {
    std::string cnonce = "MWNiOTY0NGYwNmEz";
    std::string nc = "00000001";
    std::string ha1 = md5Hex(settings.user + ":" + settings.realm + ":" + settings.password);
    if (settings.algorithm == DigestAlgorithm::Md5Sess) ha1 = md5Hex(ha1 + ":" + kNonce + ":" + cnonce);
    std::string a2 = "GET:" + uri;
    if (qop == "auth-int") a2 += ":" + md5Hex("");
    std::string response = qop.empty()
                               ? md5Hex(ha1 + ":" + kNonce + ":" + md5Hex(a2))
                               : md5Hex(ha1 + ":" + kNonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + md5Hex(a2));
    std::string value = "Digest username=\"" + settings.user + "\", realm=\"" + settings.realm + "\", nonce=\"" +
                        kNonce + "\", uri=\"" + uri + "\"";
    if (!qop.empty()) value += ", cnonce=\"" + cnonce + "\", nc=" + nc + ", qop=" + qop;
    value += ", response=\"" + response + "\"";
    if (settings.algorithm != DigestAlgorithm::None) value += ", algorithm=" + settings.algorithmText;
    return value;
}

TEST(SimDigestChallenge, EveryValueQuotedAndOnlyWhatIsSet) {
    DigestSettings settings = settingsFor("MD5-sess", "auth,auth-int");
    settings.opaque = "op4que";
    EXPECT_EQ(buildDigestChallenge(settings, "abc"),
              "Digest realm=\"ORB Admin\", nonce=\"abc\", algorithm=\"MD5-sess\", qop=\"auth,auth-int\", "
              "opaque=\"op4que\"");
    EXPECT_EQ(buildDigestChallenge(settingsFor("none", ""), "abc"), "Digest realm=\"ORB Admin\", nonce=\"abc\"");
}

TEST(SimDigestHeaderParsing, TheUtilitysListQopStaysWhole) {
    AuthorizationHeader header = parseAuthorizationHeader(
        "Digest username=\"admin\",realm=\"ORB Admin\",nonce=\"n1\",uri=\"\",algorithm=\"\",response=\"r\","
        "opaque=\"o\",qop=auth,auth-int,nc=000000001,cnonce=\"1a2b\"");
    EXPECT_EQ(header.scheme, "Digest");
    ASSERT_NE(header.find("qop"), nullptr);
    EXPECT_EQ(header.find("qop")->value, "auth,auth-int");
    EXPECT_FALSE(header.find("qop")->quoted);
    EXPECT_EQ(header.find("nc")->value, "000000001");
    EXPECT_EQ(header.find("cnonce")->value, "1a2b");
    EXPECT_EQ(header.find("uri")->value, "");
    EXPECT_TRUE(header.find("uri")->quoted);
    EXPECT_EQ(header.find("algorithm")->value, "");
    EXPECT_EQ(header.find("realm")->value, "ORB Admin");
}

TEST(SimDigestHeaderParsing, StandardFormWithBlanksAndEscapes) {
    AuthorizationHeader header = parseAuthorizationHeader(
        "Digest username=\"a\\\"b\", realm=\"ORB\" , nonce=\"n\", uri=\"/admin/advanced\", qop=auth, nc=00000001");
    EXPECT_EQ(header.find("username")->value, "a\\\"b");
    EXPECT_EQ(header.find("realm")->value, "ORB");
    EXPECT_EQ(header.find("uri")->value, "/admin/advanced");
    EXPECT_EQ(header.find("qop")->value, "auth");
    EXPECT_EQ(header.find("nc")->value, "00000001");
}

TEST(SimDigestHeaderParsing, AnUnescapedQuoteInsideAValueSurvives) {
    // The utility writes a user name that holds a quote as it is.
    AuthorizationHeader header = parseAuthorizationHeader("Digest username=\"ad\"min\",realm=\"R\"");
    EXPECT_EQ(header.find("username")->value, "ad\"min");
    EXPECT_EQ(header.find("realm")->value, "R");
}

class SimUtilityHeader : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(SimUtilityHeader, IsAcceptedWithTheRightPasswordOnly) {
    auto [algorithm, qop] = GetParam();
    DigestSettings settings = settingsFor(algorithm, qop);
    for (uint32_t nc : {1u, 2u, 0x1fu}) {
        DigestVerdict verdict = check(settings, utilityHeaderValue(settings, "s3cret", nc, "7fff"));
        EXPECT_TRUE(verdict.accepted) << "nc " << nc << " refused for " << verdict.reason;
    }
    // The utility's client nonce may be a single digit.
    EXPECT_TRUE(check(settings, utilityHeaderValue(settings, "s3cret", 1, "0")).accepted);
    DigestVerdict wrong = check(settings, utilityHeaderValue(settings, "wrong", 1, "1a2b"));
    EXPECT_FALSE(wrong.accepted);
    EXPECT_EQ(wrong.reason, "response");
}

INSTANTIATE_TEST_SUITE_P(AlgorithmsAndQops, SimUtilityHeader,
                         testing::Combine(testing::Values("none", "MD5", "MD5-sess"),
                                          testing::Values("", "auth", "auth-int", "auth,auth-int")),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param) + "_" +
                                                (std::get<1>(info.param).empty() ? "noqop" : std::get<1>(info.param));
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

TEST(SimDigestVerification, MD5SessOfTheUtilityHashesTheRawBytes) {
    DigestSettings settings = settingsFor("MD5-sess", "auth");
    DigestVerdict verdict = check(settings, utilityHeaderValue(settings, "s3cret", 1, "1a2b"));
    EXPECT_TRUE(verdict.accepted);
    EXPECT_EQ(verdict.variant, "raw-ha1");
}

TEST(SimDigestVerification, MD5SessWithoutQopFindsTheUtilitysUnsentClientNonce) {
    DigestSettings settings = settingsFor("MD5-sess", "");
    DigestVerdict verdict = check(settings, utilityHeaderValue(settings, "s3cret", 1, "4d2"));
    EXPECT_TRUE(verdict.accepted);
    EXPECT_EQ(verdict.variant, "raw-ha1-cnonce-4d2");
}

TEST(SimDigestVerification, CapitalKeywordsOfTheChallengeWork) {
    DigestSettings settings = settingsFor("MD5-SESS", "AUTH-INT");
    EXPECT_TRUE(check(settings, utilityHeaderValue(settings, "s3cret", 1, "1")).accepted);
}

TEST(SimDigestVerification, StandardClientsPass) {
    for (const char* algorithm : {"MD5", "MD5-sess", "none"}) {
        for (const char* qop : {"auth", "auth-int"}) {
            DigestSettings settings = settingsFor(algorithm, "auth,auth-int");
            DigestVerdict verdict = check(settings, standardHeaderValue(settings, qop, "/admin/advanced"));
            EXPECT_TRUE(verdict.accepted) << algorithm << " " << qop << ": " << verdict.reason;
        }
    }
    DigestSettings noQop = settingsFor("MD5", "");
    EXPECT_TRUE(check(noQop, standardHeaderValue(noQop, "", "/admin/advanced")).accepted);
    DigestSettings sess = settingsFor("MD5-sess", "auth");
    EXPECT_EQ(check(sess, standardHeaderValue(sess, "auth", "/admin/advanced")).variant, "hex-ha1");
}

TEST(SimDigestVerification, AUriMustBeTheRequestTargetUnlessEmpty) {
    DigestSettings settings = settingsFor("MD5", "auth");
    EXPECT_EQ(check(settings, standardHeaderValue(settings, "auth", "/admin/other")).reason, "uri");
    // The trigger's target has a query; a client that names it whole passes.
    std::string trigger = "/admin/upgrade?tftp://10.1.0.5:69/orb1a2b.bin";
    EXPECT_TRUE(check(settings, standardHeaderValue(settings, "auth", trigger), trigger).accepted);
    // The utility's empty uri passes for any target.
    EXPECT_TRUE(check(settings, utilityHeaderValue(settings, "s3cret", 3, "9"), trigger).accepted);
}

TEST(SimDigestVerification, RefusalsNameTheirReason) {
    DigestSettings settings = settingsFor("MD5", "auth");
    settings.opaque = "op";
    std::string good = utilityHeaderValue(settings, "s3cret", 1, "1a");
    EXPECT_TRUE(check(settings, good).accepted);

    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string value = good;
        size_t at = value.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return value.replace(at, from.size(), to);
    };
    EXPECT_EQ(check(settings, replaced("Digest", "Basic")).reason, "scheme");
    EXPECT_EQ(check(settings, replaced("username=\"admin\"", "username=\"root\"")).reason, "username");
    EXPECT_EQ(check(settings, replaced("realm=\"ORB Admin\"", "realm=\"Other\"")).reason, "realm");
    EXPECT_EQ(check(settings, replaced(kNonce, "feedfeed")).reason, "nonce");
    EXPECT_EQ(check(settings, replaced("opaque=\"op\"", "opaque=\"xx\"")).reason, "opaque");
    EXPECT_EQ(check(settings, replaced("algorithm=\"MD5\"", "algorithm=\"SHA-256\"")).reason, "algorithm");
    EXPECT_EQ(check(settings, replaced("qop=auth", "qop=auth-conf")).reason, "qop");
    EXPECT_EQ(check(settings, replaced("nc=000000001", "nc=0000001")).reason, "nc");
    EXPECT_EQ(check(settings, replaced("nc=000000001", "nc=00000000g")).reason, "nc");
    EXPECT_EQ(check(settings, replaced("cnonce=\"1a\"", "cnonce=\"\"")).reason, "cnonce");
    EXPECT_EQ(check(settings, replaced("nc=000000001", "nc=000000002")).reason, "response");

    DigestSettings noQop = settingsFor("MD5", "");
    EXPECT_EQ(check(noQop, good).reason, "qop");  // a qop that was never offered
    EXPECT_EQ(check(settings, "Digest username=\"admin\"").reason, "realm");
}

TEST(SimDigestVerification, AQopListMustBeTheOfferedOne) {
    DigestSettings settings = settingsFor("MD5", "auth");
    DigestSettings listed = settingsFor("MD5", "auth,auth-int");
    // A header built for the list is refused by an adapter that offered only auth.
    EXPECT_EQ(check(settings, utilityHeaderValue(listed, "s3cret", 1, "1")).reason, "qop");
}

TEST(SimDigestOptions, QopTextsAndAlgorithms) {
    std::vector<std::string> options;
    EXPECT_TRUE(splitQopOptions("auth,auth-int", &options));
    EXPECT_EQ(options, (std::vector<std::string>{"auth", "auth-int"}));
    EXPECT_TRUE(splitQopOptions("AUTH", &options));
    EXPECT_TRUE(splitQopOptions("", &options));
    EXPECT_TRUE(options.empty());
    EXPECT_FALSE(splitQopOptions("auth,", &options));
    EXPECT_FALSE(splitQopOptions("auth-conf", &options));
    DigestAlgorithm algorithm;
    EXPECT_TRUE(parseDigestAlgorithm("md5-SESS", &algorithm));
    EXPECT_EQ(algorithm, DigestAlgorithm::Md5Sess);
    EXPECT_FALSE(parseDigestAlgorithm("SHA-256", &algorithm));
}

TEST(SimDigestOptions, Md5HexOfTheEmptyBody) { EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e"); }

}  // namespace
}  // namespace orb::sim
