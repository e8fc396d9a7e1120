// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_changedblocks.h"

#include <algorithm>
#include <cstring>

namespace ZM {

namespace {
constexpr int kBlock = 16;
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
        if (std::memcmp(before + at, after + at, size_t(width)) != 0)
            return true;
    }
    const int chromaWidth = (m_width + 1) / 2;
    const size_t luma = size_t(m_width) * m_height, chroma = size_t(chromaWidth) * ((m_height + 1) / 2);
    for (size_t plane = luma; plane < luma + 2 * chroma; plane += chroma)
        for (int line = 0; line < (height + 1) / 2; ++line) {
            const size_t at = plane + size_t(y / 2 + line) * chromaWidth + x / 2;
            if (std::memcmp(before + at, after + at, size_t(width + 1) / 2) != 0)
                return true;
        }
    return false;
}

} // namespace ZM
