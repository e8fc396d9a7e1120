// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_recordingsession.h"

#include "zm_recordingjournal.h"
#include "zm_sessionlog.h"

#include <capture/zm_grabscreen.h>
#include <capture/zm_soundsource.h>

#include <QFileInfo>

#include <cstring>
#include <sys/prctl.h>
#include <sys/statvfs.h>

namespace {

// The capture threads deliver straight into the library, which copies what it accepts.
bool deliverVideo(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count) != 0;
}

// Whole pictures go this way too: the library then bounds the memory its queue may take.
bool deliverChangedVideo(const char* bytes, int count, const std::vector<QRect>* changed)
{
    std::vector<ZMAV_Rect> rects;
    if (changed)
        for (const QRect& r : *changed)
            rects.push_back({r.x(), r.y(), r.width(), r.height()});
    return ZMAV_EncodeVideoFrameChanged(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count,
                                        changed ? rects.data() : nullptr, changed ? int(rects.size()) : -1)
           != 0;
}

bool deliverAudio(const char* bytes, int count)
{
    return ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count) != 0;
}

// x264 asks the kernel for transparent huge pages for its pictures, rounding each to 2 MB.
// Where they are granted on request, the first touches compact and clear memory 2 MB at a
// time: at 3840x2160 the first two pictures took 0.7 to 0.9 s to encode, so a 10 s recording
// held only 9.3 s, and a 1080p recording held about 15 MB more while encoding no faster.
// Small pages for the whole process (and what it starts) avoid both; a kernel without the
// switch keeps its own.
void keepMemoryPagesSmall()
{
    prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
}

QString libraryError()
{
    char text[512];
    ZMAV_GetLastError(nullptr, nullptr, text, sizeof text);
    return QString::fromUtf8(text);
}

// How often a running recording is looked at for lost sources and write errors, and how many
// of these looks apart its disk's free space.
constexpr int kWatchMs = 100;
constexpr int kDiskSpaceTicks = 10;
// Below room for this many seconds at the data rate so far, the disk is said to run low; the
// rate is only trusted after the first few seconds.
constexpr double kLowDiskSeconds = 60;
constexpr double kRateSettledSeconds = 3;

} // namespace

ZMRecordingSession::ZMRecordingSession(QObject* parent)
    : QObject(parent)
{
    routeLibraryLog();
    m_watch.setInterval(kWatchMs);
    connect(&m_watch, &QTimer::timeout, this, &ZMRecordingSession::watch);
}

ZMRecordingSession::~ZMRecordingSession()
{
    if (m_opened || m_prepared)
        stop();
}

bool ZMRecordingSession::prepare(const ZMRecordingSettings& settings, QString* error)
{
    stop();
    m_settings = settings;
    m_reported = 0;
    describe();
    m_failed = Stage::Sound;
    if ((m_settings.streams & ZM_AUDIO) && !prepareSound(error))
        return failPrepare(*error);
    m_failed = Stage::Screen;
    if ((m_settings.streams & ZM_VIDEO) && !prepareScreen(error))
        return failPrepare(*error);
    m_failed = Stage::None;
    m_prepared = true;
    return true;
}

bool ZMRecordingSession::failPrepare(const QString& error)
{
    qCInfo(lcRecorder) << "recording not prepared:" << error;
    release();
    return false;
}

// The description the library gets: the pictures' real size and the sound's real format, which
// the sources decided.
void ZMRecordingSession::describe()
{
    const ZMRecordingSettings& s = m_settings;
    m_info = ZM_MovieInfo();
    const QByteArray& path = s.outputPath;
    std::memcpy(m_info.save_path, path.constData(), size_t(qMin<qsizetype>(path.size(), ZM_SAVE_PATH_SIZE - 1)));
    m_info.save_path[qMin<qsizetype>(path.size(), ZM_SAVE_PATH_SIZE - 1)] = '\0';
    m_info.quality = 0.0;
    m_info.FrameFormat = FRAME_BGRA;
    m_info.frameRate = s.fps;
    m_info.gopSize = qMax(100, 10 * s.fps);
    m_info.FrameRotate = 0;
    m_info.maxBframe = 0;
    m_info.autoJumpFrame = true;
    m_info.grabCursor = s.cursor && (s.streams & ZM_VIDEO);
    m_info.pix_x = s.area.x();
    m_info.pix_y = s.area.y();
    m_info.width = s.area.width();
    m_info.height = s.area.height();
    // No bit rate: the H.264 encoder's own rate control.
    m_info.videoBitRate = int(m_info.width * m_info.height * 1.5 * m_info.quality);
    m_info.SampleFormat = SF_S16;
    m_info.audioSampleRate = s.sampleRate;
    m_info.channels = s.channels;
    // 2: both mixed, a value the description gains for them.
    m_info.audioFrom = s.sound == ZMRecordingSettings::Sound::SystemSound               ? 1
                       : s.sound == ZMRecordingSettings::Sound::MicrophoneAndSystemSound ? 2
                                                                                         : 0;
    m_info.has_audio_video = s.streams;
    for (const ZMRecordingSettings::Mark& mark : s.marks) {
        void*& picture = mark.text ? m_info.waterText : m_info.waterImage;
        if (picture)
            continue;
        picture = const_cast<QImage*>(&mark.picture);
        (mark.text ? m_info.waterTextX : m_info.waterImageX) = mark.position.x();
        (mark.text ? m_info.waterTextY : m_info.waterImageY) = mark.position.y();
    }
}

