// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkaccessblock.h"
#include "productserver.h"
#include "uploadmanager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonObject>

namespace {

QJsonObject answer(const QString& body)
{
    return QJsonObject{{"body", body}};
}

class ServerHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        // A trailing slash on the configured address must not double the path's slash.
        UploadManager::setBaseUrl(server.url() + "/");
        NetworkAccessBlock::setTimeoutMs(5000);
    }

    // The sentinel shows whether a failed request left its output alone.
    static Json::Value sentinel()
    {
        Json::Value value;
        value["untouched"] = true;
        return value;
    }

    ProductServer server;
};

TEST_F(ServerHttp, ProductInfoPostsTheVersionForm)
{
    server.configure({{"getProductInfo", answer(R"({"version": "3.3.0", "productName": "Murovent"})")}});
    Json::Value out;
    ASSERT_TRUE(UploadManager::instance()->getProductInfo("3.2.2", out));
    EXPECT_EQ(out["version"].asString(), "3.3.0");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/product/Murovent/getProductInfo?");
    EXPECT_EQ(requests[0].headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].headers.value("content-length"), "13");
    EXPECT_EQ(requests[0].body, "version=3.2.2");
}

TEST_F(ServerHttp, AdRequestHasAnEmptyBody)
{
    server.configure({{"getProductAd", answer(R"({"id": 7, "adImgPath": "x"})")}});
    Json::Value out;
    ASSERT_TRUE(UploadManager::instance()->getProductAd(out));
    EXPECT_EQ(out["id"].asInt(), 7);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/product/Murovent/getProductAd");
    EXPECT_EQ(requests[0].headers.value("content-length"), "0");
    EXPECT_EQ(requests[0].body, "");
}

TEST_F(ServerHttp, UseReportEncodesEveryValue)
{
    server.configure({{"useReport", answer(R"({"result": 1})")}});
    Json::Value out;
    ASSERT_TRUE(UploadManager::instance()->useReport("AA:BB:CC:DD:EE:0F", "3.2.2", QString::fromUtf8("机器 1"),
                                                     "eve&useState=9&x=y", 1, out));
    const auto requests = server.requestsTo("useReport");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/product/Murovent/useReport?");
    const QByteArray expected = "mac=AA%3ABB%3ACC%3ADD%3AEE%3A0F&version=3.2.2"
                                "&computerName=%E6%9C%BA%E5%99%A8%201"
                                "&userName=eve%26useState%3D9%26x%3Dy&useState=1";
    EXPECT_EQ(requests[0].body, expected);
    EXPECT_EQ(requests[0].headers.value("content-length").toInt(), expected.size());
}

TEST_F(ServerHttp, ReplyEndsAtItsFirstNulByte)
{
    // Only the part before the NUL is JSON; the rest would not parse.
    server.configure({{"getProductAd", answer(QString::fromUtf8("{\"id\": 3}\0{{{ junk", 18))}});
    Json::Value out;
    ASSERT_TRUE(UploadManager::instance()->getProductAd(out));
    EXPECT_EQ(out["id"].asInt(), 3);
    NetworkAccessBlock::Reply reply = NetworkAccessBlock::getUrl(server.url(), "/product/Murovent/getProductAd");
    ASSERT_TRUE(reply);
    EXPECT_EQ(NetworkAccessBlock::replyText(reply.get()), "{\"id\": 3}");
}

TEST_F(ServerHttp, BadRepliesFailAndLeaveTheOutputAlone)
{
    server.configure({{"getProductInfo", answer("version: 3.3.0")},
                      {"getProductAd", QJsonObject{{"body", R"({"id": 1})"}, {"status", 500}}}});
    Json::Value out = sentinel();
    EXPECT_FALSE(UploadManager::instance()->getProductInfo("3.2.2", out));
    EXPECT_EQ(out, sentinel());
    EXPECT_FALSE(UploadManager::instance()->getProductAd(out));
    EXPECT_EQ(out, sentinel());
    // No such endpoint configured: 404.
    EXPECT_FALSE(UploadManager::instance()->useReport("", "3.2.2", "", "", 0, out));
    EXPECT_EQ(out, sentinel());
}

