// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_mp4box.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace ZM {

class ZM_Mp4File;

// Per-sample values a fragment leaves out (from the movie's 'trex' or a fragment's 'tfhd').
struct ZM_Mp4SampleDefaults {
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

struct ZM_Mp4Sample {
    uint64_t dts = 0;
    uint32_t duration = 0;
    uint32_t size = 0;
    int32_t cto = 0;         // presentation time minus decoding time
    bool sync = true;
    int64_t offset = 0;      // of its data in the file
    bool chunkStart = false; // first sample of a run of contiguous data
};

// Walks the samples of one track through the movie fragments ('moof' boxes) of a fragmented
// MP4, in decoding order, reading one fragment at a time so that memory stays flat however
// long the recording. A sample's duration reaches to the next sample's decoding time, so a
// gap between fragments (a stretch without pictures) is kept on the timeline.
class ZM_Mp4SampleWalker {
public:
    ZM_Mp4SampleWalker(ZM_Mp4File& file, const std::vector<ZM_Mp4Box>& fragments, uint32_t trackId,
                       const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults);

    // The next sample; false at the end or when a fragment cannot be read (failed()).
    bool next(ZM_Mp4Sample* sample);
    bool failed() const { return m_failed; }

    // Checks one fragment (the 'moof' box whole in moof, found at moofPos in the file) and
    // tells where the data of its last sample ends. False when it is malformed.
    static bool fragmentDataEnd(const std::vector<uint8_t>& moof, int64_t moofPos,
                                const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults,
                                int64_t* dataEnd);

private:
    bool loadFragment();

    ZM_Mp4File& m_file;
    const std::vector<ZM_Mp4Box>& m_fragments;
    uint32_t m_trackId;
    const std::map<uint32_t, ZM_Mp4SampleDefaults>& m_defaults;
    size_t m_nextFragment = 0;
    uint64_t m_nextDts = 0;
    std::deque<ZM_Mp4Sample> m_queue;
    ZM_Mp4Sample m_pending;
    bool m_hasPending = false;
    bool m_failed = false;
    std::vector<uint8_t> m_moof;
};

} // namespace ZM
