// SPDX-License-Identifier: GPL-2.0-or-later
// The sound server goes away in the middle of a recording: stopping stays prompt, and the file
// is complete, with the sound up to the loss and silence after it.
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "library_recording.h"
#include "mp4_probe.h"
#include "test_support.h"
#include "tone_analysis.h"

using namespace audiotest;

namespace {

void recordThroughLoss(Source source, int wantRate, int wantChannels, double hz)
{
    TonePlayer player;
    player.start(440);
    ASSERT_TRUE(warmUp(source, 300));
    const std::string path = tempPath("lost.mp4");
    ZM_MovieInfo info = audioOnlyMovie(path, wantRate, wantChannels);
    std::string error;
    ASSERT_TRUE(openRecording(source, info, error)) << error;

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(startRecording());
    spin(1000);
    const double lostAt = clock.elapsed() / 1000.0;
    killSoundServer();
    spin(1000);
    const double wall = clock.elapsed() / 1000.0;
    clock.restart();
    stopRecording();
    EXPECT_LT(clock.elapsed(), 1000) << "stop waited for the vanished server";

    const mp4probe::DecodedAudio decoded = mp4probe::decodeAudio(path);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    const int rate = info.audioSampleRate;
    EXPECT_EQ(decoded.sampleRate, rate);
    EXPECT_NEAR(double(decoded.frames()) / rate, wall, 0.25) << "the file lost its length";
    const std::vector<float> left = tone::channelOf(decoded.samples, info.channels, 0);
    const std::vector<float> before(left.begin() + rate / 5, left.begin() + size_t(lostAt * rate) - rate / 10);
    EXPECT_NEAR(tone::dominantHz(before, rate), hz, 5);
    EXPECT_GT(tone::rms(before), 0.1);
    EXPECT_LT(tone::rms(left, size_t((lostAt + 0.4) * rate)), 0.01) << "after the loss: silence";
}

}  // namespace

TEST(ServerLost, Microphone)
{
    recordThroughLoss(Source::Microphone, 44100, 2, 1000);
}

#ifdef ZM_SYSTEM_SOUND
TEST(ServerLost, SystemSound)
{
    recordThroughLoss(Source::SystemSound, 8000, 1, 440);
}
#endif
