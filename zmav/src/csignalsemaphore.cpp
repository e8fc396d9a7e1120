// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/csignalsemaphore.h>

#include <cerrno>
#include <ctime>

namespace ZM {

CSignalSemaphore::CSignalSemaphore(int initialCount)
{
    create(initialCount);
}

CSignalSemaphore::~CSignalSemaphore()
{
    sem_destroy(&m_sem);
}

// sem_init only fails for values beyond SEM_VALUE_MAX or on exotic systems without process-
// private semaphores; a semaphore is indispensable, so keep asking.
void CSignalSemaphore::create(int n)
{
    while (sem_init(&m_sem, 0, static_cast<unsigned>(n < 0 ? 0 : n)) != 0) {
    }
}

void CSignalSemaphore::init(int n)
{
    sem_destroy(&m_sem);
    create(n);
}

void CSignalSemaphore::clear()
{
    init(0);
}

int CSignalSemaphore::value()
{
    int v = 0;
    sem_getvalue(&m_sem, &v);
    return v;
}

int CSignalSemaphore::signal()
{
    return sem_post(&m_sem);
}

int CSignalSemaphore::tryWait()
{
    return sem_trywait(&m_sem) == 0 ? 0 : -1;
}

int CSignalSemaphore::wait()
{
    while (sem_wait(&m_sem) != 0 && errno == EINTR) {
    }
    return 0;
}

int CSignalSemaphore::waitTimeout(long ms)
{
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += (ms % 1000) * 1000000L;
    if (deadline.tv_nsec > 999999999L) {
        deadline.tv_nsec -= 1000000000L;
        deadline.tv_sec += 1;
    }
    int rc;
    while ((rc = sem_timedwait(&m_sem, &deadline)) != 0 && errno == EINTR) {
    }
    return rc == 0 ? 0 : -1;
}

} // namespace ZM