TEST_F(ServerHttp, SilentServerTimesOut)
{
    server.configure({{"getProductInfo", QJsonObject{{"silent", true}}}});
    NetworkAccessBlock::setTimeoutMs(600);
    Json::Value out = sentinel();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(UploadManager::instance()->getProductInfo("3.2.2", out));
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(out, sentinel());
    EXPECT_EQ(server.requestsTo("getProductInfo").size(), 1u);
}

TEST_F(ServerHttp, SlowAnswerWithinTheTimeOutSucceeds)
{
    server.configure({{"getProductInfo", QJsonObject{{"body", R"({"version": "3.2.2"})"}, {"delay", 0.4}}}});
    NetworkAccessBlock::setTimeoutMs(3000);
    Json::Value out;
    EXPECT_TRUE(UploadManager::instance()->getProductInfo("3.2.2", out));
    EXPECT_EQ(out["version"].asString(), "3.2.2");
}

TEST_F(ServerHttp, UnreachableServerFails)
{
    UploadManager::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
    Json::Value out = sentinel();
    EXPECT_FALSE(UploadManager::instance()->getProductInfo("3.2.2", out));
    EXPECT_EQ(out, sentinel());
}

TEST_F(ServerHttp, OversizedBodiesAreRefused)
{
    const int tooLarge = int(NetworkAccessBlock::kMaxBodyBytes) + 1;
    for (bool announced : {true, false}) {
        server.configure({{"getProductAd", QJsonObject{{"size", tooLarge}, {"noLength", !announced}}}});
        Json::Value out = sentinel();
        EXPECT_FALSE(UploadManager::instance()->getProductAd(out)) << announced;
        EXPECT_EQ(out, sentinel());
    }
}

class ServerImage : public ServerHttp
{
protected:
    QString imageUrl() const { return server.url() + "/ad/vvll.png"; }

    QString writePicture(int width, int height)
    {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString path = dir.filePath(QStringLiteral("%1x%2.png").arg(width).arg(height));
        EXPECT_TRUE(picture.save(path));
        return path;
    }

    bool download(QImage* out) { return UploadManager::instance()->downloadImage(imageUrl().toUtf8().constData(), out); }

    QTemporaryDir dir;
};

TEST_F(ServerImage, DownloadsAPicture)
{
    server.configure({{"image", QJsonObject{{"file", writePicture(40, 30)}}}});
    QImage out;
    ASSERT_TRUE(download(&out));
    EXPECT_EQ(out.size(), QSize(40, 30));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/ad/vvll.png");
}

TEST_F(ServerImage, RefusesWhatIsNoPictureOrTooLarge)
{
    QImage out(2, 2, QImage::Format_RGB32);
    server.configure({{"image", answer("<html>not a picture</html>")}});
    EXPECT_FALSE(download(&out));
    EXPECT_TRUE(out.isNull());

    out = QImage(2, 2, QImage::Format_RGB32);
    server.configure({{"image", QJsonObject{{"file", writePicture(UploadManager::kMaxImageSide + 1, 2)}}}});
    EXPECT_FALSE(download(&out));
    EXPECT_TRUE(out.isNull());

    server.configure({{"image", QJsonObject{{"file", writePicture(UploadManager::kMaxImageSide, 2)}}}});
    EXPECT_TRUE(download(&out));
    EXPECT_EQ(out.width(), UploadManager::kMaxImageSide);
}

TEST_F(ServerImage, OnlyHttpAddressesAreFetched)
{
    const QString local = writePicture(10, 10);
    QImage out;
    EXPECT_FALSE(UploadManager::instance()->downloadImage(("file://" + local).toUtf8().constData(), &out));
    EXPECT_FALSE(UploadManager::instance()->downloadImage(local.toUtf8().constData(), &out));
    EXPECT_TRUE(out.isNull());
}

}  // namespace

int main(int argc, char** argv)
{
    prepareTestEnvironment();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
