// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_mp4finisher.h"

#include "zm_mp4boxwriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace ZM {

namespace {

constexpr uint32_t kFree = fourcc("free");
constexpr uint32_t kMoov = fourcc("moov");
constexpr uint32_t kMoof = fourcc("moof");

uint64_t rescale(uint64_t value, uint32_t to, uint32_t from)
{
    return from ? (value * to + from / 2) / from : 0;
}

// Versioned field of a full box: a 32-bit value at offset0 (version 0) or a 64-bit one at
// offset1 (version 1), counted from the start of the box's payload.
void patchVersioned(std::vector<uint8_t>& box, const ZM_Mp4Box& at, int offset0, int offset1,
                    uint64_t value)
{
    uint8_t* p = box.data() + at.payload();
    if (p[0] == 1) {
        putBe32(p + offset1, uint32_t(value >> 32));
        putBe32(p + offset1 + 4, uint32_t(value));
    } else {
        putBe32(p + offset0, uint32_t(std::min<uint64_t>(value, UINT32_MAX)));
    }
}

// A full box at least as long as its version needs (a damaged file may claim otherwise).
bool fits(const std::vector<uint8_t>& data, const ZM_Mp4Box& box, int size0, int size1)
{
    return box.size - box.header >= 4 && box.size >= (data[size_t(box.payload())] == 1 ? size1 : size0);
}

uint32_t versionedU32(const std::vector<uint8_t>& data, const ZM_Mp4Box& box, int offset0, int offset1)
{
    const uint8_t* p = data.data() + box.payload();
    return be32(p + (p[0] == 1 ? offset1 : offset0));
}

} // namespace

ZM_Mp4Finisher::Result ZM_Mp4Finisher::fail(const std::string& why)
{
    m_error = why;
    return Failed;
}

ZM_Mp4Finisher::Result ZM_Mp4Finisher::finish(const std::string& path)
{
    if (!m_file.open(path))
        return fail(m_file.error());
    if (!scan())
        return fail(m_file.error().empty() ? "not an MP4 file" : m_file.error());
    if (!m_hasFragmentedMoov) {
        if (m_hasRegularMoov)
            return NothingToDo;
        return fail("the file has no index");
    }
    if (!readMovie())
        return fail("the recording's header is damaged");
    if (!m_hasRegularMoov) {
        if (!cutTornTail())
            return fail(m_file.error());
        for (Track& track : m_tracks)
            if (!summarise(track))
                return fail("a fragment cannot be read: " + m_file.error());
        // A track that never got a sample is left out, as a regular MP4 writer does.
        m_tracks.erase(std::remove_if(m_tracks.begin(), m_tracks.end(),
                                      [](const Track& t) { return t.samples == 0; }),
                       m_tracks.end());
        if (m_tracks.empty())
            return Empty;
        trimLeadIn();
        if (!appendMovie())
            return fail("cannot write the index: " + m_file.error());
    }
    if (!retireFragments())
        return fail("cannot finish the index: " + m_file.error());
    return Finished;
}

bool ZM_Mp4Finisher::scan()
{
    ZM_Mp4Box box;
    int64_t pos = 0;
    while (pos < m_file.size() && m_file.readBoxHeader(pos, &box)) {
        m_boxes.push_back(box);
        pos = box.end();
    }
    m_wholeEnd = pos;
    if (m_boxes.empty() || m_boxes.front().type != fourcc("ftyp") || !m_file.error().empty())
        return false;
    for (const ZM_Mp4Box& top : m_boxes) {
        if (top.type == kMoov) {
            // Only the 'mvex' child tells the two kinds of header apart.
            bool fragmented = false;
            ZM_Mp4Box child;
            for (int64_t at = top.payload(); at < top.end() && m_file.readBoxHeader(at, &child);
                 at = child.end())
                fragmented |= child.type == fourcc("mvex");
            if (fragmented && !m_hasFragmentedMoov) {
                m_fragmentedMoov = top;
                m_hasFragmentedMoov = true;
            } else if (!fragmented) {
                m_hasRegularMoov = true;
            }
        } else if (top.type == kMoof && m_hasFragmentedMoov) {
            m_fragments.push_back(top);
        }
    }
    return m_file.error().empty();
}

