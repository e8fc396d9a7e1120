#include "zm_recordoptions.h"

#include <QStringList>

namespace {

bool toInts(const QString& text, int count, int* out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        out[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    return true;
}

bool setArea(ZMRecordOptions& o, const QString& value)
{
    int v[4];
    if (!toInts(value, 4, v) || v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0)
        return false;
    o.hasArea = true;
    o.x = v[0], o.y = v[1], o.width = v[2], o.height = v[3];
    return true;
}

bool setFps(ZMRecordOptions& o, const QString& value)
{
    bool ok = false;
    o.fps = value.toInt(&ok);
    return ok && o.fps >= 1 && o.fps <= 60;
}

bool setDuration(ZMRecordOptions& o, const QString& value)
{
    bool ok = false;
    o.duration = value.toDouble(&ok);
    return ok && o.duration > 0 && o.duration <= 24 * 3600;
}

bool addMark(ZMRecordOptions& o, const QString& value)
{
    const int at = value.lastIndexOf(QLatin1Char('@'));
    int xy[2];
    if (at <= 0 || !toInts(value.mid(at + 1), 2, xy))
        return false;
    o.marks.push_back({value.left(at), xy[0], xy[1]});
    return true;
}

bool setAudio(ZMRecordOptions& o, const QString& value)
{
    if (value == QLatin1String("none"))
        o.audio = ZMRecordOptions::NoAudio;
    else if (value == QLatin1String("mic"))
        o.audio = ZMRecordOptions::Microphone;
#ifdef ZM_SYSTEM_SOUND
    else if (value == QLatin1String("system"))
        o.audio = ZMRecordOptions::SystemSound;
#endif
    else
        return false;
    return true;
}

bool setRate(ZMRecordOptions& o, const QString& value)
{
    o.rate = value.toInt();
    o.rateGiven = true;
    return o.rate == 8000 || o.rate == 11025 || o.rate == 22050 || o.rate == 44100;
}

// Combinations that cannot be honoured, found before anything is created.
QString audioConflict(const ZMRecordOptions& o)
{
    if (o.audioOnly && o.audio == ZMRecordOptions::NoAudio)
        return QStringLiteral("--audio-only needs --audio mic or --audio system");
    if (o.rateGiven && o.audio != ZMRecordOptions::Microphone)
        return QStringLiteral("--rate is for the microphone (--audio mic); system sound is always "
                              "48000 Hz, 2 channels");
    if (o.audioOnly && !o.marks.empty())
        return QStringLiteral("--watermark needs pictures; it cannot go with --audio-only");
    return QString();
}

} // namespace

const std::vector<ZMRecordOptions::Option>& ZMRecordOptions::options()
{
    static const std::vector<Option> table = {
        {"--display", ":N", "X display to record (default: $DISPLAY)",
         [](ZMRecordOptions& o, const QString& v) { o.display = v; return !v.isEmpty(); }},
        {"--area", "X,Y,W,H", "record this rectangle, in screen pixels; W and H even, at least 64\n"
                              "(default: the whole screen)", setArea},
        {"--fps", "N", "frames per second, 1 to 60 (default: 10)", setFps},
        {"--duration", "SEC", "stop after SEC seconds (default: when interrupted by Ctrl+C)",
         setDuration},
        {"--cursor", nullptr, "draw the mouse cursor into the pictures",
         [](ZMRecordOptions& o, const QString&) { return o.cursor = true; }},
        {"--no-damage", nullptr, "grab the whole screen every frame instead of only what the X\n"
                                 "server reports changed (its DAMAGE extension); for comparison,\n"
                                 "and what servers without DAMAGE get anyway",
         [](ZMRecordOptions& o, const QString&) { o.trackChanges = false; return true; }},
        {"--watermark", "PNG@X,Y", "stamp the picture PNG with its top-left corner at X,Y of the\n"
                                   "recorded area; may be given more than once, later marks are\n"
                                   "drawn over earlier ones", addMark},
#ifdef ZM_SYSTEM_SOUND
        {"--audio", "mic|system", "record sound too: the microphone (the default input) or the\n"
                                  "system's own sound (what the default output plays); none,\n"
                                  "the default, records no sound", setAudio},
#else
        {"--audio", "mic", "record sound too: the microphone (the default input); none,\n"
                           "the default, records no sound", setAudio},
#endif
        {"--rate", "N", "microphone samples per second: 8000, 11025, 22050 or 44100\n"
                        "(default: 44100); system sound is always 48000 Hz, 2 channels", setRate},
        {"--audio-only", nullptr, "record the sound alone, without pictures (needs --audio)",
         [](ZMRecordOptions& o, const QString&) { return o.audioOnly = true; }},
        {"--overwrite", nullptr, "replace OUTPUT if it exists (default: refuse)",
         [](ZMRecordOptions& o, const QString&) { return o.overwrite = true; }},
    };
    return table;
}

ZMRecordOptions::Result ZMRecordOptions::parse(const QStringList& arguments, QString* error)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help"))
            return ShowHelp;
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            if (!output.isEmpty()) {
                *error = QStringLiteral("more than one output file: %1 and %2").arg(output, argument);
                return Invalid;
            }
            output = argument;
            continue;
        }
        // Both "--fps 30" and "--fps=30".
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        const Option* option = nullptr;
        for (const Option& candidate : options())
            if (name == QLatin1String(candidate.name))
                option = &candidate;
        if (!option) {
            *error = QStringLiteral("unknown option %1").arg(name);
            return Invalid;
        }
        QString value;
        if (option->value && equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (option->value) {
            if (++i == arguments.size()) {
                *error = QStringLiteral("%1 needs a value %2").arg(name, QLatin1String(option->value));
                return Invalid;
            }
            value = arguments[i];
        } else if (equals >= 0) {
            *error = QStringLiteral("%1 takes no value").arg(name);
            return Invalid;
        }
        if (!option->apply(*this, value)) {
            // The help line says what is expected, without its default.
            QString expected = QString::fromUtf8(option->help).simplified();
            const int defaultAt = expected.indexOf(QLatin1String(" (default"));
            if (defaultAt >= 0)
                expected.truncate(defaultAt);
            *error = QStringLiteral("bad value for %1: '%2' (%1 %3: %4)")
                         .arg(name, value, QLatin1String(option->value), expected);
            return Invalid;
        }
    }
    if (output.isEmpty()) {
        *error = QStringLiteral("no output file given");
        return Invalid;
    }
    *error = audioConflict(*this);
    return error->isEmpty() ? Run : Invalid;
}

