// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_connect2server.h"

#include "networkaccessblock.h"
#include "serverinfostore.h"
#include "uploadmanager.h"
#include "md5.h"
#include "zm_global.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

namespace {

const char* const kReportAnswer = "2015";
// At exit, how long to wait for cancelled workers to wind up.
constexpr int kExitWaitMs = 3000;

// Version texts are compared byte by byte, as the server's releases always have been
// (so "3.2.10" counts as older than "3.2.2").
bool versionGreater(const std::string& a, const std::string& b)
{
    return strcmp(a.c_str(), b.c_str()) > 0;
}

std::string textMember(const Json::Value& reply, const char* key)
{
    const Json::Value& value = reply[key];
    return value.isConvertibleTo(Json::stringValue) && !value.isNull() ? value.asString() : std::string();
}

}  // namespace

ZMConnect2Server* ZMConnect2Server::instance()
{
    static ZMConnect2Server connection;
    return &connection;
}

ZMConnect2Server::ZMConnect2Server()
{
    // Workers use the store until they end, and this object outlives them: construct the
    // store first so that it is destroyed (and saved) after this object.
    ServerInfoStore::instance();
    // Workers must not outlive the application object their requests run under.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ZMConnect2Server::shutdown);
}

ZMConnect2Server::~ZMConnect2Server()
{
    shutdown();
}

void ZMConnect2Server::shutdown()
{
    NetworkAccessBlock::setCancelled(true);
    waitForIdle(kExitWaitMs);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::thread& worker : m_workers) {
        if (m_running == 0)
            worker.join();
        else
            worker.detach();
    }
    m_workers.clear();
}

bool ZMConnect2Server::start(quint8 useState)
{
    ServerInfoStore& store = ServerInfoStore::instance();
    RequestBlock block{this,
                       QString::fromStdString(store.machineMac()),
                       QString::fromStdString(ServerInfoStore::localVersion()),
                       QString::fromStdString(ServerInfoStore::computerName()),
                       QString::fromStdString(ServerInfoStore::userName()),
                       useState};
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_running;
    m_workers.emplace_back(&ZMConnect2Server::run, std::move(block));
    return true;
}

bool ZMConnect2Server::waitForIdle(int msecs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(msecs), [this] { return m_running == 0; });
}

void ZMConnect2Server::workerFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_running;
    m_idle.notify_all();
}

void ZMConnect2Server::run(RequestBlock block)
{
    // Replies are parsed with every parser exception caught, but the values they hold are still
    // the server's: nothing they make the JSON library throw may end the program from this thread.
    try {
        if (block.useState != 0) {
            checkVersion(block);
            checkMinimumVersion(block);
            refreshAdvertisement(block);
        }
        sendUseReport(block);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murovent: a product server reply was not understood: %s\n", e.what());
    }
    block.self->workerFinished();
}

void ZMConnect2Server::checkVersion(const RequestBlock& block)
{
    Json::Value reply;
    if (!UploadManager::instance()->getProductInfo(block.version, reply) || !reply.isObject() ||
        std::as_const(reply)["version"].isNull())
        return;
    ServerInfoStore& store = ServerInfoStore::instance();
    const std::string version = textMember(reply, "version");
    if (!versionGreater(store.verInfo().version, version))
        store.setVersionInfo(reply);
    if (versionGreater(store.verInfo().version, ServerInfoStore::localVersion()))
        emit block.self->signal_serverMsg(NewVersion, QString::fromStdString(version));
}

void ZMConnect2Server::checkMinimumVersion(const RequestBlock& block)
{
    // Applies the stored minimum too, so a version the server has dropped stays refused offline.
    if (versionGreater(ServerInfoStore::instance().verInfo().canUseMinVersion, ServerInfoStore::localVersion()))
        emit block.self->signal_serverMsg(VersionRetired, QString());
}

void ZMConnect2Server::refreshAdvertisement(const RequestBlock& block)
{
    Json::Value reply;
    if (!UploadManager::instance()->getProductAd(reply) || !reply.isObject() || std::as_const(reply)["id"].isNull())
        return;
    const Json::Value& id = std::as_const(reply)["id"];
    if (!id.isConvertibleTo(Json::intValue) || adPictureIsCurrent(id.asInt()))
        return;

    Json::Value record;
    QImage picture;
    const QString path = ServerInfoStore::adImagePath();
    if (UploadManager::instance()->downloadImage(textMember(reply, "adImgPath").c_str(), &picture)) {
        // The preview's loader may read the picture at any time: replace it whole.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (picture.save(&buffer, "PNG") &&
            gFunc::replaceFile(path.toStdString(), png.toStdString(), gFunc::FileKind::Private)) {
            record["localpath"] = path.toStdString();
            record["adImageMD5"] = md5File(path.toUtf8().constData());
        }
    }
    ServerInfoStore& store = ServerInfoStore::instance();
    store.setAdInfo(reply);
    store.setAdImage(record);
    emit block.self->signal_serverMsg(AdvertisementReady, QString());
}

bool ZMConnect2Server::adPictureIsCurrent(int replyId)
{
    ServerInfoStore& store = ServerInfoStore::instance();
    const ServerInfoStore::proAdInfo stored = store.adInfo();
    if (stored.valid && stored.id != replyId)
        return false;
    return !store.isAdImageStale();
}

void ZMConnect2Server::sendUseReport(const RequestBlock& block)
{
    Json::Value reply;
    if (!UploadManager::instance()->useReport(block.mac, block.version, block.computerName, block.userName,
                                              block.useState, reply))
        return;
    emit block.self->signal_serverMsg(block.useState != 0 ? StartReportAnswered : ExitReportAnswered, QString::fromLatin1(kReportAnswer));
}
