// SPDX-License-Identifier: GPL-2.0-or-later
// The two process-wide intake pools: copying producers, exact-count regrouping on the
// audio side, refusal when full or closed, and real producer/consumer threads.

#include <zmav/zm_packetpool.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

using namespace ZM;
using Clock = std::chrono::steady_clock;

namespace {

long msSince(Clock::time_point t0)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

constexpr long kWakeBoundMs = 300;

std::vector<unsigned char> run(int from, int count)
{
    std::vector<unsigned char> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        v[static_cast<size_t>(i)] = static_cast<unsigned char>((from + i) * 7 + 3);
    return v;
}

// The pools outlive tests: every test starts from an open, empty pool.
class Pools : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override { fresh(); }
    static void fresh()
    {
        AudioPool::instance().close();
        AudioPool::instance().discardAll();
        AudioPool::instance().open();
        VideoPool::instance().close();
        VideoPool::instance().discardAll();
        VideoPool::instance().setIntake(0, 0, nullptr);
        VideoPool::instance().open();
    }
    AudioPool& audio = AudioPool::instance();
    VideoPool& video = VideoPool::instance();
};

} // namespace

TEST_F(Pools, RegroupsChunksIntoExactCounts)
{
    std::vector<unsigned char> all = run(0, 4500);
    ASSERT_TRUE(audio.writenBytes(all.data(), 1000, false));
    ASSERT_TRUE(audio.writenBytes(all.data() + 1000, 3000, false));
    ASSERT_TRUE(audio.writenBytes(all.data() + 4000, 500, false));
    all[0] = 0xEE; // the pool holds its own copy

    std::vector<unsigned char> got(4096);
    ASSERT_EQ(audio.readnBytes(got.data(), 4096), 0);
    EXPECT_EQ(got[0], run(0, 1)[0]);
    EXPECT_TRUE(std::equal(got.begin() + 1, got.end(), all.begin() + 1));
    EXPECT_EQ(audio.queuedCount(), 0);

    // The 404 bytes kept from the last chunk serve the next request without any queued item.
    std::vector<unsigned char> rest(404);
    ASSERT_EQ(audio.readnBytes(rest.data(), 404), 0);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), all.begin() + 4096));
}

TEST_F(Pools, SkipsEmptyItemsAndRejectsBadCounts)
{
    std::vector<unsigned char> a = run(0, 10);
    ASSERT_TRUE(audio.writenBytes(nullptr, 0, false));
    ASSERT_TRUE(audio.writenBytes(a.data(), 10, false));
    std::vector<unsigned char> got(10);
    ASSERT_EQ(audio.readnBytes(got.data(), 10), 0);
    EXPECT_EQ(got, a);

    EXPECT_FALSE(audio.writenBytes(a.data(), -1, false));
    EXPECT_EQ(audio.queuedCount(), 0);
    EXPECT_EQ(audio.readnBytes(got.data(), 0), 3);
    EXPECT_EQ(audio.readnBytes(got.data(), -5), 3);
}

TEST_F(Pools, AudioRefusesTheSeventeenthChunkVideoBlocks)
{
    unsigned char byte = 1;
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(audio.writenBytes(&byte, 1, false));
    EXPECT_FALSE(audio.writenBytes(&byte, 1, false));
    std::unique_ptr<PoolItem> item;
    ASSERT_EQ(audio.takeItem(item, false), 0);
    EXPECT_TRUE(audio.writenBytes(&byte, 1, false));

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(video.writenBytes(&byte, 1, true));
    std::atomic<bool> done{false};
    std::thread producer([&] {
        unsigned char six = 6;
        EXPECT_TRUE(video.writenBytes(&six, 1, true));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_FALSE(done.load());
    ASSERT_EQ(video.takeItem(item, true), 0);
    producer.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(video.queuedCount(), 5);
}

TEST_F(Pools, NullPictureIsAnEmptyItem)
{
    ASSERT_TRUE(video.writenBytes(nullptr, 100, true));
    std::unique_ptr<PoolItem> item;
    ASSERT_EQ(video.takeItem(item, false), 0);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->len, 0);
}

TEST_F(Pools, RecycledBuffersAreReused)
{
    const std::vector<unsigned char> a = run(0, 1000), b = run(500, 800);
    ASSERT_TRUE(video.writenBytes(a.data(), 1000, true));
    std::unique_ptr<PoolItem> item;
    ASSERT_EQ(video.takeItem(item, false), 0);
    const unsigned char* buffer = item->data.get();
    video.recycle(std::move(item));
    ASSERT_TRUE(video.writenBytes(b.data(), 800, true));
    ASSERT_EQ(video.takeItem(item, false), 0);
    EXPECT_EQ(item->data.get(), buffer);
    ASSERT_EQ(item->len, 800);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), item->data.get()));
    video.recycle(std::move(item));
    // A larger chunk gets a buffer of its own.
    const std::vector<unsigned char> c = run(7, 1200);
    ASSERT_TRUE(video.writenBytes(c.data(), 1200, true));
    ASSERT_EQ(video.takeItem(item, false), 0);
    ASSERT_EQ(item->len, 1200);
    EXPECT_TRUE(std::equal(c.begin(), c.end(), item->data.get()));
}

