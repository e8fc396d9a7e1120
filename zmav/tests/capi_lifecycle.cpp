// SPDX-License-Identifier: GPL-2.0-or-later
// Life of a recording through the C interface: what is refused when, replacing and stopping
// recordings, and stopping while capture threads are still inside the library.

#include "recording_helpers.h"

#include "mp4_probe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
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
[[noreturn]] void recordUnderSizeLimit(const std::string& path, rlim_t bytes = 64 * 1024)
{
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
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

    // With room for a few fragments, everything before the failure plays, finished in place.
    const std::string roomy = dir.file("roomy.mp4");
    EXPECT_EXIT(recordUnderSizeLimit(roomy, 400 * 1024), ::testing::ExitedWithCode(0), "File too large");
    const auto info = probeMp4(roomy);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_GE(info.duration, 1.0);
    EXPECT_EQ(mp4probe::countVideoFrames(roomy), videoPackets(info));
}

// The top-level boxes of an MP4: position and type.
std::vector<std::pair<long, std::string>> topBoxes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::pair<long, std::string>> boxes;
    unsigned char h[8];
    for (long pos = 0; in.seekg(pos) && in.read(reinterpret_cast<char*>(h), 8);) {
        const long size = long(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
        boxes.emplace_back(pos, std::string(reinterpret_cast<char*>(h) + 4, 4));
        if (size < 8)
            break;
        pos += size;
    }
    return boxes;
}

int count(const std::vector<std::pair<long, std::string>>& boxes, const std::string& type)
{
    return int(std::count_if(boxes.begin(), boxes.end(), [&](const auto& b) { return b.second == type; }));
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void rename(const std::string& path, long boxPos, const char* type)
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(boxPos + 4);
    f.write(type, 4);
}

int finishFile(const std::string& path, std::string* why = nullptr)
{
    char text[256];
    const int result = ZMAV_FinishFile(nullptr, nullptr, path.c_str(), text, sizeof text);
    if (why)
        *why = text;
    return result;
}

// Killed while recording, the file holds every whole fragment; finishing it later (also from a
// copy torn inside its last fragment, or from a finish that was itself interrupted) gives a
// regular MP4 in place, with nothing copied.
TEST_F(Lifecycle, KilledRecordingPlaysAndIsFinishedLater)
{
    const std::string path = dir.file("killed.mp4");
    const pid_t child = fork();
    if (child == 0) {
        ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO, 10));
        ZMAV_Start(nullptr, nullptr);
        VideoProducer video(kW, kH, 10);
        AudioProducer audio(48000, 2, 440, true);
        sleepMs(100000);
        std::_Exit(1);
    }
    sleepMs(3500);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const auto fragmented = probeMp4(path);
    ASSERT_TRUE(fragmented.ok) << fragmented.error;
    EXPECT_GE(fragmented.duration, 2.0 - 0.5 * kSlowdown) << "all but about the last second";
    const auto before = topBoxes(path);
    ASSERT_GE(count(before, "moof"), 2);
    const long size = long(contents(path).size());

    // Copies torn inside the last fragment lose that fragment only.
    const long lastFragment = std::find_if(before.rbegin(), before.rend(),
                                           [](const auto& b) { return b.second == "moof"; })->first;
    for (long cut : {lastFragment + 20, (lastFragment + size) / 2, size - 1}) {
        const std::string torn = dir.file("torn.mp4");
        std::ofstream(torn, std::ios::binary) << contents(path).substr(0, size_t(cut));
        EXPECT_EQ(finishFile(torn), 1) << cut;
        const auto info = probeMp4(torn);
        ASSERT_TRUE(info.ok) << info.error;
        EXPECT_EQ(count(topBoxes(torn), "moof"), 0);
        EXPECT_GE(info.duration, fragmented.duration - 1.5);
        EXPECT_EQ(mp4probe::countVideoFrames(torn), videoPackets(info));
    }

    // Killed before its first fragment was whole: nothing to keep, and the reason says so,
    // while a finished file needs nothing and says nothing.
    const std::string empty = dir.file("empty.mp4");
    const long firstFragment = std::find_if(before.begin(), before.end(),
                                            [](const auto& b) { return b.second == "moof"; })->first;
    std::ofstream(empty, std::ios::binary) << contents(path).substr(0, size_t(firstFragment + 100));
    std::string why;
    EXPECT_EQ(finishFile(empty, &why), 0);
    EXPECT_NE(why.find("no picture and no sound"), std::string::npos) << why;
    EXPECT_EQ(long(contents(empty).size()), firstFragment + 100) << "left as it is";

    ASSERT_EQ(finishFile(path, &why), 1) << why;
    EXPECT_EQ(finishFile(path, &why), 0) << "finished already";
    EXPECT_EQ(why, "");
    const std::string finished = contents(path);
    EXPECT_LT(long(finished.size()) - size, 64 * 1024) << "only the index was added";
    const auto after = topBoxes(path);
    EXPECT_EQ(count(after, "moof"), 0);
    EXPECT_EQ(count(after, "moov"), 1);
    EXPECT_EQ(after.back().second, "moov");
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    // The sound's priming is cut: both tracks end within a frame of each other.
    EXPECT_NEAR(info.stream("audio")->duration, info.stream("video")->duration, 0.1);
    EXPECT_NEAR(info.duration, fragmented.duration, 0.1);
    EXPECT_EQ(mp4probe::countVideoFrames(path), videoPackets(info));

    // A finish interrupted while renaming the fragments is taken up where it stopped.
    rename(path, before[1].second == "moov" ? before[1].first : 0, "moov");
    for (size_t i = before.size() - 1, renamed = 0; renamed < 2; --i)
        if (before[i].second == "moof") {
            rename(path, before[i].first, "moof");
            ++renamed;
        }
    EXPECT_EQ(finishFile(path), 1);
    EXPECT_TRUE(contents(path) == finished);

    EXPECT_EQ(finishFile(dir.file("none.mp4"), &why), -1);
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;
}

