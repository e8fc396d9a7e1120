// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>

// The running time of one recording: it counts while capture runs and stands still while the
// recording is paused. GUI thread only.
class ZMRecordingClock
{
public:
    // From zero: capture has begun.
    void start();
    void pause();
    void resume();
    // Stands still and keeps the time reached, for the report on the finished file.
    void stop();

    // Capture began since the last start: there is a recording to report.
    bool hasStarted() const { return m_started; }
    qint64 elapsedMs() const;

    // "hh:mm:ss".
    static QString format(qint64 ms);

private:
    QElapsedTimer m_running;  // valid while counting
    qint64 m_before = 0;      // time counted before the last pause
    bool m_started = false;
};
