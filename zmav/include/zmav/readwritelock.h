// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <pthread.h>

namespace ZM {

// Reader/writer lock over the system lock; every operation reports success as true.
class ZMAV_EXPORT ReadWriteLock {
public:
    ReadWriteLock();
    virtual ~ReadWriteLock();
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    // init() after destroy() makes the lock usable again; both refuse a second call in a row
    // instead of corrupting the system lock.
    bool init();
    bool destroy();
    bool readLock();
    bool writeLock();
    bool unlock();
    bool tryReadLock();
    bool tryWriteLock();

private:
    pthread_rwlock_t m_lock;
    bool m_alive = false;
};

} // namespace ZM
