// SPDX-License-Identifier: GPL-2.0-or-later
// Life of a recording through the C interface: what is refused when, replacing and stopping
// recordings, and stopping while capture threads are still inside the library.

#include "recording_helpers.h"

#include "mp4_probe.h"

#include <gtest/gtest.h>

using namespace rec;
using mp4probe::probeMp4;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;

class Lifecycle : public ::testing::Test {
protected:
    void TearDown() override { ZMAV_Stop(nullptr, nullptr); }
    // The MP4 writer leaves out tracks that never got a packet.
    static int64_t videoPackets(const mp4probe::Mp4Info& info)
    {
        const auto* v = info.stream("video");
        return v ? v->packets : 0;
    }
    TempDir dir;
    const std::vector<unsigned char> pic = picture(kW, kH, 0);
    const std::vector<unsigned char> pcm = std::vector<unsigned char>(4096, 0);

    int video() { return ZMAV_EncodeVideoFrame(nullptr, nullptr, pic.data(), int(pic.size())); }
    int audio() { return ZMAV_EncodeAudioFrame(nullptr, nullptr, pcm.data(), int(pcm.size())); }
};

} // namespace

TEST_F(Lifecycle, EncodeRefusedWithoutARunningRecording)
{
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);

    const std::string path = dir.file("refused.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO)));
    EXPECT_EQ(video(), 0); // opened, not started yet
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(audio(), 1);
    EXPECT_EQ(ZMAV_EncodeAudioFrame(nullptr, nullptr, pcm.data(), -1), 0);
    ZMAV_Pause(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);
    ZMAV_Resume(nullptr, nullptr);
    EXPECT_EQ(audio(), 1);
    ZMAV_Stop(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);
    ZMAV_Stop(nullptr, nullptr); // a second stop does nothing
    EXPECT_TRUE(probeMp4(path).ok);
}

TEST_F(Lifecycle, FailedOpenLeavesNoRecording)
{
    ZM_MovieInfo odd = movieInfo(dir.file("odd.mp4"), ZM_VIDEO, 10, 321, 240);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, odd));
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("x.unknownext"), ZM_VIDEO)));
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("no/such/dir.mp4"), ZM_VIDEO)));
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    ZM_MovieInfo unterminated = movieInfo(dir.file("u.mp4"), ZM_VIDEO);
    std::memset(unterminated.save_path, 'a', sizeof unterminated.save_path);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, unterminated));
    ZMAV_Stop(nullptr, nullptr);
}

TEST_F(Lifecycle, EmptyPathKeepsTheCurrentRecording)
{
    const std::string path = dir.file("kept.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO)));
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo("", ZM_VIDEO)));
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 1);
    sleepMs(300);
    ZMAV_Stop(nullptr, nullptr);
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_GE(info.stream("video")->packets, 1);
}

TEST_F(Lifecycle, SecondInitFinalisesTheFirstFile)
{
    const std::string first = dir.file("first.mp4");
    const std::string second = dir.file("second.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(first, ZM_AUDIO_VIDEO)));
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(second, ZM_AUDIO_VIDEO)));
    const auto info = probeMp4(first); // readable: the trailer was written
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(videoPackets(info), 0);
    ZMAV_Stop(nullptr, nullptr);
    EXPECT_TRUE(probeMp4(second).ok);
}

TEST_F(Lifecycle, NullPictureFillsASlotWithTheLastPicture)
{
    const std::string path = dir.file("null.mp4");
    ZM_MovieInfo info = movieInfo(path, ZM_VIDEO, 50);
    info.autoJumpFrame = false; // slots only for what is handed in
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, info));
    ZMAV_Start(nullptr, nullptr);
    const auto other = picture(kW, kH, 30, 10, 200, 10);
    EXPECT_EQ(video(), 1);
    EXPECT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, other.data(), int(other.size())), 1);
    sleepMs(int(600 * kSlowdown));
    ZMAV_Stop(nullptr, nullptr);

    ASSERT_EQ(mp4probe::countVideoFrames(path), 3);
    const auto p0 = mp4probe::decodeVideoFrame(path, 0);
    const auto p1 = mp4probe::decodeVideoFrame(path, 1);
    const auto p2 = mp4probe::decodeVideoFrame(path, 2);
    ASSERT_TRUE(p0.ok && p1.ok && p2.ok);
    EXPECT_NEAR(p1.pixel(100, 20).r, p0.pixel(100, 20).r, 8);
    EXPECT_NEAR(p0.pixel(100, 20).g, 120, 12);
    EXPECT_NEAR(p2.pixel(100, 20).g, 200, 12);
}

