// SPDX-License-Identifier: GPL-2.0-or-later
// Picture and system sound recorded together: a client flashes the screen and beeps at the
// same instants; in the file every beep must lie close to its flash, also across a pause.
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <zmav/zmav.h>

#include "av_measure.h"
#include "flash_beep_client.h"
#include "library_recording.h"
#include "mp4_probe.h"
#include "test_support.h"
#include "zm_capture.h"

using namespace audiotest;

namespace {

constexpr int Fps = 30;
// A picture shows the screen up to one frame after the instant it stands for, so beeps lie
// up to a frame ahead of their flashes. A picture pool that stays full (pictures several frames
// old), slots filled late behind the encoder's delay, or sound that lags its timeline all show
// as offsets well beyond these bounds.
constexpr double MaxMedianOffset = 0.045;
constexpr double MaxOffset = 0.08;

bool videoToLibrary(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes),
                                 count) != 0;
}

// Opens a recording of the top-left 640x360 pixels with system sound, in the recorder's order.
void openAv(const std::string& path)
{
    ZM_MovieInfo info = audioOnlyMovie(path, 48000, 2);
    info.has_audio_video = ZM_AUDIO_VIDEO;
    info.FrameFormat = FRAME_BGRA;
    info.width = 640;
    info.height = 360;
    info.frameRate = Fps;
    info.gopSize = Fps;
    info.videoBitRate = 2000000;
    ASSERT_TRUE(Capture_CreateScreen(0, 0, info.width, info.height, Fps, false));
    Capture_SetVideoCallback(&videoToLibrary);
    std::string error;
    ASSERT_TRUE(openRecording(Source::SystemSound, info, error)) << error;
}

void startAv()
{
    ASSERT_TRUE(startRecording());
    Capture_StartScreen();
}

void stopAv()
{
    stopRecording();
    Capture_StopScreen();
}

void report(const char* what, const avmeasure::Offsets& m)
{
    std::printf("%s: %zu flashes, %zu beeps, offsets (beep - flash, ms):", what, m.flashes.size(),
                m.beeps.size());
    for (double o : m.offsets)
        std::printf(" %.0f", o * 1000);
    std::printf("; median %.0f ms, worst %.0f ms\n", m.median() * 1000, m.worst() * 1000);
}

// Waits until `seconds` after `clock` started.
void spinTo(const QElapsedTimer& clock, double seconds)
{
    spin(std::max(0, int(seconds * 1000 - clock.elapsed())));
}

}  // namespace

TEST(AudioVideoSync, BeepsLieOnTheirFlashes)
{
    const std::string path = tempPath("sync.mp4");
    FlashBeepClient client({2.5, 3.3, 4.1, 4.9});
    ASSERT_TRUE(client.start());
    openAv(path);
    startAv();
    ASSERT_TRUE(waitUntil([&] { return client.done(); }, 15000));
    spin(300);
    stopAv();

    const avmeasure::Offsets m = avmeasure::measure(path);
    ASSERT_TRUE(m.error.empty()) << m.error;
    report("sync", m);
    EXPECT_EQ(m.flashes.size(), 4u);
    ASSERT_EQ(m.offsets.size(), 4u);
    EXPECT_LE(std::fabs(m.median()), MaxMedianOffset);
    EXPECT_LE(m.worst(), MaxOffset);
}

TEST(AudioVideoSync, PauseLeavesNoGapAndKeepsSync)
{
    const std::string path = tempPath("pause.mp4");
    FlashBeepClient client({2.5, 3.3, 5.1, 5.9});
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(client.start());
    openAv(path);
    startAv();
    spinTo(clock, 3.7);
    ZMAV_Pause(nullptr, nullptr);
    Capture_PauseAudio();
    Capture_PauseScreen();
    spinTo(clock, 4.7);
    Capture_ResumeAudio();
    Capture_ResumeScreen();
    ZMAV_Resume(nullptr, nullptr);
    ASSERT_TRUE(waitUntil([&] { return client.done(); }, 15000));
    spin(300);
    const double wall = clock.elapsed() / 1000.0;
    stopAv();

    const avmeasure::Offsets m = avmeasure::measure(path);
    ASSERT_TRUE(m.error.empty()) << m.error;
    report("pause", m);
    ASSERT_EQ(m.flashes.size(), 4u);
    ASSERT_EQ(m.offsets.size(), 4u);
    EXPECT_LE(std::fabs(m.median()), MaxMedianOffset);
    EXPECT_LE(m.worst(), MaxOffset);
    // Flashes 1.8 s apart around a one-second pause lie 0.8 s apart in the file: the pause
    // took exactly the paused second out, no more, no less.
    EXPECT_NEAR(m.flashes[2] - m.flashes[1], 0.8, 0.15);
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.duration, wall - 1.0, 0.4);
}
