// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_recordingclock.h"

void ZMRecordingClock::start()
{
    m_before = 0;
    m_started = true;
    m_running.start();
}

void ZMRecordingClock::pause()
{
    if (!m_running.isValid())
        return;
    m_before += m_running.elapsed();
    m_running.invalidate();
}

void ZMRecordingClock::resume()
{
    if (m_started && !m_running.isValid())
        m_running.start();
}

void ZMRecordingClock::stop()
{
    pause();
}

qint64 ZMRecordingClock::elapsedMs() const
{
    return m_before + (m_running.isValid() ? m_running.elapsed() : 0);
}

QString ZMRecordingClock::format(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