bool ZM_Mp4Finisher::readMovie()
{
    if (!m_file.readBox(m_fragmentedMoov, &m_movie))
        return false;
    ZM_Mp4Box moov{0, m_fragmentedMoov.size, m_fragmentedMoov.header, kMoov};
    ZM_Mp4Box mvhd, mvex, child;
    if (!ZM_Mp4Box::findIn(m_movie, moov, fourcc("mvhd"), &mvhd) || !fits(m_movie, mvhd, 108, 120)
        || !ZM_Mp4Box::findIn(m_movie, moov, fourcc("mvex"), &mvex))
        return false;
    m_movieTimescale = versionedU32(m_movie, mvhd, 12, 20);
    for (int64_t at = mvex.payload(); ZM_Mp4Box::parse(m_movie.data(), mvex.end(), at, &child);
         at = child.end()) {
        if (child.type != fourcc("trex") || child.size - child.header < 24)
            continue;
        const uint8_t* p = m_movie.data() + child.payload();
        m_defaults[be32(p + 4)] = ZM_Mp4SampleDefaults{be32(p + 12), be32(p + 16), be32(p + 20)};
    }
    for (int64_t at = moov.payload(); ZM_Mp4Box::parse(m_movie.data(), moov.end(), at, &child);
         at = child.end()) {
        if (child.type != fourcc("trak"))
            continue;
        Track t;
        ZM_Mp4Box mdia;
        if (!ZM_Mp4Box::findIn(m_movie, child, fourcc("tkhd"), &t.tkhd) || !fits(m_movie, t.tkhd, 92, 104)
            || !ZM_Mp4Box::findIn(m_movie, child, fourcc("mdia"), &mdia)
            || !ZM_Mp4Box::findIn(m_movie, mdia, fourcc("mdhd"), &t.mdhd) || !fits(m_movie, t.mdhd, 32, 44)
            || !ZM_Mp4Box::findIn(m_movie, mdia, fourcc("hdlr"), &t.hdlr)
            || !ZM_Mp4Box::findIn(m_movie, mdia, fourcc("minf"), &t.minf)
            || !ZM_Mp4Box::findIn(m_movie, t.minf, fourcc("stbl"), &t.stbl)
            || !ZM_Mp4Box::findIn(m_movie, t.stbl, fourcc("stsd"), &t.stsd) || t.stsd.size < 24)
            return false;
        t.id = versionedU32(m_movie, t.tkhd, 12, 20);
        t.timescale = versionedU32(m_movie, t.mdhd, 12, 20);
        // The first sample description's format.
        t.aac = be32(m_movie.data() + t.stsd.payload() + 12) == fourcc("mp4a");
        if (!m_defaults.count(t.id) || t.timescale == 0)
            return false;
        m_tracks.push_back(t);
    }
    return m_movieTimescale != 0 && !m_tracks.empty();
}

// An interruption tears at most the fragment being written. Every fragment up to the first
// one whose samples do not all lie inside the file is kept, and the file ends after the last
// box that belongs to them (or the 'mfra' index that follows them); a 'free' box at the end is
// an index that was never committed.
bool ZM_Mp4Finisher::cutTornTail()
{
    int64_t keepEnd = 0;
    std::vector<ZM_Mp4Box> whole;
    std::vector<uint8_t> moof;
    for (const ZM_Mp4Box& box : m_boxes) {
        if (box.type == kMoof) {
            int64_t dataEnd = 0;
            if (!m_file.readBox(box, &moof))
                return false;
            if (!ZM_Mp4SampleWalker::fragmentDataEnd(moof, box.pos, m_defaults, &dataEnd)
                || dataEnd > m_wholeEnd)
                break;
            whole.push_back(box);
            keepEnd = std::max(keepEnd, box.end());
        } else if (box.type != kFree && box.type != fourcc("skip")) {
            keepEnd = box.end();
        }
    }
    m_fragments = whole;
    // Without a whole fragment there is nothing to finish, and the file stays as it is.
    return whole.empty() || keepEnd == m_file.size() || m_file.truncate(keepEnd);
}

