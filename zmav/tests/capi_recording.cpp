// SPDX-License-Identifier: GPL-2.0-or-later
// Recordings made through the C interface with capture-like producer threads, each file
// decoded afterwards: pacing of video-only recordings by the wall clock, audio regrouping,
// audio/video synchronisation and pause.

#include "recording_helpers.h"

#include "mp4_probe.h"

#include <gtest/gtest.h>

using namespace rec;
using mp4probe::probeMp4;

namespace {

class Recording : public ::testing::Test {
protected:
    void TearDown() override { ZMAV_Stop(nullptr, nullptr); }
    TempDir dir;
};

// Frequency of a mono signal from its rising zero crossings.
double frequencyOf(const std::vector<float>& mono, int rate)
{
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = 1; i < mono.size(); ++i)
        if (mono[i - 1] < 0 && mono[i] >= 0) {
            if (crossings++ == 0)
                first = i;
            last = i;
        }
    return crossings > 1 ? (crossings - 1) * double(rate) / double(last - first) : 0;
}

} // namespace

TEST_F(Recording, VideoOnlyFollowsTheWallClockWithAFasterProducer)
{
    const std::string path = dir.file("video10.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, 10)));
    ZMAV_Start(nullptr, nullptr);
    auto t0 = Clock::now();
    VideoProducer producer(320, 240, 25);
    sleepMs(3000);
    ZMAV_Stop(nullptr, nullptr);
    const double wall = secondsSince(t0);
    producer.stop();

    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    const auto* v = info.stream("video");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->codec, "h264");
    EXPECT_EQ(v->width, 320);
    // About 30 slots in 3 s; a sanitizer-slowed encoder may fall a little behind.
    EXPECT_LE(v->packets, 32);
    EXPECT_GE(v->packets, 30 - 3 * kSlowdown);
    EXPECT_NEAR(v->duration, wall, 0.2 * kSlowdown);
    EXPECT_EQ(mp4probe::countVideoFrames(path), v->packets);
    // The producer is held to the encoder's pace by the 5 waiting slots; pictures still
    // waiting at the stop are dropped, none is lost otherwise.
    EXPECT_GE(producer.accepted(), v->packets);
    EXPECT_LE(producer.accepted(), v->packets + 5);
    ZMAV_Stats stats{};
    ASSERT_EQ(ZMAV_GetStats(nullptr, nullptr, &stats), 1);
    EXPECT_EQ(stats.frameSlots, v->packets);
    EXPECT_EQ(stats.newPictures + stats.picturesDropped, producer.accepted());
    EXPECT_EQ(stats.newPictures + stats.repeatedSlots, stats.frameSlots);
    EXPECT_EQ(stats.emptySlots, 0);
}

TEST_F(Recording, RepeatsThenEmptySlotsKeepTheTimelineWhenPicturesStop)
{
    const std::string path = dir.file("jump.mp4");
    const int fps = 20;
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_VIDEO, fps)));
    ZMAV_Start(nullptr, nullptr);
    const auto px = picture(320, 240, 0); // the only picture ever handed in
    ASSERT_EQ(ZMAV_EncodeVideoFrame(nullptr, nullptr, px.data(), int(px.size())), 1);
    auto t0 = Clock::now();
    sleepMs(3500);
    ZMAV_Stop(nullptr, nullptr);
    const double wall = secondsSince(t0);

    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    const auto* v = info.stream("video");
    ASSERT_NE(v, nullptr);
    // The picture and its repeats fill the first frameRate + 31 slots; the later slots are
    // empty (no packet) but still count on the timeline, which one last repeat closes.
    EXPECT_EQ(v->packets, fps + 32);
    ZMAV_Stats stats{};
    ASSERT_EQ(ZMAV_GetStats(nullptr, nullptr, &stats), 1);
    EXPECT_EQ(stats.newPictures, 1);
    EXPECT_EQ(stats.repeatedSlots, fps + 31);
    EXPECT_GT(stats.emptySlots, fps / 2);
    EXPECT_EQ(stats.newPictures + stats.repeatedSlots + stats.emptySlots, stats.frameSlots);
    EXPECT_NEAR(stats.frameSlots, wall * fps, 2 + 0.1 * kSlowdown * fps);
    EXPECT_NEAR(info.duration, wall, 0.15 * kSlowdown);
    const auto first = mp4probe::decodeVideoFrame(path, 0);
    const auto last = mp4probe::decodeVideoFrame(path, fps + 31);
    ASSERT_TRUE(first.ok && last.ok);
    EXPECT_NEAR(last.pixel(200, 20).b, first.pixel(200, 20).b, 8);
}

