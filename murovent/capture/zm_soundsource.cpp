// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_soundsource.h"

#include "zm_capturelog.h"
#include "zm_grabaudio.h"
#ifdef ZM_SYSTEM_SOUND
#include "zm_hookaudio.h"
#include "zm_sounddevices.h"
#include "zm_soundmixer.h"
#endif

namespace {

#ifdef ZM_SYSTEM_SOUND
// Devices asked for by name are looked up first, so that a wrong name gets its own message
// rather than a connection failure.
bool devicesExist(const ZMSoundRequest& request, QString* error)
{
    const bool micNamed = !request.microphoneDevice.isEmpty() && request.kind != ZMSoundRequest::SystemSound;
    const bool outputNamed = !request.systemSoundDevice.isEmpty() && request.kind != ZMSoundRequest::Microphone;
    if (!micNamed && !outputNamed)
        return true;
    ZMSoundDevices devices;
    if (!devices.query(error))
        return false;
    if (micNamed && !devices.hasInput(request.microphoneDevice))
        *error = ZMSoundDevices::missingInput(request.microphoneDevice);
    else if (outputNamed && !devices.hasOutput(request.systemSoundDevice))
        *error = ZMSoundDevices::missingOutput(request.systemSoundDevice);
    else
        return true;
    return false;
}

std::unique_ptr<ZMSoundSource> mixed(const ZMSoundRequest& request, QString* error)
{
    auto mixer = std::make_unique<ZMSoundMixer>(request.microphoneDevice.toStdString(),
                                                request.systemSoundDevice.toStdString(), request.pictureLag);
    if (mixer->init())
        return mixer;
    *error = mixer->errorString();
    return nullptr;
}
#endif

std::unique_ptr<ZMSoundSource> microphone(const ZMSoundRequest& request, QString* error)
{
    auto mic = std::make_unique<ZMGrabAudio>();
    if (mic->init(request.sampleRate, request.channels, request.sampleBits, request.microphoneDevice))
        return mic;
    *error = mic->errorString();
    return nullptr;
}

// The server and its output are tried at once, so that a missing server is reported before the
// recording begins rather than as a silent file.
std::unique_ptr<ZMSoundSource> systemSound(const ZMSoundRequest& request, QString* error)
{
#ifdef ZM_SYSTEM_SOUND
    auto sys = std::make_unique<ZMHookAudio>(request.systemSoundDevice);
    int rate, channels, bits;
    sys->registerCallback(&rate, &channels, &bits);
    sys->start();
    const bool reachable = sys->isRecording();
    sys->stop();
    if (reachable)
        return sys;
    *error = sys->errorString();
#else
    Q_UNUSED(request);
    *error = QStringLiteral("this build records no system sound");
#endif
    return nullptr;
}

std::unique_ptr<ZMSoundSource> any(const ZMSoundRequest& request, QString* error)
{
#ifdef ZM_SYSTEM_SOUND
    if (!devicesExist(request, error))
        return nullptr;
    if (request.kind == ZMSoundRequest::MicrophoneAndSystemSound)
        return mixed(request, error);
#endif
    if (request.kind == ZMSoundRequest::Microphone)
        return microphone(request, error);
    return systemSound(request, error);
}

const char* kindName(ZMSoundRequest::Kind kind)
{
    switch (kind) {
    case ZMSoundRequest::Microphone:
        return "microphone";
    case ZMSoundRequest::SystemSound:
        return "system sound";
    case ZMSoundRequest::MicrophoneAndSystemSound:
        break;
    }
    return "microphone and system sound";
}

} // namespace

std::unique_ptr<ZMSoundSource> ZMSoundSource::create(const ZMSoundRequest& request, QString* error)
{
    std::unique_ptr<ZMSoundSource> source = any(request, error);
    const char* kind = kindName(request.kind);
    if (source) {
        const ZMSoundFormat f = source->format();
        qCInfo(lcCapture, "sound source %s: %d Hz, %d channels, %d bits", kind, f.sampleRate, f.channels,
               f.sampleBits);
    } else {
        qCInfo(lcCapture) << "sound source" << kind << "refused:" << *error;
    }
    return source;
}
