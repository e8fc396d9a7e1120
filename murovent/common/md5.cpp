// SPDX-License-Identifier: GPL-2.0-or-later
#include "md5.h"

#include "zm_global.h"

#include <unistd.h>

#include <cassert>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kFileChunk = 10240;

inline uint32_t rotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline void step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac)
{
    a += Fn(b, c, d) + x + ac;
    a = rotateLeft(a, s) + b;
}

const unsigned char kPadding[64] = {0x80};

}  // namespace

MD5::MD5()
    : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, m_count{0, 0}, m_buffer{}, m_digest{}
{
}

void MD5::update(const unsigned char* input, size_t length)
{
    size_t index = (m_count[0] >> 3) & 0x3F;
    const uint64_t bits = (uint64_t(m_count[1]) << 32 | m_count[0]) + (uint64_t(length) << 3);
    m_count[0] = uint32_t(bits);
    m_count[1] = uint32_t(bits >> 32);

    const size_t partLength = 64 - index;
    size_t i = 0;
    if (length >= partLength) {
        memcpy(&m_buffer[index], input, partLength);
        transform(m_buffer);
        for (i = partLength; i + 63 < length; i += 64)
            transform(&input[i]);
        index = 0;
    }
    if (length > i)
        memcpy(&m_buffer[index], &input[i], length - i);
}

std::string MD5::finish()
{
    unsigned char bits[8];
    encode(bits, m_count, 8);
    const size_t index = (m_count[0] >> 3) & 0x3f;
    const size_t padLength = (index < 56) ? (56 - index) : (120 - index);
    update(kPadding, padLength);
    update(bits, 8);
    encode(m_digest, m_state, 16);

    char text[33];
    for (int i = 0; i < 16; ++i)
        snprintf(text + 2 * i, 3, "%02x", m_digest[i]);
    return std::string(text, 32);
}

void MD5::encode(unsigned char* output, const uint32_t* input, size_t length)
{
    assert(length % 4 == 0 && "nLength % 4 == 0");
    for (size_t i = 0, j = 0; j < length; ++i, j += 4) {
        output[j] = input[i] & 0xff;
        output[j + 1] = (input[i] >> 8) & 0xff;
        output[j + 2] = (input[i] >> 16) & 0xff;
        output[j + 3] = (input[i] >> 24) & 0xff;
    }
}

void MD5::decode(uint32_t* output, const unsigned char* input, size_t length)
{
    assert(length % 4 == 0 && "nLength % 4 == 0");
    for (size_t i = 0, j = 0; j < length; ++i, j += 4)
        output[i] = uint32_t(input[j]) | uint32_t(input[j + 1]) << 8 | uint32_t(input[j + 2]) << 16 |
                    uint32_t(input[j + 3]) << 24;
}

void MD5::transform(const unsigned char block[64])
{
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], x[16];
    decode(x, block, 64);

    step<F>(a, b, c, d, x[0], 7, 0xd76aa478);   step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    step<F>(c, d, a, b, x[2], 17, 0x242070db);  step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);   step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    step<F>(c, d, a, b, x[6], 17, 0xa8304613);  step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    step<F>(a, b, c, d, x[8], 7, 0x698098d8);   step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    step<F>(c, d, a, b, x[10], 17, 0xffff5bb1); step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    step<F>(a, b, c, d, x[12], 7, 0x6b901122);  step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    step<F>(c, d, a, b, x[14], 17, 0xa679438e); step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    step<G>(a, b, c, d, x[1], 5, 0xf61e2562);   step<G>(d, a, b, c, x[6], 9, 0xc040b340);
    step<G>(c, d, a, b, x[11], 14, 0x265e5a51); step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    step<G>(a, b, c, d, x[5], 5, 0xd62f105d);   step<G>(d, a, b, c, x[10], 9, 0x02441453);
    step<G>(c, d, a, b, x[15], 14, 0xd8a1e681); step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    step<G>(a, b, c, d, x[9], 5, 0x21e1cde6);   step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
    step<G>(c, d, a, b, x[3], 14, 0xf4d50d87);  step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
    step<G>(a, b, c, d, x[13], 5, 0xa9e3e905);  step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
    step<G>(c, d, a, b, x[7], 14, 0x676f02d9);  step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    step<H>(a, b, c, d, x[5], 4, 0xfffa3942);   step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    step<H>(c, d, a, b, x[11], 16, 0x6d9d6122); step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    step<H>(a, b, c, d, x[1], 4, 0xa4beea44);   step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);  step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);  step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);  step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);   step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8); step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    step<I>(a, b, c, d, x[0], 6, 0xf4292244);   step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    step<I>(c, d, a, b, x[14], 15, 0xab9423a7); step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    step<I>(a, b, c, d, x[12], 6, 0x655b59c3);  step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    step<I>(c, d, a, b, x[10], 15, 0xffeff47d); step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);   step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    step<I>(c, d, a, b, x[6], 15, 0xa3014314);  step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    step<I>(a, b, c, d, x[4], 6, 0xf7537e82);   step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);  step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    memset(x, 0, sizeof x);
}

std::string md5Data(const void* bytes, size_t length)
{
    MD5 md5;
    md5.update(static_cast<const unsigned char*>(bytes), length);
    return md5.finish();
}

std::string md5String(const char* text)
{
    return md5Data(text, strlen(text));
}

std::string md5File(const char* path)
{
    // Only regular files: /dev/zero would never end and a FIFO would block the caller.
    const int fd = gFunc::openRegularFile(path);
    if (fd < 0)
        return std::string();
    FILE* file = fdopen(fd, "rb");
    if (!file) {
        close(fd);
        return std::string();
    }
    MD5 md5;
    unsigned char chunk[kFileChunk];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        md5.update(chunk, n);
    // A read error (not end of file) would give the digest of a truncated file.
    const bool failed = ferror(file);
    fclose(file);
    return failed ? std::string() : md5.finish();
}
