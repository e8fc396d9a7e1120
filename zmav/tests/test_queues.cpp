// SPDX-License-Identifier: GPL-2.0-or-later
// Thread primitives: the semaphore's timed wait, the producer/consumer ring, the ts_queue
// FIFO and the reader/writer lock, each also driven by real threads.

#include <zmav/csignalsemaphore.h>
#include <zmav/queue_producer_consumer.h>
#include <zmav/readwritelock.h>
#include <zmav/ts_queue.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
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

void* tag(intptr_t n)
{
    return reinterpret_cast<void*>(n);
}

// Closing a queue must release a caller blocked on it within a couple of 20 ms slices
// (generous bound: sanitizers on a loaded machine).
constexpr long kWakeBoundMs = 300;

} // namespace

TEST(Semaphore, TimedWaitTimesOutAndIsWokenBySignal)
{
    CSignalSemaphore sem(0);
    auto t0 = Clock::now();
    EXPECT_EQ(sem.waitTimeout(60), -1);
    EXPECT_GE(msSince(t0), 55);

    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        sem.signal();
    });
    t0 = Clock::now();
    EXPECT_EQ(sem.waitTimeout(5000), 0);
    EXPECT_LT(msSince(t0), 3000);
    poster.join();
    EXPECT_EQ(sem.value(), 0);
}

TEST(Semaphore, TimedWaitCarriesNanosecondsIntoSeconds)
{
    // Start late in a second of the real-time clock, so that adding 700 ms overflows the
    // nanoseconds: an unnormalised deadline would be rejected at once.
    timespec now{};
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        clock_gettime(CLOCK_REALTIME, &now);
    } while (now.tv_nsec < 600000000L || now.tv_nsec > 900000000L);
    CSignalSemaphore sem(0);
    auto t0 = Clock::now();
    EXPECT_EQ(sem.waitTimeout(700), -1);
    EXPECT_GE(msSince(t0), 650);
}

TEST(Semaphore, CountsAndReinit)
{
    CSignalSemaphore sem(2);
    EXPECT_EQ(sem.tryWait(), 0);
    EXPECT_EQ(sem.tryWait(), 0);
    EXPECT_EQ(sem.tryWait(), -1);
    sem.signal();
    EXPECT_EQ(sem.value(), 1);
    sem.init(4);
    EXPECT_EQ(sem.value(), 4);
    sem.clear();
    EXPECT_EQ(sem.value(), 0);
    sem.signal();
    EXPECT_EQ(sem.wait(), 0);
}

TEST(ProducerConsumer, FullRingRefusesAndWrapsAround)
{
    queue_producer_consumer q(5);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(q.enqueue(tag(i), false), 0);
    EXPECT_EQ(q.enqueue(tag(6), false), 1);
    void* out = nullptr;
    EXPECT_EQ(q.dequeue(&out, false), 0);
    EXPECT_EQ(out, tag(1));
    EXPECT_EQ(q.enqueue(tag(6), false), 0); // lands in slot 0 again
    for (int i = 2; i <= 6; ++i) {
        ASSERT_EQ(q.dequeue(&out, false), 0);
        EXPECT_EQ(out, tag(i));
    }
    EXPECT_EQ(q.dequeue(&out, false), 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(q.emptyValue(), 5);
    EXPECT_EQ(q.fullValue(), 0);
    EXPECT_EQ(q.memory_size(), 5);
}

TEST(ProducerConsumer, ClosedQueueRefusesAtOnceAndKeepsItsItems)
{
    queue_producer_consumer q(3);
    ASSERT_EQ(q.enqueue(tag(7), false), 0);
    q.setExit(true);
    void* out = tag(99);
    auto t0 = Clock::now();
    EXPECT_EQ(q.dequeue(&out, true), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(q.enqueue(tag(8), true), 2);
    EXPECT_LT(msSince(t0), 10);

    q.setExit(false);
    ASSERT_EQ(q.dequeue(&out, false), 0);
    EXPECT_EQ(out, tag(7));
    EXPECT_EQ(q.emptyValue() + q.fullValue(), 3);
}

TEST(ProducerConsumer, CloseWakesBlockedConsumerAndProducer)
{
    queue_producer_consumer empty(4);
    std::atomic<int> consumerResult{-1};
    std::thread consumer([&] {
        void* out = nullptr;
        consumerResult = empty.dequeue(&out, true);
    });
    queue_producer_consumer full(1);
    ASSERT_EQ(full.enqueue(tag(1), false), 0);
    std::atomic<int> producerResult{-1};
    std::thread producer([&] { producerResult = full.enqueue(tag(2), true); });

    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(consumerResult.load(), -1);
    EXPECT_EQ(producerResult.load(), -1);
    auto t0 = Clock::now();
    empty.setExit(true);
    full.setExit(true);
    consumer.join();
    producer.join();
    EXPECT_LT(msSince(t0), kWakeBoundMs);
    EXPECT_EQ(consumerResult.load(), 2);
    EXPECT_EQ(producerResult.load(), 2);

    // No slot or item was lost to the interrupted waits.
    full.setExit(false);
    EXPECT_EQ(full.fullValue(), 1);
    EXPECT_EQ(full.emptyValue(), 0);
}

TEST(ProducerConsumer, RealThreadsPassEveryItemInOrder)
{
    queue_producer_consumer q(5);
    constexpr intptr_t kItems = 20000;
    std::thread producer([&] {
        for (intptr_t i = 1; i <= kItems; ++i)
            ASSERT_EQ(q.enqueue(tag(i), true), 0);
    });
    intptr_t expected = 1;
    while (expected <= kItems) {
        void* out = nullptr;
        ASSERT_EQ(q.dequeue(&out, true), 0);
        ASSERT_EQ(out, tag(expected));
        ++expected;
    }
    producer.join();
    EXPECT_EQ(q.fullValue(), 0);
}

TEST(ProducerConsumer, TakeRemainingEmptiesAClosedQueue)
{
    queue_producer_consumer q(4);
    for (int i = 1; i <= 3; ++i)
        q.enqueue(tag(i), false);
    q.setExit(true);
    void* out = nullptr;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(q.takeRemaining(&out), 0);
        EXPECT_EQ(out, tag(i));
    }
    EXPECT_EQ(q.takeRemaining(&out), 1);
    q.setExit(false);
    EXPECT_EQ(q.emptyValue(), 4);
}

TEST(TsQueue, FifoAndNullHandling)
{
    ts_queue* q = ts_queue_create();
    ASSERT_NE(q, nullptr);
    int a = 1, b = 2;
    EXPECT_EQ(ts_queue_enq_data(q, nullptr), -1);
    EXPECT_EQ(ts_queue_count(q), 0);
    EXPECT_EQ(ts_queue_deq_data(q), nullptr);
    EXPECT_EQ(ts_queue_count(q), 0);
    EXPECT_EQ(ts_queue_is_empty(q), 1);

    EXPECT_EQ(ts_queue_enq_data(q, &a), 0);
    EXPECT_EQ(ts_queue_enq_data(q, &b), 0);
    EXPECT_EQ(ts_queue_count(q), 2);
    EXPECT_EQ(ts_queue_peek(q)->data, &a);
    EXPECT_EQ(ts_queue_tail(q)->data, &b);
    EXPECT_EQ(ts_queue_deq_data(q), &a);
    EXPECT_EQ(ts_queue_deq_data(q), &b);
    EXPECT_EQ(ts_queue_head(q), nullptr);
    EXPECT_EQ(ts_queue_tail(q), nullptr);
    EXPECT_EQ(ts_queue_enq_data(nullptr, &a), -1);
    EXPECT_EQ(ts_queue_deq_data(nullptr), nullptr);
    ts_queue_destroy(q);
}

TEST(TsQueue, ElementsComeInBlocksOf32AndAreRecycled)
{
    ts_queue* q = ts_queue_create();
    std::vector<ts_queue_item*> items;
    for (int i = 0; i < 33; ++i)
        items.push_back(ts_queue_item_new(q));
    for (int i = 1; i < 32; ++i)
        EXPECT_EQ(items[i], items[0] + i); // one allocation for the first 32
    EXPECT_TRUE(items[32] < items[0] || items[32] >= items[0] + 32);
    ts_queue_item_free(q, items[5]);
    EXPECT_EQ(ts_queue_item_new(q), items[5]);
    for (ts_queue_item* item : items)
        ts_queue_item_free(q, item);
    ts_queue_destroy(q);
}

TEST(TsQueue, ManyThreads)
{
    ts_queue* q = ts_queue_create();
    constexpr int kPerProducer = 5000;
    static int values[2][kPerProducer];
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; ++p)
        producers.emplace_back([q, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                values[p][i] = p * kPerProducer + i;
                ASSERT_EQ(ts_queue_enq_data(q, &values[p][i]), 0);
            }
        });
    long long sum = 0;
    int taken = 0;
    int lastOf[2] = {-1, kPerProducer - 1};
    while (taken < 2 * kPerProducer) {
        void* data = ts_queue_deq_data(q);
        if (!data) {
            std::this_thread::yield();
            continue;
        }
        int v = *static_cast<int*>(data);
        int p = v / kPerProducer;
        ASSERT_GT(v, lastOf[p]); // each producer's items keep their order
        lastOf[p] = v;
        sum += v;
        ++taken;
    }
    for (auto& t : producers)
        t.join();
    const long long n = 2LL * kPerProducer;
    EXPECT_EQ(sum, n * (n - 1) / 2);
    EXPECT_EQ(ts_queue_is_empty(q), 1);
    ts_queue_destroy(q);
}

TEST(ReadWriteLock, ReadersShareWritersExclude)
{
    ReadWriteLock lock;
    ASSERT_TRUE(lock.readLock());
    std::atomic<bool> otherRead{false}, otherWrite{true};
    std::thread([&] {
        otherRead = lock.tryReadLock();
        if (otherRead)
            lock.unlock();
        otherWrite = lock.tryWriteLock();
    }).join();
    EXPECT_TRUE(otherRead.load());
    EXPECT_FALSE(otherWrite.load());
    EXPECT_TRUE(lock.unlock());
    EXPECT_TRUE(lock.tryWriteLock());
    EXPECT_FALSE(lock.tryReadLock());
    EXPECT_TRUE(lock.unlock());

    EXPECT_TRUE(lock.destroy());
    EXPECT_FALSE(lock.destroy());
    EXPECT_FALSE(lock.readLock());
    EXPECT_TRUE(lock.init());
    EXPECT_TRUE(lock.writeLock());
    EXPECT_TRUE(lock.unlock());
}
