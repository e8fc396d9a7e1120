// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_changedblocks.h"

#include <algorithm>
#include <cstring>

namespace ZM {

namespace {

constexpr int kBlock = 16;

// A whole block's row compares word by word in place, not through a call: a picture has
// hundreds of thousands of such rows.
template <int Bytes>
bool sameWords(const uint8_t* a, const uint8_t* b)
{
    uint64_t diff = 0;
    for (int i = 0; i < Bytes; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        diff |= x ^ y;
    }
    return diff == 0;
}

bool sameRow(const uint8_t* a, const uint8_t* b, int bytes)
{
    if (bytes == kBlock)
        return sameWords<kBlock>(a, b);
    if (bytes == kBlock / 2)
        return sameWords<kBlock / 2>(a, b);
    return std::memcmp(a, b, size_t(bytes)) == 0;
}

} // namespace

ZM_ChangedBlocks::ZM_ChangedBlocks(int width, int height)
    : m_width(width)
    , m_height(height)
    , m_columns((width + kBlock - 1) / kBlock)
    , m_rows((height + kBlock - 1) / kBlock)
{
}

bool ZM_ChangedBlocks::find(const uint8_t* before, const uint8_t* after, std::vector<ZMAV_Rect>* rects) const
{
    rects->clear();
    int changed = 0;
    for (int row = 0; row < m_rows; ++row) {
        int run = -1;
        for (int column = 0; column <= m_columns; ++column) {
            const bool differs = column < m_columns && blockDiffers(before, after, column, row);
            changed += differs;
            if (differs && run < 0)
                run = column;
            if (!differs && run >= 0) {
                const int x = run * kBlock, y = row * kBlock;
                rects->push_back({x, y, std::min(column * kBlock, m_width) - x, std::min(y + kBlock, m_height) - y});
                run = -1;
            }
        }
    }
    return changed < m_columns * m_rows;
}

// The luma block first: where a picture moves, its first row already differs.
bool ZM_ChangedBlocks::blockDiffers(const uint8_t* before, const uint8_t* after, int column, int row) const
{
    const int x = column * kBlock, y = row * kBlock;
    const int width = std::min(kBlock, m_width - x), height = std::min(kBlock, m_height - y);
    for (int line = 0; line < height; ++line) {
        const size_t at = size_t(y + line) * m_width + x;
        if (!sameRow(before + at, after + at, width))
            return true;
    }
    const int chromaWidth = (m_width + 1) / 2;
    const size_t luma = size_t(m_width) * m_height, chroma = size_t(chromaWidth) * ((m_height + 1) / 2);
    for (size_t plane = luma; plane < luma + 2 * chroma; plane += chroma)
        for (int line = 0; line < (height + 1) / 2; ++line) {
            const size_t at = plane + size_t(y / 2 + line) * chromaWidth + x / 2;
            if (!sameRow(before + at, after + at, (width + 1) / 2))
                return true;
        }
    return false;
}

} // namespace ZM
