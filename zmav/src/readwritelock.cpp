// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/readwritelock.h>

namespace ZM {

ReadWriteLock::ReadWriteLock()
{
    init();
}

ReadWriteLock::~ReadWriteLock()
{
    destroy();
}

bool ReadWriteLock::init()
{
    if (m_alive)
        return false;
    m_alive = pthread_rwlock_init(&m_lock, nullptr) == 0;
    return m_alive;
}

bool ReadWriteLock::destroy()
{
    if (!m_alive || pthread_rwlock_destroy(&m_lock) != 0)
        return false;
    m_alive = false;
    return true;
}

bool ReadWriteLock::readLock()
{
    return m_alive && pthread_rwlock_rdlock(&m_lock) == 0;
}

bool ReadWriteLock::writeLock()
{
    return m_alive && pthread_rwlock_wrlock(&m_lock) == 0;
}

bool ReadWriteLock::unlock()
{
    return m_alive && pthread_rwlock_unlock(&m_lock) == 0;
}

bool ReadWriteLock::tryReadLock()
{
    return m_alive && pthread_rwlock_tryrdlock(&m_lock) == 0;
}

bool ReadWriteLock::tryWriteLock()
{
    return m_alive && pthread_rwlock_trywrlock(&m_lock) == 0;
}

} // namespace ZM
