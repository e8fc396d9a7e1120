// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZM {

class ZM_Mp4File;

// Writes nested boxes into a file from a given position on, through a bounded buffer: a box's
// size is filled in when it ends, in the buffer or, for a long box, in the file. Writes after
// a failure are dropped; finish() tells whether everything reached the file.
class ZM_Mp4BoxWriter {
public:
    ZM_Mp4BoxWriter(ZM_Mp4File& file, int64_t at);

    void begin(uint32_t type);
    // A box with a version and flags.
    void beginFull(uint32_t type, int version, uint32_t flags);
    void end();
    // A box copied whole (header included).
    void copy(const std::vector<uint8_t>& data, int64_t pos, int64_t size);

    void u8(uint8_t v) { m_buffer.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);

    // File position of the next byte written.
    int64_t position() const { return m_base + int64_t(m_buffer.size()); }
    // Overwrites 4 bytes written earlier (a count known only at the end of a table).
    void patch32(int64_t pos, uint32_t v);

    bool finish();

private:
    void flushIfLarge();
    bool flush();

    ZM_Mp4File& m_file;
    int64_t m_base;
    std::vector<uint8_t> m_buffer;
    std::vector<int64_t> m_open;
    bool m_failed = false;
};

} // namespace ZM
