// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkaccessblock.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "zm_serverlog.h"
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <atomic>

namespace {

std::atomic<int> g_timeoutMs{NetworkAccessBlock::kDefaultTimeoutMs};
std::atomic<bool> g_cancelled{false};

// How often a waiting request looks at the cancel flag.
constexpr int kCancelPollMs = 50;

}  // namespace

void NetworkAccessBlock::ReplyDeleter::operator()(QNetworkReply* reply) const
{
    QNetworkAccessManager* manager = reply->manager();
    delete reply;
    delete manager;
}

NetworkAccessBlock::Reply NetworkAccessBlock::postForm(const QString& url, const QString& parameters)
{
    if (isCancelled())
        return nullptr;
    const QByteArray body = parameters.toUtf8();
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    auto* manager = new QNetworkAccessManager;
    return finish(manager, manager->post(request, body));
}

NetworkAccessBlock::Reply NetworkAccessBlock::getUrl(const QString& base, const QString& path)
{
    if (isCancelled())
        return nullptr;
    auto* manager = new QNetworkAccessManager;
    return finish(manager, manager->get(QNetworkRequest(QUrl(base + path))));
}

NetworkAccessBlock::Reply NetworkAccessBlock::finish(QNetworkAccessManager* manager, QNetworkReply* reply)
{
    Reply owned(reply);
    if (!owned) {
        delete manager;
        return nullptr;
    }
    waitForReply(reply);
    return owned;
}

bool NetworkAccessBlock::waitForReply(QNetworkReply* reply)
{
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // Untrusted servers: refuse bodies announced or grown beyond the cap.
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
            if (received > kMaxBodyBytes || total > kMaxBodyBytes)
                reply->abort();
        });
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
        deadline.start(timeoutMs());
        QTimer cancelPoll;
        QObject::connect(&cancelPoll, &QTimer::timeout, reply, [reply] {
            if (isCancelled())
                reply->abort();
        });
        cancelPoll.start(kCancelPollMs);
        if (!reply->isFinished())
            loop.exec();
    }
    qCInfo(lcServer) << reply->operation() << reply->url().toString() << "->" << reply->errorString();
    return reply->error() == QNetworkReply::NoError;
}

QByteArray NetworkAccessBlock::replyBytes(QNetworkReply* reply)
{
    return reply->read(kMaxBodyBytes);
}

QString NetworkAccessBlock::replyText(QNetworkReply* reply)
{
    QByteArray bytes = replyBytes(reply);
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

QString NetworkAccessBlock::formValue(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

void NetworkAccessBlock::setTimeoutMs(int ms)
{
    g_timeoutMs = ms;
}

int NetworkAccessBlock::timeoutMs()
{
    return g_timeoutMs;
}

void NetworkAccessBlock::setCancelled(bool cancelled)
{
    g_cancelled = cancelled;
}

bool NetworkAccessBlock::isCancelled()
{
    return g_cancelled;
}
