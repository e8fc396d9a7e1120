// SPDX-License-Identifier: GPL-2.0-or-later
#include "md5.h"
#include "networkaccessblock.h"
#include "productserver.h"
#include "serverinfostore.h"
#include "untrustedjson.h"
#include "zm_connect2server.h"
#include "zm_identity.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

// Every run of the connection is a child process of this program, so that the program-wide
// store loads its cache at start and writes it at exit exactly as in the real program.
namespace {

int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NetworkAccessBlock::setTimeoutMs(qEnvironmentVariableIntValue("MV_TEST_TIMEOUT_MS"));
    const quint8 useState = quint8(atoi(argv[2]));
    const bool exitAtOnce = argc > 3 && strcmp(argv[3], "--exit-at-once") == 0;
    QObject::connect(ZMConnect2Server::instance(), &ZMConnect2Server::signal_serverMsg, &app,
                     [](int id, const QString& info) {
                         printf("MSG %d %s\n", id, info.toUtf8().constData());
                         fflush(stdout);
                     });
    ZMConnect2Server::instance()->start(useState);
    if (exitAtOnce) {
        // As the program ends: its event loop quits while a worker may still wait for an answer.
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
        return app.exec();
    }
    if (!ZMConnect2Server::instance()->waitForIdle(20000))
        return 3;
    QCoreApplication::processEvents();
    return 0;
}

struct ChildRun {
    QStringList messages;
    int exitCode = -1;
    qint64 ms = 0;
};

QString productInfo(const QString& version, const QString& minimum)
{
    return QStringLiteral(R"({"productName": "Murovent", "version": "%1", "canUseMinVersion": "%2",
        "createTime": "2015-06-01", "updateNote": "notes", "productDesc": "recorder",
        "downloadPath": "http://127.0.0.1/download"})")
        .arg(version, minimum);
}

QJsonObject answer(const QString& body)
{
    return QJsonObject{{"body", body}};
}

class ServerConnect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("murovent"));
    }

    ChildRun run(int useState, const QString& url, const QStringList& extra = {}, int timeoutMs = 3000)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp.path());
        env.insert("XDG_CACHE_HOME", tmp.path());
        env.insert("MUROVENT_SERVER_URL", url);
        env.insert("MV_TEST_TIMEOUT_MS", QString::number(timeoutMs));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), QStringList{"--child", QString::number(useState)} + extra);
        ChildRun result;
        if (!child.waitForFinished(30000)) {
            child.kill();
            child.waitForFinished();
            return result;
        }
        result.ms = clock.elapsed();
        result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
        EXPECT_EQ(result.exitCode, 0) << "child process failed";
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            if (line.startsWith("MSG "))
                result.messages << QString::fromUtf8(line.mid(4)).trimmed();
        }
        return result;
    }
    ChildRun run(int useState) { return run(useState, server.url()); }

    QString cachePath() const { return tmp.filePath("murovent/mr.cfg"); }
    QString picturePath() const { return tmp.filePath("murovent/vvll.png"); }

    QJsonObject cache() const
    {
        QFile file(cachePath());
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(ServerInfoStore::unscrambled(file.readAll())).object();
    }

    void seedVersionInfo(const QString& version, const QString& minimum)
    {
        ServerInfoStore store(cachePath());
        Json::Value info;
        info["version"] = version.toStdString();
        info["canUseMinVersion"] = minimum.toStdString();
        store.setVersionInfo(info);
    }

    QString offlineUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(closedPort()); }

    ProductServer server;
    QTemporaryDir tmp;
};

QByteArray formValue(const std::string& text)
{
    return QUrl::toPercentEncoding(QString::fromStdString(text));
}

TEST_F(ServerConnect, NewerVersionIsAnnouncedStoredAndReported)
{
    server.configure({{"getProductInfo", answer(productInfo("3.3.0", "3.0.0"))},
                      {"useReport", answer(R"({"result": 1})")}});
    EXPECT_EQ(run(1).messages, QStringList({"0 3.3.0", "1 2015"}));

    const QJsonObject info = cache().value("proVerInfo").toObject();
    EXPECT_EQ(info.value("version").toString(), "3.3.0");
    EXPECT_EQ(info.value("downloadPath").toString(), "http://127.0.0.1/download");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/product/Murovent/getProductInfo?");
    EXPECT_EQ(requests[0].body, "version=3.2.2");
    EXPECT_EQ(requests[1].path, "/product/Murovent/getProductAd");
    EXPECT_EQ(requests[2].path, "/product/Murovent/useReport?");
    EXPECT_EQ(requests[2].body, "mac=" + formValue(machineMacAddress()) + "&version=3.2.2&computerName=" +
                                    formValue(computerName()) + "&userName=" + formValue(userName()) +
                                    "&useState=1");
}

TEST_F(ServerConnect, EqualVersionAndMinimumStayQuiet)
{
    server.configure({{"getProductInfo", answer(productInfo("3.2.2", "3.2.2"))},
                      {"useReport", answer("{}")}});
    EXPECT_EQ(run(1).messages, QStringList({"1 2015"}));
}

