// MD5 as RFC 1321 defines it: the reference structure (chaining words, a
// 64-bit bit count kept as two 32-bit words, a buffer for an incomplete block),
// the four rounds of sixteen steps, and the padding of the final block.
#include "web/md5.h"

#include <cstring>

namespace orb {

namespace {

// Per-round shift amounts, RFC 1321 section 3.4.
constexpr int S11 = 7, S12 = 12, S13 = 17, S14 = 22;
constexpr int S21 = 5, S22 = 9, S23 = 14, S24 = 20;
constexpr int S31 = 4, S32 = 11, S33 = 16, S34 = 23;
constexpr int S41 = 6, S42 = 10, S43 = 15, S44 = 21;

inline uint32_t rotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

inline void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a = rotateLeft(a + F(b, c, d) + x + ac, s) + b;
}
inline void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a = rotateLeft(a + G(b, c, d) + x + ac, s) + b;
}
inline void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a = rotateLeft(a + H(b, c, d) + x + ac, s) + b;
}
inline void II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a = rotateLeft(a + I(b, c, d) + x + ac, s) + b;
}

// Little-endian words from bytes and back, independent of the host's order.
void decodeWords(uint32_t* words, const uint8_t* bytes, size_t length) {
    for (size_t i = 0, j = 0; j < length; ++i, j += 4) {
        words[i] = static_cast<uint32_t>(bytes[j]) | (static_cast<uint32_t>(bytes[j + 1]) << 8) |
                   (static_cast<uint32_t>(bytes[j + 2]) << 16) | (static_cast<uint32_t>(bytes[j + 3]) << 24);
    }
}

void encodeWords(uint8_t* bytes, const uint32_t* words, size_t length) {
    for (size_t i = 0, j = 0; j < length; ++i, j += 4) {
        bytes[j] = static_cast<uint8_t>(words[i] & 0xff);
        bytes[j + 1] = static_cast<uint8_t>((words[i] >> 8) & 0xff);
        bytes[j + 2] = static_cast<uint8_t>((words[i] >> 16) & 0xff);
        bytes[j + 3] = static_cast<uint8_t>((words[i] >> 24) & 0xff);
    }
}

// Round 1: sixteen steps on the chaining words a, b, c, d.
void round1(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16]) {
    FF(a, b, c, d, x[0], S11, 0xd76aa478);
    FF(d, a, b, c, x[1], S12, 0xe8c7b756);
    FF(c, d, a, b, x[2], S13, 0x242070db);
    FF(b, c, d, a, x[3], S14, 0xc1bdceee);
    FF(a, b, c, d, x[4], S11, 0xf57c0faf);
    FF(d, a, b, c, x[5], S12, 0x4787c62a);
    FF(c, d, a, b, x[6], S13, 0xa8304613);
    FF(b, c, d, a, x[7], S14, 0xfd469501);
    FF(a, b, c, d, x[8], S11, 0x698098d8);
    FF(d, a, b, c, x[9], S12, 0x8b44f7af);
    FF(c, d, a, b, x[10], S13, 0xffff5bb1);
    FF(b, c, d, a, x[11], S14, 0x895cd7be);
    FF(a, b, c, d, x[12], S11, 0x6b901122);
    FF(d, a, b, c, x[13], S12, 0xfd987193);
    FF(c, d, a, b, x[14], S13, 0xa679438e);
    FF(b, c, d, a, x[15], S14, 0x49b40821);
}

// Round 2: sixteen steps on the chaining words a, b, c, d.
void round2(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16]) {
    GG(a, b, c, d, x[1], S21, 0xf61e2562);
    GG(d, a, b, c, x[6], S22, 0xc040b340);
    GG(c, d, a, b, x[11], S23, 0x265e5a51);
    GG(b, c, d, a, x[0], S24, 0xe9b6c7aa);
    GG(a, b, c, d, x[5], S21, 0xd62f105d);
    GG(d, a, b, c, x[10], S22, 0x02441453);
    GG(c, d, a, b, x[15], S23, 0xd8a1e681);
    GG(b, c, d, a, x[4], S24, 0xe7d3fbc8);
    GG(a, b, c, d, x[9], S21, 0x21e1cde6);
    GG(d, a, b, c, x[14], S22, 0xc33707d6);
    GG(c, d, a, b, x[3], S23, 0xf4d50d87);
    GG(b, c, d, a, x[8], S24, 0x455a14ed);
    GG(a, b, c, d, x[13], S21, 0xa9e3e905);
    GG(d, a, b, c, x[2], S22, 0xfcefa3f8);
    GG(c, d, a, b, x[7], S23, 0x676f02d9);
    GG(b, c, d, a, x[12], S24, 0x8d2a4c8a);
}

