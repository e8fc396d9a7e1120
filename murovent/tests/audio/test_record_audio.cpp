// murovent-record's sound options: the file holds the sound asked for, in the format asked
// for, and impossible combinations are refused before anything is created.
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

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

TEST(RecordAudioOptions, ImpossibleCombinationsCreateNothing)
{
    const QString path = QString::fromStdString(tempPath("refused.mp4"));
    const QList<QStringList> refused = {
        {"--audio-only", path},
        {"--audio", "mic", "--rate", "48000", path},
        {"--audio", "loud", path},
        {"--audio", "mic", "--audio-only", "--watermark", "x.png@0,0", path},
#ifdef ZM_SYSTEM_SOUND
        {"--audio", "system", "--rate", "8000", path},
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
