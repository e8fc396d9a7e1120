// SPDX-License-Identifier: GPL-2.0-or-later
// System sound through TapAudio on the test's private sound server: the tone played into the
// default output comes back from its monitor, at the promised format and pace.
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

#include "tapaudio.h"
#include "test_support.h"
#include "tone_analysis.h"

using namespace audiotest;

namespace {

struct Received {
    std::mutex lock;
    std::vector<int16_t> pcm;
    std::atomic<long long> bytes{0};
    std::atomic<int> oddChunks{0};
    std::atomic<bool> stopped{false};
    std::atomic<int> late{0};

    static void onData(const char* data, int count, void* user)
    {
        Received* self = static_cast<Received*>(user);
        if (self->stopped)
            ++self->late;
        if (count % 4)
            ++self->oddChunks;
        std::lock_guard<std::mutex> hold(self->lock);
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        self->pcm.insert(self->pcm.end(), s, s + count / 2);
        self->bytes += count;
    }

    size_t samples()
    {
        std::lock_guard<std::mutex> hold(lock);
        return pcm.size();
    }

    // True once the last 100 ms hold sound rather than silence.
    bool hearing()
    {
        std::lock_guard<std::mutex> hold(lock);
        if (pcm.size() < 9600)
            return false;
        const std::vector<int16_t> tail(pcm.end() - 9600, pcm.end());
        return tone::rms(tone::channelOf(tail, 2, 0)) > 0.05;
    }
};

}  // namespace

TEST(TapAudio, RecordsTheDefaultOutputAtFormatAndPace)
{
    TonePlayer player;
    player.start(440);
    Received got;
    TapAudio tap;
    tap.registerRecordCallBack(&Received::onData, &got);
    ASSERT_TRUE(tap.start_record()) << tap.errorString();
    ASSERT_TRUE(waitUntil([&] { return got.hearing(); }, 8000)) << "no sound from the monitor";

    const size_t from = got.samples();
    const long long bytesFrom = got.bytes;
    QElapsedTimer clock;
    clock.start();
    spin(1500);
    tap.stop_record();
    const double seconds = clock.elapsed() / 1000.0;

    const double rate = (got.bytes - bytesFrom) / seconds / (TapAudio::Channels * 2);
    EXPECT_NEAR(rate, 48000, 48000 * 0.15) << "frames per second delivered";
    EXPECT_EQ(got.oddChunks, 0) << "chunks must hold whole stereo frames";
    std::vector<int16_t> recorded(got.pcm.begin() + from, got.pcm.end());
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float> mono = tone::channelOf(recorded, 2, channel);
        EXPECT_NEAR(tone::dominantHz(mono, 48000), 440, 5) << "channel " << channel;
        EXPECT_GT(tone::rms(mono), 0.2) << "channel " << channel;
    }
}

TEST(TapAudio, NothingAfterStopAndStartsAgain)
{
    TonePlayer player;
    player.start(440);
    Received got;
    TapAudio tap;
    tap.registerRecordCallBack(&Received::onData, &got);
    ASSERT_TRUE(tap.start_record()) << tap.errorString();
    ASSERT_TRUE(waitUntil([&] { return got.bytes > 0; }, 8000));
    tap.stop_record();
    got.stopped = true;
    EXPECT_FALSE(tap.isRecording());
    QThread::msleep(200);
    EXPECT_EQ(got.late, 0) << "callbacks after stop_record returned";

    // Pause and resume are a stop and a start: the second start must deliver again.
    got.stopped = false;
    const long long before = got.bytes;
    ASSERT_TRUE(tap.start_record()) << tap.errorString();
    EXPECT_TRUE(waitUntil([&] { return got.bytes > before + 48000; }, 8000));
    tap.stop_record();
    EXPECT_TRUE(tap.start_record());
    EXPECT_TRUE(tap.start_record()) << "a second start while recording is harmless";
}

// Last in this program: it ends the environment's sound server.
TEST(TapAudio, ServerLostGoesOnWithSilenceAndStopsPromptly)
{
    TonePlayer player;
    player.start(440);
    Received got;
    TapAudio tap;
    tap.registerRecordCallBack(&Received::onData, &got);
    ASSERT_TRUE(tap.start_record()) << tap.errorString();
    ASSERT_TRUE(waitUntil([&] { return got.hearing(); }, 8000));

    killSoundServer();
    ASSERT_TRUE(waitUntil([&] { return tap.serverLost(); }, 3000));
    const long long before = got.bytes;
    QElapsedTimer clock;
    clock.start();
    spin(1000);
    const double rate = (got.bytes - before) / (clock.elapsed() / 1000.0) / 4;
    EXPECT_NEAR(rate, 48000, 48000 * 0.2) << "silence must keep the pace of the recording";

    clock.restart();
    tap.stop_record();
    EXPECT_LT(clock.elapsed(), 500) << "stop must not wait for the vanished server";
    EXPECT_FALSE(tap.isRecording());
    EXPECT_FALSE(tap.start_record());
    EXPECT_FALSE(tap.errorString().empty());
}
