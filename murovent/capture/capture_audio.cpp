// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture_audio_p.h"
#include "zm_capture.h"
#include "zm_grabaudio.h"
#ifdef ZM_SYSTEM_SOUND
#include "zm_hookaudio.h"
#endif

namespace {

ZMGrabBase* g_audio = nullptr;
QString g_audioError;

bool isRecording(ZMGrabBase* source)
{
    if (auto* mic = dynamic_cast<ZMGrabAudio*>(source))
        return mic->isRecording();
#ifdef ZM_SYSTEM_SOUND
    if (auto* sys = dynamic_cast<ZMHookAudio*>(source))
        return sys->isRecording();
#endif
    return true;
}

QString errorOf(ZMGrabBase* source)
{
    if (auto* mic = dynamic_cast<ZMGrabAudio*>(source))
        return mic->errorString();
#ifdef ZM_SYSTEM_SOUND
    if (auto* sys = dynamic_cast<ZMHookAudio*>(source))
        return QString::fromStdString(sys->errorString());
#endif
    return QString();
}

}  // namespace

void captureAudio_destroy()
{
    delete g_audio;
    g_audio = nullptr;
}

void captureAudio_install(ZMGrabBase* source)
{
    g_audio = source;
    g_audioError.clear();
}

void captureAudio_setError(const QString& error)
{
    g_audioError = error;
}

QString Capture_AudioError()
{
    return g_audioError;
}

bool Capture_CreateMicAudio(int* sampleRate, int* channels, int* sampleSize)
{
    captureAudio_destroy();
    auto* mic = new ZMGrabAudio;
    if (!mic->init(*sampleRate, *channels, *sampleSize)) {
        captureAudio_setError(mic->errorString());
        delete mic;
        return false;
    }
    *sampleRate = mic->format().sampleRate();
    *channels = mic->format().channelCount();
    *sampleSize = mic->format().bytesPerSample() * 8;
    captureAudio_install(mic);
    return true;
}

void Capture_SetAudioCallback(DeliverFunc callback)
{
    if (g_audio)
        g_audio->m_callback = callback;
}

bool Capture_StartAudio()
{
    if (!g_audio)
        return false;
    g_audio->start();
    if (isRecording(g_audio))
        return true;
    captureAudio_setError(errorOf(g_audio));
    return false;
}

void Capture_PauseAudio()
{
    if (g_audio)
        g_audio->pause();
}

void Capture_ResumeAudio()
{
    if (g_audio)
        g_audio->resume();
}

void Capture_StopAudio()
{
    if (!g_audio)
        return;
    g_audio->stop();
    captureAudio_destroy();
}
