// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_capture.h"

#include "zm_soundsource.h"

namespace {

std::unique_ptr<ZMSoundSource> g_audio;
QString g_audioError;

// Replaces the current source by a new one for the request and writes back the format it
// really records.
bool create(ZMSoundRequest::Kind kind, int* sampleRate, int* channels, int* sampleSize)
{
    g_audio.reset();
    ZMSoundRequest request;
    request.kind = kind;
    request.sampleRate = *sampleRate;
    request.channels = *channels;
    request.sampleBits = *sampleSize;
    g_audio = ZMSoundSource::create(request, &g_audioError);
    if (!g_audio)
        return false;
    g_audioError.clear();
    const ZMSoundFormat format = g_audio->format();
    *sampleRate = format.sampleRate;
    *channels = format.channels;
    *sampleSize = format.sampleBits;
    return true;
}

} // namespace

QString Capture_AudioError()
{
    return g_audioError;
}

bool Capture_CreateMicAudio(int* sampleRate, int* channels, int* sampleSize)
{
    return create(ZMSoundRequest::Microphone, sampleRate, channels, sampleSize);
}

#ifdef ZM_SYSTEM_SOUND
bool Capture_CreateSysAudio(int* sampleRate, int* channels, int* sampleSize)
{
    return create(ZMSoundRequest::SystemSound, sampleRate, channels, sampleSize);
}
#endif

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
    if (g_audio->isRecording())
        return true;
    g_audioError = g_audio->errorString();
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
    g_audio.reset();
}
