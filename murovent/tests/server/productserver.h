// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

// The test product server (product_server.py) on an ephemeral port of 127.0.0.1.
class ProductServer
{
public:
    struct Request {
        QString method;
        QString path;
        QMap<QString, QString> headers;  // names in lower case
        QByteArray body;
    };

    ProductServer();
    ~ProductServer();

    bool isRunning() const { return m_port > 0; }
    QString url() const;
    // How to answer each endpoint (see product_server.py); takes effect with the next request.
    void configure(const QJsonObject& config);
    std::vector<Request> requests() const;
    std::vector<Request> requestsTo(const QString& endpoint) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// Points TMPDIR (and so QDir::tempPath) and XDG_CACHE_HOME at a private folder for the whole
// test program, so that nothing touches the user's real cache, and drops proxy settings so that requests go
// straight to 127.0.0.1. Call first thing in main; child processes inherit both.
void prepareTestEnvironment();
// A port on 127.0.0.1 where nothing listens.
int closedPort();
