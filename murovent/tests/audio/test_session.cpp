// SPDX-License-Identifier: GPL-2.0-or-later
// The recording session on its own, without the panel or the command line: every mode ends in
// a file with the asked streams, and a sound server or a mixed input that goes away is reported
// once while the recording goes on.
#include <session/zm_recordingsession.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "library_recording.h"
#include "mp4_probe.h"
#include "test_support.h"
#include "tone_analysis.h"

using namespace audiotest;

namespace {

ZMRecordingSettings settingsFor(int streams, const std::string& path)
{
    ZMRecordingSettings s;
    s.streams = streams;
    s.area = QRect(64, 32, 320, 240);
    s.fps = 10;
    s.sampleRate = 44100;
    s.outputPath = QByteArray::fromStdString(path);
    return s;
}

double recordFor(ZMRecordingSession& session, const ZMRecordingSettings& settings, int ms)
{
    QString error;
    EXPECT_TRUE(session.prepare(settings, &error)) << error.toStdString();
    EXPECT_TRUE(session.open(&error)) << error.toStdString();
    EXPECT_TRUE(session.start(&error)) << error.toStdString();
    QElapsedTimer clock;
    clock.start();
    spin(ms);
    session.stop();
    return clock.elapsed() / 1000.0;
}

class SessionModes : public ::testing::TestWithParam<int> {
protected:
    // The input delivers silence until its first bytes flow.
    static void SetUpTestSuite() { ASSERT_TRUE(warmUp(Source::Microphone, 300)); }
};

} // namespace

TEST_P(SessionModes, FileHoldsTheAskedStreams)
{
    const int streams = GetParam();
    const std::string path = tempPath("session" + std::to_string(streams) + ".mp4");
    ZMRecordingSession session;
    const double wall = recordFor(session, settingsFor(streams, path), 2000);
    EXPECT_FALSE(session.isStarted());
    QFile status(QStringLiteral("/proc/self/status"));
    EXPECT_TRUE(status.open(QIODevice::ReadOnly) && status.readAll().contains("THP_enabled:\t0"))
        << "the encoder's pictures in huge pages";

    const auto info = mp4probe::probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    const auto* video = info.stream("video");
    const auto* audio = info.stream("audio");
    ASSERT_EQ(video != nullptr, (streams & ZM_VIDEO) != 0);
    ASSERT_EQ(audio != nullptr, (streams & ZM_AUDIO) != 0);
    if (video) {
        EXPECT_EQ(video->width, 320);
        EXPECT_EQ(video->height, 240);
        EXPECT_NEAR(video->duration, wall, 0.35);
        EXPECT_EQ(video->index, 0);
        EXPECT_EQ(session.figures().frameSlots, mp4probe::countVideoFrames(path));
    }
    if (audio) {
        const auto decoded = mp4probe::decodeAudio(path);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.sampleRate, 44100);
        const auto mono = tone::channelOf(decoded.samples, decoded.channels, 0);
        const std::vector<float> middle(mono.begin() + 22050, mono.end() - 4410);
        EXPECT_NEAR(tone::dominantHz(middle, 44100), 1000, 5) << "the microphone's tone";
        EXPECT_NEAR(double(decoded.frames()) / 44100, wall, 0.3);
    }
}

INSTANTIATE_TEST_SUITE_P(Session, SessionModes, ::testing::Values(ZM_AUDIO_VIDEO, ZM_VIDEO, ZM_AUDIO));

TEST(Session, RefusalsSayWhatFailed)
{
    ZMRecordingSession session;
    ZMRecordingSettings settings = settingsFor(ZM_VIDEO, tempPath("refused.mp4"));
    settings.area = QRect(1900, 0, 320, 240);
    QString error;
    EXPECT_FALSE(session.prepare(settings, &error));
    EXPECT_EQ(session.failedStage(), ZMRecordingSession::Stage::Screen);
    EXPECT_TRUE(error.contains("not inside the screen")) << error.toStdString();

    settings = settingsFor(ZM_VIDEO, tempPath("no/such/folder.mp4"));
    ASSERT_TRUE(session.prepare(settings, &error)) << error.toStdString();
    EXPECT_FALSE(session.open(&error));
    EXPECT_EQ(session.failedStage(), ZMRecordingSession::Stage::File);
    EXPECT_EQ(error, "@ avio_open  error !: No such file or directory");
    EXPECT_FALSE(session.isPrepared()) << "the sources are released";
}

#ifdef ZM_SYSTEM_SOUND
// Before the server is ended below: an input of a mix is unplugged, and that one is reported.
TEST(Session, MixThatLostItsMicrophoneSaysWhich)
{
    TonePlayer mic;
    mic.start(700, 60, 0.5, "micsink2");
    ZMRecordingSettings settings = settingsFor(ZM_AUDIO, tempPath("mix-lost.mp4"));
    settings.sound = ZMRecordingSettings::Sound::MicrophoneAndSystemSound;
    settings.microphoneDevice = "vmic2";
    ZMRecordingSession session;
    QSignalSpy events(&session, &ZMRecordingSession::event);
    QString error;
    ASSERT_TRUE(session.prepare(settings, &error)) << error.toStdString();
    EXPECT_EQ(session.sampleRate(), 48000);
    EXPECT_EQ(session.channels(), 2);
    ASSERT_TRUE(session.open(&error) && session.start(&error)) << error.toStdString();
    spin(500);
    mic.stop();
    ASSERT_TRUE(unplug("vmic2"));
    ASSERT_TRUE(waitUntil([&] { return events.count() > 0; }, 3000));
    spin(300);
    session.stop();
    ASSERT_EQ(events.count(), 1);
    EXPECT_EQ(events[0][0].value<ZMRecordingSession::Event>(), ZMRecordingSession::Event::MicrophoneLost);
    EXPECT_TRUE(events[0][2].toString().contains("vmic2")) << events[0][2].toString().toStdString();
}

TEST(Session, LostSoundServerIsReportedOnceAndTheRecordingGoesOn)
{
    const std::string path = tempPath("lost.mp4");
    ZMRecordingSettings settings = settingsFor(ZM_AUDIO_VIDEO, path);
    settings.sound = ZMRecordingSettings::Sound::SystemSound;
    ZMRecordingSession session;
    QSignalSpy events(&session, &ZMRecordingSession::event);
    QString error;
    ASSERT_TRUE(session.prepare(settings, &error)) << error.toStdString();
    ASSERT_TRUE(session.open(&error) && session.start(&error)) << error.toStdString();
    spin(1000);
    killSoundServer();
    ASSERT_TRUE(waitUntil([&] { return events.count() > 0; }, 3000));
    spin(1000);
    const double recorded = session.recordedSeconds();
    session.stop();
    ASSERT_EQ(events.count(), 1);
    EXPECT_EQ(events[0][0].value<ZMRecordingSession::Event>(), ZMRecordingSession::Event::SystemSoundLost);
    EXPECT_NEAR(events[0][1].toDouble(), 1.0, 0.4);
    const auto info = mp4probe::probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.stream("video")->duration, recorded, 0.35) << "pictures went on with silence";
}
#endif
