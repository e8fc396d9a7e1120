// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class QObject;
class QTimer;

// Binds a single-shot timer to a receiver's slot, given as a SLOT() signature. The timer is
// made on the first arming and reused; arming and disarming leave traces on standard output.
class ShotTimer
{
public:
    ShotTimer() = default;
    ~ShotTimer();
    ShotTimer(const ShotTimer&) = delete;
    ShotTimer& operator=(const ShotTimer&) = delete;

    void arm(int msec, QObject* receiver, const char* slot);
    void disarm();
    bool isArmed() const { return m_receiver != nullptr; }
    // Interval of the last arming in milliseconds, -1 before the first.
    int interval() const;

private:
    QTimer* m_timer = nullptr;
    QObject* m_receiver = nullptr;
    char m_slot[512] = {};
};
