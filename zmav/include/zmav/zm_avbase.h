#pragma once

#include <zmav/zmav_export.h>

struct AVFrame;

namespace ZM {

// Holds the two picture buffers of an encoder: one in the source format and one in planar
// YUV 4:2:0, both with their own image buffers. Set-up failures are thrown as std::string
// messages beginning with "@ ".
class ZMAV_EXPORT ZM_AVBase {
public:
    ZM_AVBase();
    virtual ~ZM_AVBase();
    ZM_AVBase(const ZM_AVBase&) = delete;
    ZM_AVBase& operator=(const ZM_AVBase&) = delete;

    // initTmpFrame with the same size on both sides. Formats are AVPixelFormat values.
    void init(int width, int height, int srcFormat, int dstFormat);

    // Allocates both buffers with one row alignment: the largest power of two up to 32 that
    // divides the source width, so a 4-byte-per-pixel row is exactly width x 4 bytes and a
    // whole picture copies in one block. An odd width throws
    // "@ ZM_AVBase::initTmpFrame(...): align error !".
    void initTmpFrame(int srcW, int srcH, int dstW, int dstH, int srcFormat, int dstFormat);

    // Row alignment initTmpFrame uses for a source width (1 for an odd width).
    static int rowAlignment(int width);

    static bool private_mallocFrame(AVFrame** frame, int width, int height, int format, int align);

    // Paints a moving test pattern into a YUV420P picture (a process-wide counter moves it).
    static void prepare_test_frame(AVFrame* frame, int width, int height);

    AVFrame* srcFrame() const { return m_srcFrame; }
    AVFrame* dstFrame() const { return m_dstFrame; }

protected:
    AVFrame* m_srcFrame;
    AVFrame* m_dstFrame;
};

} // namespace ZM
