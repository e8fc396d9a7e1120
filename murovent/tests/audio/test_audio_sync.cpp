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
// The mix places each input's sound by when it arrived: on the median, its beeps lie at most
// this far behind or ahead of their flashes (frame slots scatter single ones by a slot).
constexpr double MaxMixedLag = 0.045;
constexpr double MaxMixedLead = 0.020;

bool videoToLibrary(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes),
                                 count) != 0;
}

// Opens a recording of the top-left 640x360 pixels with system sound (or another request), in
// the recorder's order.
void openAv(const std::string& path, const ZMSoundRequest& request = requestFor(Source::SystemSound))
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
    ASSERT_TRUE(openRecording(request, info, error)) << error;
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

// Records while the client flashes and beeps, and measures the file.
avmeasure::Offsets recordFlashesAndBeeps(const std::string& path, FlashBeepClient& client,
                                         const ZMSoundRequest& request = requestFor(Source::SystemSound))
{
    avmeasure::Offsets failed;
    if (!client.start()) {
        failed.error = "the flash and beep client did not start";
        return failed;
    }
    openAv(path, request);
    startAv();
    const bool done = waitUntil([&] { return client.done(); }, 15000);
    spin(300);
    stopAv();
    if (!done) {
        failed.error = "the flash and beep client did not finish";
        return failed;
    }
    return avmeasure::measure(path);
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
    const avmeasure::Offsets m = recordFlashesAndBeeps(path, client);
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

// The microphone and the system sound mixed, each kept on the wall clock: a beep played into the
// output (the system sound), and one played into the microphone's sink, lie on their flashes,
// never noticeably ahead of them.
TEST(AudioVideoSync, MixedBeepsOfEitherInputLieOnTheirFlashes)
{
    ZMSoundRequest mix;
    mix.kind = ZMSoundRequest::MicrophoneAndSystemSound;
    for (const char* sink : {"rec", "micsink"}) {
        SCOPED_TRACE(sink);
        const std::string path = tempPath(std::string("mixed-") + sink + ".mp4");
        FlashBeepClient client({2.5, 3.3, 4.1, 4.9}, 1000, sink);
        const avmeasure::Offsets m = recordFlashesAndBeeps(path, client, mix);
        ASSERT_TRUE(m.error.empty()) << m.error;
        report(sink == std::string("rec") ? "mixed, system sound" : "mixed, microphone", m);
        EXPECT_EQ(m.flashes.size(), 4u);
        ASSERT_EQ(m.offsets.size(), 4u);
        EXPECT_LE(m.median(), MaxMixedLag);
        EXPECT_GE(m.median(), -MaxMixedLead) << "the sound ahead of the picture";
        EXPECT_LE(m.worst(), MaxOffset);
    }
}
