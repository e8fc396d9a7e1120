// SPDX-License-Identifier: GPL-2.0-or-later
// Encoded-packet queue and the muxing thread that drains it into a container.

#include <zmav/packetqueue.h>
#include <zmav/zm_avwriter.h>

#include "mp4_probe.h"
#include "recording_helpers.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

using namespace ZM;
using rec::Clock;

namespace {

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// A packet that only points at the caller's bytes.
PacketPtr foreignPacket(uint8_t* bytes, int size, int64_t pts)
{
    PacketPtr pkt(av_packet_alloc());
    pkt->data = bytes;
    pkt->size = size;
    pkt->pts = pkt->dts = pts;
    pkt->duration = 1;
    return pkt;
}

} // namespace

TEST(PacketQueue, KeepsOrderAndCopiesForeignPayloads)
{
    PacketQueue q;
    uint8_t bytes[3][8];
    for (int i = 0; i < 3; ++i) {
        std::memset(bytes[i], 10 + i, sizeof bytes[i]);
        PacketPtr pkt = foreignPacket(bytes[i], 8, i);
        ASSERT_EQ(q.put(pkt.get()), 0);
        EXPECT_EQ(pkt->data, nullptr); // taken over
        std::memset(bytes[i], 0, sizeof bytes[i]); // the queue must not share these
    }
    EXPECT_EQ(q.size(), 3);
    PacketPtr out(av_packet_alloc());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(q.get(out.get(), false), 1);
        EXPECT_EQ(out->pts, i);
        EXPECT_EQ(out->data[7], 10 + i);
        av_packet_unref(out.get());
    }
    EXPECT_EQ(q.get(out.get(), false), 0);
    EXPECT_EQ(q.put(nullptr), -1);
}

TEST(PacketQueue, FlushAndAbort)
{
    PacketQueue q;
    uint8_t bytes[16] = {};
    for (int i = 0; i < 4; ++i)
        q.put(foreignPacket(bytes, 16, i).get());
    q.flush();
    EXPECT_EQ(q.size(), 0);
    q.put(foreignPacket(bytes, 16, 9).get());
    q.abort();
    PacketPtr out(av_packet_alloc());
    EXPECT_EQ(q.get(out.get(), false), -1);
    EXPECT_EQ(q.get(out.get(), true), -1); // even with a packet queued
}

TEST(PacketQueue, BlockingGetIsWokenByPutAndByAbort)
{
    PacketQueue q;
    std::atomic<int> got{-2};
    std::thread consumer([&] {
        PacketPtr out(av_packet_alloc());
        got = q.get(out.get(), true);
    });
    rec::sleepMs(50);
    EXPECT_EQ(got.load(), -2);
    uint8_t b[4] = {1, 2, 3, 4};
    q.put(foreignPacket(b, 4, 0).get());
    consumer.join();
    EXPECT_EQ(got.load(), 1);

    std::thread waiter([&] {
        PacketPtr out(av_packet_alloc());
        got = q.get(out.get(), true);
    });
    rec::sleepMs(50);
    q.abort();
    waiter.join();
    EXPECT_EQ(got.load(), -1);
}

// Ten grey 16 x 16 pictures as raw video packets, written by the writer thread into a
// NUT file and read back.
TEST(Writer, WritesQueuedPacketsAndTheTrailer)
{
    rec::TempDir dir;
    const std::string path = dir.file("raw.nut");
    AVFormatContext* ctx = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&ctx, nullptr, nullptr, path.c_str()), 0);
    AVStream* st = avformat_new_stream(ctx, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    st->codecpar->format = AV_PIX_FMT_GRAY8;
    st->codecpar->width = 16;
    st->codecpar->height = 16;
    st->time_base = AVRational{1, 10};
    ASSERT_GE(avio_open(&ctx->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    {
        ZM_AVWriter writer(ctx);
        ASSERT_TRUE(writer.writeHeader());
        ASSERT_EQ(writer.start(), 0);
        std::vector<uint8_t> grey(256);
        for (int i = 0; i < 10; ++i) {
            std::fill(grey.begin(), grey.end(), uint8_t(20 * i + 10));
            PacketPtr pkt = foreignPacket(grey.data(), 256, i);
            av_packet_rescale_ts(pkt.get(), AVRational{1, 10}, st->time_base);
            ASSERT_TRUE(writer.writePacket(pkt.get()));
        }
        ASSERT_TRUE(writer.writeTailer());
    }
    avio_closep(&ctx->pb);
    avformat_free_context(ctx);

    const auto info = mp4probe::probeMp4(path);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].packets, 10);
    EXPECT_NEAR(info.streams[0].lastPts, 0.9, 1e-6);

    // The payloads arrive in order and intact.
    AVFormatContext* in = nullptr;
    ASSERT_GE(avformat_open_input(&in, path.c_str(), nullptr, nullptr), 0);
    PacketPtr pkt(av_packet_alloc());
    for (int i = 0; av_read_frame(in, pkt.get()) >= 0; ++i) {
        EXPECT_EQ(pkt->size, 256);
        EXPECT_EQ(pkt->data[255], 20 * i + 10);
        av_packet_unref(pkt.get());
    }
    avformat_close_input(&in);
}

TEST(Writer, DestroyingWithoutTheEndMarkerEndsTheThread)
{
    AVFormatContext* ctx = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&ctx, nullptr, "matroska", nullptr), 0);
    const auto t0 = Clock::now();
    {
        ZM_AVWriter writer(ctx);
        ASSERT_EQ(writer.start(), 0);
        EXPECT_NE(writer.start(), 0); // one thread per writer
    }
    EXPECT_LT(rec::secondsSince(t0), 2.0);
    avformat_free_context(ctx);
}