// Pictures handed in with the areas that changed are converted only there (and the encoder
// analyses only there) and come out like pictures converted whole, also when a buffer reused by the library held a
// picture several steps back. Null pictures are stored frames of the file. A recording's first
// picture is converted whole whatever it claims: the buffers hold the last recording's.
TEST_F(Recording, ChangedAreasConvertExactlyLikeWholePictures)
{
    const int w = 320, h = 240, n = 30;
    auto square = [](int k) { return ZMAV_Rect{31 + 9 * k, 17 + 5 * k, 21, 19}; };
    auto make = [&](int k) {
        std::vector<unsigned char> px = picture(w, h, 0);
        const ZMAV_Rect r = square(k);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) {
                unsigned char* p = &px[(size_t(y) * w + x) * 4];
                p[0] = uint8_t(40 * k), p[1] = 255, p[2] = uint8_t(255 - 9 * k);
            }
        return px;
    };
    auto record = [&](const std::string& path, bool inParts) {
        ZM_MovieInfo info = movieInfo(path, ZM_VIDEO, 30, w, h);
        info.autoJumpFrame = false; // one slot per hand-off, whatever the timing
        ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, info));
        ZMAV_Start(nullptr, nullptr);
        int shown = 0;
        for (int k = 0; k < n; ++k) {
            if (k % 5 == 4) {
                ASSERT_EQ(ZMAV_EncodeVideoFrameChanged(nullptr, nullptr, nullptr, 0, nullptr, 0), 1);
                continue;
            }
            const std::vector<unsigned char> px = make(k);
            const ZMAV_Rect changed[2] = {square(shown), square(k)};
            const ZMAV_Rect first{0, 0, 2, 2};
            ASSERT_EQ(inParts ? ZMAV_EncodeVideoFrameChanged(nullptr, nullptr, px.data(), int(px.size()),
                                                             k == 0 ? &first : changed, k == 0 ? 1 : 2)
                              : ZMAV_EncodeVideoFrame(nullptr, nullptr, px.data(), int(px.size())),
                      1);
            shown = k;
        }
        ZMAV_Stats stats{};
        while (ZMAV_GetStats(nullptr, nullptr, &stats) && stats.frameSlots < n)
            sleepMs(10);
        ZMAV_Stop(nullptr, nullptr);
        EXPECT_EQ(stats.frameSlots, n);
        EXPECT_EQ(stats.repeatedSlots, n / 5);
    };
    // A recording before, so that the pool's buffers hold pictures of another recording.
    record(dir.file("whole.mp4"), false);
    record(dir.file("parts.mp4"), true);
    EXPECT_EQ(mp4probe::countVideoFrames(dir.file("parts.mp4")), n);
    for (int i = 0; i < n; ++i) {
        const auto whole = mp4probe::decodeVideoFrame(dir.file("whole.mp4"), i);
        const auto parts = mp4probe::decodeVideoFrame(dir.file("parts.mp4"), i);
        ASSERT_TRUE(whole.ok && parts.ok) << whole.error << parts.error;
        // Told where nothing changed, the encoder skips those blocks and decides a little
        // differently elsewhere (up to 10 here); a square converted or skipped wrongly leaves
        // a stale one, off by 40 or more.
        int most = 0;
        for (size_t j = 0; j < whole.bgra.size(); ++j)
            most = std::max(most, std::abs(int(whole.bgra[j]) - int(parts.bgra[j])));
        EXPECT_LE(most, 24) << "picture " << i;
    }
}

TEST_F(Recording, AudioOnlyRegroupsChunksIntoWholeFramesAndKeepsTheSound)
{
    const std::string path = dir.file("audio.mp4");
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO)));
    ZMAV_Start(nullptr, nullptr);
    AudioProducer producer(48000, 2, 1000, false, 2.0);
    producer.join();
    ASSERT_TRUE(waitAudioTaken());
    ZMAV_Stop(nullptr, nullptr);

    const long long fed = producer.acceptedBytes();
    ASSERT_EQ(fed, 2 * 48000 * 2 * 2);
    const long long frames = fed / (2 * 2048); // the rest of a frame is dropped at stop
    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 1u);
    const auto* a = info.stream("audio");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codec, "aac");
    EXPECT_EQ(a->sampleRate, 48000);
    EXPECT_EQ(a->channels, 2);

    const auto sound = mp4probe::decodeAudio(path);
    ASSERT_TRUE(sound.ok) << sound.error;
    EXPECT_EQ(sound.frames(), frames * 1024);
    std::vector<float> left;
    double energy = 0;
    for (int64_t i = 0; i < sound.frames(); ++i) {
        left.push_back(sound.samples[size_t(i) * 2]);
        energy += double(left.back()) * left.back();
    }
    EXPECT_NEAR(frequencyOf(left, 48000), 1000, 5);
    EXPECT_NEAR(std::sqrt(energy / double(left.size())), AudioProducer::kAmplitude / std::sqrt(2.0), 0.03);
}

TEST_F(Recording, BothStreamsEndWithinOneVideoFrame)
{
    const std::string path = dir.file("both.mp4");
    const int fps = 30;
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO, fps)));
    ZMAV_Start(nullptr, nullptr);
    const auto t0 = Clock::now();
    AudioProducer audio(48000, 2, 440, true);
    VideoProducer video(320, 240, fps);
    sleepMs(3000);
    audio.stop();
    video.stop();
    const double fedSeconds = secondsSince(t0);
    ZMAV_Stop(nullptr, nullptr);

    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 2u);
    EXPECT_EQ(info.streams[0].type, "video");
    EXPECT_EQ(info.streams[1].type, "audio");
    const double vd = info.streams[0].duration, ad = info.streams[1].duration;
    EXPECT_NEAR(vd, ad, 1.0 / fps + 0.005) << "video " << vd << " s, audio " << ad << " s";
    EXPECT_NEAR(ad, 3.0, 0.3 * kSlowdown);
    // The encoder keeps up with real-time sound: hardly any chunk finds the 16 slots full.
    EXPECT_GT(double(audio.acceptedBytes()), 0.95 * fedSeconds * 48000 * 4);
}

