// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_recordoptions.h"

#include <session/zm_recordingsession.h>

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

// The command line's driver of one recording: it turns the options into the recording's
// settings under the command line's own rules, runs the recording session until the duration,
// a signal or a lost screen ends it, and prints the progress line and the summary.
class ZMRecordSession : public QObject
{
    Q_OBJECT
public:
    explicit ZMRecordSession(const ZMRecordOptions& options);
    ~ZMRecordSession() override;

    // Checks everything against the real system and creates the sources; nothing is written
    // yet. False with `error` set when the arguments cannot be honoured.
    bool prepare(QString* error);
    // The exit status for a failed prepare(): 2 for arguments that cannot be honoured, 1 when
    // the desktop portal is missing or refused.
    int failureStatus() const { return m_failureStatus; }
    // Opens the file and records until the duration is reached, a stop is requested by a
    // signal, or the screen goes away. Returns the exit status (0 recorded, 1 failed or cut
    // short). Runs the event loop.
    int run();

    // Async-signal-safe: asks the running recording to stop and finalise its file.
    static void requestStop();

private:
    bool usesPortal() const;
    static QString tokenPath();
    QString readToken() const;
    void storeToken(const QString& previous) const;
    bool checkArea(QString* error) const;
    bool checkDevices(QString* error) const;
    bool checkOutput(QString* error) const;
    bool loadMarks(ZMRecordingSettings* settings, QString* error) const;
    void warnAboutMarks() const;
    void tick();
    void onEvent(ZMRecordingSession::Event event, double at, const QString& reason);
    void tell(const QString& incident);
    bool lastSlotWritten(double seconds) const;
    void finish(int status);
    void showProgress();
    void printSummary() const;

    ZMRecordOptions m_options;
    ZMRecordingSession m_session;
    bool m_recording = false;
    QTimer m_ticker;
    QElapsedTimer m_elapsed;
    qint64 m_lastProgressMs = -1;
    double m_recordedSeconds = 0;
    QString m_stopReason;
    int m_failureStatus = 2;
    QStringList m_incidents;   // losses and errors met while recording, repeated in the summary
};
