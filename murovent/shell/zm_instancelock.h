// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Keeps a second copy of the program from starting: an exclusive flock() on a lock file in
// the user's runtime folder, held for the life of the holder. Copies run by other users
// (with other runtime folders) never meet it. The kernel drops the lock with
// the process, so a copy that crashed never blocks the next start.
class ZMInstanceLock
{
public:
    explicit ZMInstanceLock(const QString& name = QStringLiteral("zm_murovent_shr"));
    ~ZMInstanceLock();
    ZMInstanceLock(const ZMInstanceLock&) = delete;
    ZMInstanceLock& operator=(const ZMInstanceLock&) = delete;

    // True when this holder now owns the lock (or already did); false when another copy holds it.
    bool tryLock();
    QString path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};
