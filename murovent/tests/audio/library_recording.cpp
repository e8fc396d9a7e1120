// SPDX-License-Identifier: GPL-2.0-or-later
#include "library_recording.h"

#include <atomic>
#include <cstring>
#include <zmav/zmav.h>

#include "test_support.h"
#include "zm_capture.h"

namespace audiotest {

namespace {

bool toLibrary(const char* bytes, int count)
{
    return ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes),
                                 count) != 0;
}

std::atomic<bool> g_heard{false};

// Sources deliver silence until their input flows; wait for actual sound.
bool listen(const char* bytes, int count)
{
    const int16_t* samples = reinterpret_cast<const int16_t*>(bytes);
    for (int i = 0; i < count / 2; ++i)
        if (samples[i] > 1000 || samples[i] < -1000)
            g_heard = true;
    return true;
}

bool create(Source source, int* rate, int* channels, int* bits)
{
#ifdef ZM_SYSTEM_SOUND
    if (source == Source::SystemSound)
        return Capture_CreateSysAudio(rate, channels, bits);
#endif
    return source == Source::Microphone && Capture_CreateMicAudio(rate, channels, bits);
}

}  // namespace

ZM_MovieInfo audioOnlyMovie(const std::string& path, int sampleRate, int channels)
{
    ZM_MovieInfo info;
    info.has_audio_video = ZM_AUDIO;
    info.audioSampleRate = sampleRate;
    info.channels = channels;
    std::strncpy(info.save_path, path.c_str(), sizeof(info.save_path) - 1);
    return info;
}

bool openRecording(Source source, ZM_MovieInfo& info, std::string& error)
{
    int rate = info.audioSampleRate, channels = info.channels, bits = info.sampleSz();
    if (!create(source, &rate, &channels, &bits)) {
        error = Capture_AudioError().toStdString();
        return false;
    }
    info.audioSampleRate = rate;
    info.channels = channels;
    info.audioFrom = source == Source::SystemSound ? 1 : 0;
    Capture_SetAudioCallback(&toLibrary);
    if (!ZMAV_init(nullptr, nullptr, nullptr, info)) {
        Capture_StopAudio();
        error = "ZMAV_init failed";
        return false;
    }
    return true;
}

bool startRecording()
{
    ZMAV_Start(nullptr, nullptr);
    return Capture_StartAudio();
}

void stopRecording()
{
    ZMAV_Stop(nullptr, nullptr);
    Capture_StopAudio();
}

bool warmUp(Source source, int ms)
{
    int rate = 48000, channels = 2, bits = 16;
    if (!create(source, &rate, &channels, &bits))
        return false;
    g_heard = false;
    Capture_SetAudioCallback(&listen);
    const bool ok = Capture_StartAudio() && waitUntil([] { return g_heard.load(); }, 8000);
    spin(ms);
    Capture_StopAudio();
    return ok;
}

}  // namespace audiotest
