// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_recordoptions.h"

#include <QStringList>

#include <climits>

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
    // Every later check adds the size to the corner: an edge beyond int is no screen's.
    if (qint64(v[0]) + v[2] > INT_MAX || qint64(v[1]) + v[3] > INT_MAX)
        return false;
    o.hasArea = true;
    o.x = v[0], o.y = v[1], o.width = v[2], o.height = v[3];
    return true;
}

// As xwininfo prints it (0x2a00007), or in decimal.
bool setWindow(ZMRecordOptions& o, const QString& value)
{
    bool ok = false;
    o.window = value.trimmed().toULongLong(&ok, 0);
    return ok && o.window > 0 && o.window <= 0xffffffffu;
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
    else if (value == QLatin1String("mic+system"))
        o.audio = ZMRecordOptions::MicrophoneAndSystemSound;
#endif
    else
        return false;
    return true;
}

bool setRate(ZMRecordOptions& o, const QString& value)
{
    o.rate = value.toInt();
    o.rateGiven = true;
    return o.rate == 8000 || o.rate == 11025 || o.rate == 22050 || o.rate == 44100 || o.rate == 48000;
}

bool usesMicrophone(const ZMRecordOptions& o)
{
    return o.audio == ZMRecordOptions::Microphone || o.audio == ZMRecordOptions::MicrophoneAndSystemSound;
}

bool usesSystemSound(const ZMRecordOptions& o)
{
    return o.audio == ZMRecordOptions::SystemSound || o.audio == ZMRecordOptions::MicrophoneAndSystemSound;
}

// One source of pictures at a time; following the pointer takes its size from --area.
QString sourceConflict(const ZMRecordOptions& o)
{
    const int sources = int(o.hasArea) + int(!o.monitor.isEmpty()) + int(o.window != 0) + int(o.pickWindow);
    if (sources > 1)
        return QStringLiteral("choose one of --area, --monitor, --window and --pick-window");
    if (o.followCursor && !o.hasArea)
        return QStringLiteral("--follow-cursor needs --area (the size that follows the pointer)");
    if (o.audioOnly && (sources > 0 || o.followCursor))
        return QStringLiteral("--audio-only records no pictures; it cannot go with --area, --monitor, --window, "
                              "--pick-window or --follow-cursor");
    return QString();
}

bool setQuality(ZMRecordOptions& o, const QString& value)
{
    bool ok = false;
    o.quality = value.toInt(&ok);
    return ok && o.quality >= 0 && o.quality <= 51;
}

bool setPreset(ZMRecordOptions& o, const QString& value)
{
    static const QStringList offered = {QStringLiteral("ultrafast"), QStringLiteral("superfast"),
                                        QStringLiteral("veryfast"), QStringLiteral("faster"),
                                        QStringLiteral("fast"), QStringLiteral("medium")};
    o.preset = value;
    return offered.contains(value);
}

// Combinations that cannot be honoured, found before anything is created.
QString audioConflict(const ZMRecordOptions& o)
{
    if (o.audioOnly && o.audio == ZMRecordOptions::NoAudio)
        return QStringLiteral("--audio-only needs --audio mic, system or mic+system");
    if (o.rateGiven && o.audio != ZMRecordOptions::Microphone)
        return QStringLiteral("--rate is for the microphone alone (--audio mic); system sound and the "
                              "mix are always 48000 Hz, 2 channels");
    if (!o.micDevice.isEmpty() && !usesMicrophone(o))
        return QStringLiteral("--mic-device needs --audio mic or --audio mic+system");
    if (!o.systemDevice.isEmpty() && !usesSystemSound(o))
        return QStringLiteral("--system-device needs --audio system or --audio mic+system");
    if (o.audioOnly && !o.marks.empty())
        return QStringLiteral("--watermark needs pictures; it cannot go with --audio-only");
    return QString();
}

} // namespace

