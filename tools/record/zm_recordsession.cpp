#include "zm_recordsession.h"

#include "zm_capture.h"

#include <zmav/zm_movie_info.h>
#include <zmav/zmav.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

std::atomic<bool> g_stopRequested{false};

bool deliverVideo(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count);
}

bool deliverAudio(const char* bytes, int count)
{
    return ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count);
}

ZMAV_Stats stats()
{
    ZMAV_Stats figures{};
    ZMAV_GetStats(nullptr, nullptr, &figures);
    return figures;
}

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

} // namespace

ZMRecordSession::ZMRecordSession(const ZMRecordOptions& options)
    : m_options(options)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(50);
    connect(&m_ticker, &QTimer::timeout, this, &ZMRecordSession::tick);
}

ZMRecordSession::~ZMRecordSession()
{
    if (m_screenCreated)
        Capture_StopScreen();
    if (m_audioCreated)
        Capture_StopAudio();
}

void ZMRecordSession::requestStop()
{
    g_stopRequested = true;
}

bool ZMRecordSession::prepare(QString* error)
{
    if ((!m_options.audioOnly && !checkArea(error)) || !checkOutput(error) || !loadMarks(error) ||
        !prepareAudio(error))
        return false;
    if (m_options.audioOnly)
        return true;
    if (!m_options.display.isEmpty())
        qputenv("DISPLAY", m_options.display.toLocal8Bit());
    if (!Capture_CreateScreen(m_options.x, m_options.y, m_options.width, m_options.height,
                              m_options.fps, m_options.cursor)) {
        *error = QStringLiteral("cannot grab this screen (it needs 24- or 32-bit true colour)");
        return false;
    }
    m_screenCreated = true;
    Capture_SetVideoCallback(deliverVideo);
    for (size_t i = 0; i < m_marks.size(); ++i)
        Capture_AddFilter(m_options.marks[i].x, m_options.marks[i].y, &m_marks[i]);
    return true;
}

// The source writes back the format it records in, which the file must be told.
bool ZMRecordSession::prepareAudio(QString* error)
{
    if (m_options.audio == ZMRecordOptions::NoAudio)
        return true;
    int rate = m_options.rate, channels = 2, bits = 16;
#ifdef ZM_SYSTEM_SOUND
    if (m_options.audio == ZMRecordOptions::SystemSound)
        m_audioCreated = Capture_CreateSysAudio(&rate, &channels, &bits);
    else
#endif
        m_audioCreated = Capture_CreateMicAudio(&rate, &channels, &bits);
    if (!m_audioCreated) {
        *error = QStringLiteral("cannot record sound: %1").arg(Capture_AudioError());
        return false;
    }
    m_audioRate = rate;
    m_audioChannels = channels;
    Capture_SetAudioCallback(deliverAudio);
    m_streams = m_options.audioOnly ? ZM_AUDIO : ZM_AUDIO_VIDEO;
    return true;
}