bool ZM_Mp4Finisher::summarise(Track& t)
{
    ZM_Mp4SampleWalker walker(m_file, m_fragments, t.id, m_defaults);
    ZM_Mp4Sample s;
    while (walker.next(&s)) {
        if (t.samples == 0) {
            t.firstDts = s.dts;
            t.firstCto = s.cto;
            t.firstDuration = s.duration;
        }
        ++t.samples;
        t.chunks += s.chunkStart;
        t.duration += s.duration;
        t.allSync &= s.sync;
        t.anyCto |= s.cto != 0;
        t.negativeCto |= s.cto < 0;
    }
    return !walker.failed();
}

// Sound starts after the encoder's priming; pictures at their first presentation time.
uint64_t ZM_Mp4Finisher::startSkip(const Track& t) const
{
    if (t.aac)
        return std::min<uint64_t>(uint64_t(m_audioPriming), t.duration);
    return uint64_t(std::max(t.firstCto, 0));
}

uint64_t ZM_Mp4Finisher::editDuration(const Track& t) const
{
    return rescale(t.duration - startSkip(t), m_movieTimescale, t.timescale);
}

// A track whose first fragment starts later than zero keeps its delay as an empty edit.
uint64_t ZM_Mp4Finisher::emptyEdit(const Track& t) const
{
    return rescale(t.firstDts, m_movieTimescale, t.timescale);
}

// Writing fragments, the muxer delays every track by the sound's priming (the first AAC
// packet comes before zero) and then moves each track's first sample back to zero, lengthening
// it by that delay; the pictures' sample keeps its extra length. A regular file skips the
// priming with its edit list instead, so the first picture gets its own length back and every
// later one its original time.
void ZM_Mp4Finisher::trimLeadIn()
{
    double leadIn = 0;
    for (const Track& t : m_tracks)
        if (t.aac)
            leadIn = std::max(leadIn, double(std::min<uint64_t>(uint64_t(m_audioPriming), t.duration)) / t.timescale);
    for (Track& t : m_tracks) {
        if (t.aac || t.firstDuration < 2)
            continue;
        // The muxer rounds the delay up to the track's time scale.
        const auto delay = uint64_t(std::ceil(leadIn * t.timescale - 1e-9));
        t.firstTrim = uint32_t(std::min<uint64_t>(delay, t.firstDuration - 1));
        t.duration -= t.firstTrim;
    }
}

bool ZM_Mp4Finisher::appendMovie()
{
    const int64_t at = m_file.size();
    ZM_Mp4BoxWriter w(m_file, at);
    uint64_t movieDuration = 0;
    for (const Track& t : m_tracks)
        movieDuration = std::max(movieDuration, emptyEdit(t) + editDuration(t));
    // Not yet a 'moov': until it is whole and on the device, readers skip it.
    w.begin(kFree);
    writeMovieHeader(w, movieDuration);
    for (const Track& t : m_tracks)
        writeTrack(w, t);
    ZM_Mp4Box moov{0, m_fragmentedMoov.size, m_fragmentedMoov.header, kMoov}, udta;
    if (ZM_Mp4Box::findIn(m_movie, moov, fourcc("udta"), &udta))
        w.copy(m_movie, udta.pos, udta.size);
    w.end();
    const bool written = w.finish() && !m_walkFailed && m_file.sync();
    if (!written || !m_file.setType(at, kMoov) || !m_file.sync()) {
        m_file.truncate(at);
        return false;
    }
    return true;
}

void ZM_Mp4Finisher::writeMovieHeader(ZM_Mp4BoxWriter& w, uint64_t duration) const
{
    ZM_Mp4Box moov{0, m_fragmentedMoov.size, m_fragmentedMoov.header, kMoov}, mvhd;
    ZM_Mp4Box::findIn(m_movie, moov, fourcc("mvhd"), &mvhd);
    std::vector<uint8_t> box(m_movie.begin() + mvhd.pos, m_movie.begin() + mvhd.end());
    const ZM_Mp4Box local{0, mvhd.size, mvhd.header, mvhd.type};
    patchVersioned(box, local, 16, 24, duration);
    w.copy(box, 0, local.size);
}

