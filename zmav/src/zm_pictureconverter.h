// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>

namespace ZM {

// Colour-space conversion of whole pictures to planar YUV 4:2:0 (BT.601, limited range) at the
// same size, for the two input layouts the library accepts: BGRA and NV21. libyuv does it
// exactly and about ten times faster than swscale's fast bilinear path.
class ZM_PictureConverter {
public:
    // srcFormat is AV_PIX_FMT_BGRA or AV_PIX_FMT_NV21; width is even.
    ZM_PictureConverter(int srcFormat, int width, int height);

    // Converts one picture as the library receives it (rows back to back, NV21's V/U plane
    // right after its Y plane, at any address) into the Y, U and V planes of a YUV420P picture
    // of width x height. Reading the caller's bytes directly spares a copy of the whole
    // picture into an aligned buffer.
    bool convert(const uint8_t* src, uint8_t* const planes[3], const int strides[3]) const;

    // convert() for the part x, y, width x height of a BGRA picture only (even values: whole
    // 2 x 2 chroma blocks), into the same place of the planes; the rest stays as it is. The
    // result there is exactly what convert() gives. False for NV21.
    bool convertArea(const uint8_t* src, uint8_t* const planes[3], const int strides[3], int x, int y,
                     int width, int height) const;

private:
    int m_srcFormat;
    int m_width;
    int m_height;
};

} // namespace ZM