bool ZMRecordSession::checkArea(QString* error)
{
    const QByteArray name = m_options.display.isEmpty() ? qgetenv("DISPLAY") : m_options.display.toLocal8Bit();
    if (name.isEmpty()) {
        *error = QStringLiteral("no X display: set DISPLAY or use --display");
        return false;
    }
    Display* display = XOpenDisplay(name.constData());
    if (!display) {
        *error = QStringLiteral("cannot open X display %1").arg(QString::fromLocal8Bit(name));
        return false;
    }
    const int screenWidth = DisplayWidth(display, DefaultScreen(display));
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));
    XCloseDisplay(display);
    ZMRecordOptions& o = m_options;
    if (!o.hasArea) {
        // H.264 in 4:2:0 needs even sizes; an odd screen loses its last column or row.
        o.x = o.y = 0;
        o.width = screenWidth & ~1;
        o.height = screenHeight & ~1;
        return true;
    }
    const QString area = QStringLiteral("%1,%2,%3,%4").arg(o.x).arg(o.y).arg(o.width).arg(o.height);
    if (o.width % 2 || o.height % 2) {
        *error = QStringLiteral("area %1: width and height must be even").arg(area);
        return false;
    }
    if (o.width < 64 || o.height < 64) {
        *error = QStringLiteral("area %1: at least 64 x 64 pixels are needed").arg(area);
        return false;
    }
    if (o.x + o.width > screenWidth || o.y + o.height > screenHeight) {
        *error = QStringLiteral("area %1 is not inside the screen (%2 x %3)")
                     .arg(area).arg(screenWidth).arg(screenHeight);
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
    if (output.toUtf8().size() >= ZM_SAVE_PATH_SIZE) {
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
    if (file.exists() && (file.isDir() || !m_options.overwrite)) {
        *error = file.isDir() ? QStringLiteral("%1 is a folder").arg(output)
                              : QStringLiteral("%1 exists (use --overwrite to replace it)").arg(output);
        return false;
    }
    return true;
}

bool ZMRecordSession::loadMarks(QString* error)
{
    for (const ZMRecordOptions::Mark& mark : m_options.marks) {
        QImage image(mark.path);
        if (image.isNull()) {
            *error = QStringLiteral("cannot read the watermark picture %1").arg(mark.path);
            return false;
        }
        if (image.width() > m_options.width || image.height() > m_options.height)
            std::fprintf(stderr, "murovent-record: warning: watermark %s (%dx%d) is larger than the "
                                 "area (%dx%d) and will not be drawn\n",
                         qPrintable(mark.path), image.width(), image.height(),
                         m_options.width, m_options.height);
        m_marks.push_back(image);
    }
    return true;
}

int ZMRecordSession::run()
{
    // The encoder's own chatter would bury the status line; warnings and errors still show.
    av_log_set_level(AV_LOG_WARNING);
    ZM_MovieInfo info;
    info.FrameFormat = FRAME_BGRA;
    info.frameRate = m_options.fps;
    info.gopSize = qMax(10 * m_options.fps, 100);
    info.maxBframe = 0;
    info.quality = 0;
    info.videoBitRate = 0;  // the H.264 encoder's own rate control
    info.pix_x = m_options.x;
    info.pix_y = m_options.y;
    info.width = m_options.width;
    info.height = m_options.height;
    info.grabCursor = m_options.cursor;
    info.autoJumpFrame = true;
    info.has_audio_video = m_streams;
    info.audioSampleRate = m_audioRate;
    info.channels = m_audioChannels;
    info.audioFrom = m_options.audio == ZMRecordOptions::SystemSound ? 1 : 0;
    const QByteArray path = m_options.output.toUtf8();
    std::memcpy(info.save_path, path.constData(), size_t(path.size()) + 1);

    ZMAV_SetVideoEncoding(nullptr, nullptr, m_options.quality, m_options.preset.toUtf8().constData());
    if (!ZMAV_init(nullptr, nullptr, nullptr, info)) {
        ZMAV_Stop(nullptr, nullptr);
        std::fprintf(stderr, "murovent-record: cannot create %s\n", path.constData());
        return 1;
    }
    ZMAV_Start(nullptr, nullptr);
    if (m_audioCreated && !Capture_StartAudio()) {
        ZMAV_Stop(nullptr, nullptr);
        std::fprintf(stderr, "murovent-record: cannot record sound: %s\n", qPrintable(Capture_AudioError()));
        return 1;
    }
    Capture_StartScreen();
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
    } else if (ZMAV_GetWriteFailures(nullptr, nullptr) > 0) {
        // What was written before the failure stays playable; going on would lose the rest.
        char reason[512];
        ZMAV_GetLastError(nullptr, nullptr, reason, sizeof reason);
        m_stopReason = QStringLiteral("writing the file failed (%1); recording stopped")
                           .arg(QString::fromUtf8(reason));
        finish(1);
    } else if (Capture_ScreenLost()) {
        m_stopReason = QStringLiteral("the X display went away (or shrank below the area); "
                                      "recording cut short");
        finish(1);
    } else if (m_options.duration > 0 && seconds >= m_options.duration && lastSlotWritten(seconds)) {
        m_stopReason = QStringLiteral("duration reached");
        finish(0);
    } else {
        showProgress();
    }
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
    return stats().frameSlots >= expected || seconds >= m_options.duration + grace;
}

// The library first, so that a hand-over blocked on its full queue returns, then the screen.
void ZMRecordSession::finish(int status)
{
    if (!m_recording)
        return;
    m_recording = false;
    m_ticker.stop();
    m_recordedSeconds = m_elapsed.nsecsElapsed() / 1e9;
    const bool progressShown = m_lastProgressMs >= 0;
    ZMAV_Stop(nullptr, nullptr);
    Capture_StopAudio();
    m_audioCreated = false;
    Capture_StopScreen();
    m_screenCreated = false;
    if (progressShown)
        std::fputc('\n', stderr);
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
                 stats().frameSlots, qPrintable(sizeText(QFileInfo(m_options.output).size())));
    std::fflush(stderr);
}

void ZMRecordSession::printSummary() const
{
    const ZMAV_Stats figures = stats();
    std::fprintf(stderr, "murovent-record: %s after %s\n", qPrintable(m_stopReason),
                 qPrintable(clock(m_recordedSeconds)));
    std::fprintf(stderr, "  file   %s, %s\n", qPrintable(m_options.output),
                 qPrintable(sizeText(QFileInfo(m_options.output).size())));
    if (m_streams & ZM_VIDEO)
        std::fprintf(stderr, "  video  %d slots written at %d fps (%.1f s): new pictures %d, repeated %d, "
                         "empty %d (capture did not keep up), dropped at the stop %d\n",
                 figures.frameSlots, m_options.fps, figures.frameSlots / double(m_options.fps),
                 figures.newPictures, figures.repeatedSlots, figures.emptySlots, figures.picturesDropped);
    if (m_streams & ZM_AUDIO)
        std::fprintf(stderr, "  audio  %s, %d Hz, %d channels: chunks refused %d (the encoder's "
                             "queue was full)\n",
                     m_options.audio == ZMRecordOptions::SystemSound ? "system sound" : "microphone",
                     m_audioRate, m_audioChannels, figures.audioChunksRefused);
}
