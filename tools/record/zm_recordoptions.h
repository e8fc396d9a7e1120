#pragma once

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

    QString display;       // empty: $DISPLAY
    bool hasArea = false;  // false: the whole screen
    int x = 0, y = 0, width = 0, height = 0;
    int fps = 10;
    double duration = 0;   // seconds; 0: until interrupted
    bool cursor = false;
    bool trackChanges = true;
    bool overwrite = false;
    std::vector<Mark> marks;
    QString output;
    enum Audio { NoAudio, Microphone, SystemSound };
    Audio audio = NoAudio;
    int rate = 44100;      // microphone samples per second
    bool rateGiven = false;
    bool audioOnly = false;

    enum Result { Run, ShowHelp, Invalid };
    // On Invalid, `error` says what is wrong.
    Result parse(const QStringList& arguments, QString* error);
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
