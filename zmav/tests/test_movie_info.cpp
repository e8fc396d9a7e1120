// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_movie_info.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

TEST(MovieInfo, DefaultsOfANewRecord)
{
    const ZM_MovieInfo info;
    EXPECT_EQ(info.FrameFormat, 1);
    EXPECT_EQ(info.FrameRotate, 0);
    EXPECT_EQ(info.frameRate, 7);
    EXPECT_EQ(info.videoBitRate, 45619);
    EXPECT_EQ(info.pix_x, 0);
    EXPECT_EQ(info.pix_y, 0);
    EXPECT_EQ(info.width, 352);
    EXPECT_EQ(info.height, 288);
    EXPECT_EQ(info.gopSize, 7);
    EXPECT_EQ(info.maxBframe, 2);
    EXPECT_DOUBLE_EQ(info.quality, 0.3);
    EXPECT_FALSE(info.grabCursor);
    EXPECT_TRUE(info.autoJumpFrame);
    EXPECT_EQ(info.waterText, nullptr);
    EXPECT_EQ(info.waterImage, nullptr);
    EXPECT_EQ(info.SampleFormat, SF_S16);
    EXPECT_EQ(info.sampleSz(), 16);
    EXPECT_EQ(info.audioSampleRate, 8000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.audioBitRate, 192000);
    EXPECT_EQ(info.audioFrom, 0);
    EXPECT_EQ(info.has_audio_video, ZM_AUDIO_VIDEO);
    EXPECT_EQ(info.save_path[0], '\0');

    ZM_MovieInfo c;
    std::memset(&c, 0x5a, sizeof c);
    ZM_MovieInfo_setDefaults(&c);
    EXPECT_EQ(c.videoBitRate, 45619);
    EXPECT_EQ(c.save_path[127], '\0');
}

TEST(MovieInfo, LayoutKeepsTheFieldOrderOfTheInterface)
{
    EXPECT_LT(offsetof(ZM_MovieInfo, FrameFormat), offsetof(ZM_MovieInfo, frameRate));
    EXPECT_LT(offsetof(ZM_MovieInfo, maxBframe), offsetof(ZM_MovieInfo, quality));
    EXPECT_EQ(offsetof(ZM_MovieInfo, autoJumpFrame), offsetof(ZM_MovieInfo, grabCursor) + 1);
    EXPECT_LT(offsetof(ZM_MovieInfo, waterImage), offsetof(ZM_MovieInfo, SampleFormat));
    EXPECT_EQ(sizeof(ZM_MovieInfo::save_path), 128u);
    EXPECT_EQ(offsetof(ZM_MovieInfo, save_path) + 128, sizeof(ZM_MovieInfo));
}

TEST(MovieInfo, FormatMappings)
{
    ZM_MovieInfo info;
    info.FrameFormat = FRAME_BGRA;
    EXPECT_EQ(ZM::getFrameFormat(info), AV_PIX_FMT_BGRA);
    EXPECT_EQ(ZM::pictureBytes(info), 352 * 288 * 4);
    info.FrameFormat = FRAME_NV21;
    EXPECT_EQ(ZM::getFrameFormat(info), AV_PIX_FMT_NV21);
    info.FrameFormat = 2;
    EXPECT_EQ(ZM::getFrameFormat(info), AV_PIX_FMT_NV21);
    EXPECT_EQ(ZM::pictureBytes(info), 352 * 288 * 3 / 2);
    EXPECT_EQ(ZM::getSampleFormat(info), AV_SAMPLE_FMT_S16);
}

TEST(MovieInfoDeathTest, SampleSizeRequiresSigned16Bit)
{
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are compiled out";
#else
    ZM_MovieInfo info;
    info.SampleFormat = static_cast<ZM_SampleFormat>(1);
    EXPECT_DEATH(info.sampleSz(), "SF_S16==sf");
#endif
}
