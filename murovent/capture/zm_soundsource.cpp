// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_soundsource.h"

#include "zm_capturelog.h"
#include "zm_grabaudio.h"
#ifdef ZM_SYSTEM_SOUND
#include "zm_hookaudio.h"
#endif

namespace {

std::unique_ptr<ZMSoundSource> microphone(const ZMSoundRequest& request, QString* error)
{
    auto mic = std::make_unique<ZMGrabAudio>();
    if (mic->init(request.sampleRate, request.channels, request.sampleBits))
        return mic;
    *error = mic->errorString();
    return nullptr;
}

// The server and its default output are tried at once, so that a missing server is reported
// before the recording begins rather than as a silent file.
std::unique_ptr<ZMSoundSource> systemSound(QString* error)
{
#ifdef ZM_SYSTEM_SOUND
    auto sys = std::make_unique<ZMHookAudio>();
    int rate, channels, bits;
    sys->registerCallback(&rate, &channels, &bits);
    sys->start();
    const bool reachable = sys->isRecording();
    sys->stop();
    if (reachable)
        return sys;
    *error = sys->errorString();
#else
    *error = QStringLiteral("this build records no system sound");
#endif
    return nullptr;
}

} // namespace

std::unique_ptr<ZMSoundSource> ZMSoundSource::create(const ZMSoundRequest& request, QString* error)
{
    std::unique_ptr<ZMSoundSource> source = request.kind == ZMSoundRequest::SystemSound ? systemSound(error)
                                                                                       : microphone(request, error);
    const char* kind = request.kind == ZMSoundRequest::SystemSound ? "system sound" : "microphone";
    if (source) {
        const ZMSoundFormat f = source->format();
        qCInfo(lcCapture, "sound source %s: %d Hz, %d channels, %d bits", kind, f.sampleRate, f.channels,
               f.sampleBits);
    } else {
        qCInfo(lcCapture) << "sound source" << kind << "refused:" << *error;
    }
    return source;
}
