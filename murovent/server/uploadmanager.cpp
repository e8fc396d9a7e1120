// SPDX-License-Identifier: GPL-2.0-or-later
#include "uploadmanager.h"

#include "networkaccessblock.h"
#include "untrustedjson.h"
#include "zm_product.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QNetworkReply>
#include <QUrl>

#include <cassert>
#include <mutex>

namespace {

const char* const kProductSegment = "product/Murovent";

std::mutex g_baseMutex;

QString withoutTrailingSlash(QString url)
{
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString& baseUrlStorage()
{
    static QString base = withoutTrailingSlash(
        qEnvironmentVariableIsEmpty("MUROVENT_SERVER_URL") ? QString::fromUtf8(ZMProduct::kServerBaseUrl)
                                                            : qEnvironmentVariable("MUROVENT_SERVER_URL"));
    return base;
}

bool parseJson(const QString& text, Json::Value& out)
{
    const QByteArray bytes = text.toUtf8();
    return UntrustedJson::parse(bytes.constData(), bytes.constData() + bytes.size(), UntrustedJson::kReplyDepth, out);
}

bool readImage(const QByteArray& bytes, QImage* out)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The header tells the size before anything is decoded: refuse giants early.
    const QSize size = reader.size();
    if (size.width() > UploadManager::kMaxImageSide || size.height() > UploadManager::kMaxImageSide)
        return false;
    *out = reader.read();
    return !out->isNull() && out->width() <= UploadManager::kMaxImageSide &&
           out->height() <= UploadManager::kMaxImageSide;
}

}  // namespace

UploadManager* UploadManager::instance()
{
    static UploadManager manager;
    return &manager;
}

QString UploadManager::baseUrl()
{
    std::lock_guard<std::mutex> lock(g_baseMutex);
    return baseUrlStorage();
}

void UploadManager::setBaseUrl(const QString& url)
{
    std::lock_guard<std::mutex> lock(g_baseMutex);
    baseUrlStorage() = withoutTrailingSlash(url);
}

bool UploadManager::postJson(const QString& pathTemplate, const QString& parameters, Json::Value& out)
{
    NetworkAccessBlock::Reply reply =
        NetworkAccessBlock::postForm(baseUrl() + pathTemplate.arg(QLatin1String(kProductSegment)), parameters);
    if (!reply || reply->error() != QNetworkReply::NoError)
        return false;
    return parseJson(NetworkAccessBlock::replyText(reply.get()), out);
}

bool UploadManager::getProductInfo(const QString& version, Json::Value& out)
{
    return postJson(QStringLiteral("/%1/getProductInfo?"),
                    QStringLiteral("version=%1").arg(NetworkAccessBlock::formValue(version)), out);
}

bool UploadManager::getProductAd(Json::Value& out)
{
    return postJson(QStringLiteral("/%1/getProductAd"), QString(), out);
}

bool UploadManager::downloadImage(const char* url, QImage* out)
{
    assert(out && "image");
    *out = QImage();
    const QString address = QString::fromUtf8(url);
    // The address comes from the server's reply: never let it reach local files or resources.
    const QString scheme = QUrl(address).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    NetworkAccessBlock::Reply reply = NetworkAccessBlock::getUrl(address, QString());
    if (!reply || reply->error() != QNetworkReply::NoError)
        return false;
    if (readImage(NetworkAccessBlock::replyBytes(reply.get()), out))
        return true;
    *out = QImage();
    return false;
}

bool UploadManager::useReport(const QString& mac, const QString& version, const QString& computerName,
                              const QString& userName, quint8 useState, Json::Value& out)
{
    const QString parameters = QStringLiteral("mac=%1").arg(NetworkAccessBlock::formValue(mac)) +
                               QStringLiteral("&version=%1").arg(NetworkAccessBlock::formValue(version)) +
                               QStringLiteral("&computerName=%1").arg(NetworkAccessBlock::formValue(computerName)) +
                               QStringLiteral("&userName=%1").arg(NetworkAccessBlock::formValue(userName)) +
                               QStringLiteral("&useState=%1").arg(unsigned(useState));
    return postJson(QStringLiteral("/%1/useReport?"), parameters, out);
}