void ZM_Mp4Finisher::writeTrack(ZM_Mp4BoxWriter& w, const Track& t)
{
    const uint64_t delay = emptyEdit(t);
    const uint64_t edit = editDuration(t);
    w.begin(fourcc("trak"));

    std::vector<uint8_t> tkhd(m_movie.begin() + t.tkhd.pos, m_movie.begin() + t.tkhd.end());
    patchVersioned(tkhd, ZM_Mp4Box{0, t.tkhd.size, t.tkhd.header, t.tkhd.type}, 20, 28, delay + edit);
    w.copy(tkhd, 0, t.tkhd.size);

    // The edit list gives the exact length: it starts after the priming and ends with the
    // last real sample, which a sum of whole codec frames would overshoot.
    const bool wide = delay + edit > UINT32_MAX || t.duration > UINT32_MAX;
    w.begin(fourcc("edts"));
    w.beginFull(fourcc("elst"), wide ? 1 : 0, 0);
    w.u32(delay ? 2 : 1);
    const auto entry = [&](uint64_t duration, int64_t mediaTime) {
        if (wide) {
            w.u64(duration);
            w.u64(uint64_t(mediaTime));
        } else {
            w.u32(uint32_t(duration));
            w.u32(uint32_t(mediaTime));
        }
        w.u32(0x00010000); // rate 1.0
    };
    if (delay)
        entry(delay, -1);
    entry(edit, int64_t(startSkip(t)));
    w.end();
    w.end();

    w.begin(fourcc("mdia"));
    const bool longMedia = t.duration > UINT32_MAX;
    w.beginFull(fourcc("mdhd"), longMedia ? 1 : 0, 0);
    if (longMedia) {
        w.u64(0);
        w.u64(0);
        w.u32(t.timescale);
        w.u64(t.duration);
    } else {
        w.u32(0);
        w.u32(0);
        w.u32(t.timescale);
        w.u32(uint32_t(t.duration));
    }
    const uint8_t* md = m_movie.data() + t.mdhd.payload();
    const uint8_t* language = md + (md[0] == 1 ? 32 : 20);
    w.u8(language[0]);
    w.u8(language[1]);
    w.u16(0);
    w.end();
    w.copy(m_movie, t.hdlr.pos, t.hdlr.size);
    w.begin(fourcc("minf"));
    ZM_Mp4Box child;
    for (int64_t at = t.minf.payload(); ZM_Mp4Box::parse(m_movie.data(), t.minf.end(), at, &child);
         at = child.end())
        if (child.type != fourcc("stbl"))
            w.copy(m_movie, child.pos, child.size);
    w.begin(fourcc("stbl"));
    w.copy(m_movie, t.stsd.pos, t.stsd.size);
    writeTables(w, t, m_file.size() > int64_t(UINT32_MAX));
    w.end();
    w.end();
    w.end();
    w.end();
}

