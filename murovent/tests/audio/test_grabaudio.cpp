// SPDX-License-Identifier: GPL-2.0-or-later
// The microphone (the test server's default input hears a 1000 Hz sine) through ZMGrabAudio
// and the audio facade.
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <vector>

#include "test_support.h"
#include "tone_analysis.h"
#include "zm_capture.h"
#include "zm_grabaudio.h"

using namespace audiotest;

namespace {

std::vector<int16_t> g_pcm;
std::vector<int> g_chunks;

bool collect(const char* data, int count)
{
    const int16_t* s = reinterpret_cast<const int16_t*>(data);
    g_pcm.insert(g_pcm.end(), s, s + count / 2);
    g_chunks.push_back(count);
    return true;
}

void clear()
{
    g_pcm.clear();
    g_chunks.clear();
}

// The remapped test microphone needs a moment before its sine flows.
bool hearing(int channels)
{
    const size_t tail = 4410 * channels;
    if (g_pcm.size() < tail)
        return false;
    const std::vector<int16_t> last(g_pcm.end() - tail, g_pcm.end());
    return tone::rms(tone::channelOf(last, channels, 0)) > 0.1;
}

}  // namespace

TEST(GrabAudio, DeliversExactlyWhatWasReadAtMost4096BytesAtATime)
{
    clear();
    ZMGrabAudio mic;
    ASSERT_TRUE(mic.init(44100, 2, 16)) << mic.errorString().toStdString();
    mic.m_callback = &collect;
    mic.start();
    ASSERT_TRUE(mic.isRecording()) << mic.errorString().toStdString();
    ASSERT_TRUE(waitUntil([] { return hearing(2); }, 8000)) << "the test microphone stays silent";

    // A busy GUI thread lets more than one buffer pile up; the backlog must be worked off
    // without loss, in reads of at most 4096 bytes, each delivered exactly as read.
    const size_t from = g_pcm.size();
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(300);
    spin(1500);
    mic.stop();
    const double seconds = clock.elapsed() / 1000.0;
    const size_t delivered = g_chunks.size();
    spin(200);
    EXPECT_EQ(g_chunks.size(), delivered) << "delivery after stop";

    EXPECT_NEAR((g_pcm.size() - from) / 2 / seconds, 44100, 44100 * 0.1) << "frames per second";
    for (int n : g_chunks) {
        EXPECT_LE(n, 4096);
        EXPECT_EQ(n % 4, 0);
    }
    const std::vector<float> left = tone::channelOf(g_pcm, 2, 0);
    EXPECT_NEAR(tone::dominantHz(std::vector<float>(left.begin() + from / 2, left.end()), 44100),
                1000, 5);
    // A sine at half scale steps by at most 2*pi*1000/44100*0.5 = 0.071 between samples; stale
    // buffer bytes delivered as if read would step much further.
    EXPECT_LT(tone::largestStep(left, from / 2), 0.1);
}

TEST(GrabAudio, FacadeWritesBackTheFormatRecorded)
{
    for (int rate : {8000, 11025, 22050, 44100}) {
        int sampleRate = rate, channels = 2, bits = 16;
        ASSERT_TRUE(Capture_CreateMicAudio(&sampleRate, &channels, &bits))
            << Capture_AudioError().toStdString();
        EXPECT_EQ(sampleRate, rate);
        EXPECT_EQ(channels, 2);
        EXPECT_EQ(bits, 16);
    }
    Capture_StopAudio();

    int sampleRate = 44100, channels = 2, bits = 8;
    EXPECT_FALSE(Capture_CreateMicAudio(&sampleRate, &channels, &bits));
    EXPECT_FALSE(Capture_AudioError().isEmpty());
    EXPECT_FALSE(Capture_StartAudio()) << "a refused source must not exist";
}

TEST(GrabAudio, FacadeRecordsPausesAndStops)
{
    clear();
    int sampleRate = 8000, channels = 1, bits = 16;
    ASSERT_TRUE(Capture_CreateMicAudio(&sampleRate, &channels, &bits));
    Capture_SetAudioCallback(&collect);
    ASSERT_TRUE(Capture_StartAudio()) << Capture_AudioError().toStdString();
    ASSERT_TRUE(waitUntil([] { return hearing(1); }, 8000));

    Capture_PauseAudio();
    spin(100);
    const size_t paused = g_pcm.size();
    spin(400);
    EXPECT_LT(g_pcm.size() - paused, 800u) << "the paused microphone goes on delivering";
    Capture_ResumeAudio();
    EXPECT_TRUE(waitUntil([&] { return g_pcm.size() > paused + 4000; }, 3000));

    const size_t from = g_pcm.size();
    spin(1000);
    Capture_StopAudio();
    const size_t stopped = g_pcm.size();
    spin(200);
    EXPECT_EQ(g_pcm.size(), stopped);
    EXPECT_NEAR(tone::dominantHz(tone::channelOf(std::vector<int16_t>(g_pcm.begin() + from,
                                                                    g_pcm.end()), 1, 0), 8000),
                1000, 5);
}
