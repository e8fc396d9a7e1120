// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_packetpool.h>

#include <cassert>
#include <cstring>
#include <new>

namespace ZM {

namespace {
// A couple of spare buffers cover the steady cycle of producer, queue and encoder.
constexpr int kSpares = 2;
} // namespace

template <int ID, int N>
ZMPacketPool<ID, N>::ZMPacketPool()
    : m_queue(std::make_unique<queue_producer_consumer>(N)),
      m_spares(std::make_unique<queue_producer_consumer>(kSpares))
{
}

template <int ID, int N>
ZMPacketPool<ID, N>::~ZMPacketPool()
{
    close();
    discardAll();
    void* raw = nullptr;
    while (m_spares->takeRemaining(&raw) == queue_producer_consumer::Ok)
        delete static_cast<PoolItem*>(raw);
}

template <int ID, int N>
ZMPacketPool<ID, N>& ZMPacketPool<ID, N>::instance()
{
    static ZMPacketPool pool;
    return pool;
}

// A spare item from the consumer, or a new one. With wait, when the producer already has its
// share of buffers out, it waits for one to come back instead of making another.
template <int ID, int N>
std::unique_ptr<PoolItem> ZMPacketPool<ID, N>::spareItem(bool wait, bool* closed)
{
    void* spare = nullptr;
    *closed = m_spares->dequeue(&spare, wait) == queue_producer_consumer::Closed;
    std::unique_ptr<PoolItem> item(static_cast<PoolItem*>(spare));
    if (!item && !*closed && !wait)
        item.reset(new (std::nothrow) PoolItem);
    return item;
}

// Frees an item the pool made, keeping the count of buffers right.
template <int ID, int N>
void ZMPacketPool<ID, N>::drop(std::unique_ptr<PoolItem> item)
{
    if (item && item->cap > 0)
        --m_buffers;
}

// Null when memory runs out, the intake conversion fails or (waiting) the pool closes.
template <int ID, int N>
PoolItem* ZMPacketPool<ID, N>::copyChunk(const unsigned char* data, int nbytes, const ChangedAreas& changed,
                                         bool bounded)
{
    if (!data || nbytes == 0)
        return new (std::nothrow) PoolItem; // nothing to hold: no buffer
    const bool wait = bounded && m_intake.buffers > 0 && m_buffers.load() >= m_intake.buffers;
    bool closed = false;
    std::unique_ptr<PoolItem> item = spareItem(wait, &closed);
    if (!item)
        return nullptr;
    item->len = 0;
    item->converted = false;
    const bool convert = m_intake.convert && nbytes == m_intake.bytes;
    const int stored = convert ? m_intake.storedBytes : nbytes;
    if (item->cap < stored) {
        m_buffers += item->cap > 0 ? 0 : 1;
        // Not value-initialised: zeroing megabytes that are overwritten at once is wasted time.
        item->data.reset(new (std::nothrow) unsigned char[static_cast<size_t>(stored)]);
        item->cap = item->data ? stored : 0;
        item->picture = 0;
        if (!item->data) {
            --m_buffers;
            return nullptr;
        }
    }
    if (convert) {
        if (!m_intake.convert(data, nbytes, changed, *item)) {
            drop(std::move(item));
            return nullptr;
        }
        item->converted = true;
    } else {
        std::memcpy(item->data.get(), data, static_cast<size_t>(nbytes));
        item->picture = 0;
    }
    item->len = stored;
    return item.release();
}

template <int ID, int N>
void ZMPacketPool<ID, N>::setIntake(int bytes, int storedBytes, Convert convert, int buffers)
{
    m_intake = Intake{bytes, storedBytes, std::move(convert), buffers};
    // Between recordings the only buffers left are the spares.
    m_buffers = m_spares->fullValue();
}

template <int ID, int N>
bool ZMPacketPool<ID, N>::writenBytes(const unsigned char* data, int nbytes, bool block)
{
    return write(data, nbytes, block, ChangedAreas(), false);
}

template <int ID, int N>
bool ZMPacketPool<ID, N>::writeChanged(const unsigned char* data, int nbytes, bool block,
                                       const ChangedAreas& changed)
{
    return write(data, nbytes, block, changed, true);
}

template <int ID, int N>
bool ZMPacketPool<ID, N>::write(const unsigned char* data, int nbytes, bool block, const ChangedAreas& changed,
                                bool bounded)
{
    if (m_queue->isExit() || nbytes < 0)
        return false;
    // The copy is made only once a slot is free, so no more than N pictures ever exist.
    if (m_queue->reserveSlot(block) != queue_producer_consumer::Ok)
        return false;
    PoolItem* item = copyChunk(data, nbytes, changed, bounded && block);
    if (!item) {
        m_queue->cancelSlot();
        return false;
    }
    m_queue->publish(item);
    return true;
}

template <int ID, int N>
void ZMPacketPool<ID, N>::recycle(std::unique_ptr<PoolItem> item)
{
    if (item && item->cap > 0 && m_spares->enqueue(item.get(), false) == queue_producer_consumer::Ok)
        item.release();
    drop(std::move(item));
}

template <int ID, int N>
int ZMPacketPool<ID, N>::takeItem(std::unique_ptr<PoolItem>& out, bool block)
{
    void* raw = nullptr;
    int rc = m_queue->dequeue(&raw, block);
    out.reset(static_cast<PoolItem*>(raw));
    return rc;
}

// Serves as much of n as the held segment has; frees it once it is used up.
template <int ID, int N>
int ZMPacketPool<ID, N>::copyFromSegment(unsigned char* dst, int n)
{
    assert(m_seg.left >= 0);
    int take = m_seg.left < n ? m_seg.left : n;
    if (take > 0) {
        std::memcpy(dst, m_seg.buf.get() + m_seg.pos, static_cast<size_t>(take));
        m_seg.pos += take;
        m_seg.left -= take;
    }
    if (m_seg.left == 0)
        discardSegment();
    return take;
}

template <int ID, int N>
int ZMPacketPool<ID, N>::readnBytes(unsigned char* dst, int n)
{
    if (n <= 0)
        return ReadBadCount;
    int filled = copyFromSegment(dst, n);
    while (filled < n) {
        if (m_queue->isExit())
            return ReadClosed;
        std::unique_ptr<PoolItem> item;
        int rc = takeItem(item, true);
        if (rc == queue_producer_consumer::Closed)
            return ReadClosed;
        if (rc != queue_producer_consumer::Ok || item->len == 0)
            continue;
        int need = n - filled;
        int take = item->len < need ? item->len : need;
        std::memcpy(dst + filled, item->data.get(), static_cast<size_t>(take));
        filled += take;
        if (take < item->len) {
            m_seg.buf = std::move(item->data);
            m_seg.pos = take;
            m_seg.left = item->len - take;
            item->cap = 0;
        }
        recycle(std::move(item));
    }
    return ReadOk;
}

template <int ID, int N>
void ZMPacketPool<ID, N>::open()
{
    m_queue->setExit(false);
    m_spares->setExit(false);
}

// A producer waiting for a spare buffer is released too.
template <int ID, int N>
void ZMPacketPool<ID, N>::close()
{
    m_queue->setExit(true);
    m_spares->setExit(true);
}

template <int ID, int N>
bool ZMPacketPool<ID, N>::isClosed() const
{
    return m_queue->isExit();
}

template <int ID, int N>
void ZMPacketPool<ID, N>::discardSegment()
{
    m_seg = Segment();
}

template <int ID, int N>
int ZMPacketPool<ID, N>::discardAll()
{
    discardSegment();
    int dropped = 0;
    void* raw = nullptr;
    for (; m_queue->takeRemaining(&raw) == queue_producer_consumer::Ok; ++dropped)
        drop(std::unique_ptr<PoolItem>(static_cast<PoolItem*>(raw)));
    return dropped;
}

template <int ID, int N>
int ZMPacketPool<ID, N>::queuedCount()
{
    return m_queue->fullValue();
}

template class ZMPacketPool<0, 16>;
template class ZMPacketPool<1, 5>;

namespace {
// Both pools exist from the moment the library is loaded, before any capture thread runs, so
// their creation never races with a first use.
struct PoolsAtLoad {
    PoolsAtLoad()
    {
        AudioPool::instance();
        VideoPool::instance();
    }
} s_poolsAtLoad;
} // namespace

} // namespace ZM
