// SPDX-License-Identifier: GPL-2.0-or-later
// Sound recorded through the capture facade and the library into an MP4 file, decoded back:
// the tone that was heard, at the rate it was heard, for as long as the recording ran; the
// microphone and the system sound mixed, on the default devices or on named ones.
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <zmav/zmav.h>

#include "library_recording.h"
#include "zm_capture.h"
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
    for (int rate : {44100, 8000, 48000}) {
        SCOPED_TRACE(rate);
        const std::string path = tempPath("mic" + std::to_string(rate) + ".mp4");
        ZM_MovieInfo info = audioOnlyMovie(path, rate, 2);
        std::string error;
        ASSERT_TRUE(openRecording(Source::Microphone, info, error)) << error;
        const Result r = record(2000);
        expectTone(path, rate, 2, 1000, r.wallSeconds);
    }
}

#ifdef ZM_SYSTEM_SOUND
namespace {

ZMSoundRequest mixOf(const QByteArray& microphone = {}, const QByteArray& output = {})
{
    ZMSoundRequest request;
    request.kind = ZMSoundRequest::MicrophoneAndSystemSound;
    request.microphoneDevice = microphone;
    request.systemSoundDevice = output;
    return request;
}

// Records `request` for two seconds at 48000 Hz, 2 channels, and decodes it.
mp4probe::DecodedAudio recordDecoded(const ZMSoundRequest& request, const std::string& name)
{
    const std::string path = tempPath(name);
    ZM_MovieInfo info = audioOnlyMovie(path, 48000, 2);
    std::string error;
    EXPECT_TRUE(openRecording(request, info, error)) << error;
    EXPECT_EQ(info.audioSampleRate, 48000);
    EXPECT_EQ(info.channels, 2);
    const Result r = record(2000);
    const mp4probe::DecodedAudio decoded = mp4probe::decodeAudio(path);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(double(decoded.frames()) / 48000, r.wallSeconds, 0.1) << "decoded length";
    return decoded;
}

// Amplitude of `hz` in one channel, leaving out the first fifth of a second.
double amplitude(const mp4probe::DecodedAudio& decoded, int channel, double hz)
{
    return tone::amplitudeNear(tone::channelOf(decoded.samples, decoded.channels, channel), 48000, hz, 9600);
}

double decibels(double a, double b)
{
    return 20 * std::log10(a / b);
}

}  // namespace

// The default microphone hears 1000 Hz, the default output plays 440 Hz: the mix holds both in
// both channels, each about as loud as when recorded alone.
TEST(MixedRecording, BothTonesAsLoudAsAlone)
{
    TonePlayer player;
    player.start(440);
    ASSERT_TRUE(warmUp(Source::SystemSound, 300));
    ASSERT_TRUE(warmUp(Source::Microphone, 300));
    const mp4probe::DecodedAudio system = recordDecoded(requestFor(Source::SystemSound), "alone-system.mp4");
    const mp4probe::DecodedAudio mic = recordDecoded(requestFor(Source::Microphone), "alone-mic.mp4");
    const mp4probe::DecodedAudio mix = recordDecoded(mixOf(), "mix.mp4");
    ASSERT_FALSE(mix.samples.empty());
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        EXPECT_GT(amplitude(system, channel, 440), 0.2);
        EXPECT_GT(amplitude(mic, channel, 1000), 0.2);
        EXPECT_LT(std::fabs(decibels(amplitude(mix, channel, 440), amplitude(system, channel, 440))), 6);
        EXPECT_LT(std::fabs(decibels(amplitude(mix, channel, 1000), amplitude(mic, channel, 1000))), 6);
    }
}