bool ZMRecordingSession::prepareSound(QString* error)
{
    ZMSoundRequest request;
    switch (m_settings.sound) {
    case ZMRecordingSettings::Sound::SystemSound:
        request.kind = ZMSoundRequest::SystemSound;
        break;
    case ZMRecordingSettings::Sound::MicrophoneAndSystemSound:
        request.kind = ZMSoundRequest::MicrophoneAndSystemSound;
        break;
    default:
        request.kind = ZMSoundRequest::Microphone;
    }
    request.microphoneDevice = m_settings.microphoneDevice;
    request.systemSoundDevice = m_settings.systemSoundDevice;
    request.sampleRate = m_settings.sampleRate;
    request.channels = m_settings.channels;
    request.sampleBits = m_info.sampleSz();
    if ((m_settings.streams & ZM_VIDEO) && m_settings.fps > 0)
        request.pictureLag = 0.5 / m_settings.fps;
    m_sound = ZMSoundSource::create(request, error);
    if (!m_sound)
        return false;
    const ZMSoundFormat format = m_sound->format();
    m_info.audioSampleRate = format.sampleRate;
    m_info.channels = format.channels;
    m_sound->m_callback = deliverAudio;
    return true;
}

bool ZMRecordingSession::prepareScreen(QString* error)
{
    ZMScreenRequest request;
    request.display = m_settings.display;
    request.area = m_settings.area;
    request.cursor = m_settings.cursor;
    request.fps = m_settings.fps;
    request.restoreToken = m_settings.restoreToken;
    request.monitor = m_settings.monitor;
    request.window = m_settings.window;
    request.pickWindow = m_settings.pickWindow;
    request.followCursor = m_settings.followCursor;
    request.trackChanges = m_settings.trackChanges;
    auto backend = ZMScreenBackend::create(m_settings.screenBackend, request, error);
    if (!backend)
        return false;
    const QSize size = backend->size();
    m_screen = std::make_unique<ZMGrabScreen>();
    if (!m_screen->init(std::move(backend), m_settings.fps)) {
        *error = QStringLiteral("the frame rate %1 is not positive").arg(m_settings.fps);
        return false;
    }
    m_info.width = size.width();
    m_info.height = size.height();
    m_screen->m_callback = deliverVideo;
    m_screen->m_changedCallback = deliverChangedVideo;
    for (ZMRecordingSettings::Mark& mark : m_settings.marks)
        m_screen->addFilter(&mark.picture, mark.position.x(), mark.position.y());
    return true;
}

bool ZMRecordingSession::open(QString* error)
{
    if (!m_prepared)
        return false;
    if (!ZMAV_SetVideoEncoding(this, nullptr, m_settings.videoQuality, m_settings.videoPreset.constData())) {
        m_failed = Stage::File;
        *error = QStringLiteral("the video quality %1 or preset %2 is not offered")
                     .arg(m_settings.videoQuality).arg(QString::fromUtf8(m_settings.videoPreset));
        release();
        return false;
    }
    keepMemoryPagesSmall();
    if (!ZMAV_init(this, nullptr, nullptr, m_info)) {
        m_failed = Stage::File;
        *error = libraryError();
        qCInfo(lcRecorder) << "the library refused the recording:" << *error;
        release();
        return false;
    }
    m_opened = true;
    if (!m_settings.inProgressList.isEmpty())
        ZMRecordingJournal(m_settings.inProgressList).add(QFile::decodeName(m_settings.outputPath));
    m_watchTicks = 0;
    return true;
}

// The library starts first, so that it takes what the sources deliver from their first byte.
bool ZMRecordingSession::start(QString* error)
{
    if (!m_opened || m_started)
        return false;
    ZMAV_Start(this, nullptr);
    if (m_sound) {
        m_sound->start();
        if (!m_sound->isRecording()) {
            m_failed = Stage::Start;
            *error = m_sound->errorString();
            return false;
        }
    }
    if (m_screen)
        m_screen->start();
    m_started = true;
    m_paused = false;
    m_pausedNs = 0;
    m_clock.start();
    m_watch.start();
    qCInfo(lcRecorder, "recording %s", m_info.save_path);
    return true;
}