const std::vector<ZMRecordOptions::Option>& ZMRecordOptions::options()
{
    static const std::vector<Option> table = {
        {"--backend", "auto|x11|portal", "where the pictures come from: the X server, or the\n"
                                         "desktop portal's screen cast (Wayland desktops); auto\n"
                                         "takes the portal on a Wayland session (default: auto)",
         [](ZMRecordOptions& o, const QString& v) {
             o.backend = v;
             return v == QLatin1String("auto") || v == QLatin1String("x11") || v == QLatin1String("portal");
         }},
        {"--display", ":N", "X display to record (default: $DISPLAY)",
         [](ZMRecordOptions& o, const QString& v) { o.display = v; return !v.isEmpty(); }},
        {"--area", "X,Y,W,H", "record this rectangle, in screen pixels; W and H even, at least 64\n"
                              "(default: the whole screen)", setArea},
        {"--monitor", "NAME|N", "record one monitor whole, by its name or its number in\n"
                                "--list-monitors (default: the whole screen)",
         [](ZMRecordOptions& o, const QString& v) { o.monitor = v.trimmed(); return !o.monitor.isEmpty(); }},
        {"--list-monitors", nullptr, "list the monitors (number, name, geometry, primary) and exit",
         [](ZMRecordOptions& o, const QString&) { return o.listMonitors = true; }},
        {"--window", "ID", "record one window with its frame, by its id as xwininfo prints\n"
                           "it (0x...); the recording follows the window when it moves,\n"
                           "keeps the size it had at the start, and ends when it is closed", setWindow},
        {"--pick-window", nullptr, "record the window clicked with the first mouse button (another\n"
                                   "button cancels), as --window does",
         [](ZMRecordOptions& o, const QString&) { return o.pickWindow = true; }},
        {"--follow-cursor", nullptr, "the --area keeps its size and follows the pointer, centred on\n"
                                     "it as far as the screen allows",
         [](ZMRecordOptions& o, const QString&) { return o.followCursor = true; }},
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
        {"--audio", "SOUND", "record sound too: mic, the microphone (the default input);\n"
                             "system, the system's own sound (what the default output\n"
                             "plays); mic+system, both mixed; none, the default, records\n"
                             "no sound", setAudio},
        {"--mic-device", "NAME", "the microphone to record: an input named as\n"
                                 "--list-audio-devices shows (default: the default input)",
         [](ZMRecordOptions& o, const QString& v) { o.micDevice = v; return !v.isEmpty(); }},
        {"--system-device", "SINK", "the output whose sound is recorded, named as\n"
                                    "--list-audio-devices shows (default: the default output)",
         [](ZMRecordOptions& o, const QString& v) { o.systemDevice = v; return !v.isEmpty(); }},
        {"--list-audio-devices", nullptr, "list the sound server's microphones and outputs, then exit",
         [](ZMRecordOptions& o, const QString&) { return o.listDevices = true; }},
#else
        {"--audio", "mic", "record sound too: the microphone (the default input); none,\n"
                           "the default, records no sound", setAudio},
        {"--mic-device", "NAME", "the microphone to record, by the sound server's name\n"
                                 "(default: the default input)",
         [](ZMRecordOptions& o, const QString& v) { o.micDevice = v; return !v.isEmpty(); }},
#endif
        {"--rate", "N", "microphone samples per second: 8000, 11025, 22050, 44100 or 48000\n"
                        "(default: 44100); system sound and the mix are always 48000 Hz,\n"
                        "2 channels", setRate},
        {"--audio-only", nullptr, "record the sound alone, without pictures (needs --audio)",
         [](ZMRecordOptions& o, const QString&) { return o.audioOnly = true; }},
        {"--quality", "CRF", "picture quality as x264's rate factor, 0 (best, largest) to 51\n"
                             "(smallest); 18 looks lossless, each +6 about halves the size\n"
                             "(default: the encoder's own, 23)", setQuality},
        {"--preset", "NAME", "x264's speed preset: ultrafast, superfast, veryfast, faster,\n"
                             "fast or medium; slower ones give smaller files for more CPU\n"
                             "(default: ultrafast)", setPreset},
        {"--overwrite", nullptr, "replace OUTPUT if it exists (default: refuse)",
         [](ZMRecordOptions& o, const QString&) { return o.overwrite = true; }},
    };
    return table;
}

ZMRecordOptions::Result ZMRecordOptions::parse(const QList<QByteArray>& rawArguments, QString* error)
{
    QStringList arguments;
    for (const QByteArray& raw : rawArguments)
        arguments << QString::fromLocal8Bit(raw);
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
            // Text conversion turns bytes that are not UTF-8 into U+FFFD: the file is named
            // with the bytes themselves, as every other program would.
            outputPath = rawArguments[i];
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
    if (listMonitors)
        return ListMonitors;
    if (listDevices)
        return ListAudioDevices;
    if (output.isEmpty()) {
        *error = QStringLiteral("no output file given");
        return Invalid;
    }
    *error = sourceConflict(*this);
    if (error->isEmpty())
        *error = audioConflict(*this);
    return error->isEmpty() ? Run : Invalid;
}

QString ZMRecordOptions::helpText(const QString& program)
{
    QString text = QStringLiteral(
        "Usage: %1 [OPTION]... OUTPUT.mp4|OUTPUT.mkv\n"
        "Records the screen of an X display, or of a Wayland desktop through its screen cast\n"
        "portal, into OUTPUT (MP4 or, for a name ending in .mkv, Matroska; H.264, and AAC sound\n"
        "with --audio), on the same capture and encoding path as the murovent program. Stop with\n"
        "Ctrl+C (or SIGTERM or SIGHUP; a signal ignored when the program starts, as under nohup,\n"
        "stays ignored); the file is then finalised and playable, and a second signal does not\n"
        "interrupt that. A recording that is interrupted anyhow else (killed, a crash, a power\n"
        "cut) keeps all but about its last second: it plays as it is.\n\nOptions:\n").arg(program);
    for (const Option& option : options()) {
        QString head = QLatin1String(option.name);
        if (option.value)
            head += QLatin1Char(' ') + QLatin1String(option.value);
        QStringList lines = QString::fromUtf8(option.help).split(QLatin1Char('\n'));
        // A head too long for its column gets a line of its own.
        if (head.size() > 20)
            lines.prepend(QString());
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
        "The portal asks once which monitor to share; the answer is kept as a token in\n"
        "$XDG_STATE_HOME/murovent/ (default ~/.local/state/murovent/), so later recordings do not ask.\n\n"
        "Exit status: 0 recorded; 1 the recording failed or was cut short (the display, the\n"
        "monitor or the window went away, the portal is missing or refused, or writing failed,\n"
        "e.g. the disk is full; what was recorded is kept and the system's reason printed);\n"
        "2 bad arguments (nothing was created).\n");
    return text;
}
