// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_avbase.h>
#include <zmav/zm_error.h>

#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

using ZM::ZM_AVBase;

TEST(AVBase, RowAlignmentIsTheLargestPowerOfTwoUpTo32DividingTheWidth)
{
    EXPECT_EQ(ZM_AVBase::rowAlignment(1920), 32);
    EXPECT_EQ(ZM_AVBase::rowAlignment(1280), 32);
    EXPECT_EQ(ZM_AVBase::rowAlignment(1680), 16);
    EXPECT_EQ(ZM_AVBase::rowAlignment(1366), 2);
    EXPECT_EQ(ZM_AVBase::rowAlignment(1367), 1);
}

TEST(AVBase, BuffersHaveRowsOfExactlyTheirWidth)
{
    ZM_AVBase base;
    base.init(1366, 768, AV_PIX_FMT_BGRA, AV_PIX_FMT_YUV420P);
    ASSERT_NE(base.srcFrame(), nullptr);
    ASSERT_NE(base.dstFrame(), nullptr);
    EXPECT_EQ(base.srcFrame()->linesize[0], 1366 * 4);
    EXPECT_EQ(base.srcFrame()->width, 1366);
    EXPECT_EQ(base.srcFrame()->height, 768);
    EXPECT_EQ(base.dstFrame()->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(base.dstFrame()->linesize[0], 1366);
    EXPECT_GE(base.dstFrame()->linesize[1], 683);
}

TEST(AVBase, OddWidthIsRefused)
{
    ZM_AVBase base;
    try {
        base.init(641, 480, AV_PIX_FMT_BGRA, AV_PIX_FMT_YUV420P);
        FAIL() << "an odd width was accepted";
    } catch (const ZM::ZM_Error& error) {
        EXPECT_EQ(error.message(), "@ ZM_AVBase::initTmpFrame(...): align error !");
    }
    EXPECT_EQ(base.srcFrame(), nullptr);
}

TEST(AVBase, TestPatternMovesWithEachPicture)
{
    ZM_AVBase base;
    base.init(64, 32, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P);
    AVFrame* f = base.dstFrame();
    ZM_AVBase::prepare_test_frame(f, 64, 32);
    const int n = f->data[0][0] / 3;  // the counter is process-wide: read where it stands
    EXPECT_EQ(f->data[0][0], uint8_t(3 * n));
    EXPECT_EQ(f->data[0][5 * f->linesize[0] + 7], uint8_t(3 * n + 12));
    EXPECT_EQ(f->data[1][4 * f->linesize[1] + 3], uint8_t(2 * n + 4 - 128));
    EXPECT_EQ(f->data[2][4 * f->linesize[2] + 3], uint8_t(5 * n + 64 + 3));
    ZM_AVBase::prepare_test_frame(f, 64, 32);
    EXPECT_EQ(f->data[0][0], uint8_t(3 * (n + 1)));
    EXPECT_EQ(f->data[2][0], uint8_t(5 * (n + 1) + 64));
}
