// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, logout and shutdown, a closed terminal) into one
// call of an exit action on the GUI thread, through a self-pipe that the event loop watches:
// the handler only writes a byte, everything else runs in the loop. The action runs once; a
// later signal, while it finishes the recording, is read and dropped, so it never cuts the
// finishing short. A signal ignored when the program started (nohup, a parent ignoring Ctrl+C)
// stays ignored. SIGXFSZ is ignored so that a file-size limit stops a recording as a failed
// write that keeps the file instead of killing the program.
//
// One object per program, made on the GUI thread before its event loop runs.
class ZMSignalExit : public QObject
{
    Q_OBJECT
public:
    explicit ZMSignalExit(std::function<void()> exitAction, QObject* parent = nullptr);
    ~ZMSignalExit() override;

private:
    void onSignal();

    std::function<void()> m_exitAction;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_exiting = false;
};