// The rate factor and the preset reach x264 (it writes its settings into the stream), a lower
// rate factor gives a larger file, and a name ending in .mkv gives Matroska with the same
// streams.
TEST_F(Lifecycle, EncodingChoicesAndMatroska)
{
    EXPECT_EQ(ZMAV_SetVideoEncoding(nullptr, nullptr, 52, nullptr), 0);
    EXPECT_EQ(ZMAV_SetVideoEncoding(nullptr, nullptr, -2, nullptr), 0);
    EXPECT_EQ(ZMAV_SetVideoEncoding(nullptr, nullptr, 20, "veryslow"), 0);
    const auto recordWith = [&](int crf, const char* preset, const std::string& name, int streams) {
        EXPECT_EQ(ZMAV_SetVideoEncoding(nullptr, nullptr, crf, preset), 1);
        const std::string path = dir.file(name);
        EXPECT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, streams, 10)));
        ZMAV_Start(nullptr, nullptr);
        {
            VideoProducer video(kW, kH, 10);
            AudioProducer audio(48000, 2, 440, true, streams & ZM_AUDIO ? 1e9 : 0);
            sleepMs(1500);
            ZMAV_Stop(nullptr, nullptr);
        }
        return path;
    };
    const std::string fine = contents(recordWith(10, "medium", "fine.mp4", ZM_VIDEO));
    const std::string coarse = contents(recordWith(40, "ultrafast", "coarse.mp4", ZM_VIDEO));
    const std::string matroska = recordWith(-1, nullptr, "both.mkv", ZM_AUDIO_VIDEO);
    EXPECT_NE(fine.find("crf=10.0"), std::string::npos);
    EXPECT_NE(fine.find("subme=7"), std::string::npos) << "medium";
    EXPECT_NE(coarse.find("crf=40.0"), std::string::npos);
    EXPECT_NE(coarse.find("subme=0"), std::string::npos) << "ultrafast";
    EXPECT_GT(fine.size(), coarse.size()) << "even with the preset that compresses better";
    // Back to the encoder's own rate control, as a bit rate in the description asks.
    EXPECT_NE(contents(matroska).find("rc=abr"), std::string::npos);
    const auto info = probeMp4(matroska);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.format, "matroska,webm");
    ASSERT_EQ(info.streams.size(), 2u);
    EXPECT_EQ(info.streams[0].codec, "h264");
    EXPECT_EQ(info.streams[1].codec, "aac");
    EXPECT_NEAR(info.duration, 1.5, 0.3 * kSlowdown);
    EXPECT_EQ(finishFile(matroska), 0) << "Matroska plays as it is";
}
