// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMetaObject>
#include <QTimer>

#include <memory>

// Binds a single-shot timer to a receiver's slot. The timer is made on the first arming and
// reused; arming and disarming leave traces on standard output. GUI thread only.
class ShotTimer
{
public:
    ShotTimer() = default;
    ~ShotTimer();
    ShotTimer(const ShotTimer&) = delete;
    ShotTimer& operator=(const ShotTimer&) = delete;

    template <class Receiver>
    void arm(int msec, Receiver* receiver, void (Receiver::*slot)())
    {
        beginArming();
        m_receiver = receiver;
        m_connection = QObject::connect(m_timer.get(), &QTimer::timeout, receiver, slot);
        endArming(msec);
    }
    void disarm();
    bool isArmed() const { return m_receiver != nullptr; }
    // Interval of the last arming in milliseconds, -1 before the first.
    int interval() const;

private:
    void beginArming();
    void endArming(int msec);

    std::unique_ptr<QTimer> m_timer;
    QObject* m_receiver = nullptr;
    QMetaObject::Connection m_connection;
};
