#include "web/digest_auth.h"

#include <cstdio>
#include <cstring>

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
    char* out;
    size_t capacity;  // counts the terminator
    size_t length = 0;

    void append(const char* text) {
        if (capacity == 0) return;
        size_t room = capacity - 1 - length;
        size_t n = std::strlen(text);
        if (n > room) n = room;
        std::memcpy(out + length, text, n);
        length += n;
        out[length] = '\0';
    }
};

// Copies a challenge value: from `start` to the next double quote or the end
// of the text, cut at the field's width (width - 1 characters and a NUL).
void copyQuotedValue(const char* start, char* field, size_t width) {
    size_t n = 0;
    while (n < width - 1 && start[n] != '\0' && start[n] != '"') {
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

void digestToHex(const uint8_t digest[16], char text[kDigestHexSize]) { writeHexOfBytes(digest, 16, text); }

void digestHa1(const char* algorithm, const char* user, const char* realm, const char* password, const char* nonce,
               const char* cnonce, char ha1[kDigestHexSize]) {
    Md5Context context;
    uint8_t digest[16];
    md5Init(&context);
    md5Text(&context, user);
    md5Text(&context, ":");
    md5Text(&context, realm);
    md5Text(&context, ":");
    md5Text(&context, password);
    md5Final(digest, &context);
    if (equalsIgnoringAsciiCase(algorithm, "md5-sess")) {
        md5Init(&context);
        md5Update(&context, digest, sizeof digest);  // the raw bytes, not their hex form
        md5Text(&context, ":");
        md5Text(&context, nonce);
        md5Text(&context, ":");
        md5Text(&context, cnonce);
        md5Final(digest, &context);
    }
    digestToHex(digest, ha1);
}

void digestRequestDigest(const char* ha1, const char* nonce, const char* ncText, const char* cnonce, const char* qop,
                         const char* method, const char* uri, const char* entityBody, char response[kDigestHexSize]) {
    Md5Context context;
    uint8_t digest[16];
    char ha2[kDigestHexSize];

    md5Init(&context);
    md5Text(&context, method);
    md5Text(&context, ":");
    md5Text(&context, uri);
    if (equalsIgnoringAsciiCase(qop, "auth-int")) {
        Md5Context bodyContext;
        uint8_t bodyDigest[16];
        char bodyHex[kDigestHexSize];
        md5Init(&bodyContext);
        md5Text(&bodyContext, entityBody);
        md5Final(bodyDigest, &bodyContext);
        digestToHex(bodyDigest, bodyHex);
        md5Text(&context, ":");
        md5Text(&context, bodyHex);
    }
    md5Final(digest, &context);
    digestToHex(digest, ha2);

    md5Init(&context);
    md5Update(&context, ha1, 32);
    md5Text(&context, ":");
    md5Text(&context, nonce);
    md5Text(&context, ":");
    if (qop[0] != '\0') {
        md5Text(&context, ncText);
        md5Text(&context, ":");
        md5Text(&context, cnonce);
        md5Text(&context, ":");
        md5Text(&context, qop);
        md5Text(&context, ":");
    }
    md5Update(&context, ha2, 32);
    md5Final(digest, &context);
    digestToHex(digest, response);
}

void digestResponse(const char* nonce, const char* cnonce, const char* user, const char* realm, const char* password,
                    const char* algorithm, const char* ncText, const char* method, const char* qop, const char* uri,
                    const char* entityBody, char response[kDigestHexSize]) {
    char ha1[kDigestHexSize];
    digestHa1(algorithm, user, realm, password, nonce, cnonce, ha1);
    digestRequestDigest(ha1, nonce, ncText, cnonce, qop, method, uri, entityBody, response);
}

int buildAuthorizationHeader(const DigestAuthState* state, char* out, size_t capacity) {
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
    char response[kDigestHexSize];
    digestResponse(nonce.text, cnonce.text, user.text, realm.text, password.text, algorithm.text, ncText, "GET",
                   qop.text, uri.text, "", response);

    // The line, directive by directive, values unchanged.
    BoundedWriter writer{out, capacity};
    if (capacity > 0) out[0] = '\0';
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
    writer.append(response);
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
    copyQuotedValue(value, state->realm, sizeof state->realm);

    value = findQuotedParameter(text, "nonce=\"");
    if (value == nullptr) return false;
    copyQuotedValue(value, state->nonce, sizeof state->nonce);

    // A nonce that differs from the previous one restarts the count. Both
    // fields are terminated within their widths, so the comparison and the
    // copy stay inside them.
    if (std::strncmp(state->nonce, state->previousNonce, sizeof state->nonce) != 0) {
        copyQuotedValue(state->nonce, state->previousNonce, sizeof state->previousNonce);
        state->nc = 0;
    }

    // A new client nonce for every challenge taken.
    std::snprintf(state->cnonce, sizeof state->cnonce, "%x", static_cast<unsigned>(nextRandom()));

    // The optional parameters, empty when absent.
    value = findQuotedParameter(text, "algorithm=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->algorithm, sizeof state->algorithm);
    } else {
        state->algorithm[0] = '\0';
    }
    value = findQuotedParameter(text, "qop=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->qop, sizeof state->qop);
    } else {
        state->qop[0] = '\0';
    }
    value = findQuotedParameter(text, "opaque=\"");
    if (value != nullptr) {
        copyQuotedValue(value, state->opaque, sizeof state->opaque);
    } else {
        state->opaque[0] = '\0';
    }
    return true;
}

}  // namespace orb
