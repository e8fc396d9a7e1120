// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_recordoptions.h"

#include <zmav/zm_movie_info.h>

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <vector>

// One command-line recording on the program's own path: the capture facade feeds the
// encoder library through its C interface, in the order the program uses.
class ZMRecordSession : public QObject
{
    Q_OBJECT
public:
    explicit ZMRecordSession(const ZMRecordOptions& options);
    ~ZMRecordSession() override;

    // Checks everything against the real system and creates the screen source; nothing is
    // written yet. False with `error` set when the arguments cannot be honoured.
    bool prepare(QString* error);
    // Opens the file and records until the duration is reached, a stop is requested by a
    // signal, or the screen goes away. Returns the exit status (0 recorded, 1 failed or cut
    // short). Runs the event loop.
    int run();

    // Async-signal-safe: asks the running recording to stop and finalise its file.
    static void requestStop();

private:
    bool checkArea(QString* error);
    bool prepareAudio(QString* error);
    bool checkOutput(QString* error) const;
    bool loadMarks(QString* error);
    void tick();
    bool lastSlotWritten(double seconds) const;
    void finish(int status);
    void showProgress();
    void printSummary() const;

    ZMRecordOptions m_options;
    std::vector<QImage> m_marks;
    bool m_screenCreated = false;
    bool m_recording = false;
    QTimer m_ticker;
    QElapsedTimer m_elapsed;
    qint64 m_lastProgressMs = -1;
    double m_recordedSeconds = 0;
    QString m_stopReason;
    int m_streams = ZM_VIDEO;
    bool m_audioCreated = false;
    int m_audioRate = 0;       // as the audio source records it
    int m_audioChannels = 0;
};
