// SPDX-License-Identifier: GPL-2.0-or-later
#include "serverinfostore.h"

#include "zm_global.h"
#include "zm_identity.h"
#include "zm_product.h"

#include <QDir>
#include <QFile>

#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <utility>

namespace {

constexpr unsigned char kScrambleXor = 0x5A;
constexpr unsigned char kScrambleSub = 0x27;
// The cache holds three replies of at most 16 MiB each; anything bigger is not ours (and a
// device planted under the cache's name would never end).
constexpr qint64 kMaxCacheBytes = 64 * 1024 * 1024;

// Replies are untrusted: a member of an unexpected type reads as empty, never throws.
std::string textOf(const Json::Value& object, const char* key)
{
    if (!object.isObject())
        return std::string();
    const Json::Value& value = object[key];
    return value.isConvertibleTo(Json::stringValue) && !value.isNull() ? value.asString() : std::string();
}

int intOf(const Json::Value& object, const char* key)
{
    if (!object.isObject())
        return 0;
    const Json::Value& value = object[key];
    return value.isConvertibleTo(Json::intValue) ? value.asInt() : 0;
}

Json::Value memberOf(const Json::Value& root, const char* key)
{
    return root.isMember(key) ? root[key] : Json::Value();
}

}  // namespace

ServerInfoStore& ServerInfoStore::instance()
{
    static ServerInfoStore store(defaultCachePath());
    return store;
}

QString ServerInfoStore::defaultCachePath()
{
    return QDir::tempPath() + QStringLiteral("/mr.cfg");
}

QString ServerInfoStore::adImagePath()
{
    return QDir::tempPath() + QStringLiteral("/vvll.png");
}

ServerInfoStore::ServerInfoStore(const QString& cachePath) : m_cachePath(cachePath)
{
    load();
}

ServerInfoStore::~ServerInfoStore()
{
    save();
}

QByteArray ServerInfoStore::scrambled(QByteArray bytes)
{
    for (char& c : bytes)
        c = char((static_cast<unsigned char>(c) ^ kScrambleXor) - kScrambleSub);
    return bytes;
}

QByteArray ServerInfoStore::unscrambled(QByteArray bytes)
{
    for (char& c : bytes)
        c = char(static_cast<unsigned char>(static_cast<unsigned char>(c) + kScrambleSub) ^ kScrambleXor);
    return bytes;
}

void ServerInfoStore::load()
{
    QFile file(m_cachePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.read(kMaxCacheBytes + 1);
    if (bytes.size() > kMaxCacheBytes)
        return;
    const QByteArray text = unscrambled(std::move(bytes));
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(text.constData(), text.constData() + text.size(), &root, nullptr) || !root.isObject())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_versionInfo = memberOf(root, "proVerInfo");
    m_adInfo = memberOf(root, "proAdInfo");
    m_adImage = memberOf(root, "proAdImage");
}

bool ServerInfoStore::save() const
{
    Json::Value root(Json::objectValue);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        root["proVerInfo"] = m_versionInfo;
        root["proAdInfo"] = m_adInfo;
        root["proAdImage"] = m_adImage;
    }
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    const std::string text = Json::writeString(builder, root);
    const QByteArray bytes = scrambled(QByteArray::fromStdString(text));
    return gFunc::replaceFile(m_cachePath.toStdString(), bytes.constData(), size_t(bytes.size()));
}

ServerInfoStore::proVerInfo ServerInfoStore::verInfo() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    proVerInfo info;
    if (m_versionInfo.isNull())
        return info;
    info.valid = true;
    info.productName = textOf(m_versionInfo, "productName");
    info.version = textOf(m_versionInfo, "version");
    info.canUseMinVersion = textOf(m_versionInfo, "canUseMinVersion");
    info.createTime = textOf(m_versionInfo, "createTime");
    info.updateNote = textOf(m_versionInfo, "updateNote");
    info.productDesc = textOf(m_versionInfo, "productDesc");
    info.downloadPath = textOf(m_versionInfo, "downloadPath");
    return info;
}

ServerInfoStore::proAdInfo ServerInfoStore::adInfo() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    proAdInfo info;
    if (m_adInfo.isNull())
        return info;
    info.valid = true;
    info.id = intOf(m_adInfo, "id");
    info.adImgPath = textOf(m_adInfo, "adImgPath");
    info.productName = textOf(m_adInfo, "productName");
    return info;
}

ServerInfoStore::proAdImage ServerInfoStore::adImage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    proAdImage image;
    if (m_adImage.isNull())
        return image;
    image.valid = true;
    image.localpath = textOf(m_adImage, "localpath");
    image.adImageMD5 = textOf(m_adImage, "adImageMD5");
    return image;
}

void ServerInfoStore::setVersionInfo(const Json::Value& reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_versionInfo = reply;
}

void ServerInfoStore::setAdInfo(const Json::Value& reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_adInfo = reply;
}

void ServerInfoStore::setAdImage(const Json::Value& record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_adImage = record;
}

std::string ServerInfoStore::localVersion()
{
    return ZMProduct::kVersion;
}

std::string ServerInfoStore::machineMac()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_mac.empty())
            return m_mac;
    }
    // Looked up outside the lock: walking the interfaces is slow compared with a record read.
    const std::string mac = machineMacAddress();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mac.empty())
        m_mac = mac;
    return m_mac;
}

std::string ServerInfoStore::userName()
{
    return ::userName();
}

std::string ServerInfoStore::computerName()
{
    return ::computerName();
}

bool ServerInfoStore::isAdImageStale() const
{
    const proAdImage image = adImage();
    if (!image.valid || !gFunc::isFileExist(image.localpath.c_str()))
        return true;
    return gFunc::fileMd5(image.localpath.c_str()) != image.adImageMD5;
}