QString ZMRecordOptions::helpText(const QString& program)
{
    QString text = QStringLiteral(
        "Usage: %1 [OPTION]... OUTPUT.mp4\n"
        "Records the screen of an X display into OUTPUT.mp4 (H.264, and AAC sound with --audio),\n"
        "on the same capture and encoding path as the murovent program. Stop with Ctrl+C (or\n"
        "SIGTERM); the file is always finalised and playable.\n\nOptions:\n").arg(program);
    for (const Option& option : options()) {
        QString head = QLatin1String(option.name);
        if (option.value)
            head += QLatin1Char(' ') + QLatin1String(option.value);
        const QStringList lines = QString::fromUtf8(option.help).split(QLatin1Char('\n'));
        text += QStringLiteral("  %1 %2\n").arg(head, -20).arg(lines.first());
        for (int i = 1; i < lines.size(); ++i)
            text += QStringLiteral("  %1 %2\n").arg(QString(), -20).arg(lines[i]);
    }
    text += QStringLiteral(
        "  -h, --help           show this text\n\n"
        "While recording, one status line shows the elapsed time, the frame slots written and the\n"
        "file size. At the end a summary tells how many frame slots were written, how many held a\n"
        "new picture, how many repeated the previous one or stayed empty because capture did not\n"
        "keep up, and how many pictures were still queued when the recording stopped.\n\n"
        "Exit status: 0 recorded; 1 the recording failed or was cut short (the display went\n"
        "away; what was recorded is kept); 2 bad arguments (nothing was created).\n");
    return text;
}