// Each table is one pass over the track's samples, so that no table is held in memory.
void ZM_Mp4Finisher::writeTables(ZM_Mp4BoxWriter& w, const Track& t, bool longOffsets)
{
    const auto pass = [&](const std::function<void(const ZM_Mp4Sample&)>& visit) {
        ZM_Mp4SampleWalker walker(m_file, m_fragments, t.id, m_defaults);
        ZM_Mp4Sample s;
        while (walker.next(&s))
            visit(s);
        m_walkFailed |= walker.failed();
    };
    // A table of runs: (count, value) pairs of equal neighbours.
    const auto runs = [&](uint32_t type, int version, const std::function<uint32_t(const ZM_Mp4Sample&)>& value) {
        w.beginFull(type, version, 0);
        const int64_t countAt = w.position();
        w.u32(0);
        uint32_t entries = 0, count = 0, current = 0;
        pass([&](const ZM_Mp4Sample& s) {
            const uint32_t v = value(s);
            if (count && v == current) {
                ++count;
                return;
            }
            if (count) {
                w.u32(count);
                w.u32(current);
                ++entries;
            }
            count = 1;
            current = v;
        });
        if (count) {
            w.u32(count);
            w.u32(current);
            ++entries;
        }
        w.patch32(countAt, entries);
        w.end();
    };

    bool first = true;
    runs(fourcc("stts"), 0, [&](const ZM_Mp4Sample& s) {
        const uint32_t trim = first ? t.firstTrim : 0;
        first = false;
        return s.duration - trim;
    });
    if (t.anyCto)
        runs(fourcc("ctts"), t.negativeCto ? 1 : 0, [](const ZM_Mp4Sample& s) { return uint32_t(s.cto); });

    if (!t.allSync) {
        w.beginFull(fourcc("stss"), 0, 0);
        const int64_t countAt = w.position();
        w.u32(0);
        uint32_t number = 0, entries = 0;
        pass([&](const ZM_Mp4Sample& s) {
            ++number;
            if (s.sync) {
                w.u32(number);
                ++entries;
            }
        });
        w.patch32(countAt, entries);
        w.end();
    }

    // Chunks: each run of contiguous samples in a fragment; an entry whenever the number of
    // samples per chunk changes.
    w.beginFull(fourcc("stsc"), 0, 0);
    const int64_t stscCountAt = w.position();
    w.u32(0);
    uint32_t chunk = 0, inChunk = 0, lastInChunk = 0, stscEntries = 0;
    const auto closeChunk = [&]() {
        if (inChunk == 0 || inChunk == lastInChunk)
            return;
        w.u32(chunk);
        w.u32(inChunk);
        w.u32(1);
        lastInChunk = inChunk;
        ++stscEntries;
    };
    pass([&](const ZM_Mp4Sample& s) {
        if (s.chunkStart || chunk == 0) {
            closeChunk();
            ++chunk;
            inChunk = 0;
        }
        ++inChunk;
    });
    closeChunk();
    w.patch32(stscCountAt, stscEntries);
    w.end();

    w.beginFull(fourcc("stsz"), 0, 0);
    w.u32(0);
    w.u32(uint32_t(t.samples));
    pass([&](const ZM_Mp4Sample& s) { w.u32(s.size); });
    w.end();

    w.beginFull(longOffsets ? fourcc("co64") : fourcc("stco"), 0, 0);
    w.u32(uint32_t(t.chunks));
    first = true;
    pass([&](const ZM_Mp4Sample& s) {
        if (s.chunkStart || first) {
            if (longOffsets)
                w.u64(uint64_t(s.offset));
            else
                w.u32(uint32_t(s.offset));
        }
        first = false;
    });
    w.end();
}

// The renames, each a single 4-byte write. The fragmented header goes last: until then
// readers take it and play the fragments that are left.
bool ZM_Mp4Finisher::retireFragments()
{
    for (const ZM_Mp4Box& box : m_boxes)
        if (box.type == fourcc("mfra") && !m_file.setType(box.pos, kFree))
            return false;
    for (auto it = m_fragments.rbegin(); it != m_fragments.rend(); ++it)
        if (!m_file.setType(it->pos, kFree))
            return false;
    if (!m_file.sync())
        return false;
    if (!regularBrands())
        return false;
    return m_file.setType(m_fragmentedMoov.pos, kFree) && m_file.sync();
}

// The fragmented brands ("iso5", "iso6") become those of a regular file: major "isom",
// compatible "isom" and "iso2" in their places.
bool ZM_Mp4Finisher::regularBrands()
{
    const ZM_Mp4Box& ftyp = m_boxes.front();
    std::vector<uint8_t> brands;
    if (!m_file.read(ftyp.payload(), ftyp.size - ftyp.header, &brands))
        return false;
    if (brands.size() < 8)
        return true;
    bool changed = false;
    const auto replace = [&](size_t at, uint32_t iso5, uint32_t iso6) {
        const uint32_t brand = be32(brands.data() + at);
        const uint32_t regular = brand == fourcc("iso5") ? iso5 : brand == fourcc("iso6") ? iso6 : brand;
        putBe32(brands.data() + at, regular);
        changed |= regular != brand;
    };
    replace(0, fourcc("isom"), fourcc("isom"));
    for (size_t at = 8; at + 4 <= brands.size(); at += 4)
        replace(at, fourcc("isom"), fourcc("iso2"));
    return !changed || m_file.write(ftyp.payload(), brands.data(), brands.size());
}

} // namespace ZM
