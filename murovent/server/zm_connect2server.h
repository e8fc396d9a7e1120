// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Talks to the product server on worker threads: at start-up the version check, the
// advertisement and a usage report; at exit the usage report alone. Results arrive through
// signal_serverMsg, emitted on the worker thread (so queued to GUI objects), with one of the
// ServerMessage ids.
class ZMConnect2Server : public QObject
{
    Q_OBJECT
public:
    enum ServerMessage {
        NewVersion = 0,          // info: the newer version's text
        StartReportAnswered = 1, // info: "2015"
        ExitReportAnswered = 2,  // info: "2015"
        AdvertisementReady = 3,
        VersionRetired = 4,      // this version is below the server's minimum
    };

    static ZMConnect2Server* instance();
    ~ZMConnect2Server() override;

    // Starts a worker with useState 1 at start-up, 0 at exit; returns at once. Once the
    // application has quit, workers fail their requests at once.
    bool start(quint8 useState);
    // Waits until no worker runs any more; false when msecs passed first.
    bool waitForIdle(int msecs);

signals:
    void signal_serverMsg(int id, QString info);

private:
    // Everything a worker reads, copied when it starts so later starts cannot change it.
    struct RequestBlock {
        ZMConnect2Server* self;
        QString mac;
        QString version;
        QString computerName;
        QString userName;
        quint8 useState;
    };

    ZMConnect2Server();
    // Cancels the requests in progress and waits for the workers (program exit).
    void shutdown();
    static void run(RequestBlock block);
    static void checkVersion(const RequestBlock& block);
    static void checkMinimumVersion(const RequestBlock& block);
    static void refreshAdvertisement(const RequestBlock& block);
    static bool adPictureIsCurrent(int replyId);
    static void sendUseReport(const RequestBlock& block);
    void workerFinished();

    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_running = 0;
    std::vector<std::thread> m_workers;
};
