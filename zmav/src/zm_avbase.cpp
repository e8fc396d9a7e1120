// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_avbase.h>
#include <zmav/zm_error.h>

#include <atomic>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

namespace ZM {

ZM_AVBase::ZM_AVBase()
    : m_srcFrame(nullptr)
    , m_dstFrame(nullptr)
{
}

ZM_AVBase::~ZM_AVBase()
{
    av_frame_free(&m_srcFrame);
    av_frame_free(&m_dstFrame);
}

void ZM_AVBase::init(int width, int height, int srcFormat, int dstFormat)
{
    initTmpFrame(width, height, width, height, srcFormat, dstFormat);
}

int ZM_AVBase::rowAlignment(int width)
{
    int align = 32;
    while (align > 1 && width % align != 0)
        align /= 2;
    return align;
}

namespace {

int checkedAlignment(int width)
{
    const int align = ZM_AVBase::rowAlignment(width);
    if (align == 1)
        throw ZM_Error("@ ZM_AVBase::initTmpFrame(...): align error !");
    return align;
}

} // namespace

void ZM_AVBase::initDestination(int width, int height, int dstFormat)
{
    const int align = checkedAlignment(width);
    av_frame_free(&m_srcFrame);
    av_frame_free(&m_dstFrame);
    if (!private_mallocFrame(&m_dstFrame, width, height, dstFormat, align))
        throw ZM_Error("@ private_mallocFrame() error !");
}

void ZM_AVBase::initTmpFrame(int srcW, int srcH, int dstW, int dstH, int srcFormat, int dstFormat)
{
    const int align = checkedAlignment(srcW);
    av_frame_free(&m_srcFrame);
    av_frame_free(&m_dstFrame);
    if (!private_mallocFrame(&m_srcFrame, srcW, srcH, srcFormat, align)
        || !private_mallocFrame(&m_dstFrame, dstW, dstH, dstFormat, align))
        throw ZM_Error("@ private_mallocFrame() error !");
}

bool ZM_AVBase::private_mallocFrame(AVFrame** frame, int width, int height, int format, int align)
{
    AVFrame* f = av_frame_alloc();
    if (!f)
        return false;
    f->format = format;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, align) < 0) {
        av_frame_free(&f);
        return false;
    }
    *frame = f;
    return true;
}

void ZM_AVBase::prepare_test_frame(AVFrame* frame, int width, int height)
{
    static std::atomic<unsigned> counter{0};
    const unsigned n = counter.fetch_add(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame->data[0][y * frame->linesize[0] + x] = uint8_t(3 * n + x + y);
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            frame->data[1][y * frame->linesize[1] + x] = uint8_t(2 * n + y - 128);
            frame->data[2][y * frame->linesize[2] + x] = uint8_t(5 * n + 64 + x);
        }
}

} // namespace ZM
