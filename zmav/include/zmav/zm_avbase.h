// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

struct AVFrame;

namespace ZM {

// Holds the picture buffers of an encoder: one in planar YUV 4:2:0 and, when initTmpFrame made
// them, one in the source format, each with its own image buffer. Set-up failures are thrown
// as ZM_Error, with messages beginning with "@ ".
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

    // Allocates only the YUV 4:2:0 buffer, with initTmpFrame's alignment and its refusal of
    // an odd width, for an encoder that converts straight from the caller's picture: a source
    // buffer would cost a copy and a picture's worth of memory. srcFrame() stays null.
    void initDestination(int width, int height, int dstFormat);

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
