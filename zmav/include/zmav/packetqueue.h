// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <condition_variable>
#include <mutex>

struct AVPacket;

namespace ZM {

// Unbounded FIFO of encoded packets for any number of threads. A queued packet takes over
// the caller's reference, so no payload is ever shared between the threads on both sides.
class ZMAV_EXPORT PacketQueue {
public:
    PacketQueue();
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Makes pkt own its payload (a copy when it only pointed at foreign memory) and moves it
    // into the queue, leaving pkt blank. 0 queued; -1 out of memory (pkt left as it was).
    int put(AVPacket* pkt);
    // Moves the first packet into pkt: 1 taken, 0 empty (not blocking), -1 aborted.
    int get(AVPacket* pkt, bool block);
    void flush();
    void abort();
    int size();

private:
    struct Node {
        AVPacket* pkt;
        Node* next;
    };

    void unlink(Node* node);

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
    int m_bytes = 0;
    bool m_aborted = false;
    std::mutex m_mutex;
    std::condition_variable m_cond;
};

} // namespace ZM
