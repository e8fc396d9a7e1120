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
    enum class Sound { None, Microphone, SystemSound };

    int streams = ZM_AUDIO_VIDEO;         // ZM_AUDIO, ZM_VIDEO or both
    // Pictures.
    QString screenBackend = QStringLiteral("auto");
    QByteArray display;                   // X display; empty: $DISPLAY
    QRect area;                           // device pixels; null: the whole screen
    int fps = 10;
    bool cursor = false;
    bool trackChanges = true;             // grab only what the screen reports changed, where it can
    std::vector<Mark> marks;              // painted in this order, later ones on top
    // Sound.
    Sound sound = Sound::Microphone;
    int sampleRate = 44100;               // for the microphone; system sound has its own
    int channels = 1;
    // The file: its path as bytes, exactly as the file system will see them.
    QByteArray outputPath;
};
