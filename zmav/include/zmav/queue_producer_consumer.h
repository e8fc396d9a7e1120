// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <atomic>
#include <memory>

namespace ZM {

class CSignalSemaphore;

// Bounded ring of opaque pointers between exactly one producer thread and one consumer
// thread. The two counting semaphores are the only synchronisation: positions are owned by
// their side. Closing (the exit flag) is noticed by blocked callers within one 20 ms slice.
class ZMAV_EXPORT queue_producer_consumer {
public:
    enum Result { Ok = 0, WouldBlock = 1, Closed = 2 };

    explicit queue_producer_consumer(int capacity);
    ~queue_producer_consumer();
    queue_producer_consumer(const queue_producer_consumer&) = delete;
    queue_producer_consumer& operator=(const queue_producer_consumer&) = delete;

    int enqueue(void* item, bool block);
    // enqueue in two steps, so that a producer makes its item only once a slot is certain:
    // reserveSlot gives the enqueue result; after Ok, exactly one publish or cancelSlot.
    int reserveSlot(bool block);
    void publish(void* item);
    void cancelSlot();
    int dequeue(void** out, bool block);
    // Takes a stored item whether or not the queue is closed; only valid while neither the
    // producer nor the consumer is inside the queue (used to empty it between recordings).
    int takeRemaining(void** out);

    void setExit(bool exit);
    bool isExit() const;
    void reset();
    int emptyValue();
    int fullValue();
    int memory_size() const;

private:
    int takeAt(void** out);
    static bool acquire(CSignalSemaphore& sem, bool block, const std::atomic<bool>& exit);

    std::atomic<bool> m_exit{false};
    std::unique_ptr<CSignalSemaphore> m_empty;
    std::unique_ptr<CSignalSemaphore> m_full;
    std::unique_ptr<void*[]> m_slots;
    const int m_capacity;
    int m_writePos = 0;
    int m_readPos = 0;
};

} // namespace ZM
