// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture_audio_p.h"
#include "zm_capture.h"
#include "zm_hookaudio.h"

bool Capture_CreateSysAudio(int* sampleRate, int* channels, int* sampleSize)
{
    captureAudio_destroy();
    auto* sys = new ZMHookAudio;
    sys->registerCallback(sampleRate, channels, sampleSize);
    // Try the server and its default output now, so that a missing server is reported before
    // the recording begins rather than as a silent file.
    sys->start();
    const bool reachable = sys->isRecording();
    sys->stop();
    if (!reachable) {
        captureAudio_setError(QString::fromStdString(sys->errorString()));
        delete sys;
        return false;
    }
    captureAudio_install(sys);
    return true;
}
