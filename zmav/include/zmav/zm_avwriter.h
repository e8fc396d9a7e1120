// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <memory>
#include <thread>

struct AVFormatContext;
struct AVPacket;

namespace ZM {

class PacketQueue;

// Muxing thread: packets queued with writePacket are written into the container in order;
// the end marker queued by writeTailer makes the thread flush, write the trailer and end.
// The owner opens the container's file and writes the header before start().
class ZMAV_EXPORT ZM_AVWriter {
public:
    explicit ZM_AVWriter(AVFormatContext* context);
    virtual ~ZM_AVWriter();
    ZM_AVWriter(const ZM_AVWriter&) = delete;
    ZM_AVWriter& operator=(const ZM_AVWriter&) = delete;

    int start();
    // Ends the thread: a file without its end marker queued is left without a trailer.
    void stop();
    bool writeHeader();
    // Queues pkt, taking over its reference (pkt is left blank).
    bool writePacket(AVPacket* pkt);
    bool writeTailer();

private:
    void running();
    static void* static_RUN(void* writer);
    bool isEndMarker(const AVPacket* pkt) const;

    std::thread m_thread;
    AVFormatContext* m_context;
    std::unique_ptr<PacketQueue> m_queue;
    // Recognised by its payload address, which no real packet can share; each writer has its
    // own so that two writers never take each other's marker for a packet.
    AVPacket* m_endPacket;
};

} // namespace ZM