// With both streams the encoder takes sound up to the end of the first frame slot (at 10 fps
// five 1024-sample frames), then waits for the first picture: nothing drains the audio slots.
TEST_F(Lifecycle, SeventeenthWaitingAudioChunkIsRefusedAndStopEndsTheWaitQuickly)
{
    const std::string path = dir.file("waiting.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO, 10)));
    ZMAV_Start(nullptr, nullptr);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(audio(), 1);
    sleepMs(int(200 * kSlowdown));
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(audio(), 1) << "chunk " << i;
    EXPECT_EQ(audio(), 0);
    EXPECT_EQ(audio(), 0);
    ZMAV_Stats stats{};
    ASSERT_EQ(ZMAV_GetStats(nullptr, nullptr, &stats), 1);
    EXPECT_EQ(stats.audioChunksRefused, 2);

    sleepMs(100);
    const auto t0 = Clock::now();
    ZMAV_Stop(nullptr, nullptr);
    EXPECT_LT(secondsSince(t0), 0.1 * kSlowdown);
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(videoPackets(info), 0);
}

// Pictures left waiting when a recording stops belong to it alone: the next recording starts
// with its own first picture.
TEST_F(Lifecycle, WaitingInputIsDroppedAtStop)
{
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("a.mp4"), ZM_AUDIO_VIDEO)));
    ZMAV_Start(nullptr, nullptr);
    const auto red = picture(kW, kH, 0, 0, 0, 255);
    // No sound arrives, so the encoder waits for it and the pictures pile up in the slots.
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, red.data(), int(red.size())), 1);
    ZMAV_Stop(nullptr, nullptr);
    ZMAV_Stats stats{};
    ASSERT_EQ(ZMAV_GetStats(nullptr, nullptr, &stats), 1);
    EXPECT_EQ(stats.picturesDropped, 5);
    EXPECT_EQ(stats.newPictures, 0);

    const std::string path = dir.file("b.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, 20)));
    ZMAV_Start(nullptr, nullptr);
    const auto blue = picture(kW, kH, 0, 255, 0, 0);
    ASSERT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, blue.data(), int(blue.size())), 1);
    sleepMs(300);
    ZMAV_Stop(nullptr, nullptr);
    const auto first = mp4probe::decodeVideoFrame(path, 0);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_GT(first.pixel(100, 20).b, 200);
    EXPECT_LT(first.pixel(100, 20).r, 50);
}

TEST_F(Lifecycle, ExitWithoutStopFinishesTheFile)
{
    const std::string path = dir.file("exit.mp4");
    EXPECT_EXIT(
        {
            ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, 20));
            ZMAV_Start(nullptr, nullptr);
            for (int i = 0; i < 5; ++i)
                video();
            sleepMs(300);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_GE(videoPackets(info), 5);
}

// Stop while the capture threads are blocked in (video) or passing through (audio) the
// library, over and over: the recording must not be destroyed under them.
TEST_F(Lifecycle, StopWhileCaptureThreadsAreInside)
{
    for (int round = 0; round < 8; ++round) {
        const std::string path = dir.file("race" + std::to_string(round) + ".mp4");
        ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, round % 2 ? ZM_AUDIO_VIDEO : ZM_VIDEO, 30)));
        ZMAV_Start(nullptr, nullptr);
        std::atomic<bool> quit{false};
        std::thread videoThread([&] {
            while (!quit)
                video();
        });
        std::thread audioThread([&] {
            while (!quit) {
                audio();
                std::this_thread::yield();
            }
        });
        sleepMs(60 + 20 * round);
        ZMAV_Stop(nullptr, nullptr);
        EXPECT_EQ(video(), 0);
        quit = true;
        videoThread.join();
        audioThread.join();
        EXPECT_TRUE(probeMp4(path).ok) << "round " << round;
    }
}