// Round 3: sixteen steps on the chaining words a, b, c, d.
void round3(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16]) {
    HH(a, b, c, d, x[5], S31, 0xfffa3942);
    HH(d, a, b, c, x[8], S32, 0x8771f681);
    HH(c, d, a, b, x[11], S33, 0x6d9d6122);
    HH(b, c, d, a, x[14], S34, 0xfde5380c);
    HH(a, b, c, d, x[1], S31, 0xa4beea44);
    HH(d, a, b, c, x[4], S32, 0x4bdecfa9);
    HH(c, d, a, b, x[7], S33, 0xf6bb4b60);
    HH(b, c, d, a, x[10], S34, 0xbebfbc70);
    HH(a, b, c, d, x[13], S31, 0x289b7ec6);
    HH(d, a, b, c, x[0], S32, 0xeaa127fa);
    HH(c, d, a, b, x[3], S33, 0xd4ef3085);
    HH(b, c, d, a, x[6], S34, 0x04881d05);
    HH(a, b, c, d, x[9], S31, 0xd9d4d039);
    HH(d, a, b, c, x[12], S32, 0xe6db99e5);
    HH(c, d, a, b, x[15], S33, 0x1fa27cf8);
    HH(b, c, d, a, x[2], S34, 0xc4ac5665);
}

// Round 4: sixteen steps on the chaining words a, b, c, d.
void round4(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16]) {
    II(a, b, c, d, x[0], S41, 0xf4292244);
    II(d, a, b, c, x[7], S42, 0x432aff97);
    II(c, d, a, b, x[14], S43, 0xab9423a7);
    II(b, c, d, a, x[5], S44, 0xfc93a039);
    II(a, b, c, d, x[12], S41, 0x655b59c3);
    II(d, a, b, c, x[3], S42, 0x8f0ccc92);
    II(c, d, a, b, x[10], S43, 0xffeff47d);
    II(b, c, d, a, x[1], S44, 0x85845dd1);
    II(a, b, c, d, x[8], S41, 0x6fa87e4f);
    II(d, a, b, c, x[15], S42, 0xfe2ce6e0);
    II(c, d, a, b, x[6], S43, 0xa3014314);
    II(b, c, d, a, x[13], S44, 0x4e0811a1);
    II(a, b, c, d, x[4], S41, 0xf7537e82);
    II(d, a, b, c, x[11], S42, 0xbd3af235);
    II(c, d, a, b, x[2], S43, 0x2ad7d2bb);
    II(b, c, d, a, x[9], S44, 0xeb86d391);
}

void transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t x[16];
    decodeWords(x, block, 64);

    round1(a, b, c, d, x);
    round2(a, b, c, d, x);
    round3(a, b, c, d, x);
    round4(a, b, c, d, x);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;

    std::memset(x, 0, sizeof x);
}

}  // namespace

void md5Init(Md5Context* context) {
    context->count[0] = 0;
    context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
}

void md5Update(Md5Context* context, const void* data, size_t length) {
    if (length == 0) return;
    const uint8_t* input = static_cast<const uint8_t*>(data);

    // Bytes already waiting in the buffer, from the bit count.
    size_t index = (context->count[0] >> 3) & 0x3f;

    // Add the bits; carry into the high word. Lengths beyond 2^29 bytes in one
    // call carry their upper part separately.
    uint64_t bits = static_cast<uint64_t>(length) << 3;
    uint32_t lowBits = static_cast<uint32_t>(bits);
    context->count[0] += lowBits;
    if (context->count[0] < lowBits) context->count[1]++;
    context->count[1] += static_cast<uint32_t>(static_cast<uint64_t>(length) >> 29);

    size_t partLength = 64 - index;
    size_t i = 0;
    if (length >= partLength) {
        std::memcpy(&context->buffer[index], input, partLength);
        transform(context->state, context->buffer);
        for (i = partLength; i + 63 < length; i += 64) transform(context->state, &input[i]);
        index = 0;
    }
    std::memcpy(&context->buffer[index], &input[i], length - i);
}

void md5Final(uint8_t digest[16], Md5Context* context) {
    static const uint8_t padding[64] = {0x80};

    // The bit count before padding, little-endian.
    uint8_t bits[8];
    encodeWords(bits, context->count, 8);

    // Pad to 56 mod 64, then append the length.
    size_t index = (context->count[0] >> 3) & 0x3f;
    size_t padLength = (index < 56) ? (56 - index) : (120 - index);
    md5Update(context, padding, padLength);
    md5Update(context, bits, 8);

    encodeWords(digest, context->state, 16);

    // Wipe the whole context. A volatile pointer keeps the compiler from
    // dropping the stores to a context that is about to go out of scope.
    volatile uint8_t* wipe = reinterpret_cast<volatile uint8_t*>(context);
    for (size_t k = 0; k < sizeof *context; ++k) wipe[k] = 0;
}

}  // namespace orb
