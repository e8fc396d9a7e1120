// SPDX-License-Identifier: GPL-2.0-or-later
// The sound server goes away in the middle of a recording: stopping stays prompt, and the file
// is complete, with the sound up to the loss and silence after it. One device of a mix is
// unplugged: the other one goes on.
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "library_recording.h"
#include "mp4_probe.h"
#include "test_support.h"
#include "tone_analysis.h"
#include "zm_capture.h"

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

#ifdef ZM_SYSTEM_SOUND
namespace {

// One input of a mix is unplugged in the middle of the recording: the other one's tone goes on
// to the end, the unplugged one's stops, and the loss names the input.
void mixThroughUnplug(const ZMSoundRequest& mix, const std::string& unplugged, TonePlayer& feeder,
                      double keptHz, double lostHz, int lostInput)
{
    ZMSoundRequest mic = requestFor(Source::Microphone), system = requestFor(Source::SystemSound);
    mic.microphoneDevice = mix.microphoneDevice;
    system.systemSoundDevice = mix.systemSoundDevice;
    ASSERT_TRUE(warmUp(mic, 100));
    ASSERT_TRUE(warmUp(system, 100));
    const std::string path = tempPath("unplugged.mp4");
    ZM_MovieInfo info = audioOnlyMovie(path, 48000, 2);
    std::string error;
    ASSERT_TRUE(openRecording(mix, info, error)) << error;

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(startRecording());
    spin(1500);
    const double lostAt = clock.elapsed() / 1000.0;
    feeder.stop();
    ASSERT_TRUE(unplug(unplugged));
    EXPECT_TRUE(waitUntil([&] { return Capture_LostAudioInputs() == lostInput; }, 2000));
    spin(1500);
    const double wall = clock.elapsed() / 1000.0;
    stopRecording();

    const mp4probe::DecodedAudio decoded = mp4probe::decodeAudio(path);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(double(decoded.frames()) / 48000, wall, 0.15) << "the file lost its length";
    const std::vector<float> left = tone::channelOf(decoded.samples, 2, 0);
    const size_t lost = size_t(lostAt * 48000);
    const size_t end = left.size();
    EXPECT_GT(tone::amplitudeNear(left, 48000, lostHz, 9600, lost - 14400), 0.2) << "before the loss";
    EXPECT_LT(tone::amplitudeNear(left, 48000, lostHz, lost + 24000), 0.01) << "after the loss";
    EXPECT_GT(tone::amplitudeNear(left, 48000, keptHz, 9600, lost - 14400), 0.2) << "before the loss";
    EXPECT_GT(tone::amplitudeNear(left, 48000, keptHz, end - 48000), 0.2) << "at the end";
}

ZMSoundRequest mixOf(const QByteArray& microphone, const QByteArray& output)
{
    ZMSoundRequest request;
    request.kind = ZMSoundRequest::MicrophoneAndSystemSound;
    request.microphoneDevice = microphone;
    request.systemSoundDevice = output;
    return request;
}

}  // namespace

TEST(Unplugged, MicrophoneOfAMix)
{
    TonePlayer mic, output;
    mic.start(700, 60, 0.5, "micsink2");
    output.start(440);
    mixThroughUnplug(mixOf("vmic2", ""), "vmic2", mic, 440, 700, ZMSoundSource::MicrophoneInput);
}

TEST(Unplugged, SystemSoundOfAMix)
{
    TonePlayer mic, output;
    mic.start(700, 60, 0.5, "micsink");
    output.start(1500, 60, 0.5, "rec2");
    mixThroughUnplug(mixOf("", "rec2"), "rec2", output, 700, 1500, ZMSoundSource::SystemSoundInput);
}
#endif
