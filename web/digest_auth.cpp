#include "web/digest_auth.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/hex.h"
#include "base/random.h"
#include "web/md5.h"

namespace orb {

namespace {

// Whole-text comparison that ignores the case of ASCII letters only.
bool equalsIgnoringAsciiCase(const char* text, const char* keyword) {
    for (;; ++text, ++keyword) {
        unsigned char a = static_cast<unsigned char>(*text);
        unsigned char b = static_cast<unsigned char>(*keyword);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b) return false;
        if (a == 0) return true;
    }
}

void md5Text(Md5Context* context, const char* text) { md5Update(context, text, std::strlen(text)); }

// The texts with ':' between them, as every Digest hash joins its parts.
void md5Joined(Md5Context* context, std::initializer_list<const char*> texts) {
    const char* separator = "";
    for (const char* text : texts) {
        md5Text(context, separator);
        md5Text(context, text);
        separator = ":";
    }
}

// A copy of a fixed-width field that is always terminated inside its width:
// the record's fields are read no further than their widths.
template <size_t Width>
struct FieldCopy {
    char text[Width];
    explicit FieldCopy(const char (&field)[Width]) {
        size_t length = strnlen(field, Width - 1);
        std::memcpy(text, field, length);
        text[length] = '\0';
    }
};

// Appends formatted text to a bounded output; never writes past capacity and
// keeps the output terminated.
struct BoundedWriter {
    std::span<char> out;  // the terminator's byte included
    size_t length = 0;

    void append(const char* text) {
        if (out.empty()) return;
        size_t room = out.size() - 1 - length;
        size_t n = std::strlen(text);
        if (n > room) n = room;
        std::memcpy(out.data() + length, text, n);
        length += n;
        out[length] = '\0';
    }
};

// Copies a challenge value: from `start` to the next double quote or the end
// of the text, cut at the field's width (its size - 1 characters and a NUL).
void copyQuotedValue(const char* start, std::span<char> field) {
    size_t n = 0;
    while (n < field.size() - 1 && start[n] != '\0' && start[n] != '"') {
        field[n] = start[n];
        ++n;
    }
    field[n] = '\0';
}

// The value after the first occurrence of `parameter` (name, '=', '"'), or
// nullptr when the text lacks it.
const char* findQuotedParameter(const char* text, const char* parameter) {
    const char* found = std::strstr(text, parameter);
    return found != nullptr ? found + std::strlen(parameter) : nullptr;
}

}  // namespace

DigestHex digestToHex(std::span<const uint8_t, 16> digest) {
    DigestHex text;
    writeHexOfBytes(digest.data(), digest.size(), text.data());
    return text;
}

DigestHex digestHa1(const DigestInput& input) {
    Md5Context context;
    uint8_t digest[16];
    md5Init(&context);
    md5Joined(&context, {input.user, input.realm, input.password});
    md5Final(digest, &context);
    if (equalsIgnoringAsciiCase(input.algorithm, "md5-sess")) {
        md5Init(&context);
        md5Update(&context, digest, sizeof digest);  // the raw bytes, not their hex form
        md5Text(&context, ":");
        md5Joined(&context, {input.nonce, input.cnonce});
        md5Final(digest, &context);
    }
    return digestToHex(digest);
}

DigestHex digestRequestDigest(const DigestHex& ha1, const DigestInput& input) {
    Md5Context context;
    uint8_t digest[16];

    md5Init(&context);
    md5Joined(&context, {input.method, input.uri});
    if (equalsIgnoringAsciiCase(input.qop, "auth-int")) {
        Md5Context bodyContext;
        uint8_t bodyDigest[16];
        md5Init(&bodyContext);
        md5Text(&bodyContext, input.entityBody);
        md5Final(bodyDigest, &bodyContext);
        md5Text(&context, ":");
        md5Text(&context, digestToHex(bodyDigest).data());
    }
    md5Final(digest, &context);
    const DigestHex ha2 = digestToHex(digest);

    md5Init(&context);
    md5Update(&context, ha1.data(), 32);
    md5Text(&context, ":");
    md5Text(&context, input.nonce);
    md5Text(&context, ":");
    if (input.qop[0] != '\0') {
        md5Joined(&context, {input.ncText, input.cnonce, input.qop});
        md5Text(&context, ":");
    }
    md5Update(&context, ha2.data(), 32);
    md5Final(digest, &context);
    return digestToHex(digest);
}

