// SPDX-License-Identifier: GPL-2.0-or-later
// The recording manager driven directly: the wall-clock schedule of video-only recordings,
// waiting for pictures, and the flags around starting.

#include <zmav/zm_avencoder.h>
#include <zmav/zm_avmanager.h>

#include "mp4_probe.h"
#include "recording_helpers.h"

#include <gtest/gtest.h>

using namespace rec;
using ZM::ZM_AVManager;

namespace {

class Manager : public ::testing::Test {
protected:
    TempDir dir;

    // Feeds pictures straight to the manager at fps on its own thread.
    struct Feeder {
        Feeder(ZM_AVManager& m, int fps, int w, int h)
        {
            thread = std::thread([&m, fps, w, h, this] {
                const auto px = picture(w, h, 3);
                const auto start = Clock::now();
                for (long k = 0; !quit; ++k) {
                    m.ZM_writeVideo(px.data(), int(px.size()), true);
                    std::this_thread::sleep_until(
                        start + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>((k + 1) / double(fps))));
                }
            });
        }
        ~Feeder()
        {
            quit = true;
            thread.join();
        }
        std::atomic<bool> quit{false};
        std::thread thread;
    };
};

} // namespace

// Slot k is written at start + k / frameRate: at 60 fps a per-pass schedule that truncates
// the interval to whole milliseconds (16 instead of 16.67) would be 4 % fast.
TEST_F(Manager, VideoOnlySlotsKeepToTheWallClock)
{
    const int fps = 60;
    ZM_MovieInfo info = movieInfo(dir.file("pace.mp4"), ZM_VIDEO, fps, 160, 120);
    ZM_AVManager m;
    ASSERT_TRUE(m.open(&info));
    m.ZM_Start();
    Feeder feeder(m, fps, 160, 120);
    while (m.encoder()->frameSlots() == 0)
        sleepMs(1);
    const auto t0 = Clock::now();
    sleepMs(3000);
    const double elapsed = secondsSince(t0);
    const double slots = m.encoder()->frameSlots() - 1.0;
    m.ZM_Stop();
    EXPECT_NEAR(slots, elapsed * fps, 2.0 + 0.005 * elapsed * fps)
        << slots << " slots in " << elapsed << " s";
}

// After a long stall (here: no pictures for a second) the schedule starts afresh instead of
// encoding the pictures that then arrive as fast as it can to make up the lost second.
TEST_F(Manager, NoCatchUpBurstAfterAStall)
{
    const int fps = 20;
    ZM_MovieInfo info = movieInfo(dir.file("stall.mp4"), ZM_VIDEO, fps, 160, 120);
    info.autoJumpFrame = false;
    ZM_AVManager m;
    ASSERT_TRUE(m.open(&info));
    m.ZM_Start();
    const auto px = picture(160, 120, 0);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(m.ZM_writeVideo(px.data(), int(px.size()), true));
        sleepMs(1000 / fps);
    }
    sleepMs(1000);
    ASSERT_EQ(m.encoder()->frameSlots(), 4u);
    std::thread burst([&] {
        for (int i = 0; i < 8; ++i)
            m.ZM_writeVideo(px.data(), int(px.size()), true);
    });
    sleepMs(200);
    const uint32_t slots = m.encoder()->frameSlots() - 4;
    EXPECT_GE(slots, 2u);
    EXPECT_LE(slots, 6u); // one at once, then one per 50 ms
    burst.join();
    m.ZM_Stop();
}

TEST_F(Manager, WithoutAutoJumpTheLoopWaitsForPictures)
{
    ZM_MovieInfo info = movieInfo(dir.file("wait.mp4"), ZM_VIDEO, 30, 160, 120);
    info.autoJumpFrame = false;
    ZM_AVManager m;
    ASSERT_TRUE(m.open(&info));
    m.ZM_Start();
    const auto px = picture(160, 120, 0);
    ASSERT_TRUE(m.ZM_writeVideo(px.data(), int(px.size()), true));
    ASSERT_TRUE(m.ZM_writeVideo(px.data(), int(px.size()), true));
    sleepMs(300);
    EXPECT_EQ(m.encoder()->frameSlots(), 2u);
    ASSERT_TRUE(m.ZM_writeVideo(px.data(), int(px.size()), true));
    sleepMs(200);
    EXPECT_EQ(m.encoder()->frameSlots(), 3u);
    const auto t0 = Clock::now();
    m.ZM_Stop();
    EXPECT_LT(secondsSince(t0), 0.1 * kSlowdown);
    EXPECT_EQ(mp4probe::countVideoFrames(info.save_path), 3);
}

TEST_F(Manager, PauseBeforeStartOnlySetsTheFlag)
{
    ZM_MovieInfo info = movieInfo(dir.file("flags.mp4"), ZM_AUDIO);
    ZM_AVManager m;
    ASSERT_TRUE(m.open(&info));
    EXPECT_FALSE(m.open(&info)); // one recording per manager
    m.ZM_Pause();
    m.ZM_Resume();
    m.ZM_Pause();
    EXPECT_FALSE(m.is_Working());
    const unsigned char pcm[64] = {};
    EXPECT_FALSE(m.ZM_writeAudio(pcm, 64, false));
    m.ZM_Start(); // clears the pause
    EXPECT_TRUE(m.is_Working());
    EXPECT_TRUE(m.ZM_writeAudio(pcm, 64, false));
    m.ZM_Stop();
    EXPECT_FALSE(m.is_Working());
    m.ZM_Start(); // a stopped recording stays stopped
    EXPECT_FALSE(m.is_Working());
}

TEST_F(Manager, NothingToRecordIsRefused)
{
    ZM_MovieInfo info = movieInfo(dir.file("none.mp4"), 0);
    ZM_AVManager m;
    EXPECT_FALSE(m.open(&info));
    m.ZM_Start();
    EXPECT_FALSE(m.is_Working());
}

TEST_F(Manager, DestroyingARunningRecordingFinalisesIt)
{
    ZM_MovieInfo info = movieInfo(dir.file("dtor.mp4"), ZM_VIDEO, 20, 160, 120);
    {
        ZM_AVManager m;
        ASSERT_TRUE(m.open(&info));
        m.ZM_Start();
        const auto px = picture(160, 120, 0);
        ASSERT_TRUE(m.ZM_writeVideo(px.data(), int(px.size()), true));
        sleepMs(200);
    }
    const auto probe = mp4probe::probeMp4(info.save_path);
    ASSERT_TRUE(probe.ok) << probe.error;
    EXPECT_GE(probe.stream("video")->packets, 2);
}
