// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_mp4box.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZM {

// An MP4 file opened for reading and writing in place, box by box. The first failure is kept
// with the system's words; later calls after a failure still run (reads may be needed to
// undo a partial write).
class ZM_Mp4File {
public:
    ZM_Mp4File() = default;
    ~ZM_Mp4File();
    ZM_Mp4File(const ZM_Mp4File&) = delete;
    ZM_Mp4File& operator=(const ZM_Mp4File&) = delete;

    bool open(const std::string& path);
    int64_t size() const { return m_size; }

    // Exactly n bytes at pos into out.
    bool read(int64_t pos, int64_t n, std::vector<uint8_t>* out);
    // The top-level box starting at pos, which must end inside the file.
    bool readBoxHeader(int64_t pos, ZM_Mp4Box* box);
    // A whole box into out (its positions then count from the start of out).
    bool readBox(const ZM_Mp4Box& box, std::vector<uint8_t>* out) { return read(box.pos, box.size, out); }

    bool write(int64_t pos, const void* data, size_t n);
    // Renames the box starting at pos: a single 4-byte write.
    bool setType(int64_t boxPos, uint32_t type);
    bool truncate(int64_t size);
    // Data on the device before the next step depends on it (a power cut keeps the order).
    bool sync();

    const std::string& error() const { return m_error; }

private:
    bool fail(const char* what, int err);

    int m_fd = -1;
    int64_t m_size = 0;
    std::string m_error;
};

} // namespace ZM
