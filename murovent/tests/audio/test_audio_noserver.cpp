// SPDX-License-Identifier: GPL-2.0-or-later
// Without a sound server every audio source refuses at once with a message, and nothing is
// left behind that could start.
#include <QElapsedTimer>
#include <cstdlib>
#include <gtest/gtest.h>

#include "zm_capture.h"
#include "zm_grabaudio.h"

namespace {

// Point every client at a server that does not exist, before Qt looks for audio devices.
const int g_noServer = setenv("PULSE_SERVER", "unix:/nonexistent/murovent/native", 1);

}  // namespace

TEST(NoSoundServer, MicrophoneRefusesWithAMessage)
{
    ASSERT_EQ(g_noServer, 0);
    QElapsedTimer clock;
    clock.start();
    int rate = 44100, channels = 2, bits = 16;
    EXPECT_FALSE(Capture_CreateMicAudio(&rate, &channels, &bits));
    EXPECT_FALSE(Capture_AudioError().isEmpty());
    EXPECT_FALSE(Capture_StartAudio()) << "nothing may be left to start";
    Capture_StopAudio();
    EXPECT_LT(clock.elapsed(), 3000);

    ZMGrabAudio mic;
    EXPECT_FALSE(mic.init(8000, 1, 16));
    EXPECT_FALSE(mic.errorString().isEmpty());
    mic.start();
    EXPECT_FALSE(mic.isRecording());
}

#ifdef ZM_SYSTEM_SOUND
TEST(NoSoundServer, SystemSoundRefusesWithAMessage)
{
    QElapsedTimer clock;
    clock.start();
    int rate = 8000, channels = 1, bits = 16;
    EXPECT_FALSE(Capture_CreateSysAudio(&rate, &channels, &bits));
    EXPECT_FALSE(Capture_AudioError().isEmpty());
    EXPECT_FALSE(Capture_StartAudio());
    EXPECT_LT(clock.elapsed(), 3000);
}
#endif
