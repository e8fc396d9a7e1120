// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Blocking HTTP requests for worker threads: each request gets its own access manager and
// waits in a local event loop until its reply has finished, failed, timed out or was cancelled.
class NetworkAccessBlock : public QObject
{
    Q_OBJECT
public:
    // Deleting a reply also deletes the manager that made it.
    struct ReplyDeleter {
        void operator()(QNetworkReply* reply) const;
    };
    using Reply = std::unique_ptr<QNetworkReply, ReplyDeleter>;

    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

    // POSTs the form body "key=value&..." (already percent-encoded). Null when cancelled.
    static Reply postForm(const QString& url, const QString& parameters);
    // GETs base followed by path. Null when cancelled.
    static Reply getUrl(const QString& base, const QString& path);
    // Runs a local event loop until the reply has finished. A reply that takes longer than
    // the time-out, grows beyond kMaxBodyBytes or is cancelled is aborted, so it finishes with
    // an error. Returns whether it finished without error.
    static bool waitForReply(QNetworkReply* reply);
    // The body up to its first NUL byte, as UTF-8; at most kMaxBodyBytes are read.
    static QString replyText(QNetworkReply* reply);
    // The raw body, at most kMaxBodyBytes.
    static QByteArray replyBytes(QNetworkReply* reply);

    // Percent-encodes a form value so that "&", "=" and the like stay inside it.
    static QString formValue(const QString& value);

    static void setTimeoutMs(int ms);
    static int timeoutMs();

    // Ends requests in progress and refuses new ones (program exit), or allows them again.
    static void setCancelled(bool cancelled);
    static bool isCancelled();

private:
    static Reply finish(QNetworkAccessManager* manager, QNetworkReply* reply);
};
