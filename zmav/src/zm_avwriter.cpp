// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_avwriter.h>

#include <zmav/packetqueue.h>

#include <chrono>
#include <new>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
}

namespace ZM {

ZM_AVWriter::ZM_AVWriter(AVFormatContext* context)
    : m_context(context), m_queue(std::make_unique<PacketQueue>()), m_endPacket(av_packet_alloc())
{
    // The marker owns its (empty) payload from the start: the copies queued by writeTailer
    // share it, and with it the address the writer thread compares against.
    if (!m_endPacket || av_packet_make_refcounted(m_endPacket) < 0) {
        av_packet_free(&m_endPacket);
        throw std::bad_alloc();
    }
}

ZM_AVWriter::~ZM_AVWriter()
{
    stop();
    av_packet_free(&m_endPacket);
}

int ZM_AVWriter::start()
{
    if (m_thread.joinable())
        return -1;
    try {
        m_thread = std::thread(&ZM_AVWriter::static_RUN, this);
    } catch (const std::system_error& e) {
        return e.code().value();
    }
    return 0;
}

void ZM_AVWriter::stop()
{
    if (!m_thread.joinable())
        return;
    // Grace period for packets queued just before stopping.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_queue->abort();
    m_thread.join();
}

bool ZM_AVWriter::writeHeader()
{
    return avformat_write_header(m_context, nullptr) >= 0;
}

bool ZM_AVWriter::writePacket(AVPacket* pkt)
{
    return pkt && m_queue->put(pkt) == 0;
}

bool ZM_AVWriter::writeTailer()
{
    AVPacket* marker = av_packet_clone(m_endPacket);
    const bool queued = marker && m_queue->put(marker) == 0;
    av_packet_free(&marker);
    return queued;
}

bool ZM_AVWriter::isEndMarker(const AVPacket* pkt) const
{
    return pkt->data == m_endPacket->data;
}

void ZM_AVWriter::running()
{
    AVPacket* pkt = av_packet_alloc();
    if (!pkt)
        return;
    while (m_queue->get(pkt, true) == 1) {
        if (isEndMarker(pkt)) {
            av_packet_unref(pkt);
            av_interleaved_write_frame(m_context, nullptr);
            av_write_trailer(m_context);
            break;
        }
        av_interleaved_write_frame(m_context, pkt);
    }
    av_packet_free(&pkt);
}

void* ZM_AVWriter::static_RUN(void* writer)
{
    static_cast<ZM_AVWriter*>(writer)->running();
    return nullptr;
}

} // namespace ZM
