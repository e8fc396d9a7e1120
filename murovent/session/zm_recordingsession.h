// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_recordingsettings.h"

#include <zmav/zm_movie_info.h>
#include <zmav/zmav.h>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class ZMGrabScreen;
class ZMSoundSource;

// One recording from the first check to the closed file, without any user interface: it
// describes the movie, opens the library, creates, starts, pauses, resumes and stops the
// capture sources in the order the library needs, watches them, and reports what became of
// the input. The panel and the command-line recorder are thin callers of it.
//
// GUI (controlling) thread only. The capture sources deliver on their own threads straight
// into the library.
class ZMRecordingSession : public QObject
{
    Q_OBJECT
public:
    // Things that happen to a running recording, each reported once.
    enum class Event {
        ScreenLost,       // no more pictures will come: the front end should stop
        MicrophoneLost,   // silence is recorded from then on
        SystemSoundLost,  // silence is recorded from then on
        WriteError,       // the file could not be written (see the text): the recording has
                          // been stopped, and what was written before plays
        DiskSpaceLow,     // the file's disk has room for less than about a minute more; the
                          // recording goes on
    };
    Q_ENUM(Event)
    // What the last failed prepare(), open() or start() could not do.
    enum class Stage { None, Sound, Screen, File, Start };

    explicit ZMRecordingSession(QObject* parent = nullptr);
    ~ZMRecordingSession() override;

    // Creates the capture sources for the settings; nothing is written yet. False, with the
    // reason in *error and nothing left half-made, when a source cannot record.
    bool prepare(const ZMRecordingSettings& settings, QString* error);
    // The movie description that open() hands the library (the sound's real format
    // included). Valid after prepare().
    const ZM_MovieInfo& movieInfo() const { return m_info; }
    // Opens the library's recording, which creates the file. False with the library's
    // reason in *error; the sources are released then.
    bool open(QString* error);
    // Starts encoding and capture. False (reason in *error) when a source could not begin;
    // the caller then stops.
    bool start(QString* error);
    void pause();
    void resume();
    // Finishes the file and releases the sources. Harmless when nothing runs. The file's last
    // writes happen here: when one fails (a full disk, no room for the index), the reason is
    // returned, and what was written before plays. Empty otherwise.
    QString stop();

    Stage failedStage() const { return m_failed; }
    bool isPrepared() const { return m_prepared; }
    bool isStarted() const { return m_started; }
    // Seconds recorded so far, pauses left out.
    double recordedSeconds() const;
    // What became of the input (the last recording's after stop()).
    ZMAV_Stats figures() const;
    // The sound format recorded, valid after prepare() of a recording with sound.
    int sampleRate() const { return m_info.audioSampleRate; }
    // The screen back-end chosen ("x11", "portal") and the token that lets the next recording
    // skip the portal's question (empty if none): valid from prepare() until stop(); the front
    // end stores the token with its settings.
    QString screenBackendName() const;
    QString screenRestoreToken() const;
    int channels() const { return m_info.channels; }

signals:
    // `at` is recordedSeconds() when it happened; `reason` the system's words, if any.
    void event(ZMRecordingSession::Event event, double at, const QString& reason);

private:
    bool failPrepare(const QString& error);
    bool prepareSound(QString* error);
    bool prepareScreen(QString* error);
    void describe();
    void watch();
    void watchDiskSpace();
    void report(Event event, const QString& reason);
    void release();

    ZMRecordingSettings m_settings;
    ZM_MovieInfo m_info;
    std::unique_ptr<ZMSoundSource> m_sound;
    std::unique_ptr<ZMGrabScreen> m_screen;
    bool m_prepared = false;
    bool m_opened = false;
    bool m_started = false;
    bool m_paused = false;
    Stage m_failed = Stage::None;
    unsigned m_reported = 0;            // bit per Event already reported
    QTimer m_watch;
    QElapsedTimer m_clock;
    qint64 m_pausedNs = 0;
    qint64 m_pauseStartNs = 0;
    int m_watchTicks = 0;
};
