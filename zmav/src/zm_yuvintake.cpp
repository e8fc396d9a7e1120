#include "zm_yuvintake.h"

#include <algorithm>
#include <atomic>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
}

namespace ZM {

namespace {

// Pictures are numbered across recordings: a buffer left over from an earlier recording must
// never pass for one of this recording's pictures.
std::atomic<uint64_t> g_pictures{0};

// More pictures than buffers can be in use at once (queued, spare, kept for repeats).
constexpr size_t kHistory = 16;
// Beyond these, converting parts costs about as much as the whole picture.
constexpr int kMostAreas = 64;
constexpr int kMostPercent = 50;

} // namespace

ZM_YuvIntake::ZM_YuvIntake(int srcFormat, int width, int height)
    : m_converter(srcFormat, width, height)
    , m_inParts(srcFormat == AV_PIX_FMT_BGRA)
    , m_width(width)
    , m_height(height)
{
}

bool ZM_YuvIntake::convert(const unsigned char* src, const ChangedAreas& changed, PoolItem& item)
{
    const uint64_t picture = g_pictures.fetch_add(1) + 1;
    remember(picture, changed);
    const Change& latest = m_history.back();
    item.changesKnown = m_inParts && !latest.whole;
    item.changes = latest.areas;
    std::vector<Area> areas;
    const uint64_t held = item.picture;
    item.picture = 0;
    item.whole = !(held != 0 && m_inParts && areasSince(held, &areas));
    bool ok = true;
    if (!item.whole) {
        uint8_t* planes[4] = {};
        int strides[4] = {};
        av_image_fill_arrays(planes, strides, item.data.get(), AV_PIX_FMT_YUV420P, m_width, m_height, 1);
        for (const Area& a : areas)
            ok = ok && m_converter.convertArea(src, planes, strides, a.x, a.y, a.width, a.height);
    } else {
        ok = convertWhole(src, item.data.get());
    }
    if (ok)
        item.picture = picture;
    return ok;
}

// Areas are kept clipped to the picture and widened to whole 2 x 2 chroma blocks.
void ZM_YuvIntake::remember(uint64_t picture, const ChangedAreas& changed)
{
    Change change{picture, changed.whole || changed.count > kMostAreas, {}};
    for (int i = 0; !change.whole && i < changed.count; ++i) {
        const ZMAV_Rect& r = changed.rects[i];
        const int x0 = std::max(0, r.x) & ~1, y0 = std::max(0, r.y) & ~1;
        const int x1 = std::min<long long>(m_width, (static_cast<long long>(r.x) + r.width + 1) & ~1LL);
        const int y1 = std::min<long long>(m_height, (static_cast<long long>(r.y) + r.height + 1) & ~1LL);
        if (x1 > x0 && y1 > y0)
            change.areas.push_back({x0, y0, x1 - x0, y1 - y0});
    }
    m_history.push_back(std::move(change));
    if (m_history.size() > kHistory)
        m_history.pop_front();
}

// The areas that changed after `picture` up to the latest one; false when that is not known
// (too old, from another recording) or not worth converting in parts.
bool ZM_YuvIntake::areasSince(uint64_t picture, std::vector<Area>* areas) const
{
    if (m_history.empty() || picture < m_history.front().picture || picture >= m_history.back().picture)
        return false;
    long long pixels = 0;
    for (const Change& change : m_history) {
        if (change.picture <= picture)
            continue;
        if (change.whole)
            return false;
        for (const Area& a : change.areas) {
            pixels += static_cast<long long>(a.width) * a.height;
            areas->push_back(a);
        }
    }
    return areas->size() <= size_t(kMostAreas)
           && pixels * 100 <= static_cast<long long>(m_width) * m_height * kMostPercent;
}

bool ZM_YuvIntake::convertWhole(const unsigned char* src, unsigned char* dst) const
{
    uint8_t* planes[4] = {};
    int strides[4] = {};
    av_image_fill_arrays(planes, strides, dst, AV_PIX_FMT_YUV420P, m_width, m_height, 1);
    return m_converter.convert(src, planes, strides);
}

} // namespace ZM
