// SPDX-License-Identifier: GPL-2.0-or-later
// Life of a recording through the C interface: what is refused when, replacing and stopping
// recordings, and stopping while capture threads are still inside the library.

#include "recording_helpers.h"

#include "mp4_probe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace rec;
using mp4probe::probeMp4;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;

class Lifecycle : public ::testing::Test {
protected:
    void TearDown() override { ZMAV_Stop(nullptr, nullptr); }
    // The MP4 writer leaves out tracks that never got a packet.
    static int64_t videoPackets(const mp4probe::Mp4Info& info)
    {
        const auto* v = info.stream("video");
        return v ? v->packets : 0;
    }
    TempDir dir;
    const std::vector<unsigned char> pic = picture(kW, kH, 0);
    const std::vector<unsigned char> pcm = std::vector<unsigned char>(4096, 0);

    int video() { return ZMAV_EncodeVideoFrame(nullptr, nullptr, pic.data(), int(pic.size())); }
    int audio() { return ZMAV_EncodeAudioFrame(nullptr, nullptr, pcm.data(), int(pcm.size())); }
};

} // namespace

TEST_F(Lifecycle, EncodeRefusedWithoutARunningRecording)
{
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);

    const std::string path = dir.file("refused.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO)));
    EXPECT_EQ(video(), 0); // opened, not started yet
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(audio(), 1);
    EXPECT_EQ(ZMAV_EncodeAudioFrame(nullptr, nullptr, pcm.data(), -1), 0);
    ZMAV_Pause(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);
    ZMAV_Resume(nullptr, nullptr);
    EXPECT_EQ(audio(), 1);
    ZMAV_Stop(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_EQ(audio(), 0);
    ZMAV_Stop(nullptr, nullptr); // a second stop does nothing
    EXPECT_TRUE(probeMp4(path).ok);
}

std::string lastError()
{
    char text[256];
    return ZMAV_GetLastError(nullptr, nullptr, text, sizeof text) ? text : "";
}

void collectLog(int level, const char* text, void* user)
{
    static_cast<std::vector<std::string>*>(user)->push_back(std::to_string(level) + " " + text);
}

TEST_F(Lifecycle, FailedOpenLeavesNoRecordingAndSaysWhy)
{
    std::vector<std::string> log;
    ZMAV_SetLogHandler(collectLog, &log);
    ZM_MovieInfo odd = movieInfo(dir.file("odd.mp4"), ZM_VIDEO, 10, 321, 240);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, odd));
    EXPECT_EQ(lastError(), "@ ZM_AVBase::initTmpFrame(...): align error !");
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("x.unknownext"), ZM_VIDEO)));
    EXPECT_EQ(lastError(), "@ av_guess_format(...) is NULL");
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("no/such/dir.mp4"), ZM_VIDEO)));
    EXPECT_EQ(lastError(), "@ avio_open  error !: No such file or directory");
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("fast.mp4"), ZM_VIDEO, 1000)));
    EXPECT_EQ(lastError(), "@ frameRate above 240");
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 0);
    ZM_MovieInfo unterminated = movieInfo(dir.file("u.mp4"), ZM_VIDEO);
    std::memset(unterminated.save_path, 'a', sizeof unterminated.save_path);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, unterminated));
    ZMAV_Stop(nullptr, nullptr);
    ZMAV_SetLogHandler(nullptr, nullptr);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[2], "0 @ avio_open  error !: No such file or directory");

    // A successful init clears the error; a short buffer gets a cut, terminated text.
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("fine.mp4"), ZM_VIDEO)));
    EXPECT_EQ(lastError(), "");
    ZMAV_Stop(nullptr, nullptr);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(dir.file("x.unknownext"), ZM_VIDEO)));
    char cut[6];
    EXPECT_EQ(ZMAV_GetLastError(nullptr, nullptr, cut, sizeof cut), 1);
    EXPECT_STREQ(cut, "@ av_");
}

// A picture of another size takes no slot: the timeline follows the wall clock regardless.
TEST_F(Lifecycle, WrongSizePicturesAreRefusedWithoutEatingTheTimeline)
{
    const std::string path = dir.file("wrongsize.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, 10)));
    ZMAV_Start(nullptr, nullptr);
    EXPECT_EQ(video(), 1);
    const std::vector<unsigned char> wrong(pic.size() - 4);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, wrong.data(), int(wrong.size())), 0);
        sleepMs(100);
    }
    ZMAV_Stop(nullptr, nullptr);
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.stream("video")->duration, 2.0, 0.25 * kSlowdown);
}

// Runs in a child process: the limit is the process's.
[[noreturn]] void recordUnderSizeLimit(const std::string& path)
{
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool opened = ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, 30));
    const bool clean = ZMAV_GetWriteFailures(nullptr, nullptr) == 0;
    ZMAV_Start(nullptr, nullptr);
    VideoProducer producer(kW, kH, 30);
    const auto t0 = Clock::now();
    while (ZMAV_GetWriteFailures(nullptr, nullptr) == 0 && secondsSince(t0) < 10 * kSlowdown)
        sleepMs(20);
    ZMAV_Stop(nullptr, nullptr);
    producer.stop();
    std::fprintf(stderr, "failures %d: %s\n", ZMAV_GetWriteFailures(nullptr, nullptr), lastError().c_str());
    std::exit(opened && clean && ZMAV_GetWriteFailures(nullptr, nullptr) > 1 ? 0 : 1);
}

// /dev/full refuses the header at once; a file-size limit lets the header through and
// refuses what comes after it.
TEST_F(Lifecycle, WriteFailuresAreCountedWithTheirReason)
{
    const std::string full = dir.file("full.mp4");
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    EXPECT_FALSE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(full, ZM_VIDEO, 30)));
    EXPECT_EQ(lastError(), "@ avformat_write_header(...) error !: No space left on device");

    const std::string limited = dir.file("limited.mp4");
    EXPECT_EXIT(recordUnderSizeLimit(limited), ::testing::ExitedWithCode(0),
                "failures [0-9]+: @ av_interleaved_write_frame\\(\\.\\.\\.\\) error !: File too large");
}