TEST_F(Recording, PauseLeavesNoGap)
{
    const std::string path = dir.file("pause.mp4");
    const int fps = 15;
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, movieInfo(path, ZM_AUDIO_VIDEO, fps)));
    ZMAV_Start(nullptr, nullptr);
    AudioProducer audio(48000, 2, 440, true);
    VideoProducer video(320, 240, fps);
    sleepMs(1000);
    ZMAV_Pause(nullptr, nullptr);
    sleepMs(2000);
    ZMAV_Resume(nullptr, nullptr);
    sleepMs(1000);
    ZMAV_Stop(nullptr, nullptr);
    audio.stop();
    video.stop();

    const auto info = probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 2u);
    // 2 s recorded out of 4 s of wall time.
    EXPECT_NEAR(info.streams[1].duration, 2.0, 0.35);
    EXPECT_NEAR(info.streams[0].duration, info.streams[1].duration, 2.0 / fps);
    EXPECT_NEAR(double(info.streams[0].packets), 2.0 * fps, 6);
    EXPECT_GT(audio.refusedChunks(), 0); // refused while paused
}

// A flash and a beep at the same instant of the capture land at the same time in the file:
// at 48000 Hz and at the panel's default 8000 Hz, where one AAC frame lasts 128 ms. One
// picture before them comes too late for its slot, as when a busy machine holds up the capture.
class SyncAtRate : public Recording, public ::testing::WithParamInterface<int> {
};

TEST_P(SyncAtRate, SoundAndPicturesStayInStep)
{
    const std::string path = dir.file("sync.mp4");
    const int fps = 30, rate = GetParam(), chunk = rate / 100;
    ZM_MovieInfo info = movieInfo(path, ZM_AUDIO_VIDEO, fps);
    info.audioSampleRate = rate;
    ASSERT_TRUE(ZMAV_init(nullptr, nullptr, nullptr, info));
    ZMAV_Start(nullptr, nullptr);
    const auto t0 = Clock::now();
    const double eventAt = 1.5;
    std::atomic<bool> quit{false};
    std::thread sound([&] {
        std::vector<int16_t> pcm(size_t(chunk) * 2); // 10 ms chunks
        for (long k = 0; !quit; ++k) {
            for (size_t i = 0; i < size_t(chunk); ++i) {
                const double t = double(k * chunk + long(i)) / rate;
                pcm[2 * i] = pcm[2 * i + 1] = t < eventAt ? 0 : int16_t(12000 * std::sin(2 * M_PI * 500 * t));
            }
            ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<unsigned char*>(pcm.data()), int(pcm.size() * 2));
            std::this_thread::sleep_until(t0 + std::chrono::milliseconds(10 * (k + 1)));
        }
    });
    std::thread screen([&] {
        const auto dark = picture(320, 240, 0, 20, 20, 20), bright = picture(320, 240, 0, 240, 240, 240);
        for (long k = 0; !quit; ++k) {
            const auto& px = k < long(eventAt * fps) ? dark : bright; // grabbed at k / fps
            if (k == fps)
                std::this_thread::sleep_for(std::chrono::duration<double>(1.5 / fps));
            ZMAV_EncodeVideoFrame(nullptr, nullptr, px.data(), int(px.size()));
            std::this_thread::sleep_until(t0 + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>((k + 1.0) / fps)));
        }
    });
    sleepMs(2500);
    ZMAV_Stop(nullptr, nullptr);
    quit = true;
    sound.join();
    screen.join();

    // First bright picture: the pictures go dark, then bright, so a bisection finds it.
    int lo = 0, hi = mp4probe::countVideoFrames(path) - 1;
    ASSERT_GT(hi, 50);
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const auto pic = mp4probe::decodeVideoFrame(path, mid);
        ASSERT_TRUE(pic.ok) << pic.error;
        (pic.pixel(100, 20).g > 128 ? hi : lo) = mid + (pic.pixel(100, 20).g > 128 ? 0 : 1);
    }
    const double flash = mp4probe::decodeVideoFrame(path, lo).pts;
    const auto audio = mp4probe::decodeAudio(path);
    ASSERT_TRUE(audio.ok) << audio.error;
    int64_t first = 0;
    while (first < audio.frames() && std::fabs(audio.samples[size_t(first) * 2]) < 0.1f)
        ++first;
    const double beep = double(first) / rate;
    EXPECT_NEAR(flash, beep, 0.5 / fps) << "flash " << flash << " s, beep " << beep << " s";
}

INSTANTIATE_TEST_SUITE_P(Rates, SyncAtRate, ::testing::Values(8000, 48000));