// The second input and output of the test server, each with its own loud tone: the mix holds
// those two, none of the defaults' tones, and no clipped sample.
TEST(MixedRecording, NamedDevicesLoudTogetherUnclipped)
{
    TonePlayer defaultOutput, mic2, output2;
    defaultOutput.start(440);
    mic2.start(700, 60, 0.95, "micsink2");
    output2.start(1500, 60, 0.95, "rec2");
    ZMSoundRequest system2 = requestFor(Source::SystemSound), vmic2 = requestFor(Source::Microphone);
    system2.systemSoundDevice = "rec2";
    vmic2.microphoneDevice = "vmic2";
    ASSERT_TRUE(warmUp(system2, 300));
    ASSERT_TRUE(warmUp(vmic2, 300));
    const mp4probe::DecodedAudio mix = recordDecoded(mixOf("vmic2", "rec2"), "mix-named.mp4");
    ASSERT_FALSE(mix.samples.empty());
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        EXPECT_GT(amplitude(mix, channel, 700), 0.3);
        EXPECT_GT(amplitude(mix, channel, 1500), 0.3);
        EXPECT_LT(amplitude(mix, channel, 1000), 0.01) << "the default microphone";
        EXPECT_LT(amplitude(mix, channel, 440), 0.01) << "the default output";
    }
    float peak = 0;
    for (float s : mix.samples)
        peak = std::max(peak, std::fabs(s));
    EXPECT_LT(peak, 0.999f) << "clipped";
    EXPECT_GT(peak, 0.7f) << "turned down more than needed";
}

TEST(MixedRecording, SingleSourcesByName)
{
    TonePlayer mic2, output2;
    mic2.start(700, 60, 0.5, "micsink2");
    output2.start(1500, 60, 0.5, "rec2");
    ZMSoundRequest mic = requestFor(Source::Microphone);
    mic.microphoneDevice = "vmic2";
    ZMSoundRequest system = requestFor(Source::SystemSound);
    system.systemSoundDevice = "rec2";
    ASSERT_TRUE(warmUp(mic, 300));
    ASSERT_TRUE(warmUp(system, 300));
    const mp4probe::DecodedAudio fromMic = recordDecoded(mic, "mic-named.mp4");
    const mp4probe::DecodedAudio fromSystem = recordDecoded(system, "system-named.mp4");
    ASSERT_FALSE(fromMic.samples.empty());
    ASSERT_FALSE(fromSystem.samples.empty());
    EXPECT_NEAR(tone::dominantHz(tone::channelOf(fromMic.samples, 2, 0), 48000), 700, 5);
    EXPECT_NEAR(tone::dominantHz(tone::channelOf(fromSystem.samples, 2, 0), 48000), 1500, 5);
}

// A pause takes its time out of the file, and both inputs are heard again after it.
TEST(MixedRecording, PauseAndResume)
{
    TonePlayer player;
    player.start(440);
    ASSERT_TRUE(warmUp(Source::SystemSound, 300));
    const std::string path = tempPath("mix-paused.mp4");
    ZM_MovieInfo info = audioOnlyMovie(path, 48000, 2);
    std::string error;
    ASSERT_TRUE(openRecording(mixOf(), info, error)) << error;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(startRecording());
    spin(1000);
    ZMAV_Pause(nullptr, nullptr);
    Capture_PauseAudio();
    spin(1000);
    Capture_ResumeAudio();
    ZMAV_Resume(nullptr, nullptr);
    spin(1500);
    const double recorded = clock.elapsed() / 1000.0 - 1.0;
    stopRecording();
    const mp4probe::DecodedAudio mix = mp4probe::decodeAudio(path);
    ASSERT_TRUE(mix.ok) << mix.error;
    EXPECT_NEAR(double(mix.frames()) / 48000, recorded, 0.15);
    const std::vector<float> left = tone::channelOf(mix.samples, 2, 0);
    EXPECT_GT(tone::amplitudeNear(left, 48000, 440, left.size() - 48000), 0.2);
    EXPECT_GT(tone::amplitudeNear(left, 48000, 1000, left.size() - 48000), 0.2);
}

TEST(MixedRecording, MissingDevicesAreNamedBeforeAnythingStarts)
{
    for (ZMSoundRequest::Kind kind : {ZMSoundRequest::Microphone, ZMSoundRequest::SystemSound,
                                      ZMSoundRequest::MicrophoneAndSystemSound}) {
        ZMSoundRequest request;
        request.kind = kind;
        request.microphoneDevice = kind == ZMSoundRequest::SystemSound ? "" : "no-such-mic";
        request.systemSoundDevice = kind == ZMSoundRequest::Microphone ? "" : "no-such-output";
        QString error;
        EXPECT_FALSE(ZMSoundSource::create(request, &error)) << kind;
        EXPECT_TRUE(error.contains(kind == ZMSoundRequest::SystemSound ? "no-such-output" : "no-such-mic"))
            << error.toStdString();
    }
}
#endif
