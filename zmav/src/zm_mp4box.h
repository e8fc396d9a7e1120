// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace ZM {

constexpr uint32_t fourcc(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16
        | uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}

inline uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline uint64_t be64(const uint8_t* p)
{
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}

inline void putBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// One ISO base media (MP4) box: where it starts, its whole size, the size of its header
// (8 bytes, or 16 with a 64-bit size) and its type. Positions are offsets into whatever holds
// the box: the file, or a buffer read from it.
struct ZM_Mp4Box {
    int64_t pos = 0;
    int64_t size = 0;
    int header = 8;
    uint32_t type = 0;

    int64_t payload() const { return pos + header; }
    int64_t end() const { return pos + size; }

    // The box whose header starts at pos inside data[0, limit). False when the header does not
    // fit, or the box claims less than its header or more than the limit (a torn or foreign
    // box). A size of 0 ("up to the end") is refused too: the library never writes one.
    static bool parse(const uint8_t* data, int64_t limit, int64_t pos, ZM_Mp4Box* box);
    // The first child of the given type among the boxes that fill data[from, to).
    static bool find(const std::vector<uint8_t>& data, int64_t from, int64_t to, uint32_t type,
                     ZM_Mp4Box* box);
    // Same inside a parent box held in data.
    static bool findIn(const std::vector<uint8_t>& data, const ZM_Mp4Box& parent, uint32_t type,
                       ZM_Mp4Box* box)
    {
        return find(data, parent.payload(), parent.end(), type, box);
    }
};

} // namespace ZM
