// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_mp4boxwriter.h"

#include "zm_mp4box.h"
#include "zm_mp4file.h"

namespace ZM {

namespace {
// Tables of an hour's recording run to megabytes; they go to the file in pieces of this size.
constexpr size_t kFlushBytes = 256 * 1024;
} // namespace

ZM_Mp4BoxWriter::ZM_Mp4BoxWriter(ZM_Mp4File& file, int64_t at) : m_file(file), m_base(at)
{
    m_buffer.reserve(kFlushBytes + 4096);
}

void ZM_Mp4BoxWriter::begin(uint32_t type)
{
    m_open.push_back(position());
    u32(0);
    u32(type);
}

void ZM_Mp4BoxWriter::beginFull(uint32_t type, int version, uint32_t flags)
{
    begin(type);
    u32(uint32_t(version) << 24 | (flags & 0xffffff));
}

void ZM_Mp4BoxWriter::end()
{
    const int64_t start = m_open.back();
    m_open.pop_back();
    patch32(start, uint32_t(position() - start));
    flushIfLarge();
}

void ZM_Mp4BoxWriter::copy(const std::vector<uint8_t>& data, int64_t pos, int64_t size)
{
    m_buffer.insert(m_buffer.end(), data.begin() + pos, data.begin() + pos + size);
    flushIfLarge();
}

void ZM_Mp4BoxWriter::u16(uint16_t v)
{
    u8(uint8_t(v >> 8));
    u8(uint8_t(v));
}

void ZM_Mp4BoxWriter::u32(uint32_t v)
{
    uint8_t bytes[4];
    putBe32(bytes, v);
    m_buffer.insert(m_buffer.end(), bytes, bytes + 4);
    flushIfLarge();
}

void ZM_Mp4BoxWriter::u64(uint64_t v)
{
    u32(uint32_t(v >> 32));
    u32(uint32_t(v));
}

void ZM_Mp4BoxWriter::patch32(int64_t pos, uint32_t v)
{
    if (pos >= m_base) {
        putBe32(m_buffer.data() + (pos - m_base), v);
        return;
    }
    uint8_t bytes[4];
    putBe32(bytes, v);
    if (!m_failed && !m_file.write(pos, bytes, sizeof bytes))
        m_failed = true;
}

void ZM_Mp4BoxWriter::flushIfLarge()
{
    if (m_buffer.size() >= kFlushBytes)
        flush();
}

bool ZM_Mp4BoxWriter::flush()
{
    if (!m_failed && !m_buffer.empty() && !m_file.write(m_base, m_buffer.data(), m_buffer.size()))
        m_failed = true;
    m_base += int64_t(m_buffer.size());
    m_buffer.clear();
    return !m_failed;
}

bool ZM_Mp4BoxWriter::finish()
{
    return flush() && m_open.empty();
}

} // namespace ZM
