// SPDX-License-Identifier: GPL-2.0-or-later
// Sound recorded through the capture facade and the library into an MP4 file, decoded back:
// the tone that was heard, at the rate it was heard, for as long as the recording ran.
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "library_recording.h"
#include "mp4_probe.h"
#include "test_support.h"
#include "tone_analysis.h"

using namespace audiotest;

namespace {

struct Result {
    double wallSeconds = 0;
    double stopSeconds = 0;
};

Result record(int ms)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(startRecording());
    spin(ms);
    Result r;
    r.wallSeconds = clock.elapsed() / 1000.0;
    clock.restart();
    stopRecording();
    r.stopSeconds = clock.elapsed() / 1000.0;
    return r;
}

// The file holds one AAC stream in the wanted format, with `hz` dominating, not silent, and
// as long as the recording.
void expectTone(const std::string& path, int rate, int channels, double hz, double seconds)
{
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 1u);
    const mp4probe::StreamProbe* audio = info.stream("audio");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->codec, "aac");
    EXPECT_EQ(audio->sampleRate, rate);
    EXPECT_EQ(audio->channels, channels);

    const mp4probe::DecodedAudio decoded = mp4probe::decodeAudio(path);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(double(decoded.frames()) / rate, seconds, 0.1) << "decoded length";
    EXPECT_NEAR(audio->duration, seconds, 0.1) << "stream duration";
    for (int channel = 0; channel < channels; ++channel) {
        const std::vector<float> mono = tone::channelOf(decoded.samples, channels, channel);
        EXPECT_NEAR(tone::dominantHz(mono, rate), hz, 5) << "channel " << channel;
        EXPECT_GT(tone::rms(mono, rate / 5, rate), 0.1) << "channel " << channel;
    }
}

}  // namespace

#ifdef ZM_SYSTEM_SOUND
TEST(AudioRecording, SystemSoundTone)
{
    TonePlayer player;
    player.start(440);
    ASSERT_TRUE(warmUp(Source::SystemSound, 300));
    const std::string path = tempPath("system.mp4");
    ZM_MovieInfo info = audioOnlyMovie(path, 8000, 1);
    std::string error;
    ASSERT_TRUE(openRecording(Source::SystemSound, info, error)) << error;
    EXPECT_EQ(info.audioSampleRate, 48000);
    EXPECT_EQ(info.channels, 2);
    const Result r = record(2000);
    expectTone(path, 48000, 2, 440, r.wallSeconds);
}
#endif

TEST(AudioRecording, MicrophoneToneAtEachRate)
{
    ASSERT_TRUE(warmUp(Source::Microphone, 300));
    for (int rate : {44100, 8000}) {
        SCOPED_TRACE(rate);
        const std::string path = tempPath("mic" + std::to_string(rate) + ".mp4");
        ZM_MovieInfo info = audioOnlyMovie(path, rate, 2);
        std::string error;
        ASSERT_TRUE(openRecording(Source::Microphone, info, error)) << error;
        const Result r = record(2000);
        expectTone(path, rate, 2, 1000, r.wallSeconds);
    }
}
