// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "tapaudio.h"
#include "zm_soundsource.h"

// The system's own sound, recorded by TapAudio and delivered on TapAudio's thread.
class ZMHookAudio : public ZMSoundSource
{
public:
    ZMHookAudio() = default;

    // Writes the format TapAudio delivers (48000 Hz, 2 channels, 16 bits) and registers the
    // delivery with TapAudio.
    void registerCallback(int* sampleRate, int* channels, int* sampleSize);
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

    ZMSoundFormat format() const override;
    bool isRecording() const override { return m_tap.isRecording(); }
    bool lost() const override { return m_tap.serverLost(); }
    QString errorString() const override { return QString::fromStdString(m_tap.errorString()); }

private:
    static void trampoline(const char* data, int bytes, void* user);

    TapAudio m_tap;
};
