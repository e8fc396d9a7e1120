// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <semaphore.h>

namespace ZM {

// Counting semaphore whose timed wait lets a blocked thread look at an exit flag every few
// milliseconds instead of needing someone to wake it.
class ZMAV_EXPORT CSignalSemaphore {
public:
    explicit CSignalSemaphore(int initialCount = 0);
    virtual ~CSignalSemaphore();
    CSignalSemaphore(const CSignalSemaphore&) = delete;
    CSignalSemaphore& operator=(const CSignalSemaphore&) = delete;

    // Starts the count afresh at n; waiters must not be blocked on it meanwhile.
    virtual void init(int n);
    void clear();
    int value();
    int signal();
    int tryWait();
    int wait();
    int waitTimeout(long ms);

private:
    void create(int n);

    sem_t m_sem;
};

} // namespace ZM
