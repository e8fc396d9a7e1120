// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <json/value.h>

class QImage;

// The four requests of the product server, all blocking (call them from a worker thread).
// Each returns true on success and leaves its output untouched on a network failure.
class UploadManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxImageSide = 8192;

    static UploadManager* instance();

    bool getProductInfo(const QString& version, Json::Value& out);
    bool getProductAd(Json::Value& out);
    // Downloads an http(s) picture of at most kMaxImageSide x kMaxImageSide; out becomes null on failure.
    bool downloadImage(const char* url, QImage* out);
    bool useReport(const QString& mac, const QString& version, const QString& computerName,
                   const QString& userName, quint8 useState, Json::Value& out);

    // Scheme and host of the product server, without a trailing slash. Taken from the
    // environment variable MUROVENT_SERVER_URL when set, else the product's fixed address.
    static QString baseUrl();
    static void setBaseUrl(const QString& url);

private:
    UploadManager() = default;
    static bool postJson(const QString& pathTemplate, const QString& parameters, Json::Value& out);
};
