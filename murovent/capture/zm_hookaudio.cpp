// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_hookaudio.h"

void ZMHookAudio::registerCallback(int* sampleRate, int* channels, int* sampleSize)
{
    *sampleRate = TapAudio::SampleRate;
    *channels = TapAudio::Channels;
    *sampleSize = TapAudio::SampleBits;
    m_tap.registerRecordCallBack(&ZMHookAudio::trampoline, this);
}

ZMSoundFormat ZMHookAudio::format() const
{
    return {TapAudio::SampleRate, TapAudio::Channels, TapAudio::SampleBits};
}

void ZMHookAudio::start()
{
    m_tap.start_record();
}

void ZMHookAudio::stop()
{
    m_tap.stop_record();
}

void ZMHookAudio::pause()
{
    m_tap.stop_record();
}

void ZMHookAudio::resume()
{
    m_tap.start_record();
}

// Refused audio is lost on purpose: TapAudio cannot wait, it is recording in real time.
void ZMHookAudio::trampoline(const char* data, int bytes, void* user)
{
    ZMHookAudio* self = static_cast<ZMHookAudio*>(user);
    if (self->m_callback)
        self->m_callback(data, bytes);
}
