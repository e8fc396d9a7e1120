// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The list of recordings a program has in progress, kept in a small file so that the program
// finds, at its next start, the recordings that a crash, a kill or a power cut interrupted.
// Such a file already plays up to about its last second; recover() finishes what the library
// can finish (an MP4's index, written in place) and tells what it found.
//
// GUI thread; one list file per program.
class ZMRecordingJournal
{
public:
    explicit ZMRecordingJournal(const QString& listFile) : m_listFile(listFile) {}

    // A recording's file was created / was finished; false when the list cannot be written.
    bool add(const QString& recording);
    bool remove(const QString& recording);
    QStringList recordings() const;

    // One found interrupted recording and what became of it.
    struct Found {
        QString path;
        enum Outcome { Finished, PlaysAsItIs, Empty, Missing, Damaged } outcome = PlaysAsItIs;
        QString reason; // why it could not be finished (Damaged), or holds nothing (Empty)
    };
    // Finishes every listed recording that still exists and empties the list.
    QList<Found> recover();

private:
    bool write(const QStringList& recordings);

    QString m_listFile;
};
