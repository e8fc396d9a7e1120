#include "zm_repeatframes.h"

#include <cstring>

extern "C" {
#include <libavcodec/packet.h>
}

namespace ZM {

namespace {

enum NalType { kSlice = 1, kIdrSlice = 5, kSequenceSet = 7, kPictureSet = 8 };

// Reads the bits of an RBSP (emulation prevention already removed). Reading past the end sets
// failed() and yields zeros, so a damaged header is noticed once, at the end.
class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    size_t position() const { return m_pos; }
    bool failed() const { return m_failed; }

    uint32_t bits(int n)
    {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i)
            value = value << 1 | bit();
        return value;
    }
    uint32_t ue()
    {
        int zeros = 0;
        while (!bit() && !m_failed)
            if (++zeros > 31)
                m_failed = true;
        return m_failed ? 0 : ((1u << zeros) - 1) + bits(zeros);
    }
    int32_t se()
    {
        const uint32_t v = ue();
        return v & 1 ? int32_t((v + 1) / 2) : -int32_t(v / 2);
    }

private:
    uint32_t bit()
    {
        if (m_pos >= m_bytes.size() * 8) {
            m_failed = true;
            return 0;
        }
        const uint32_t b = m_bytes[m_pos / 8] >> (7 - m_pos % 8) & 1;
        ++m_pos;
        return b;
    }

    const std::vector<uint8_t>& m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};

class BitWriter {
public:
    void bits(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            bit(value >> i & 1);
    }
    void ue(uint32_t value)
    {
        const uint64_t v = uint64_t(value) + 1;
        int length = 0;
        while (v >> (length + 1))
            ++length;
        bits(0, length);
        for (int i = length; i >= 0; --i)
            bit(uint32_t(v >> i & 1));
    }
    void se(int32_t value) { ue(value > 0 ? uint32_t(2 * value - 1) : uint32_t(-2 * value)); }
    // rbsp_trailing_bits: a one, then zeros up to the byte boundary.
    std::vector<uint8_t> finish()
    {
        bit(1);
        while (m_count % 8)
            bit(0);
        return m_bytes;
    }

private:
    void bit(uint32_t b)
    {
        if (m_count % 8 == 0)
            m_bytes.push_back(0);
        if (b)
            m_bytes.back() |= uint8_t(0x80 >> (m_count % 8));
        ++m_count;
    }

    std::vector<uint8_t> m_bytes;
    size_t m_count = 0;
};

void setBits(std::vector<uint8_t>& bytes, size_t pos, uint32_t value, int n)
{
    for (int i = 0; i < n; ++i, ++pos) {
        const uint8_t mask = uint8_t(0x80 >> (pos % 8));
        if (value >> (n - 1 - i) & 1)
            bytes[pos / 8] |= mask;
        else
            bytes[pos / 8] &= uint8_t(~mask);
    }
}

std::vector<uint8_t> unescape(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> rbsp;
    rbsp.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = data[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(data[i]);
    }
    return rbsp;
}

void appendEscaped(std::vector<uint8_t>* out, const std::vector<uint8_t>& rbsp)
{
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out->push_back(3);
            zeros = 0;
        }
        out->push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
}

// One NAL unit of an Annex B buffer: its header byte is at `header`, its escaped payload runs
// to `end` (trailing zero bytes before the next start code excluded).
struct Nal {
    size_t header;
    size_t end;
};

// Start codes are found from their 1 byte with memchr: compressed data holds few of them, so
// a packet of a full-motion picture is crossed in large steps.
std::vector<Nal> splitNals(const uint8_t* data, size_t size)
{
    std::vector<Nal> nals;
    for (size_t i = 2; i < size;) {
        const void* one = std::memchr(data + i, 1, size - i);
        if (!one)
            break;
        i = size_t(static_cast<const uint8_t*>(one) - data);
        if (data[i - 1] != 0 || data[i - 2] != 0) {
            ++i;
            continue;
        }
        if (!nals.empty()) {
            size_t end = i - 2;
            while (end > nals.back().header && data[end - 1] == 0)
                --end;
            nals.back().end = end;
        }
        nals.push_back({i + 1, size});
        i += 3;
    }
    if (!nals.empty())
        while (nals.back().end > nals.back().header && data[nals.back().end - 1] == 0)
            --nals.back().end;
    return nals;
}

