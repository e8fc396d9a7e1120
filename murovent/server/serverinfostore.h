// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <json/value.h>

#include <mutex>
#include <string>

// What the product server told earlier runs: version information, the advertisement and the
// local copy of its picture. Survives between runs in a scrambled cache file; shared by the
// server worker, the GUI thread and the preview's loader thread, so every access is locked.
class ServerInfoStore
{
public:
    struct proVerInfo {
        bool valid = false;
        std::string productName, version, canUseMinVersion, createTime, updateNote, productDesc, downloadPath;
    };
    struct proAdInfo {
        bool valid = false;
        int id = 0;
        std::string adImgPath, productName;
    };
    struct proAdImage {
        bool valid = false;
        std::string localpath, adImageMD5;
    };

    // The program-wide store on the cache file "mr.cfg" in the user's cache folder.
    static ServerInfoStore& instance();
    static QString defaultCachePath();
    // Where the advertisement picture is kept: "vvll.png" in the user's cache folder.
    static QString adImagePath();

    // Loads the cache file; a missing, corrupt or foreign file (anything but a regular file of
    // this user) leaves the store empty. An empty path keeps the store in memory only.
    explicit ServerInfoStore(const QString& cachePath);
    // Saves the cache file.
    ~ServerInfoStore();
    ServerInfoStore(const ServerInfoStore&) = delete;
    ServerInfoStore& operator=(const ServerInfoStore&) = delete;

    // Records read from the stored replies; invalid (all fields empty) while nothing is stored.
    proVerInfo verInfo() const;
    proAdInfo adInfo() const;
    proAdImage adImage() const;

    void setVersionInfo(const Json::Value& reply);
    void setAdInfo(const Json::Value& reply);
    void setAdImage(const Json::Value& record);

    static std::string localVersion();
    // This machine's MAC text, looked up once it is known.
    std::string machineMac();
    static std::string userName();
    static std::string computerName();

    // True when the advertisement picture has to be fetched again: none recorded, its file
    // gone, or its contents no longer match the recorded digest.
    bool isAdImageStale() const;

    // Writes the cache file through a temporary file, so a crash never leaves half of it.
    bool save() const;
    // The cache file's contents: what save() writes and load reads. loadBytes is false, with
    // the store unchanged, for bytes that are not a cache of ours.
    QByteArray fileBytes() const;
    bool loadBytes(const QByteArray& fileBytes);

    // The cache file's byte scrambling.
    static QByteArray scrambled(QByteArray bytes);
    static QByteArray unscrambled(QByteArray bytes);

private:
    void load();

    const QString m_cachePath;
    mutable std::mutex m_mutex;
    std::string m_mac;
    Json::Value m_versionInfo;
    Json::Value m_adInfo;
    Json::Value m_adImage;
};
