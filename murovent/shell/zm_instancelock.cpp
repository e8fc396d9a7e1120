// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_instancelock.h"

#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

ZMInstanceLock::ZMInstanceLock(const QString& name)
    : m_path(QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral(".lock"))
{
}

ZMInstanceLock::~ZMInstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ZMInstanceLock::tryLock()
{
    if (m_locked)
        return true;
    if (m_fd < 0) {
        const QByteArray path = QFile::encodeName(m_path);
        // A lock file left by another user may not be writable; a read-only descriptor
        // locks just as well.
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        // Without a usable lock file there is no way to tell: let the program run.
        if (m_fd < 0)
            return true;
    }
    int rc;
    do
        rc = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    m_locked = rc == 0;
    // Only a lock held elsewhere means another copy; a file system without locks does not.
    return m_locked || errno != EWOULDBLOCK;
}
