// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_instancelock.h"

#include "zm_userdirs.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

ZMInstanceLock::ZMInstanceLock(const QString& name)
{
    // The user's own runtime folder: a lock in a folder shared with other users would let
    // their copies keep ours from starting.
    const std::string dir = ZMUserDirs::runtimeDir();
    if (!dir.empty())
        m_path = QFile::decodeName(QByteArray::fromStdString(dir)) + QLatin1Char('/') + name + QStringLiteral(".lock");
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
    // Without a private folder there is no way to tell: let the program run.
    if (m_path.isEmpty())
        return true;
    if (m_fd < 0) {
        const QByteArray path = QFile::encodeName(m_path);
        // A read-only lock file locks just as well; a link is never followed.
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0)
            m_fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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
