// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_movie_info.h>

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

// Everything one recording needs, as a plain value: the front ends (the panel, the command
// line) fill it from their own controls and rules; the session only carries it out.
struct ZMRecordingSettings
{
    struct Mark {
        QImage picture;
        QPoint position;   // of its top-left corner in the recorded picture
        bool text = false; // a rendered text mark rather than a picture
    };
    // Both: the microphone and the system sound mixed (48000 Hz, 2 channels).
    enum class Sound { None, Microphone, SystemSound, MicrophoneAndSystemSound };

    int streams = ZM_AUDIO_VIDEO;         // ZM_AUDIO, ZM_VIDEO or both
    // Pictures.
    QString screenBackend = QStringLiteral("auto");
    QString restoreToken;                 // the screen cast portal's token from an earlier recording
    QByteArray display;                   // X display; empty: $DISPLAY
    QRect area;                           // device pixels; null: the whole screen
    // Instead of the area (see ZMScreenRequest): a whole monitor, or a window followed as it
    // moves; or the area's size following the pointer.
    QString monitor;                      // name, or number from 0; empty: none
    quint64 window = 0;                   // X11 window id; 0: none
    bool pickWindow = false;              // the user chooses the window when it is prepared
    bool followCursor = false;
    int fps = 10;
    bool cursor = false;
    bool trackChanges = true;             // grab only what the screen reports changed, where it can
    std::vector<Mark> marks;              // painted in this order, later ones on top
    // Sound.
    Sound sound = Sound::Microphone;
    int sampleRate = 44100;               // for the microphone; system sound has its own
    int channels = 1;
    // The sound server's names of the devices (see ZMSoundDevices); empty: the default ones.
    QByteArray microphoneDevice;          // an input
    QByteArray systemSoundDevice;         // an output, whose monitor is recorded
    // The file: its path as bytes, exactly as the file system will see them. Its extension
    // chooses the container: ".mp4" or ".mkv".
    QByteArray outputPath;
    // H.264 encoding: x264's rate factor (0 best to 51; -1 the encoder's own rate control)
    // and speed preset ("ultrafast" to "medium").
    int videoQuality = -1;
    QByteArray videoPreset = "ultrafast";
    // A file listing the recordings in progress (see ZMRecordingJournal); empty: none kept.
    QString inProgressList;
};
