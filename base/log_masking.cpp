#include "base/log_masking.h"

#include <algorithm>
#include <cctype>

namespace orb {

namespace {

bool isNameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-'; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where the parameter name "response" starts at `at`, on its own (not the end
// of a longer name such as "rspresponse").
bool isResponseName(std::string_view text, size_t at) {
    static constexpr std::string_view kName = "response";
    if (at + kName.size() > text.size()) return false;
    if (at > 0 && isNameCharacter(text[at - 1])) return false;
    for (size_t i = 0; i < kName.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != kName[i]) return false;
    return true;
}

std::string replaceSecrets(std::string_view text, const std::vector<std::string>& secrets) {
    // Longest first: a secret that begins another ("abc", "abcdef") would
    // otherwise leave the longer one's rest ("***def") in the log.
    std::vector<const std::string*> longestFirst;
    longestFirst.reserve(secrets.size());
    for (const std::string& secret : secrets) longestFirst.push_back(&secret);
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [](const std::string* a, const std::string* b) { return a->size() > b->size(); });
    std::string out(text);
    for (const std::string* each : longestFirst) {
        const std::string& secret = *each;
        if (secret.empty()) continue;
        for (size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + kMaskText.size()))
            out.replace(at, secret.size(), kMaskText);
    }
    return out;
}

}  // namespace

std::string maskSecrets(std::string_view input, const std::vector<std::string>& secrets) {
    const std::string text = replaceSecrets(input, secrets);
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (!isResponseName(text, i)) {
            out += text[i++];
            continue;
        }
        size_t p = i + 8;
        while (p < text.size() && isBlank(text[p])) ++p;
        if (p >= text.size() || text[p] != '=') {
            out += text[i++];
            continue;
        }
        ++p;
        while (p < text.size() && isBlank(text[p])) ++p;
        out.append(text, i, p - i);  // "response=" as written
        if (p < text.size() && text[p] == '"') {
            // A quoted value ends at the next unescaped quote, else at the line's end.
            size_t q = p + 1;
            while (q < text.size() && text[q] != '"' && text[q] != '\r' && text[q] != '\n')
                q += text[q] == '\\' ? 2 : 1;
            if (q > text.size()) q = text.size();
            out += '"';
            out += kMaskText;
            if (q < text.size() && text[q] == '"') ++q;
            out += '"';
            i = q;
        } else {
            size_t q = p;
            while (q < text.size() && text[q] != ',' && text[q] != ';' && !isBlank(text[q]) && text[q] != '\r' &&
                   text[q] != '\n')
                ++q;
            out += kMaskText;
            i = q;
        }
    }
    return out;
}

}  // namespace orb