// The library pauses before the sources and resumes after them, so it never sees a gap it
// would have to encode. Before the start nothing runs that could be paused.
void ZMRecordingSession::pause()
{
    if (!m_started || m_paused)
        return;
    ZMAV_Pause(this, nullptr);
    if (m_sound)
        m_sound->pause();
    if (m_screen)
        m_screen->pause();
    m_paused = true;
    m_pauseStartNs = m_clock.nsecsElapsed();
}

void ZMRecordingSession::resume()
{
    if (!m_started || !m_paused)
        return;
    if (m_sound)
        m_sound->resume();
    if (m_screen)
        m_screen->resume();
    ZMAV_Resume(this, nullptr);
    m_paused = false;
    m_pausedNs += m_clock.nsecsElapsed() - m_pauseStartNs;
}

// The library stops first: its queue then refuses at once, which releases a grab thread
// blocked in a hand-off.
QString ZMRecordingSession::stop()
{
    m_watch.stop();
    QString failed;
    if (m_opened) {
        const bool failedBefore = ZMAV_GetWriteFailures(nullptr, nullptr) > 0;
        ZMAV_Stop(this, nullptr);
        if (!failedBefore && ZMAV_GetWriteFailures(nullptr, nullptr) > 0)
            failed = libraryError();
        if (!m_settings.inProgressList.isEmpty())
            ZMRecordingJournal(m_settings.inProgressList).remove(QFile::decodeName(m_settings.outputPath));
    }
    if (m_started)
        qCInfo(lcRecorder, "recording stopped after %.1f s", recordedSeconds());
    release();
    return failed;
}

void ZMRecordingSession::release()
{
    if (m_sound)
        m_sound->stop();
    m_sound.reset();
    if (m_screen)
        m_screen->stop();
    m_screen.reset();
    m_prepared = m_opened = m_started = m_paused = false;
}

double ZMRecordingSession::recordedSeconds() const
{
    if (!m_clock.isValid())
        return 0;
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 paused = m_pausedNs + (m_paused ? now - m_pauseStartNs : 0);
    return (now - paused) / 1e9;
}

QString ZMRecordingSession::screenBackendName() const
{
    return m_screen && m_screen->backend() ? QString::fromLatin1(m_screen->backend()->name()) : QString();
}

QString ZMRecordingSession::screenRestoreToken() const
{
    return m_screen && m_screen->backend() ? m_screen->backend()->restoreToken() : QString();
}

ZMAV_Stats ZMRecordingSession::figures() const
{
    ZMAV_Stats stats{};
    ZMAV_GetStats(nullptr, nullptr, &stats);
    return stats;
}

void ZMRecordingSession::watch()
{
    if (m_screen && m_screen->lost())
        report(Event::ScreenLost, m_screen->lostReason());
    const int lost = m_sound ? m_sound->lostInputs() : 0;
    if (lost & ZMSoundSource::MicrophoneInput)
        report(Event::MicrophoneLost, m_sound->errorString());
    if (lost & ZMSoundSource::SystemSoundInput)
        report(Event::SystemSoundLost, m_sound->errorString());
    if (ZMAV_GetWriteFailures(nullptr, nullptr) > 0) {
        // Going on would only lose more. Everything before the failure is whole: stopping now
        // finishes the file up to it.
        const QString reason = libraryError();
        stop();
        report(Event::WriteError, reason);
        return;
    }
    if (++m_watchTicks % kDiskSpaceTicks == 0)
        watchDiskSpace();
}

void ZMRecordingSession::watchDiskSpace()
{
    const double seconds = recordedSeconds();
    const QFileInfo file(QFile::decodeName(m_settings.outputPath));
    struct statvfs disk {};
    if (seconds < kRateSettledSeconds || statvfs(QFile::encodeName(file.absolutePath()).constData(), &disk) != 0)
        return;
    const double bytesPerSecond = file.size() / seconds;
    const double free = double(disk.f_bavail) * disk.f_frsize;
    if (free < bytesPerSecond * kLowDiskSeconds)
        report(Event::DiskSpaceLow, QStringLiteral("%1 MB free, about %2 s at %3 MB/s")
                                        .arg(free / 1e6, 0, 'f', 1)
                                        .arg(bytesPerSecond > 0 ? int(free / bytesPerSecond) : 0)
                                        .arg(bytesPerSecond / 1e6, 0, 'f', 2));
}

void ZMRecordingSession::report(Event event, const QString& reason)
{
    const unsigned bit = 1u << unsigned(event);
    if (m_reported & bit)
        return;
    m_reported |= bit;
    qCInfo(lcRecorder) << event << "at" << recordedSeconds() << "s:" << reason;
    emit this->event(event, recordedSeconds(), reason);
}
