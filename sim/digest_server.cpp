#include "sim/digest_server.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "base/hex.h"
#include "web/md5.h"
#include "sim/http_message.h"

namespace orb::sim {

namespace {

void md5Raw(const std::string& text, uint8_t digest[16]) {
    Md5Context context;
    md5Init(&context);
    md5Update(&context, text.data(), text.size());
    md5Final(digest, &context);
}

std::string toLower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimBlanks(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool isHexText(const std::string& text) {
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return !text.empty();
}

// A quoted value with its backslash escapes resolved, as RFC 7616 clients
// write user names and realms that hold quotes or backslashes.
std::string unescapeQuoted(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

bool matchesQuoted(const DigestDirective& directive, const std::string& expected) {
    return directive.value == expected || (directive.quoted && unescapeQuoted(directive.value) == expected);
}

}  // namespace

std::string md5Hex(const std::string& text) {
    uint8_t digest[16];
    md5Raw(text, digest);
    return hexOfBytes(digest, 16);
}

bool splitQopOptions(const std::string& qopText, std::vector<std::string>* options) {
    options->clear();
    if (qopText.empty()) return true;
    size_t at = 0;
    while (at <= qopText.size()) {
        size_t comma = qopText.find(',', at);
        if (comma == std::string::npos) comma = qopText.size();
        std::string option = toLower(trimBlanks(qopText.substr(at, comma - at)));
        if (option != "auth" && option != "auth-int") return false;
        options->push_back(option);
        at = comma + 1;
    }
    return true;
}

bool parseDigestAlgorithm(const std::string& text, DigestAlgorithm* algorithm) {
    std::string lower = toLower(text);
    if (lower == "md5") {
        *algorithm = DigestAlgorithm::Md5;
    } else if (lower == "md5-sess") {
        *algorithm = DigestAlgorithm::Md5Sess;
    } else if (lower == "none") {
        *algorithm = DigestAlgorithm::None;
    } else {
        return false;
    }
    return true;
}

std::string buildDigestChallenge(const DigestSettings& settings, const std::string& nonce) {
    std::string out = "Digest realm=\"" + settings.realm + "\", nonce=\"" + nonce + "\"";
    if (settings.algorithm != DigestAlgorithm::None) out += ", algorithm=\"" + settings.algorithmText + "\"";
    if (!settings.qopText.empty()) out += ", qop=\"" + settings.qopText + "\"";
    if (!settings.opaque.empty()) out += ", opaque=\"" + settings.opaque + "\"";
    return out;
}

const DigestDirective* AuthorizationHeader::find(const std::string& name) const {
    auto found = directives.find(name);
    return found == directives.end() ? nullptr : &found->second;
}

AuthorizationHeader parseAuthorizationHeader(const std::string& value) {
    AuthorizationHeader header;
    size_t at = value.find_first_not_of(" \t");
    if (at == std::string::npos) return header;
    size_t schemeEnd = value.find_first_of(" \t", at);
    if (schemeEnd == std::string::npos) schemeEnd = value.size();
    header.scheme = value.substr(at, schemeEnd - at);
    at = schemeEnd;

    DigestDirective* lastBare = nullptr;  // the bare value that an item without "=" continues
    while (at < value.size()) {
        char c = value[at];
        if (c == ' ' || c == '\t' || c == ',') {
            ++at;
            continue;
        }
        size_t itemEnd = value.find_first_of("=,", at);
        if (itemEnd == std::string::npos || value[itemEnd] == ',') {
            // An item without "=": the rest of a bare list value such as auth,auth-int.
            if (itemEnd == std::string::npos) itemEnd = value.size();
            std::string item = trimBlanks(value.substr(at, itemEnd - at));
            if (lastBare != nullptr) lastBare->value += "," + item;
            at = itemEnd;
            continue;
        }
        std::string name = toLower(trimBlanks(value.substr(at, itemEnd - at)));
        at = value.find_first_not_of(" \t", itemEnd + 1);
        if (at == std::string::npos) at = value.size();
        DigestDirective directive;
        if (at < value.size() && value[at] == '"') {
            directive.quoted = true;
            size_t close = at + 1;
            for (;;) {
                close = value.find('"', close);
                if (close == std::string::npos) {
                    close = value.size();
                    break;
                }
                size_t after = value.find_first_not_of(" \t", close + 1);
                if (after == std::string::npos || value[after] == ',') break;
                ++close;  // a quote inside the value
            }
            directive.value = value.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            size_t comma = value.find(',', at);
            if (comma == std::string::npos) comma = value.size();
            directive.value = trimBlanks(value.substr(at, comma - at));
            at = comma;
        }
        auto [slot, inserted] = header.directives.emplace(name, directive);
        lastBare = (inserted && !directive.quoted) ? &slot->second : nullptr;
    }
    return header;
}

namespace {

// The first of scheme, username, realm, nonce, opaque and algorithm whose
// directive does not match the settings; nullptr when all match.
const char* firstCredentialsMismatch(const DigestSettings& settings, const AuthorizationHeader& header,
                                     const std::function<bool(const std::string&)>& nonceIsCurrent) {
    if (!equalsIgnoringCase(header.scheme, "Digest")) return "scheme";
    const DigestDirective* username = header.find("username");
    if (username == nullptr || !matchesQuoted(*username, settings.user)) return "username";
    const DigestDirective* realm = header.find("realm");
    if (realm == nullptr || !matchesQuoted(*realm, settings.realm)) return "realm";
    const DigestDirective* nonce = header.find("nonce");
    if (nonce == nullptr || !nonceIsCurrent(nonce->value)) return "nonce";
    if (!settings.opaque.empty()) {
        const DigestDirective* opaque = header.find("opaque");
        if (opaque == nullptr || opaque->value != settings.opaque) return "opaque";
    }

    // An empty or missing algorithm means MD5; the utility sends algorithm=""
    // when the challenge named none.
    const DigestDirective* algorithm = header.find("algorithm");
    std::string algorithmText = algorithm == nullptr ? std::string() : toLower(algorithm->value);
    if (settings.algorithm == DigestAlgorithm::Md5Sess) {
        if (algorithmText != "md5-sess") return "algorithm";
    } else if (!algorithmText.empty() && algorithmText != "md5") {
        return "algorithm";
    }
    return nullptr;
}

// The directives that go with qop; all empty when no qop was offered.
struct QopDirectives {
    std::string qop;
    std::string nc;
    std::string cnonce;
};

// Reads qop, nc and cnonce into *directives; the first of them that is wrong,
// or nullptr.
const char* readQopDirectives(const DigestSettings& settings, const AuthorizationHeader& header,
                              QopDirectives* directives) {
    std::vector<std::string> offered;
    splitQopOptions(settings.qopText, &offered);
    const DigestDirective* qopDirective = header.find("qop");
    directives->qop = qopDirective == nullptr ? std::string() : qopDirective->value;
    const std::string& qop = directives->qop;
    if (offered.empty()) return qop.empty() ? nullptr : "qop";
    // One offered option, as standard clients choose, or the whole offered
    // text, as the utility echoes it.
    bool known = equalsIgnoringCase(qop, settings.qopText);
    for (const std::string& option : offered) known = known || equalsIgnoringCase(qop, option);
    if (qop.empty() || !known) return "qop";
    const DigestDirective* ncDirective = header.find("nc");
    if (ncDirective == nullptr) return "nc";
    directives->nc = ncDirective->value;
    const std::string& nc = directives->nc;
    if ((nc.size() != 8 && nc.size() != 9) || !isHexText(nc)) return "nc";
    const DigestDirective* cnonceDirective = header.find("cnonce");
    if (cnonceDirective == nullptr || cnonceDirective->value.empty()) return "cnonce";
    directives->cnonce = cnonceDirective->value;
    return nullptr;
}

// Under MD5-sess, the variant of H(A1) whose response `matches` takes, if any.
// The utility hashes the raw bytes of MD5(user:realm:password) (as RFC 2617's
// sample code does); RFC 7616 and curl hash their hexadecimal form.
std::optional<std::string> matchingSessionVariant(const uint8_t (&secret)[16], const std::string& nonce,
                                                  const QopDirectives& directives,
                                                  const std::function<bool(const std::string&)>& matches) {
    std::string rawSecret(reinterpret_cast<const char*>(secret), 16);
    std::string hexSecret = hexOfBytes(secret, 16);
    auto sessionKey = [&nonce](const std::string& key, const std::string& clientNonce) {
        return md5Hex(key + ":" + nonce + ":" + clientNonce);
    };
    if (!directives.qop.empty()) {
        if (matches(sessionKey(rawSecret, directives.cnonce))) return "raw-ha1";
        if (matches(sessionKey(hexSecret, directives.cnonce))) return "hex-ha1";
        return std::nullopt;
    }
    // Without qop the header carries no cnonce, yet the utility hashes its
    // own: a number 0..32767 in lowercase hexadecimal. Try them all.
    char text[8];
    for (unsigned number = 0; number <= 0x7fff; ++number) {
        std::snprintf(text, sizeof text, "%x", number);
        if (matches(sessionKey(rawSecret, text))) return std::string("raw-ha1-cnonce-") + text;
    }
    return std::nullopt;
}

}  // namespace

DigestVerdict verifyDigestAuthorization(const DigestSettings& settings, const AuthorizationHeader& header,
                                        const DigestRequest& request,
                                        const std::function<bool(const std::string&)>& nonceIsCurrent) {
    DigestVerdict verdict;
    auto refuse = [&verdict](const char* reason) {
        verdict.reason = reason;
        return verdict;
    };
    if (const char* reason = firstCredentialsMismatch(settings, header, nonceIsCurrent)) return refuse(reason);
    const std::string& nonce = header.find("nonce")->value;

    const DigestDirective* uri = header.find("uri");
    if (uri == nullptr || (!uri->value.empty() && uri->value != request.target)) return refuse("uri");

    QopDirectives directives;
    if (const char* reason = readQopDirectives(settings, header, &directives)) return refuse(reason);
    const std::string& qop = directives.qop;

    const DigestDirective* response = header.find("response");
    if (response == nullptr || response->value.size() != 32 || !isHexText(response->value)) return refuse("response");

    // H(A2): the method and the uri as the header gives them; under auth-int
    // also the MD5 of the (always empty) body.
    std::string a2 = request.method + ":" + uri->value;
    if (equalsIgnoringCase(qop, "auth-int")) a2 += ":" + md5Hex("");
    std::string ha2 = md5Hex(a2);

    uint8_t secret[16];
    md5Raw(settings.user + ":" + settings.realm + ":" + settings.password, secret);
    std::string expectedTail =
        qop.empty() ? ":" + nonce + ":" + ha2
                    : ":" + nonce + ":" + directives.nc + ":" + directives.cnonce + ":" + qop + ":" + ha2;
    std::string given = toLower(response->value);
    auto matches = [&](const std::string& ha1) { return md5Hex(ha1 + expectedTail) == given; };

    if (settings.algorithm != DigestAlgorithm::Md5Sess) {
        verdict.accepted = matches(hexOfBytes(secret, 16));
        return verdict.accepted ? verdict : refuse("response");
    }
    std::optional<std::string> variant = matchingSessionVariant(secret, nonce, directives, matches);
    if (!variant) return refuse("response");
    verdict.accepted = true;
    verdict.variant = *variant;
    return verdict;
}

}  // namespace orb::sim