// The escaped bytes of a slice that hold its header: up to a byte that is neither zero nor an
// escape, so the escaping of the rest does not depend on them and a header rewritten in them
// can be escaped again on its own. The header takes at most 8 bytes before escaping.
size_t headerPrefix(const uint8_t* payload, size_t size)
{
    for (size_t p = 16; p <= size; ++p)
        if (payload[p - 1] != 0 && payload[p - 1] != 3)
            return p;
    return size;
}

bool highProfile(uint32_t profile)
{
    switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128:
    case 138: case 139: case 134: case 135:
        return true;
    default:
        return false;
    }
}

void skipScalingList(BitReader& r, int size)
{
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0)
            next = (last + r.se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

} // namespace

ZM_RepeatFrames::ZM_RepeatFrames(const uint8_t* header, int size)
{
    if (!header || size <= 0)
        return;
    for (const Nal& nal : splitNals(header, size_t(size)))
        if (nal.end > nal.header)
            readParameterSet(header[nal.header] & 0x1f,
                             unescape(header + nal.header + 1, nal.end - nal.header - 1));
}

void ZM_RepeatFrames::readParameterSet(int type, const std::vector<uint8_t>& rbsp)
{
    if (type == kSequenceSet)
        readSequence(rbsp);
    else if (type == kPictureSet)
        readPicture(rbsp);
}

void ZM_RepeatFrames::readSequence(const std::vector<uint8_t>& rbsp)
{
    BitReader r(rbsp);
    const uint32_t profile = r.bits(8);
    r.bits(16); // constraint flags, level
    r.ue();     // seq_parameter_set_id
    bool supported = true;
    if (highProfile(profile)) {
        const uint32_t chroma = r.ue();
        if (chroma == 3 && r.bits(1))
            supported = false; // colour planes coded apart carry a plane id in each slice
        r.ue();
        r.ue();
        r.bits(1);
        if (r.bits(1))
            for (uint32_t i = 0; i < (chroma != 3 ? 8u : 12u); ++i)
                if (r.bits(1))
                    skipScalingList(r, i < 6 ? 16 : 64);
    }
    m_sequence.log2MaxFrameNum = int(r.ue()) + 4;
    // Picture order type 2 derives the order from the frame number; the others would need
    // their own fields in every slice rewritten too.
    supported = supported && r.ue() == 2;
    r.ue(); // max_num_ref_frames
    r.bits(1);
    const uint32_t width = r.ue() + 1, height = r.ue() + 1;
    supported = supported && r.bits(1) == 1 && m_sequence.log2MaxFrameNum <= 16; // frames only
    m_sequence.macroblocks = int(width * height);
    m_sequence.seen = true;
    if (r.failed() || !supported)
        m_usable = false;
}

void ZM_RepeatFrames::readPicture(const std::vector<uint8_t>& rbsp)
{
    BitReader r(rbsp);
    m_picture.id = int(r.ue());
    r.ue();
    const bool cabac = r.bits(1);
    r.bits(1);
    const bool sliceGroups = r.ue() != 0;
    r.ue();
    r.ue();
    const bool weighted = r.bits(1);
    r.bits(2);
    r.se();
    r.se();
    r.se();
    m_picture.deblockingControl = r.bits(1);
    r.bits(1);
    m_picture.redundantPictureCount = r.bits(1);
    m_picture.seen = true;
    if (r.failed() || cabac || sliceGroups || weighted)
        m_usable = false;
}