DigestHex digestResponse(const DigestInput& input) { return digestRequestDigest(digestHa1(input), input); }

int buildAuthorizationHeader(const DigestAuthState* state, std::span<char> out) {
    FieldCopy nonce(state->nonce);
    FieldCopy cnonce(state->cnonce);
    FieldCopy user(state->user);
    FieldCopy password(state->password);
    FieldCopy realm(state->realm);
    FieldCopy qop(state->qop);
    FieldCopy algorithm(state->algorithm);
    FieldCopy uri(state->uri);
    FieldCopy opaque(state->opaque);

    // The nc text: nine digits, only with a qop.
    char ncText[16] = "";
    if (qop.text[0] != '\0') std::snprintf(ncText, sizeof ncText, "%09x", state->nc);

    // The request digest.
    const DigestHex response = digestResponse({.user = user.text,
                                               .realm = realm.text,
                                               .password = password.text,
                                               .algorithm = algorithm.text,
                                               .nonce = nonce.text,
                                               .cnonce = cnonce.text,
                                               .ncText = ncText,
                                               .qop = qop.text,
                                               .method = "GET",
                                               .uri = uri.text,
                                               .entityBody = ""});

    // The line, directive by directive, values unchanged.
    BoundedWriter writer{out};
    if (!out.empty()) out[0] = '\0';
    writer.append("Authorization: Digest username=\"");
    writer.append(user.text);
    writer.append("\",realm=\"");
    writer.append(realm.text);
    writer.append("\",nonce=\"");
    writer.append(nonce.text);
    writer.append("\",uri=\"");
    writer.append(uri.text);
    writer.append("\",algorithm=\"");
    writer.append(algorithm.text);
    writer.append("\",response=\"");
    writer.append(response.data());
    writer.append("\"");
    if (opaque.text[0] != '\0') {
        writer.append(",opaque=\"");
        writer.append(opaque.text);
        writer.append("\"");
    }
    if (qop.text[0] != '\0') {
        writer.append(",qop=");
        writer.append(qop.text);
        writer.append(",nc=");
        writer.append(ncText);
        writer.append(",cnonce=\"");
        writer.append(cnonce.text);
        writer.append("\"");
    }
    writer.append("\r\n");
    return static_cast<int>(writer.length);
}

bool parseDigestChallenge(const char* text, DigestAuthState* state) {
    // Without a realm and a nonce there is no Digest challenge to take.
    const char* value = findQuotedParameter(text, "realm=\"");
    if (value == nullptr) return false;
    copyQuotedValue(value, state->realm);

    value = findQuotedParameter(text, "nonce=\"");
    if (value == nullptr) return false;
    copyQuotedValue(value, state->nonce);

    // A nonce that differs from the previous one restarts the count. Both
    // fields are terminated within their widths, so the comparison and the
    // copy stay inside them.
    if (std::strncmp(state->nonce, state->previousNonce, sizeof state->nonce) != 0) {
        copyQuotedValue(state->nonce, state->previousNonce);
        state->nc = 0;
    }

    // A new client nonce for every challenge taken.
    std::snprintf(state->cnonce, sizeof state->cnonce, "%x", static_cast<unsigned>(nextRandom()));

    // The optional parameters, empty when absent.
    value = findQuotedParameter(text, "algorithm=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->algorithm);
    } else {
        state->algorithm[0] = '\0';
    }
    value = findQuotedParameter(text, "qop=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->qop);
    } else {
        state->qop[0] = '\0';
    }
    value = findQuotedParameter(text, "opaque=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->opaque);
    } else {
        state->opaque[0] = '\0';
    }
    return true;
}

}  // namespace orb
