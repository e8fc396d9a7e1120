// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

// What the command line asks for. Parsing checks the form of every value; whether the area
// fits the screen, the folder is writable and so on is checked later against the real
// system, still before anything is created.
struct ZMRecordOptions
{
    struct Mark {
        QString path;
        int x = 0;
        int y = 0;
    };

    QString backend = QStringLiteral("auto"); // the screen back-end: auto, x11 or portal
    QString display;       // empty: $DISPLAY
    bool hasArea = false;  // false: the whole screen
    int x = 0, y = 0, width = 0, height = 0;
    QString monitor;       // a monitor's name or number instead of the area
    quint64 window = 0;    // an X11 window instead of the area
    bool pickWindow = false;
    bool followCursor = false;
    bool listMonitors = false;
    int fps = 10;
    double duration = 0;   // seconds; 0: until interrupted
    bool cursor = false;
    bool trackChanges = true;
    bool overwrite = false;
    std::vector<Mark> marks;
    QString output;        // for messages; not every name is valid UTF-8
    QByteArray outputPath; // the output file's name as given, byte for byte
    enum Audio { NoAudio, Microphone, SystemSound, MicrophoneAndSystemSound };
    Audio audio = NoAudio;
    int rate = 44100;      // microphone samples per second
    bool rateGiven = false;
    bool audioOnly = false;
    QString micDevice;     // the sound server's names; empty: the default devices
    QString systemDevice;
    bool listDevices = false;
    int quality = -1;      // x264's rate factor; -1: the encoder's own rate control
    QString preset = QStringLiteral("ultrafast");

    enum Result { Run, ShowHelp, ListMonitors, ListAudioDevices, Invalid };
    // The arguments as the program received them (without the program's name). On Invalid,
    // `error` says what is wrong.
    Result parse(const QList<QByteArray>& arguments, QString* error);
    static QString helpText(const QString& program);

private:
    // One option: its name, the placeholder of its value (empty: a flag), its help line and
    // what it does with the value; a false result means the value is malformed.
    struct Option {
        const char* name;
        const char* value;
        const char* help;
        std::function<bool(ZMRecordOptions&, const QString&)> apply;
    };
    static const std::vector<Option>& options();
};
