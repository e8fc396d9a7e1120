// SPDX-License-Identifier: GPL-2.0-or-later
// murovent-record's sound options: the file holds the sound asked for, in the format asked
// for, from the devices asked for, and impossible combinations and unknown devices are refused
// before anything is created.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <zmav/zmav.h>

#include <algorithm>
#include <csignal>
#include <random>

#include "mp4_probe.h"
#include "test_support.h"
#include "tone_analysis.h"

using namespace audiotest;

namespace {

std::string g_recorder;

struct Outcome {
    int status = -1;
    QString errors;
};

Outcome record(const QStringList& arguments)
{
    QProcess process;
    process.start(QString::fromStdString(g_recorder), arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(RecordAudioOptions, MicrophoneAloneAtTheRateAskedFor)
{
    const QString path = QString::fromStdString(tempPath("mic-only.mp4"));
    // The test microphone only flows some 2 s after its server started; until then the
    // recording holds silence.
    const Outcome run = record({"--audio", "mic", "--rate", "8000", "--audio-only", "--duration", "4", path});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path.toStdString());
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 1u) << "sound only";
    EXPECT_EQ(info.streams[0].sampleRate, 8000);
    EXPECT_NEAR(info.duration, 4.0, 0.25);
    const mp4probe::DecodedAudio sound = mp4probe::decodeAudio(path.toStdString());
    ASSERT_TRUE(sound.ok) << sound.error;
    const std::vector<float> left = tone::channelOf(sound.samples, sound.channels, 0);
    const std::vector<float> last(left.end() - std::min<size_t>(left.size(), 12000), left.end());
    EXPECT_NEAR(tone::dominantHz(last, 8000), 1000, 5);
}

#ifdef ZM_SYSTEM_SOUND
TEST(RecordAudioOptions, ScreenWithSystemSound)
{
    TonePlayer player;
    player.start(440);
    const QString path = QString::fromStdString(tempPath("screen-system.mp4"));
    const Outcome run = record({"--audio", "system", "--area", "0,0,320,240", "--fps", "10",
                            "--duration", "3", path});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("system sound, 48000 Hz, 2 channels")) << run.errors.toStdString();
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path.toStdString());
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_TRUE(info.stream("video"));
    const mp4probe::StreamProbe* audio = info.stream("audio");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->sampleRate, 48000);
    EXPECT_EQ(audio->channels, 2);
    EXPECT_NEAR(audio->duration, 3.0, 0.3);
}

// Ends the environment's sound server.
TEST(RecordAudioLost, SystemSoundLossIsToldAndRepeatedInTheSummary)
{
    TonePlayer player;
    player.start(440);
    const QString path = QString::fromStdString(tempPath("lost.mp4"));
    QProcess process;
    process.start(QString::fromStdString(g_recorder), {"--audio", "system", "--area", "0,0,320,240",
                                                       "--duration", "3", path});
    ASSERT_TRUE(process.waitForStarted());
    spin(1200);
    killSoundServer();
    ASSERT_TRUE(process.waitForFinished(15000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 0) << errors.toStdString();
    const QRegularExpression line("system sound lost at 00:00:01\\.\\d; silence recorded from then on\n");
    EXPECT_EQ(errors.count(line), 2) << "told when it happened and in the summary: " << errors.toStdString();
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path.toStdString());
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.stream("audio")->duration, 3.0, 0.3) << "silence after the loss";
}
#endif

#ifdef ZM_SYSTEM_SOUND
TEST(RecordAudioOptions, NamedDevicesMixedAndListed)
{
    QProcess list;
    list.start(QString::fromStdString(g_recorder), {"--list-audio-devices"});
    ASSERT_TRUE(list.waitForFinished(10000));
    EXPECT_EQ(list.exitCode(), 0);
    const QString listed = QString::fromUtf8(list.readAllStandardOutput());
    for (const char* name : {"vmic ", "vmic2 ", "rec ", "rec2 ", "micsink ", "micsink2 "})
        EXPECT_TRUE(listed.contains(QLatin1String(name))) << name << " not in\n" << listed.toStdString();

    TonePlayer mic, output;
    mic.start(700, 60, 0.5, "micsink2");
    output.start(1500, 60, 0.5, "rec2");
    const QString path = QString::fromStdString(tempPath("mix-named.mp4"));
    const Outcome run = record({"--audio", "mic+system", "--mic-device", "vmic2", "--system-device", "rec2",
                                "--audio-only", "--duration", "4", path});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const mp4probe::DecodedAudio sound = mp4probe::decodeAudio(path.toStdString());
    ASSERT_TRUE(sound.ok) << sound.error;
    EXPECT_EQ(sound.sampleRate, 48000);
    ASSERT_EQ(sound.channels, 2);
    // The idle outputs of a fresh server take a moment to flow: the last second holds both.
    const std::vector<float> left = tone::channelOf(sound.samples, 2, 0);
    EXPECT_GT(tone::amplitudeNear(left, 48000, 700, left.size() - 48000), 0.2);
    EXPECT_GT(tone::amplitudeNear(left, 48000, 1500, left.size() - 48000), 0.2);
    EXPECT_LT(tone::amplitudeNear(left, 48000, 1000, left.size() - 48000), 0.01) << "the default microphone";
}
#endif

