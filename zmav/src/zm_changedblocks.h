// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav.h>

#include <cstdint>
#include <vector>

namespace ZM {

// Which 16 x 16 blocks (the encoder's macroblocks) of a YUV 4:2:0 picture differ from the
// picture before it, for pictures whose producer did not say what changed: a periodic whole
// grab, a producer without damage reports, a compositor that reports the whole screen. The
// comparison stops at a block's first differing row, so on a moving picture it costs little.
//
// One thread at a time.
class ZM_ChangedBlocks {
public:
    ZM_ChangedBlocks(int width, int height);

    // Compares two pictures (planes back to back). The changed blocks, joined along each row
    // of blocks and clipped to the picture, go to *rects; false when every block changed.
    bool find(const uint8_t* before, const uint8_t* after, std::vector<ZMAV_Rect>* rects) const;

private:
    bool blockDiffers(const uint8_t* before, const uint8_t* after, int column, int row) const;

    int m_width;
    int m_height;
    int m_columns;
    int m_rows;
};

} // namespace ZM
