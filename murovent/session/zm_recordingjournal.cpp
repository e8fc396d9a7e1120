// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_recordingjournal.h"

#include <zmav/zmav.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool ZMRecordingJournal::add(const QString& recording)
{
    QStringList list = recordings();
    if (!list.contains(recording))
        list << recording;
    return write(list);
}

bool ZMRecordingJournal::remove(const QString& recording)
{
    QStringList list = recordings();
    if (list.removeAll(recording) == 0)
        return true;
    return write(list);
}

QStringList ZMRecordingJournal::recordings() const
{
    QFile file(m_listFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList list;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            list << QString::fromUtf8(line);
    return list;
}

// Replaced whole, so that an interruption leaves either the old list or the new one.
bool ZMRecordingJournal::write(const QStringList& recordings)
{
    QSaveFile file(m_listFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QString& recording : recordings)
        file.write(recording.toUtf8() + '\n');
    return file.commit();
}

QList<ZMRecordingJournal::Found> ZMRecordingJournal::recover()
{
    QList<Found> found;
    for (const QString& path : recordings()) {
        Found f;
        f.path = path;
        char reason[512] = {};
        if (!QFileInfo::exists(path))
            f.outcome = Found::Missing;
        else
            switch (ZMAV_FinishFile(nullptr, nullptr, QFile::encodeName(path).constData(), reason, sizeof reason)) {
            case 1:
                f.outcome = Found::Finished;
                break;
            case 0:
                // Said only of a file that ended before its first whole fragment.
                f.reason = QString::fromUtf8(reason);
                f.outcome = f.reason.isEmpty() ? Found::PlaysAsItIs : Found::Empty;
                break;
            default:
                f.outcome = Found::Damaged;
                f.reason = QString::fromUtf8(reason);
            }
        found << f;
    }
    write({});
    return found;
}