TEST_F(ServerConnect, TenthPatchComparesAsOlder)
{
    seedVersionInfo("3.2.2", "3.0.0");
    server.configure({{"getProductInfo", answer(productInfo("3.2.10", "3.0.0"))}});
    EXPECT_EQ(run(1).messages, QStringList());
    EXPECT_EQ(cache().value("proVerInfo").toObject().value("version").toString(), "3.2.2");
}

TEST_F(ServerConnect, StoredMinimumRefusesThisVersionEvenOffline)
{
    seedVersionInfo("3.4.0", "3.3.0");
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList({"4"}));
}

TEST_F(ServerConnect, AdvertisementPictureIsKeptWhileItsDigestMatches)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    const QString source = tmp.filePath("source.png");
    ASSERT_TRUE(picture.save(source));
    const QString ad = QStringLiteral(R"({"id": %1, "adImgPath": "%2/ad/vvll.png", "productName": "Murovent"})");
    server.configure({{"getProductAd", answer(ad.arg(5).arg(server.url()))}, {"image", QJsonObject{{"file", source}}}});
    auto downloads = [this] { return server.requestsTo("vvll.png").size(); };

    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_EQ(downloads(), 1u);
    EXPECT_EQ(QImage(picturePath()).size(), QSize(64, 48));
    const QJsonObject record = cache().value("proAdImage").toObject();
    EXPECT_EQ(record.value("localpath").toString(), picturePath());
    EXPECT_EQ(record.value("adImageMD5").toString().toStdString(), md5File(picturePath().toUtf8().constData()));
    EXPECT_EQ(cache().value("proAdInfo").toObject().value("id").toInt(), 5);

    // Same advertisement, picture unchanged: nothing to do.
    EXPECT_EQ(run(1).messages, QStringList());
    EXPECT_EQ(downloads(), 1u);

    ASSERT_TRUE(QFile::remove(picturePath()));
    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_EQ(downloads(), 2u);

    // A picture altered on disk no longer matches its digest.
    {
        QFile file(picturePath());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("x");
    }
    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_EQ(downloads(), 3u);

    server.configure({{"getProductAd", answer(ad.arg(6).arg(server.url()))}, {"image", QJsonObject{{"file", source}}}});
    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_EQ(downloads(), 4u);
    EXPECT_EQ(cache().value("proAdInfo").toObject().value("id").toInt(), 6);
}

TEST_F(ServerConnect, FailedDownloadIsAnnouncedAndRetriedNextTime)
{
    const QString ad = QStringLiteral(R"({"id": 9, "adImgPath": "%1/ad/vvll.png"})").arg(server.url());
    server.configure({{"getProductAd", answer(ad)}, {"image", answer("no picture")}});
    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_TRUE(cache().value("proAdImage").isNull());
    EXPECT_FALSE(QFile::exists(picturePath()));

    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString source = tmp.filePath("source.png");
    ASSERT_TRUE(picture.save(source));
    server.configure({{"getProductAd", answer(ad)}, {"image", QJsonObject{{"file", source}}}});
    EXPECT_EQ(run(1).messages, QStringList({"3"}));
    EXPECT_EQ(QImage(picturePath()).size(), QSize(8, 8));
}

TEST_F(ServerConnect, ExitSendsOnlyTheReport)
{
    server.configure({{"getProductInfo", answer(productInfo("3.3.0", "3.0.0"))}, {"useReport", answer("{}")}});
    EXPECT_EQ(run(0).messages, QStringList({"2 2015"}));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].body.endsWith("&useState=0"));
}

TEST_F(ServerConnect, OfflineFirstRunWritesAnEmptyCache)
{
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList());
    const QJsonObject stored = cache();
    EXPECT_EQ(stored.keys(), QStringList({"proAdImage", "proAdInfo", "proVerInfo"}));
    for (const QString& key : stored.keys())
        EXPECT_TRUE(stored.value(key).isNull()) << key.toStdString();
}

TEST_F(ServerConnect, CorruptCacheIsIgnored)
{
    {
        QFile file(cachePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x01\xff garbage {\"proVerInfo\":");
    }
    server.configure({{"getProductInfo", answer(productInfo("3.2.2", "3.2.2"))}, {"useReport", answer("{}")}});
    EXPECT_EQ(run(1).messages, QStringList({"1 2015"}));
    EXPECT_EQ(cache().value("proVerInfo").toObject().value("version").toString(), "3.2.2");
}

TEST_F(ServerConnect, EndlessCacheIsIgnoredAndReplacedNotWrittenThrough)
{
    ASSERT_TRUE(QFile::link("/dev/zero", cachePath()));
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList());
    // Saved beside and renamed over the link, never written into what it points at.
    EXPECT_FALSE(QFileInfo(cachePath()).isSymLink());
    EXPECT_TRUE(cache().value("proVerInfo").isNull());
    EXPECT_EQ(cache().keys().size(), 3);
}

