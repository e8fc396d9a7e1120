// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/packetqueue.h>

#include <new>

extern "C" {
#include <libavcodec/packet.h>
}

namespace ZM {

PacketQueue::PacketQueue() = default;

PacketQueue::~PacketQueue()
{
    flush();
}

int PacketQueue::put(AVPacket* pkt)
{
    if (!pkt || av_packet_make_refcounted(pkt) < 0)
        return -1;
    Node* node = new (std::nothrow) Node{av_packet_alloc(), nullptr};
    if (!node || !node->pkt) {
        delete node;
        return -1;
    }
    av_packet_move_ref(node->pkt, pkt);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    m_count += 1;
    m_bytes += node->pkt->size + static_cast<int>(sizeof(Node));
    m_cond.notify_one();
    return 0;
}

// Called with the mutex held; node is the head.
void PacketQueue::unlink(Node* node)
{
    m_head = node->next;
    if (!m_head)
        m_tail = nullptr;
    m_count -= 1;
    m_bytes -= node->pkt->size + static_cast<int>(sizeof(Node));
}

int PacketQueue::get(AVPacket* pkt, bool block)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_aborted)
            return -1;
        if (Node* node = m_head) {
            unlink(node);
            av_packet_move_ref(pkt, node->pkt);
            av_packet_free(&node->pkt);
            delete node;
            return 1;
        }
        if (!block)
            return 0;
        m_cond.wait(lock);
    }
}

void PacketQueue::flush()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    while (Node* node = m_head) {
        unlink(node);
        av_packet_free(&node->pkt);
        delete node;
    }
}

void PacketQueue::abort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aborted = true;
    m_cond.notify_all();
}

int PacketQueue::size()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

} // namespace ZM
