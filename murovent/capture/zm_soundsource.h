// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_grabbase.h"

#include <QByteArray>
#include <QString>

#include <memory>

// What a sound source is asked to record: a plain value, filled by the front end.
struct ZMSoundRequest
{
    enum Kind { Microphone, SystemSound };
    Kind kind = Microphone;
    int sampleRate = 44100; // wanted; the source may record another (see format())
    int channels = 1;
    int sampleBits = 16;
};

// The format a sound source actually delivers: interleaved signed little-endian PCM.
struct ZMSoundFormat
{
    int sampleRate = 0;
    int channels = 0;
    int sampleBits = 16;
};

// A source of PCM sound (the microphone, the system's own sound) behind one interface: the
// recording starts, pauses, resumes and stops it, learns the format it really records, and
// learns when it was lost. A lost source goes on delivering silence in real time, so the
// recording keeps its length and its picture keeps its pace.
//
// Created, started, paused, resumed and stopped on the controlling thread; the delivery
// callback runs on the source's own thread (see each source); lost() may be read anywhere.
class ZMSoundSource : public ZMGrabBase
{
public:
    // Creates and prepares the source for the request; null, with the reason in *error, when
    // nothing can record it. Nothing is recorded before start().
    static std::unique_ptr<ZMSoundSource> create(const ZMSoundRequest& request, QString* error);

    virtual ZMSoundFormat format() const = 0;
    // After start(): false when the source could not begin (see errorString()).
    virtual bool isRecording() const = 0;
    virtual QString errorString() const = 0;
    // True once the source went away during the recording; silence has been filling in since.
    virtual bool lost() const = 0;
};
