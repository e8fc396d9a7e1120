// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_pictureconverter.h"

#include <libyuv/convert.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace ZM {

ZM_PictureConverter::ZM_PictureConverter(int srcFormat, int width, int height)
    : m_srcFormat(srcFormat)
    , m_width(width)
    , m_height(height)
{
}

bool ZM_PictureConverter::convert(const uint8_t* src, uint8_t* const planes[3],
                                  const int strides[3]) const
{
    // libyuv names formats by 32-bit word order on little-endian machines: its "ARGB" is the
    // byte sequence B, G, R, A, which is FFmpeg's BGRA.
    if (m_srcFormat == AV_PIX_FMT_BGRA)
        return libyuv::ARGBToI420(src, m_width * 4, planes[0], strides[0], planes[1], strides[1],
                                  planes[2], strides[2], m_width, m_height)
               == 0;
    if (m_srcFormat == AV_PIX_FMT_NV21) {
        // With an even width a V/U row holds exactly width bytes.
        const uint8_t* vu = src + size_t(m_width) * m_height;
        return libyuv::NV21ToI420(src, m_width, vu, m_width, planes[0], strides[0], planes[1],
                                  strides[1], planes[2], strides[2], m_width, m_height)
               == 0;
    }
    return false;
}

bool ZM_PictureConverter::convertArea(const uint8_t* src, uint8_t* const planes[3], const int strides[3],
                                      int x, int y, int width, int height) const
{
    if (m_srcFormat != AV_PIX_FMT_BGRA || x % 2 || y % 2 || width % 2 || height % 2)
        return false;
    const uint8_t* from = src + (size_t(y) * m_width + x) * 4;
    uint8_t* luma = planes[0] + size_t(y) * strides[0] + x;
    uint8_t* u = planes[1] + size_t(y / 2) * strides[1] + x / 2;
    uint8_t* v = planes[2] + size_t(y / 2) * strides[2] + x / 2;
    return libyuv::ARGBToI420(from, m_width * 4, luma, strides[0], u, strides[1], v, strides[2], width, height)
           == 0;
}

} // namespace ZM
