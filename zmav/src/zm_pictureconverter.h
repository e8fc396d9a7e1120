#pragma once

struct AVFrame;

namespace ZM {

// Colour-space conversion of whole pictures to planar YUV 4:2:0 (BT.601, limited range) at the
// same size, for the two input layouts the library accepts: BGRA and NV21. libyuv does it
// exactly and about ten times faster than swscale's fast bilinear path.
class ZM_PictureConverter {
public:
    // srcFormat is AV_PIX_FMT_BGRA or AV_PIX_FMT_NV21.
    ZM_PictureConverter(int srcFormat, int width, int height);

    // Converts src (in the source format) into dst (YUV420P); both are width x height.
    bool convert(const AVFrame* src, AVFrame* dst) const;

private:
    int m_srcFormat;
    int m_width;
    int m_height;
};

} // namespace ZM