bool ZM_RepeatFrames::follow(AVPacket* packet)
{
    if (!packet || packet->size <= 0)
        return true;
    const uint8_t* data = packet->data;
    const size_t size = size_t(packet->size);
    std::vector<uint8_t> out;
    size_t copied = 0;
    for (const Nal& nal : splitNals(data, size)) {
        if (nal.end <= nal.header)
            continue;
        const uint8_t* payload = data + nal.header + 1;
        const size_t length = nal.end - nal.header - 1;
        const int type = data[nal.header] & 0x1f;
        if (type == kSequenceSet || type == kPictureSet) {
            readParameterSet(type, unescape(payload, length));
        } else if (type == kIdrSlice) {
            m_offset = 0;
            m_frameNum = 0;
            m_havePicture = true;
        } else if (type == kSlice) {
            // A frame that is no reference shares its number with the next one; repeats
            // cannot be numbered around it, but frames after earlier repeats still are.
            if ((data[nal.header] >> 5 & 3) == 0)
                m_usable = false;
            const size_t prefix = headerPrefix(payload, length);
            std::vector<uint8_t> header = unescape(payload, prefix);
            if (!renumber(header)) {
                m_usable = false;
                continue;
            }
            m_havePicture = true;
            if (m_offset != 0) {
                out.insert(out.end(), data + copied, payload);
                appendEscaped(&out, header);
                copied = nal.header + 1 + prefix;
            }
        }
    }
    if (out.empty())
        return true;
    out.insert(out.end(), data + copied, data + size);
    if (av_packet_make_writable(packet) < 0)
        return false;
    if (out.size() > size && av_grow_packet(packet, int(out.size() - size)) < 0)
        return false;
    av_shrink_packet(packet, int(out.size()));
    std::memcpy(packet->data, out.data(), out.size());
    return true;
}

// The frame number follows three Exp-Golomb fields at the start of every slice header.
bool ZM_RepeatFrames::renumber(std::vector<uint8_t>& rbsp)
{
    BitReader r(rbsp);
    r.ue(); // first_mb_in_slice
    r.ue(); // slice_type
    const int pictureSet = int(r.ue());
    const size_t at = r.position();
    const uint32_t frameNum = r.bits(m_sequence.log2MaxFrameNum);
    if (r.failed() || !m_sequence.seen || pictureSet != m_picture.id)
        return false;
    m_frameNum = int((frameNum + uint32_t(m_offset)) % uint32_t(maxFrameNum()));
    if (m_offset != 0)
        setBits(rbsp, at, uint32_t(m_frameNum), m_sequence.log2MaxFrameNum);
    return true;
}

bool ZM_RepeatFrames::makeRepeat(std::vector<uint8_t>* out)
{
    if (!usable() || !m_havePicture)
        return false;
    m_frameNum = (m_frameNum + 1) % maxFrameNum();
    m_offset = (m_offset + 1) % maxFrameNum();
    BitWriter w;
    w.ue(0);                      // first_mb_in_slice
    w.ue(5);                      // slice_type: P, as every slice of this picture
    w.ue(uint32_t(m_picture.id)); // pic_parameter_set_id
    w.bits(uint32_t(m_frameNum), m_sequence.log2MaxFrameNum);
    if (m_picture.redundantPictureCount)
        w.ue(0);
    w.bits(0, 1); // num_ref_idx_active_override_flag
    w.bits(0, 1); // ref_pic_list_modification_flag_l0
    w.bits(0, 1); // adaptive_ref_pic_marking_mode_flag: the sliding window
    w.se(0);      // slice_qp_delta
    if (m_picture.deblockingControl)
        w.ue(1); // disable_deblocking_filter_idc: nothing to filter between skipped blocks
    w.ue(uint32_t(m_sequence.macroblocks)); // mb_skip_run: every macroblock
    const uint8_t startAndHeader[] = {0, 0, 0, 1, 0x41}; // nal_ref_idc 2, a non-IDR slice
    out->insert(out->end(), std::begin(startAndHeader), std::end(startAndHeader));
    appendEscaped(out, w.finish());
    return true;
}

} // namespace ZM
