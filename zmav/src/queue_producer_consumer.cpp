// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/queue_producer_consumer.h>

#include <zmav/csignalsemaphore.h>

namespace ZM {

namespace {
constexpr long kExitPollMs = 20;
}

queue_producer_consumer::queue_producer_consumer(int capacity)
    : m_empty(std::make_unique<CSignalSemaphore>(capacity)),
      m_full(std::make_unique<CSignalSemaphore>(0)),
      m_slots(std::make_unique<void*[]>(static_cast<size_t>(capacity))),
      m_capacity(capacity)
{
}

queue_producer_consumer::~queue_producer_consumer() = default;

// Takes one count of sem; a blocking caller polls the exit flag between 20 ms waits so that
// closing the queue needs no wake-up call. False when the count was not taken.
bool queue_producer_consumer::acquire(CSignalSemaphore& sem, bool block,
                                      const std::atomic<bool>& exit)
{
    if (sem.tryWait() == 0)
        return true;
    if (!block)
        return false;
    for (;;) {
        if (exit.load())
            return false;
        if (sem.waitTimeout(kExitPollMs) == 0)
            return true;
    }
}

int queue_producer_consumer::enqueue(void* item, bool block)
{
    const int rc = reserveSlot(block);
    if (rc == Ok)
        publish(item);
    return rc;
}

int queue_producer_consumer::reserveSlot(bool block)
{
    if (m_exit.load())
        return Closed;
    if (!acquire(*m_empty, block, m_exit))
        return m_exit.load() ? Closed : WouldBlock;
    if (m_exit.load()) {
        // Give the slot back so that the ring's counts still match its contents on reopening.
        cancelSlot();
        return Closed;
    }
    return Ok;
}

void queue_producer_consumer::publish(void* item)
{
    m_slots[m_writePos] = item;
    m_writePos = (m_writePos + 1) % m_capacity;
    m_full->signal();
}

void queue_producer_consumer::cancelSlot()
{
    m_empty->signal();
}

int queue_producer_consumer::dequeue(void** out, bool block)
{
    *out = nullptr;
    if (m_exit.load())
        return Closed;
    if (!acquire(*m_full, block, m_exit))
        return m_exit.load() ? Closed : WouldBlock;
    if (m_exit.load()) {
        m_full->signal();
        return Closed;
    }
    return takeAt(out);
}

int queue_producer_consumer::takeRemaining(void** out)
{
    *out = nullptr;
    if (m_full->tryWait() != 0)
        return WouldBlock;
    return takeAt(out);
}

int queue_producer_consumer::takeAt(void** out)
{
    *out = m_slots[m_readPos];
    m_slots[m_readPos] = nullptr;
    m_readPos = (m_readPos + 1) % m_capacity;
    m_empty->signal();
    return Ok;
}

void queue_producer_consumer::setExit(bool exit)
{
    m_exit.store(exit);
}

bool queue_producer_consumer::isExit() const
{
    return m_exit.load();
}

void queue_producer_consumer::reset()
{
    m_empty->init(m_capacity);
    m_full->init(0);
}

int queue_producer_consumer::emptyValue()
{
    return m_empty->value();
}

int queue_producer_consumer::fullValue()
{
    return m_full->value();
}

int queue_producer_consumer::memory_size() const
{
    return m_capacity;
}

} // namespace ZM
