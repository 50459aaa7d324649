// The adapter's side of HTTP Digest authentication: the challenge it sends and
// the check of the Authorization header that comes back.
//
// Two kinds of client must pass:
// - the upgrade utility, which echoes the challenge's qop text whole (even a
//   list such as auth,auth-int, unquoted) and hashes it as such, sends a
//   nine-digit nc, an empty uri directive (and hashes "GET:"), an algorithm
//   directive that is always quoted (empty when the challenge named none), and
//   for MD5-sess hashes the 16 raw bytes of MD5(user:realm:password);
// - standard clients such as curl: one qop option chosen from the list, an
//   eight-digit nc, the request's own target as uri, and for MD5-sess the
//   32-digit hexadecimal form of that MD5 (RFC 7616).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orb::sim {

enum class DigestAlgorithm { None, Md5, Md5Sess };

struct DigestSettings {
    std::string user;
    std::string password;
    std::string realm = "ORB Admin";
    DigestAlgorithm algorithm = DigestAlgorithm::Md5;
    std::string algorithmText = "MD5";  // as the challenge writes it
    std::string qopText = "auth";       // as the challenge writes it; empty: no qop
    std::string opaque;                 // empty: none
};

// The qop options of a challenge's qop text ("auth,auth-int" gives both).
// Each option is "auth" or "auth-int", in any letter case; anything else makes
// the text invalid (false).
bool splitQopOptions(const std::string& qopText, std::vector<std::string>* options);
// "MD5", "MD5-sess" (any letter case) or "none".
bool parseDigestAlgorithm(const std::string& text, DigestAlgorithm* algorithm);

// The value of a WWW-Authenticate header: Digest realm="...", nonce="...",
// then algorithm="...", qop="..." and opaque="..." when set, every value quoted.
std::string buildDigestChallenge(const DigestSettings& settings, const std::string& nonce);

struct DigestDirective {
    std::string value;  // as it stands between the quotes, or the bare token
    bool quoted = false;
};

struct AuthorizationHeader {
    std::string scheme;                                 // "Digest", "Basic", ...
    std::map<std::string, DigestDirective> directives;  // lowercase names; the first of each name

    const DigestDirective* find(const std::string& name) const;
};

// Reads an Authorization header's value. Directives are separated by commas,
// with or without blanks. A quoted value ends at a double quote that is
// followed by blanks and a comma or by the end of the header, so that the
// utility's unescaped quotes survive; a bare item without "=" continues the
// bare value before it, so that qop=auth,auth-int reads as one value.
AuthorizationHeader parseAuthorizationHeader(const std::string& value);

struct DigestVerdict {
    bool accepted = false;
    // When refused: scheme, username, realm, nonce, opaque, algorithm, uri,
    // qop, nc, cnonce or response: the first check that failed.
    std::string reason;
    // When accepted with MD5-sess: "raw-ha1" (the utility's form) or "hex-ha1".
    std::string variant;
};

// The request line that an Authorization header came with: its method and
// its target, which the header's uri must name.
struct DigestRequest {
    const std::string& method;
    const std::string& target;
};

// Checks the header of `request`.
// `nonceIsCurrent` says whether a nonce is one that the adapter handed out
// and still takes. The uri directive must equal the request target, except
// that an empty uri is taken for any target: that is what the utility sends.
DigestVerdict verifyDigestAuthorization(const DigestSettings& settings, const AuthorizationHeader& header,
                                        const DigestRequest& request,
                                        const std::function<bool(const std::string&)>& nonceIsCurrent);

// The lowercase hexadecimal MD5 of a text.
std::string md5Hex(const std::string& text);

}  // namespace orb::sim
