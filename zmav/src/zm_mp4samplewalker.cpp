// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_mp4samplewalker.h"

#include "zm_mp4file.h"

namespace ZM {

namespace {

// Flags of 'tfhd' and 'trun' (ISO/IEC 14496-12, movie fragments).
constexpr uint32_t kBaseDataOffset = 0x1, kSampleDescription = 0x2, kDefaultDuration = 0x8,
                   kDefaultSize = 0x10, kDefaultFlags = 0x20;
constexpr uint32_t kDataOffset = 0x1, kFirstSampleFlags = 0x4, kSampleDuration = 0x100,
                   kSampleSize = 0x200, kSampleFlags = 0x400, kSampleCto = 0x800;
constexpr uint32_t kNonSync = 0x10000;

// The samples of one track fragment ('traf'); trackId 0 takes every track. *nextDts carries
// the decoding time on from the previous fragment of the same track when there is no 'tfdt'.
bool parseTraf(const std::vector<uint8_t>& moof, const ZM_Mp4Box& traf, int64_t moofPos,
               uint32_t trackId, const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults,
               uint64_t* nextDts, std::vector<ZM_Mp4Sample>* samples, int64_t* dataEnd)
{
    ZM_Mp4Box tfhd;
    if (!ZM_Mp4Box::findIn(moof, traf, fourcc("tfhd"), &tfhd) || tfhd.size - tfhd.header < 8)
        return false;
    const uint8_t* p = moof.data() + tfhd.payload();
    const uint8_t* tfhdEnd = moof.data() + tfhd.end();
    const uint32_t flags = be32(p) & 0xffffff;
    const uint32_t id = be32(p + 4);
    const auto known = defaults.find(id);
    if (known == defaults.end())
        return false;
    if (trackId != 0 && id != trackId)
        return true;
    ZM_Mp4SampleDefaults d = known->second;
    // Without an explicit base, this library's fragments count from their 'moof'.
    int64_t base = moofPos;
    const uint8_t* q = p + 8;
    const auto take = [&](uint32_t flag, int bytes) {
        const uint8_t* at = q;
        if (!(flags & flag))
            return static_cast<const uint8_t*>(nullptr);
        q += bytes;
        return q <= tfhdEnd ? at : nullptr;
    };
    if (const uint8_t* v = take(kBaseDataOffset, 8))
        base = int64_t(be64(v));
    take(kSampleDescription, 4);
    if (const uint8_t* v = take(kDefaultDuration, 4))
        d.duration = be32(v);
    if (const uint8_t* v = take(kDefaultSize, 4))
        d.size = be32(v);
    if (const uint8_t* v = take(kDefaultFlags, 4))
        d.flags = be32(v);
    if (q > tfhdEnd)
        return false;

    ZM_Mp4Box tfdt;
    if (ZM_Mp4Box::findIn(moof, traf, fourcc("tfdt"), &tfdt) && tfdt.size - tfdt.header >= 8) {
        const uint8_t* t = moof.data() + tfdt.payload();
        if (t[0] == 1 && tfdt.size - tfdt.header >= 12)
            *nextDts = be64(t + 4);
        else
            *nextDts = be32(t + 4);
    }

    int64_t dataPos = base;
    ZM_Mp4Box trun;
    for (int64_t at = traf.payload(); ZM_Mp4Box::parse(moof.data(), traf.end(), at, &trun); at = trun.end()) {
        if (trun.type != fourcc("trun"))
            continue;
        if (trun.size - trun.header < 8)
            return false;
        const uint8_t* r = moof.data() + trun.payload();
        const uint8_t* runEnd = moof.data() + trun.end();
        const uint32_t rflags = be32(r) & 0xffffff;
        const uint32_t count = be32(r + 4);
        r += 8;
        if (rflags & kDataOffset) {
            if (r + 4 > runEnd)
                return false;
            dataPos = base + int32_t(be32(r));
            r += 4;
        }
        uint32_t firstFlags = 0;
        const bool hasFirstFlags = rflags & kFirstSampleFlags;
        if (hasFirstFlags) {
            if (r + 4 > runEnd)
                return false;
            firstFlags = be32(r);
            r += 4;
        }
        const int fields = !!(rflags & kSampleDuration) + !!(rflags & kSampleSize)
            + !!(rflags & kSampleFlags) + !!(rflags & kSampleCto);
        if (uint64_t(runEnd - r) < uint64_t(count) * 4 * fields)
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            ZM_Mp4Sample s;
            s.duration = rflags & kSampleDuration ? be32(r) : d.duration;
            r += rflags & kSampleDuration ? 4 : 0;
            s.size = rflags & kSampleSize ? be32(r) : d.size;
            r += rflags & kSampleSize ? 4 : 0;
            uint32_t sflags = rflags & kSampleFlags ? be32(r) : d.flags;
            r += rflags & kSampleFlags ? 4 : 0;
            if (i == 0 && hasFirstFlags)
                sflags = firstFlags;
            s.cto = rflags & kSampleCto ? int32_t(be32(r)) : 0;
            r += rflags & kSampleCto ? 4 : 0;
            s.sync = !(sflags & kNonSync);
            s.offset = dataPos;
            s.chunkStart = i == 0;
            s.dts = *nextDts;
            *nextDts += s.duration;
            dataPos += s.size;
            if (samples)
                samples->push_back(s);
        }
        if (dataPos > *dataEnd)
            *dataEnd = dataPos;
    }
    return true;
}

bool parseFragment(const std::vector<uint8_t>& moof, int64_t moofPos, uint32_t trackId,
                   const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults, uint64_t* nextDts,
                   std::vector<ZM_Mp4Sample>* samples, int64_t* dataEnd)
{
    ZM_Mp4Box box;
    if (!ZM_Mp4Box::parse(moof.data(), int64_t(moof.size()), 0, &box) || box.type != fourcc("moof"))
        return false;
    ZM_Mp4Box traf;
    for (int64_t at = box.payload(); ZM_Mp4Box::parse(moof.data(), box.end(), at, &traf); at = traf.end())
        if (traf.type == fourcc("traf")
            && !parseTraf(moof, traf, moofPos, trackId, defaults, nextDts, samples, dataEnd))
            return false;
    return true;
}

} // namespace

