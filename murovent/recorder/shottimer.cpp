// SPDX-License-Identifier: GPL-2.0-or-later
#include "shottimer.h"

#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
void trace(const char* text)
{
    fputs(text, stdout);
    fflush(stdout);
}
} // namespace

ShotTimer::~ShotTimer()
{
    delete m_timer;
}

void ShotTimer::arm(int msec, QObject* receiver, const char* slot)
{
    trace("start\n");
    if (!m_timer) {
        m_timer = new QTimer;
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
    }
    // A second arming replaces the first instead of firing both slots.
    if (m_receiver)
        disarm();
    m_receiver = receiver;
    strncpy(m_slot, slot, sizeof m_slot - 1);
    m_slot[sizeof m_slot - 1] = '\0';
    QObject::connect(m_timer, SIGNAL(timeout()), m_receiver, m_slot);
    m_timer->start(msec);
    trace("start ok\n");
}

void ShotTimer::disarm()
{
    if (!m_timer)
        return;
    m_timer->stop();
    if (m_receiver)
        QObject::disconnect(m_timer, SIGNAL(timeout()), m_receiver, m_slot);
    m_receiver = nullptr;
}

int ShotTimer::interval() const
{
    return m_timer ? m_timer->interval() : -1;
}
