// SPDX-License-Identifier: GPL-2.0-or-later
#include "shottimer.h"

#include <cstdio>

namespace {
void trace(const char* text)
{
    fputs(text, stdout);
    fflush(stdout);
}
} // namespace

ShotTimer::~ShotTimer() = default;

void ShotTimer::beginArming()
{
    trace("start\n");
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
    }
    // A second arming replaces the first instead of firing both slots.
    if (m_receiver)
        disarm();
}

void ShotTimer::endArming(int msec)
{
    m_timer->start(msec);
    trace("start ok\n");
}

void ShotTimer::disarm()
{
    if (!m_timer)
        return;
    m_timer->stop();
    QObject::disconnect(m_connection);
    m_receiver = nullptr;
}

int ShotTimer::interval() const
{
    return m_timer ? m_timer->interval() : -1;
}
