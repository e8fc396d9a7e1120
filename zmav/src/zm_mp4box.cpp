// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_mp4box.h"

namespace ZM {

bool ZM_Mp4Box::parse(const uint8_t* data, int64_t limit, int64_t pos, ZM_Mp4Box* box)
{
    if (pos < 0 || limit - pos < 8)
        return false;
    const uint8_t* p = data + pos;
    int64_t size = be32(p);
    int header = 8;
    if (size == 1) {
        if (limit - pos < 16)
            return false;
        const uint64_t large = be64(p + 8);
        if (large > uint64_t(INT64_MAX))
            return false;
        size = int64_t(large);
        header = 16;
    }
    if (size < header || size > limit - pos)
        return false;
    box->pos = pos;
    box->size = size;
    box->header = header;
    box->type = be32(p + 4);
    return true;
}

bool ZM_Mp4Box::find(const std::vector<uint8_t>& data, int64_t from, int64_t to, uint32_t type,
                     ZM_Mp4Box* box)
{
    const int64_t limit = to < int64_t(data.size()) ? to : int64_t(data.size());
    ZM_Mp4Box child;
    for (int64_t pos = from; parse(data.data(), limit, pos, &child); pos = child.end())
        if (child.type == type) {
            *box = child;
            return true;
        }
    return false;
}

} // namespace ZM