TEST_F(ServerConnect, ExitDoesNotWaitForAServerThatNeverAnswers)
{
    server.configure({{"getProductInfo", QJsonObject{{"silent", true}}}});
    const ChildRun result = run(1, server.url(), {"--exit-at-once"}, 30000);
    // Well below the 3 s the program would wait for a worker that ignored the cancellation.
    EXPECT_LT(result.ms, 2500) << result.ms;
    EXPECT_EQ(result.messages, QStringList());
    EXPECT_TRUE(QFile::exists(cachePath()));
}

QString nested(int depth, const QString& inner = "1")
{
    return QString(depth, '[') + inner + QString(depth, ']');
}

void writeCache(const QString& path, const QByteArray& clear)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ServerInfoStore::scrambled(clear));
}

TEST_F(ServerConnect, DeeplyNestedRepliesAreIgnoredAndNeverReachTheCache)
{
    // Too deep to parse at all, then parsed by a lax reader but too deep to keep.
    for (const QString& reply : {QString(200000, '['),
                                 R"({"version": "3.3.0", "extra": )" + nested(999) + "}"}) {
        server.configure({{"getProductInfo", answer(reply)}, {"useReport", answer("{}")}});
        EXPECT_EQ(run(1).messages, QStringList({"1 2015"}));
        EXPECT_TRUE(cache().value("proVerInfo").isNull());
    }
    // As deep as a reply may be: kept, and read back by the next start (offline, the stored
    // minimum version still refuses this one).
    const QString deep = R"({"version": "3.3.0", "canUseMinVersion": "9.0", "extra": )" +
                         nested(UntrustedJson::kReplyDepth - 2) + "}";
    server.configure({{"getProductInfo", answer(deep)}});
    EXPECT_EQ(run(1).messages, QStringList({"0 3.3.0", "4"}));
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList({"4"}));
}

TEST_F(ServerConnect, PlantedCachesAreIgnored)
{
    const QByteArray refusing = R"({"proVerInfo": {"version": "9.0", "canUseMinVersion": "9.0"}})";
    // Too deep a cache makes the store start empty, as any corrupt one.
    writeCache(cachePath(), R"({"proVerInfo": {"canUseMinVersion": "9.0"}, "x": )" + nested(999).toUtf8() + "}");
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList());
    EXPECT_TRUE(cache().value("proVerInfo").isNull());
    // A cache that is not a regular file of this user is not ours.
    ASSERT_TRUE(QFile::remove(cachePath()));
    ASSERT_EQ(mkfifo(QFile::encodeName(cachePath()).constData(), 0600), 0);
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList());
    if (geteuid() == 0) {
        ASSERT_TRUE(QFile::remove(cachePath()));
        writeCache(cachePath(), refusing);
        ASSERT_EQ(chown(QFile::encodeName(cachePath()).constData(), 65534, 65534), 0);
        EXPECT_EQ(run(1, offlineUrl()).messages, QStringList());
    }
    // The same text as the user's own file is obeyed: the refusals above were no accident.
    ASSERT_TRUE(QFile::remove(cachePath()));
    writeCache(cachePath(), refusing);
    EXPECT_EQ(run(1, offlineUrl()).messages, QStringList({"4"}));
}

TEST_F(ServerConnect, PicturePathsThatAreNoFilesNeverBlock)
{
    const QString fifo = tmp.filePath("picture.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString ad = QStringLiteral(R"({"id": 4, "adImgPath": "%1/ad/vvll.png"})").arg(server.url());
    server.configure({{"getProductAd", answer(ad)}, {"image", answer("no picture")}});
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo}) {
        writeCache(cachePath(), QStringLiteral(R"({"proAdInfo": {"id": 4}, "proAdImage": {"localpath": "%1",
                                                   "adImageMD5": "x"}})").arg(path).toUtf8());
        const ChildRun result = run(1);
        EXPECT_EQ(result.exitCode, 0) << path.toStdString();
        EXPECT_LT(result.ms, 2000) << path.toStdString();
        // Taken as stale, so fetched again.
        EXPECT_EQ(result.messages, QStringList({"3"})) << path.toStdString();
    }
}

TEST(ServerInfoStoreThreads, ReadersSeeWholeRecordsWhileAWorkerWrites)
{
    QTemporaryDir dir;
    ServerInfoStore store(dir.filePath("mr.cfg"));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            Json::Value record;
            record["localpath"] = "/nowhere/" + std::to_string(i);
            record["adImageMD5"] = std::to_string(i);
            store.setAdImage(record);
            store.setVersionInfo(Json::Value());
        }
        done = true;
    });
    int mixed = 0;
    while (!done) {
        const ServerInfoStore::proAdImage image = store.adImage();
        if (image.valid && image.localpath != "/nowhere/" + image.adImageMD5)
            ++mixed;
        EXPECT_TRUE(store.isAdImageStale());
        store.verInfo();
    }
    writer.join();
    EXPECT_EQ(mixed, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && strcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);
    prepareTestEnvironment();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