ZM_Mp4SampleWalker::ZM_Mp4SampleWalker(ZM_Mp4File& file, const std::vector<ZM_Mp4Box>& fragments,
                                       uint32_t trackId,
                                       const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults)
    : m_file(file), m_fragments(fragments), m_trackId(trackId), m_defaults(defaults)
{
}

bool ZM_Mp4SampleWalker::fragmentDataEnd(const std::vector<uint8_t>& moof, int64_t moofPos,
                                         const std::map<uint32_t, ZM_Mp4SampleDefaults>& defaults,
                                         int64_t* dataEnd)
{
    uint64_t unusedDts = 0;
    *dataEnd = moofPos + int64_t(moof.size());
    return parseFragment(moof, moofPos, 0, defaults, &unusedDts, nullptr, dataEnd);
}

bool ZM_Mp4SampleWalker::loadFragment()
{
    while (m_queue.empty() && m_nextFragment < m_fragments.size()) {
        const ZM_Mp4Box& box = m_fragments[m_nextFragment++];
        std::vector<ZM_Mp4Sample> samples;
        int64_t dataEnd = 0;
        if (!m_file.readBox(box, &m_moof)
            || !parseFragment(m_moof, box.pos, m_trackId, m_defaults, &m_nextDts, &samples, &dataEnd)) {
            m_failed = true;
            return false;
        }
        m_queue.insert(m_queue.end(), samples.begin(), samples.end());
    }
    return !m_queue.empty();
}

bool ZM_Mp4SampleWalker::next(ZM_Mp4Sample* sample)
{
    while (m_queue.empty() || !m_hasPending) {
        if (m_queue.empty() && !loadFragment()) {
            if (!m_hasPending || m_failed)
                return false;
            *sample = m_pending;
            m_hasPending = false;
            return true;
        }
        if (!m_hasPending) {
            m_pending = m_queue.front();
            m_queue.pop_front();
            m_hasPending = true;
        }
    }
    const ZM_Mp4Sample& following = m_queue.front();
    if (following.dts > m_pending.dts)
        m_pending.duration = uint32_t(following.dts - m_pending.dts);
    *sample = m_pending;
    m_pending = following;
    m_queue.pop_front();
    return true;
}

} // namespace ZM
