// SPDX-License-Identifier: GPL-2.0-or-later
#include "productserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>

#include <cstdlib>

ProductServer::ProductServer()
{
    configure(QJsonObject());
    m_process.setProgram(QStringLiteral("python3"));
    m_process.setArguments({QStringLiteral(MV_PRODUCT_SERVER_SCRIPT), m_dir.filePath("config.json"),
                            m_dir.filePath("log.jsonl")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                m_port = line.mid(5).toInt();
                return;
            }
            continue;
        }
        if (!m_process.waitForReadyRead(100) && m_process.state() == QProcess::NotRunning)
            return;
    }
}

ProductServer::~ProductServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString ProductServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void ProductServer::configure(const QJsonObject& config)
{
    // Written whole and renamed, so the server never reads half a file.
    const QString path = m_dir.filePath("config.json");
    QFile file(path + ".new");
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(config).toJson());
    file.close();
    QFile::remove(path);
    QFile::rename(path + ".new", path);
}

std::vector<ProductServer::Request> ProductServer::requests() const
{
    std::vector<Request> result;
    QFile file(m_dir.filePath("log.jsonl"));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    while (!file.atEnd()) {
        const QJsonObject record = QJsonDocument::fromJson(file.readLine()).object();
        Request request;
        request.method = record.value("method").toString();
        request.path = record.value("path").toString();
        const QJsonObject headers = record.value("headers").toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            request.headers.insert(it.key().toLower(), it.value().toString());
        request.body = record.value("body").toString().toLatin1();
        result.push_back(request);
    }
    return result;
}

std::vector<ProductServer::Request> ProductServer::requestsTo(const QString& endpoint) const
{
    std::vector<Request> result;
    for (const Request& request : requests()) {
        if (request.path.section('?', 0, 0).endsWith(endpoint))
            result.push_back(request);
    }
    return result;
}

void prepareTestEnvironment()
{
    static QTemporaryDir dir(QDir::tempPath() + "/mv-server-test-XXXXXX");
    setenv("TMPDIR", dir.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CACHE_HOME", dir.path().toLocal8Bit().constData(), 1);
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
}

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
