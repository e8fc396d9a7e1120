// SPDX-License-Identifier: GPL-2.0-or-later
#include "serverinfostore.h"

#include "zm_global.h"
#include "zm_identity.h"
#include "zm_product.h"
#include "zm_userdirs.h"
#include "untrustedjson.h"

#include <QFile>

#include <json/writer.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr unsigned char kScrambleXor = 0x5A;
constexpr unsigned char kScrambleSub = 0x27;
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

// A file of the user's own cache folder; empty (no file at all) when there is no such folder.
QString inCacheDir(const char* name)
{
    const std::string dir = ZMUserDirs::cacheDir();
    return dir.empty() ? QString() : QFile::decodeName(QByteArray::fromStdString(dir)) + QLatin1Char('/') + QLatin1String(name);
}

}  // namespace

ServerInfoStore& ServerInfoStore::instance()
{
    static ServerInfoStore store(defaultCachePath());
    return store;
}

QString ServerInfoStore::defaultCachePath()
{
    return inCacheDir("mr.cfg");
}

QString ServerInfoStore::adImagePath()
{
    return inCacheDir("vvll.png");
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
    if (m_cachePath.isEmpty())
        return;
    // Only a regular file of this user is our cache: anything else was put there by someone
    // else or is no file at all (a FIFO would block, a device never end).
    const int fd = ::open(QFile::encodeName(m_cachePath).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    QFile file;
    if (ZMUserDirs::isOwnRegularFile(fd) && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QByteArray bytes = file.read(qint64(UntrustedJson::kMaxBytes) + 1);
        if (bytes.size() <= qint64(UntrustedJson::kMaxBytes))
            loadBytes(bytes);
    } else {
        ::close(fd);
    }
}

bool ServerInfoStore::loadBytes(const QByteArray& fileBytes)
{
    const QByteArray text = unscrambled(fileBytes);
    Json::Value root;
    if (!UntrustedJson::parse(text.constData(), text.constData() + text.size(), UntrustedJson::kCacheDepth, root)
        || !root.isObject())
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_versionInfo = memberOf(root, "proVerInfo");
    m_adInfo = memberOf(root, "proAdInfo");
    m_adImage = memberOf(root, "proAdImage");
    return true;
}

QByteArray ServerInfoStore::fileBytes() const
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
    // Texts go out byte for byte: escaping would turn bytes that are not UTF-8 (from a damaged
    // cache) into something else, and the next start would read other values than were stored.
    builder["emitUTF8"] = true;
    return scrambled(QByteArray::fromStdString(Json::writeString(builder, root)));
}

bool ServerInfoStore::save() const
{
    if (m_cachePath.isEmpty())
        return false;
    const QByteArray bytes = fileBytes();
    return gFunc::replaceFile(QFile::encodeName(m_cachePath).toStdString(), bytes.toStdString(), gFunc::FileKind::Private);
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
