// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_recordsession.h"

#include <zmav/zmav.h>

#include <capture/zm_screenbackend.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef ZM_SYSTEM_SOUND
#include <capture/zm_sounddevices.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_stopRequested{false};

QString clock(double seconds)
{
    const int whole = int(seconds);
    return QStringLiteral("%1:%2:%3.%4")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(int((seconds - whole) * 10));
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1048576)
        return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 0);
    return QStringLiteral("%1 MiB").arg(bytes / 1048576.0, 0, 'f', 1);
}

ZMRecordingSettings::Sound soundOf(ZMRecordOptions::Audio audio)
{
    switch (audio) {
    case ZMRecordOptions::SystemSound:
        return ZMRecordingSettings::Sound::SystemSound;
    case ZMRecordOptions::MicrophoneAndSystemSound:
        return ZMRecordingSettings::Sound::MicrophoneAndSystemSound;
    default:
        return ZMRecordingSettings::Sound::Microphone;
    }
}

const char* soundName(ZMRecordOptions::Audio audio)
{
    switch (audio) {
    case ZMRecordOptions::SystemSound:
        return "system sound";
    case ZMRecordOptions::MicrophoneAndSystemSound:
        return "microphone and system sound";
    default:
        return "microphone";
    }
}

// By the name's bytes: it need not be valid UTF-8.
qint64 fileSize(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? qint64(st.st_size) : 0;
}

} // namespace

ZMRecordSession::ZMRecordSession(const ZMRecordOptions& options)
    : m_options(options)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(50);
    connect(&m_ticker, &QTimer::timeout, this, &ZMRecordSession::tick);
    connect(&m_session, &ZMRecordingSession::event, this, &ZMRecordSession::onEvent);
}

ZMRecordSession::~ZMRecordSession() = default;

void ZMRecordSession::requestStop()
{
    g_stopRequested = true;
}

bool ZMRecordSession::prepare(QString* error)
{
    ZMRecordingSettings settings;
    if ((!m_options.audioOnly && !checkArea(error)) || !checkOutput(error) || !loadMarks(&settings, error))
        return false;
    settings.streams = m_options.audio == ZMRecordOptions::NoAudio ? ZM_VIDEO
                       : m_options.audioOnly                       ? ZM_AUDIO
                                                                   : ZM_AUDIO_VIDEO;
    settings.screenBackend = m_options.backend;
    settings.restoreToken = readToken();
    settings.display = m_options.display.toLocal8Bit();
    if (m_options.hasArea)
        settings.area = QRect(m_options.x, m_options.y, m_options.width, m_options.height);
    settings.monitor = m_options.monitor;
    settings.window = m_options.window;
    settings.pickWindow = m_options.pickWindow;
    settings.followCursor = m_options.followCursor;
    if (m_options.pickWindow && !m_options.audioOnly)
        std::fprintf(stderr, "murovent-record: click the window to record (another button cancels)\n");
    settings.fps = m_options.fps;
    settings.cursor = m_options.cursor;
    settings.trackChanges = m_options.trackChanges;
    settings.sound = soundOf(m_options.audio);
    settings.sampleRate = m_options.rate;
    settings.channels = 2;
    settings.microphoneDevice = m_options.micDevice.toUtf8();
    settings.systemSoundDevice = m_options.systemDevice.toUtf8();
    if (!checkDevices(error))
        return false;
    settings.outputPath = m_options.outputPath;
    settings.videoQuality = m_options.quality;
    settings.videoPreset = m_options.preset.toUtf8();
    if (m_session.prepare(settings, error)) {
        warnAboutMarks();
        storeToken(settings.restoreToken);
        return true;
    }
    if (m_session.failedStage() == ZMRecordingSession::Stage::Sound)
        *error = QStringLiteral("cannot record sound: %1").arg(*error);
    // The portal's answers come from the desktop, not from the arguments.
    m_failureStatus = m_session.failedStage() == ZMRecordingSession::Stage::Screen && usesPortal() ? 1 : 2;
    return false;
}

// Devices named on the command line are looked up first, so that a wrong name is told in the
// command line's words.
bool ZMRecordSession::checkDevices(QString* error) const
{
#ifdef ZM_SYSTEM_SOUND
    if (m_options.micDevice.isEmpty() && m_options.systemDevice.isEmpty())
        return true;
    ZMSoundDevices devices;
    if (!devices.query(error)) {
        *error = QStringLiteral("cannot record sound: %1").arg(*error);
        return false;
    }
    const QByteArray mic = m_options.micDevice.toUtf8(), output = m_options.systemDevice.toUtf8();
    if (!mic.isEmpty() && !devices.hasInput(mic)) {
        *error = QStringLiteral("no microphone named %1 (see --list-audio-devices)").arg(m_options.micDevice);
        return false;
    }
    if (!output.isEmpty() && !devices.hasOutput(output)) {
        *error = QStringLiteral("no output named %1 (see --list-audio-devices)").arg(m_options.systemDevice);
        return false;
    }
    return true;
#else
    Q_UNUSED(error);
    return true;
#endif
}