#ifdef ZM_SYSTEM_SOUND
// What `ffmpeg -v error` says while decoding the whole file.
QString decodeErrors(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "null", "-"});
    ffmpeg.waitForFinished(60000);
    return QString::fromUtf8(ffmpeg.readAllStandardError()).trimmed();
}

// Killed at any moment, a 1080p30 recording with system sound keeps all but about its last
// second. One recording serves twenty random moments between 1 s and 20 s: at each of the
// first nineteen the file is copied as it stands, which is exactly what a kill then would
// leave (nothing an interrupted program held in memory reaches the file), and at the last the
// recorder is killed with SIGKILL. Every file plays as it is (a torn last fragment is the
// only complaint) and, once finished, without any complaint.
TEST(RecordAudioOptions, KilledAtAnyMomentKeepsAllButTheLastSecond)
{
    TonePlayer player;
    player.start(440);
    std::mt19937 rng(std::random_device{}());
    std::uniform_real_distribution<double> moment(1.0, 20.0);
    std::vector<double> moments(20);
    for (double& m : moments)
        m = moment(rng);
    std::sort(moments.begin(), moments.end());

    const QString path = QString::fromStdString(tempPath("killed.mp4"));
    QStringList arguments = {"--audio", "system", "--fps", "30", path};
#if defined(__SANITIZE_ADDRESS__)
    // The instrumented build cannot encode the whole screen in real time; what survives a kill
    // does not depend on the picture's size.
    arguments.prepend(QStringLiteral("--area=0,0,640,360"));
#endif
    QProcess recorder;
    recorder.start(QString::fromStdString(g_recorder), arguments);
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(path) && clock.elapsed() < 10000)
        QThread::msleep(5);
    ASSERT_TRUE(QFileInfo::exists(path)) << "the recording began";
    clock.start();
    std::vector<QString> files;
    for (size_t i = 0; i < moments.size(); ++i) {
        while (clock.elapsed() < moments[i] * 1000)
            QThread::msleep(2);
        if (i + 1 < moments.size()) {
            files.push_back(path + QStringLiteral(".%1.mp4").arg(i));
            QFile::copy(path, files.back());
        } else {
            ::kill(recorder.processId(), SIGKILL);
            files.push_back(path);
        }
    }
    recorder.waitForFinished(10000);
    const QRegularExpression truncation(
        QStringLiteral("partial file|Input buffer exhausted|Invalid data found|Error while decoding stream"));
    for (size_t i = 0; i < files.size(); ++i) {
        const mp4probe::Mp4Info info = mp4probe::probeMp4(files[i].toStdString());
        ASSERT_TRUE(info.ok) << info.error;
        std::printf("killed at %5.2f s: plays %5.2f s\n", moments[i], info.duration);
        EXPECT_GE(info.duration, moments[i] - 1.2) << files[i].toStdString();
        char why[256];
        if (info.duration <= 0) {
            // Killed before the first second was out (a slow build writes it a little late):
            // nothing to keep, and nothing to finish.
            EXPECT_LT(moments[i], 2.0);
            EXPECT_EQ(ZMAV_FinishFile(nullptr, nullptr, files[i].toUtf8().constData(), why, sizeof why), 0);
            continue;
        }
        for (const QString& line : decodeErrors(files[i]).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            EXPECT_TRUE(truncation.match(line).hasMatch()) << line.toStdString();
        EXPECT_EQ(ZMAV_FinishFile(nullptr, nullptr, files[i].toUtf8().constData(), why, sizeof why), 1) << why;
        EXPECT_GE(mp4probe::probeMp4(files[i].toStdString()).duration, moments[i] - 1.2);
    }
    EXPECT_EQ(decodeErrors(path), QString()) << "finished, the killed recording has nothing torn";
}
#endif

TEST(RecordAudioOptions, ImpossibleCombinationsCreateNothing)
{
    const QString path = QString::fromStdString(tempPath("refused.mp4"));
    const QList<QStringList> refused = {
        {"--audio-only", path},
        {"--audio", "mic", "--rate", "96000", path},
        {"--audio", "loud", path},
        {"--audio", "mic", "--audio-only", "--watermark", "x.png@0,0", path},
#ifdef ZM_SYSTEM_SOUND
        {"--audio", "system", "--rate", "8000", path},
        {"--audio", "mic+system", "--rate", "48000", path},
        {"--audio", "system", "--mic-device", "vmic", path},
        {"--audio", "mic", "--system-device", "rec", path},
        // Devices the server does not have.
        {"--audio", "mic+system", "--mic-device", "no-such-mic", "--audio-only", path},
        {"--audio", "system", "--system-device", "no-such-output", "--audio-only", path},
#endif
    };
    for (const QStringList& arguments : refused) {
        const Outcome run = record(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.errors.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: test_record_audio PATH-OF-murovent-record\n");
        return 2;
    }
    g_recorder = argv[1];
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
