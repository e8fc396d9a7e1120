// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_movieinfo_printer.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(MovieInfoPrinter, PrintsEveryFieldInOrder)
{
    ZM_MovieInfo info;
    info.FrameFormat = 0;
    info.frameRate = 15;
    info.width = 1280;
    info.height = 720;
    info.pix_x = 10;
    info.pix_y = 20;
    info.quality = 0.5;
    info.grabCursor = true;
    info.audioSampleRate = 44100;
    info.audioFrom = 1;
    info.waterImageX = 5;
    info.waterImageY = 6;
    info.waterTextX = 7;
    info.waterTextY = 8;
    std::strcpy(info.save_path, "/home/u/视频/KX~2024.01.02~03.04.mp4");

    testing::internal::CaptureStdout();
    printMovieInfo(info);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "--------- ZMMovieInfo ---------\n"
              "FrameFormat: 0\n"
              "FrameRotate: 0\n"
              "frameRate: 15\n"
              "videoBitRate: 45619\n"
              "pix_x: 10\n"
              "pix_y: 20\n"
              "width: 1280\n"
              "height: 720\n"
              "gopSize: 7\n"
              "maxBframe: 2\n"
              "quality: 0.500000\n"
              "grabCursor: 1\n"
              "autoJumpFrame: 1\n"
              "SampleFormat: 0\n"
              "sampleSz(): 16\n"
              "audioSampleRate: 44100\n"
              "channels: 2\n"
              "audioBitRate: 192000\n"
              "audio from: 1\n"
              "has_audio_video: 3\n"
              "save_path[128]: /home/u/视频/KX~2024.01.02~03.04.mp4\n"
              "Water Image: [ img: 0;  x: 5, y: 6]\n"
              "Water Text : [ img: 0;  x: 7, y: 8]\n");
}

TEST(MovieInfoPrinter, FullPathWithoutTerminatorStaysInTheRecord)
{
    ZM_MovieInfo info;
    std::memset(info.save_path, 'a', sizeof info.save_path);
    testing::internal::CaptureStdout();
    printMovieInfo(info);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("save_path[128]: " + std::string(127, 'a') + "\nWater Image"), std::string::npos);
}
