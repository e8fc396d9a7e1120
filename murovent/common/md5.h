// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// MD5 message digest (RFC 1321). Digest texts are 32 lower-case hexadecimal characters.
class MD5
{
public:
    MD5();
    void update(const unsigned char* input, size_t length);
    // Pads, appends the length and returns the digest text; the object is spent afterwards.
    std::string finish();

private:
    void transform(const unsigned char block[64]);
    static void encode(unsigned char* output, const uint32_t* input, size_t length);
    static void decode(uint32_t* output, const unsigned char* input, size_t length);

    uint32_t m_state[4];
    uint32_t m_count[2];  // bit count modulo 2^64, low word first
    unsigned char m_buffer[64];
    unsigned char m_digest[16];
};

std::string md5Data(const void* bytes, size_t length);
std::string md5String(const char* text);
// Empty when the path is not a regular file or cannot be read.
std::string md5File(const char* path);
