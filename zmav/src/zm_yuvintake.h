#pragma once

#include <zmav/zm_packetpool.h>

#include "zm_pictureconverter.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace ZM {

// The producer's side of the video intake: converts each picture handed in into the pool's
// buffer for it. Buffers are reused, so one that held a recent picture is brought up to date
// by converting only the areas that changed since, as the producers described them, instead of
// the whole picture: on a mostly still screen that is most of the conversion saved.
//
// Made on the controlling thread between two recordings; convert() on the producer thread.
class ZM_YuvIntake {
public:
    // srcFormat: an AVPixelFormat value (BGRA or NV21); pictures of width x height.
    ZM_YuvIntake(int srcFormat, int width, int height);

    // Converts one whole source picture into item's buffer (yuvBytes() long). changed tells
    // where it differs from the picture converted before it.
    bool convert(const unsigned char* src, const ChangedAreas& changed, PoolItem& item);
    int yuvBytes() const { return m_width * m_height * 3 / 2; }

private:
    using Area = ZMAV_Rect;
    struct Change {
        uint64_t picture;
        bool whole;
        std::vector<Area> areas;
    };

    void remember(uint64_t picture, const ChangedAreas& changed);
    bool areasSince(uint64_t picture, std::vector<Area>* areas) const;
    bool convertWhole(const unsigned char* src, unsigned char* dst) const;

    ZM_PictureConverter m_converter;
    bool m_inParts; // only BGRA pictures are converted in parts
    int m_width;
    int m_height;
    // What changed with each of the latest pictures, oldest first.
    std::deque<Change> m_history;
};

} // namespace ZM
