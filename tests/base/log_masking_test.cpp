// What the diagnostics log masks: the Digest response and the passwords.
#include <gtest/gtest.h>

#include "base/log_masking.h"

namespace orb {
namespace {

struct MaskCase {
    const char* name;
    std::string text;
    std::vector<std::string> secrets;
    std::string expected;
    friend void PrintTo(const MaskCase& c, std::ostream* out) { *out << c.name; }
};

class MaskSecrets : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskSecrets, Masks) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(maskSecrets(c.text, c.secrets), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskSecrets,
    ::testing::Values(
        MaskCase{"TheDigestHeader",
                 "Authorization: Digest username=\"admin\", realm=\"ORB\", nonce=\"n1\", uri=\"/\", "
                 "response=\"0123456789abcdef0123456789abcdef\", qop=auth, nc=00000001, cnonce=\"c1\"\r\n",
                 {},
                 "Authorization: Digest username=\"admin\", realm=\"ORB\", nonce=\"n1\", uri=\"/\", "
                 "response=\"***\", qop=auth, nc=00000001, cnonce=\"c1\"\r\n"},
        MaskCase{"AnyCaseAndSpaces", "x,RESPONSE = \"deadbeef\"\n", {}, "x,RESPONSE = \"***\"\n"},
        MaskCase{"ABareToken", "response=deadbeef, nc=1", {}, "response=***, nc=1"},
        MaskCase{"AQuoteLeftOpenEndsAtTheLine", "response=\"dead\r\nHost: h", {}, "response=\"***\"\r\nHost: h"},
        MaskCase{"OtherNamesStay",
                 "rspauth=\"a\" xresponse=\"b\" response_code=200 response",
                 {},
                 "rspauth=\"a\" xresponse=\"b\" response_code=200 response"},
        MaskCase{"TheChallengeHasNothingToMask",
                 "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"ORB\", nonce=\"n1\", qop=\"auth\"",
                 {},
                 "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"ORB\", nonce=\"n1\", qop=\"auth\""},
        MaskCase{"APasswordWhereverItIs", "pw=Ts7-kiwi and Ts7-kiwiTs7-kiwi", {"Ts7-kiwi"}, "pw=*** and ******"},
        MaskCase{"EverySecret", "first1 second2", {"second2", "first1"}, "*** ***"},
        MaskCase{"AnEmptySecretIsNone", "abc", {""}, "abc"},
        MaskCase{"ASecretThatBeginsAnotherHidesNoneOfIt", "pw abcdef and abc", {"abc", "abcdef"}, "pw *** and ***"},
        MaskCase{"ASecretInsideAnotherHidesNoneOfIt", "xabcx abc", {"b", "xabcx"}, "*** a***c"}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb
