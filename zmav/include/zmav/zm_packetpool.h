// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/queue_producer_consumer.h>
#include <zmav/zmav.h>
#include <zmav/zmav_export.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ZM {

// One chunk handed in by a producer: an owned copy of its bytes, or nothing (len 0) when
// the producer passed no data. cap is the size of the buffer, which may be larger than len
// when the item is reused.
struct PoolItem {
    std::unique_ptr<unsigned char[]> data;
    int len = 0;
    int cap = 0;
    // The bytes were stored through the pool's intake conversion.
    bool converted = false;
    // Which converted picture the buffer holds (0: none), so that the conversion can bring a
    // reused buffer up to date by converting only what changed since.
    uint64_t picture = 0;
    // The conversion wrote the whole picture rather than only what changed in it.
    bool whole = false;
    // Where the picture differs from the one converted just before it (areas widened to whole
    // 2 x 2 blocks), when its producer said so; otherwise it may differ anywhere.
    bool changesKnown = false;
    std::vector<ZMAV_Rect> changes;
};

// Where a picture handed in differs from the one accepted before it, as its producer knows:
// everywhere, or only inside `count` rectangles (which the pool does not keep).
struct ChangedAreas {
    bool whole = true;
    const ZMAV_Rect* rects = nullptr;
    int count = 0;
};

// Process-wide bounded intake between one capture thread and the encoding thread. Producers
// hand in chunks that are copied; the consumer takes whole items or an exact byte count
// regrouped across items. ID only tells the two pools apart, N is the number of slots.
template <int ID, int N>
class ZMAV_EXPORT ZMPacketPool {
public:
    enum ReadResult { ReadOk = 0, ReadClosed = 2, ReadBadCount = 3 };

    static ZMPacketPool& instance();

    // Producer side: copies nbytes from data (null data queues an empty item). False when the
    // pool is closed, nbytes is negative or, without blocking, all N slots are taken.
    bool writenBytes(const unsigned char* data, int nbytes, bool block);
    // writenBytes for a chunk of which the producer knows what changed (the intake conversion
    // makes use of that). Blocking, it also waits while the intake's share of buffers is out.
    bool writeChanged(const unsigned char* data, int nbytes, bool block, const ChangedAreas& changed);

    // A chunk of exactly `bytes` bytes is stored as the `storedBytes` that `convert` writes
    // into the item's buffer (on the producer's thread, in place of the copy) and marked
    // converted; other chunks are copied as given. A null convert stores every chunk as given.
    // `buffers` (0: any number) bounds the buffers writeChanged has out at once (queued, held
    // by the consumer, spare): with that many out, it waits until the consumer hands one back.
    // Only while no producer is inside the pool: between two recordings.
    using Convert = std::function<bool(const unsigned char* src, int len, const ChangedAreas& changed,
                                       PoolItem& item)>;
    void setIntake(int bytes, int storedBytes, Convert convert, int buffers = 0);

    // Consumer side: fills dst with exactly n bytes; ReadClosed abandons a partial fill.
    int readnBytes(unsigned char* dst, int n);
    // Consumer side: one whole item; the queue's result code (0 taken, 1 empty, 2 closed).
    int takeItem(std::unique_ptr<PoolItem>& out, bool block);
    // Consumer side: hands back an item that is no longer needed, so that the producer can
    // reuse its buffer instead of allocating (and the allocator retaining) megabytes a frame.
    void recycle(std::unique_ptr<PoolItem> item);

    // Opening and closing the intake; closing releases blocked callers within 20 ms.
    void open();
    void close();
    bool isClosed() const;
    // Drops the partly read item and everything still queued; returns the number of queued
    // items dropped. Only while no producer and no consumer is inside the pool: between two
    // recordings.
    int discardAll();
    // Drops only the partly read item.
    void discardSegment();
    int queuedCount();

private:
    // The unread rest of the item being read byte-wise.
    struct Segment {
        int left = 0;
        int pos = 0;
        std::unique_ptr<unsigned char[]> buf;
    };

    ZMPacketPool();
    ~ZMPacketPool();
    ZMPacketPool(const ZMPacketPool&) = delete;
    ZMPacketPool& operator=(const ZMPacketPool&) = delete;

    int copyFromSegment(unsigned char* dst, int n);
    bool write(const unsigned char* data, int nbytes, bool block, const ChangedAreas& changed, bool bounded);
    PoolItem* copyChunk(const unsigned char* data, int nbytes, const ChangedAreas& changed, bool bounded);
    std::unique_ptr<PoolItem> spareItem(bool wait, bool* closed);
    void drop(std::unique_ptr<PoolItem> item);

    struct Intake {
        int bytes = 0;
        int storedBytes = 0;
        Convert convert;
        int buffers = 0;
    };

    std::unique_ptr<queue_producer_consumer> m_queue;
    // Items handed back by the consumer for the producer to reuse: the same two threads in
    // the other direction.
    std::unique_ptr<queue_producer_consumer> m_spares;
    Segment m_seg;
    Intake m_intake;
    // Buffers the pool made that exist now (in items queued, held by the consumer or spare).
    std::atomic<int> m_buffers{0};
};

using AudioPool = ZMPacketPool<0, 16>;
using VideoPool = ZMPacketPool<1, 5>;

extern template class ZMPacketPool<0, 16>;
extern template class ZMPacketPool<1, 5>;

} // namespace ZM