TEST_F(Pools, IntakeConvertsChunksOfItsSizeAndCopiesOthers)
{
    // Stores every other byte of a 100-byte chunk.
    video.setIntake(100, 50, [](const unsigned char* src, int len, const ChangedAreas&, PoolItem& item) {
        for (int i = 0; i < len / 2; ++i)
            item.data[i] = src[2 * i];
        return true;
    });
    const std::vector<unsigned char> picture = run(0, 100), other = run(3, 60);
    ASSERT_TRUE(video.writenBytes(picture.data(), 100, true));
    ASSERT_TRUE(video.writenBytes(other.data(), 60, true));
    std::unique_ptr<PoolItem> item;
    ASSERT_EQ(video.takeItem(item, false), 0);
    EXPECT_TRUE(item->converted);
    ASSERT_EQ(item->len, 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(item->data[i], picture[2 * i]);
    ASSERT_EQ(video.takeItem(item, false), 0);
    EXPECT_FALSE(item->converted);
    ASSERT_EQ(item->len, 60);
    EXPECT_TRUE(std::equal(other.begin(), other.end(), item->data.get()));
    // A chunk the conversion fails on is refused rather than queued half-made.
    video.setIntake(100, 50, [](const unsigned char*, int, const ChangedAreas&, PoolItem&) { return false; });
    EXPECT_FALSE(video.writenBytes(picture.data(), 100, true));
    EXPECT_EQ(video.queuedCount(), 0);
}

// With its share of buffers out, a producer handing in changes waits until the consumer gives
// one back (nothing-new items hold none); closing releases it; other writes never wait.
TEST_F(Pools, BoundedIntakeWaitsForABufferToComeBack)
{
    video.setIntake(100, 50, [](const unsigned char*, int, const ChangedAreas&, PoolItem&) { return true; }, 2);
    const std::vector<unsigned char> picture = run(0, 100);
    const ChangedAreas whole;
    ASSERT_TRUE(video.writeChanged(picture.data(), 100, true, whole));
    ASSERT_TRUE(video.writeChanged(nullptr, 0, true, whole));
    ASSERT_TRUE(video.writeChanged(picture.data(), 100, true, whole));
    std::atomic<int> third{-1};
    std::thread producer([&] { third = video.writeChanged(picture.data(), 100, true, whole) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(third.load(), -1) << "a third buffer was made";
    std::unique_ptr<PoolItem> item;
    ASSERT_EQ(video.takeItem(item, false), 0);
    video.recycle(std::move(item));
    producer.join();
    EXPECT_EQ(third.load(), 1);
    EXPECT_EQ(video.queuedCount(), 3);

    EXPECT_TRUE(video.writenBytes(picture.data(), 100, false));
    std::thread blocked([&] { third = video.writeChanged(picture.data(), 100, true, whole) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto t0 = Clock::now();
    video.close();
    blocked.join();
    EXPECT_LT(msSince(t0), kWakeBoundMs);
    EXPECT_EQ(third.load(), 0);
}

TEST_F(Pools, ClosingReleasesBlockedReaderAndWriter)
{
    std::atomic<int> readResult{-1};
    std::thread reader([&] {
        std::vector<unsigned char> buf(4096);
        readResult = audio.readnBytes(buf.data(), 4096);
    });
    unsigned char byte = 0;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(video.writenBytes(&byte, 1, true));
    std::atomic<int> writeResult{-1};
    std::thread writer([&] { writeResult = video.writenBytes(&byte, 1, true) ? 1 : 0; });

    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    auto t0 = Clock::now();
    audio.close();
    video.close();
    reader.join();
    writer.join();
    EXPECT_LT(msSince(t0), kWakeBoundMs);
    EXPECT_EQ(readResult.load(), 2);
    EXPECT_EQ(writeResult.load(), 0);
    EXPECT_FALSE(audio.writenBytes(&byte, 1, false));
}

TEST_F(Pools, DiscardAllDropsQueuedItemsAndTheHeldRest)
{
    std::vector<unsigned char> a = run(0, 300);
    ASSERT_TRUE(audio.writenBytes(a.data(), 300, false));
    ASSERT_TRUE(audio.writenBytes(a.data(), 300, false));
    std::vector<unsigned char> got(100);
    ASSERT_EQ(audio.readnBytes(got.data(), 100), 0); // 200 bytes held back
    audio.close();
    audio.discardAll();
    audio.open();
    EXPECT_EQ(audio.queuedCount(), 0);

    std::vector<unsigned char> b = run(1000, 50);
    ASSERT_TRUE(audio.writenBytes(b.data(), 50, false));
    ASSERT_EQ(audio.readnBytes(got.data(), 50), 0);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), got.begin()));
}

TEST_F(Pools, RealThreadsRegroupRandomChunksExactly)
{
    constexpr int kTotal = 400 * 1024;
    const std::vector<unsigned char> source = run(0, kTotal);
    std::thread producer([&] {
        std::mt19937 rng(42);
        std::uniform_int_distribution<int> size(0, 9000);
        int sent = 0;
        while (sent < kTotal) {
            int n = std::min(size(rng), kTotal - sent);
            // Non-blocking like the real audio delivery: retry a refused chunk a moment later.
            while (!audio.writenBytes(source.data() + sent, n, false))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            sent += n;
        }
    });
    std::vector<unsigned char> received;
    std::vector<unsigned char> frame(4096);
    while (received.size() < static_cast<size_t>(kTotal)) {
        ASSERT_EQ(audio.readnBytes(frame.data(), 4096), 0);
        received.insert(received.end(), frame.begin(), frame.end());
    }
    producer.join();
    EXPECT_EQ(received, source);
}