bool ZMRecordSession::usesPortal() const
{
    return !m_options.audioOnly
           && (m_options.backend == QLatin1String("auto") ? ZMScreenBackend::autoName() : m_options.backend)
                  == QLatin1String("portal");
}

// The portal's token for the monitor chosen last time, kept where a program keeps its state.
QString ZMRecordSession::tokenPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/murovent/portal-restore-token");
}

QString ZMRecordSession::readToken() const
{
    if (!usesPortal())
        return QString();
    QFile file(tokenPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// A failure to store only means the portal asks again next time: say so, record anyway.
void ZMRecordSession::storeToken(const QString& previous) const
{
    const QString token = m_session.screenRestoreToken();
    if (token.isEmpty() || token == previous)
        return;
    QSaveFile file(tokenPath());
    if (!QDir().mkpath(QFileInfo(file.fileName()).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(token.toUtf8() + '\n') < 0 || !file.commit())
        std::fprintf(stderr, "murovent-record: warning: cannot keep the portal's choice in %s: %s\n",
                     qPrintable(tokenPath()), qPrintable(file.errorString()));
}

// The command line's own rules for an area; whether it lies on the screen is the screen
// back-end's to say.
bool ZMRecordSession::checkArea(QString* error) const
{
    if (!usesPortal() && m_options.display.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY")) {
        *error = QStringLiteral("no X display: set DISPLAY or use --display");
        return false;
    }
    const ZMRecordOptions& o = m_options;
    if (!o.hasArea)
        return true;
    const QString area = QStringLiteral("%1,%2,%3,%4").arg(o.x).arg(o.y).arg(o.width).arg(o.height);
    if (o.width % 2 || o.height % 2) {
        *error = QStringLiteral("area %1: width and height must be even").arg(area);
        return false;
    }
    if (o.width < 64 || o.height < 64) {
        *error = QStringLiteral("area %1: at least 64 x 64 pixels are needed").arg(area);
        return false;
    }
    return true;
}

bool ZMRecordSession::checkOutput(QString* error) const
{
    const QString& output = m_options.output;
    const QFileInfo file(output);
    if (file.suffix().compare(QLatin1String("mp4"), Qt::CaseInsensitive) != 0
        && file.suffix().compare(QLatin1String("mkv"), Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("%1: the output file name must end in .mp4 or .mkv").arg(output);
        return false;
    }
    if (m_options.outputPath.size() >= ZM_SAVE_PATH_SIZE) {
        *error = QStringLiteral("%1: the path is too long (at most %2 bytes)").arg(output).arg(ZM_SAVE_PATH_SIZE - 1);
        return false;
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) {
        *error = QStringLiteral("%1: the folder %2 does not exist").arg(output, folder.filePath());
        return false;
    }
    if (access(QFile::encodeName(folder.filePath()).constData(), W_OK | X_OK) != 0) {
        *error = QStringLiteral("%1: the folder %2 is not writable").arg(output, folder.filePath());
        return false;
    }
    struct stat st;
    if (::stat(m_options.outputPath.constData(), &st) == 0 && (S_ISDIR(st.st_mode) || !m_options.overwrite)) {
        *error = S_ISDIR(st.st_mode) ? QStringLiteral("%1 is a folder").arg(output)
                              : QStringLiteral("%1 exists (use --overwrite to replace it)").arg(output);
        return false;
    }
    return true;
}

bool ZMRecordSession::loadMarks(ZMRecordingSettings* settings, QString* error) const
{
    for (const ZMRecordOptions::Mark& mark : m_options.marks) {
        QImage image(mark.path);
        if (image.isNull()) {
            *error = QStringLiteral("cannot read the watermark picture %1").arg(mark.path);
            return false;
        }
        settings->marks.push_back({image, QPoint(mark.x, mark.y)});
    }
    return true;
}

// A mark larger than the pictures is never drawn: say so, the recording goes on without it.
void ZMRecordSession::warnAboutMarks() const
{
    const ZM_MovieInfo& info = m_session.movieInfo();
    for (const ZMRecordOptions::Mark& mark : m_options.marks) {
        const QImage image(mark.path);
        if (image.width() > info.width || image.height() > info.height)
            std::fprintf(stderr, "murovent-record: warning: watermark %s (%dx%d) is larger than the "
                                 "area (%dx%d) and will not be drawn\n",
                         qPrintable(mark.path), image.width(), image.height(), info.width, info.height);
    }
}

int ZMRecordSession::run()
{
    QString error;
    if (!m_session.open(&error)) {
        std::fprintf(stderr, "murovent-record: cannot create %s: %s\n", m_options.outputPath.constData(),
                     qPrintable(error));
        return 1;
    }
    if (!m_session.start(&error)) {
        m_session.stop();
        std::fprintf(stderr, "murovent-record: cannot record sound: %s\n", qPrintable(error));
        return 1;
    }
    m_recording = true;
    m_elapsed.start();
    m_ticker.start();
    return QCoreApplication::exec();
}

void ZMRecordSession::tick()
{
    const double seconds = m_elapsed.nsecsElapsed() / 1e9;
    if (g_stopRequested) {
        m_stopReason = QStringLiteral("stopped on request");
        finish(0);
    } else if (m_options.duration > 0 && seconds >= m_options.duration && lastSlotWritten(seconds)) {
        m_stopReason = QStringLiteral("duration reached");
        finish(0);
    } else {
        showProgress();
    }
}

void ZMRecordSession::onEvent(ZMRecordingSession::Event event, double at, const QString& reason)
{
    using Event = ZMRecordingSession::Event;
    const QString when = clock(at);
    switch (event) {
    case Event::ScreenLost:
        m_stopReason = QStringLiteral("%1 at %2; recording cut short")
                           .arg(reason.isEmpty() ? QStringLiteral("the screen went away") : reason, when);
        finish(1);
        return;
    case Event::MicrophoneLost:
        tell(QStringLiteral("microphone lost at %1; silence recorded from then on").arg(when));
        break;
    case Event::SystemSoundLost:
        tell(QStringLiteral("system sound lost at %1; silence recorded from then on").arg(when));
        break;
    case Event::WriteError:
        // The session has stopped the recording; the file plays up to the failure.
        m_stopReason = QStringLiteral("writing the file failed at %1 (%2); recording stopped, what was "
                                      "written before plays").arg(when, reason);
        finish(1);
        return;
    case Event::DiskSpaceLow:
        tell(QStringLiteral("warning: the disk is nearly full (%1); the recording goes on").arg(reason));
        break;
    }
}

// Said at once, below the progress line, and again in the summary.
void ZMRecordSession::tell(const QString& incident)
{
    m_incidents << incident;
    if (m_lastProgressMs >= 0)
        std::fputc('\n', stderr);
    std::fprintf(stderr, "murovent-record: %s\n", qPrintable(incident));
}

// A timed recording should hold duration x fps frame slots. The encoder writes the last one a
// moment after the wall clock reaches the end (its picture may still be queued), so wait for
// it a little instead of dropping it at the stop.
bool ZMRecordSession::lastSlotWritten(double seconds) const
{
    if (m_options.audioOnly)
        return true;
    const int expected = int(std::lround(m_options.duration * m_options.fps));
    const double grace = std::max(2.0 / m_options.fps, 0.15);
    return m_session.figures().frameSlots >= expected || seconds >= m_options.duration + grace;
}

void ZMRecordSession::finish(int status)
{
    if (!m_recording)
        return;
    m_recording = false;
    m_ticker.stop();
    m_recordedSeconds = m_elapsed.nsecsElapsed() / 1e9;
    const QString failed = m_session.stop();
    if (!failed.isEmpty()) {
        tell(QStringLiteral("writing the end of the file failed (%1); what was written before plays").arg(failed));
        status = 1;
    } else if (m_lastProgressMs >= 0) {
        std::fputc('\n', stderr);
    }
    printSummary();
    QCoreApplication::exit(status);
}

void ZMRecordSession::showProgress()
{
    const qint64 ms = m_elapsed.elapsed();
    if (!isatty(STDERR_FILENO) || (m_lastProgressMs >= 0 && ms - m_lastProgressMs < 250))
        return;
    m_lastProgressMs = ms;
    std::fprintf(stderr, "\rrecording %s  frames %6d  size %s   ", qPrintable(clock(ms / 1000.0)),
                 m_session.figures().frameSlots, qPrintable(sizeText(fileSize(m_options.outputPath))));
    std::fflush(stderr);
}

void ZMRecordSession::printSummary() const
{
    const ZMAV_Stats figures = m_session.figures();
    std::fprintf(stderr, "murovent-record: %s after %s\n", qPrintable(m_stopReason),
                 qPrintable(clock(m_recordedSeconds)));
    std::fprintf(stderr, "  file   %s, %s\n", qPrintable(m_options.output),
                 qPrintable(sizeText(fileSize(m_options.outputPath))));
    const ZM_MovieInfo& info = m_session.movieInfo();
    if (info.has_audio_video & ZM_VIDEO)
        std::fprintf(stderr, "  video  %d slots written at %d fps (%.1f s): new pictures %d, repeated %d, "
                         "empty %d (capture did not keep up), dropped %d (late, or waiting at the stop)\n",
                 figures.frameSlots, m_options.fps, figures.frameSlots / double(m_options.fps),
                 figures.newPictures, figures.repeatedSlots, figures.emptySlots, figures.picturesDropped);
    if (info.has_audio_video & ZM_AUDIO)
        std::fprintf(stderr, "  audio  %s, %d Hz, %d channels: chunks refused %d (the encoder's "
                             "queue was full)\n",
                     soundName(m_options.audio),
                     info.audioSampleRate, info.channels, figures.audioChunksRefused);
    for (const QString& incident : m_incidents)
        std::fprintf(stderr, "  note   %s\n", qPrintable(incident));
}
