// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_packetpool.h>

#include <cstdint>
#include <string>
#include <vector>

struct AVPacket;
typedef struct x264_t x264_t;
typedef struct x264_nal_t x264_nal_t;
typedef struct x264_picture_t x264_picture_t;

namespace ZM {

// H.264 straight through libx264 rather than FFmpeg's wrapper of it, for one thing the wrapper
// cannot pass on: which macroblocks of a picture are the same as in the picture before. x264
// then skips its analysis there, which on a mostly still screen is a third of its work. The
// packets are the wrapper's: Annex B, the parameter sets as the global header, x264's settings
// message ahead of the first frame.
//
// Threading: made, used and destroyed by one thread at a time (the encoding thread after init).
class ZM_X264Video {
public:
    struct Settings {
        int width = 0;
        int height = 0;
        int frameRate = 0;
        // Bits per second; 0 leaves the rate to x264 (its default rate factor).
        int64_t bitRate = 0;
        // x264's rate factor in place of the bit rate; -1: none.
        int crf = -1;
        std::string preset = "ultrafast";
        // Frames from one key frame to the next at most; 0: x264's default.
        int gopSize = 0;
        // 0: x264 chooses.
        int threads = 0;
        // The parameter sets go to headers() instead of into the first packet.
        bool globalHeaders = true;
    };

    // Throws ZM_Error with x264's reason when x264 refuses the settings.
    explicit ZM_X264Video(const Settings& settings);
    ~ZM_X264Video();
    ZM_X264Video(const ZM_X264Video&) = delete;
    ZM_X264Video& operator=(const ZM_X264Video&) = delete;

    // The sequence and picture parameter sets (Annex B); empty without global headers.
    const std::vector<uint8_t>& headers() const { return m_headers; }

    enum Result { Failed, Held, Packet };

    // Encodes one 4:2:0 picture with time stamp pts (in frames); key asks for a key frame.
    // changed: where it differs from the picture encoded before it. Packet: its packet is in
    // out; Held: x264 keeps it for later (see flush).
    Result encode(uint8_t* const planes[3], const int strides[3], int64_t pts, bool key,
                const ChangedAreas& changed, AVPacket* out);
    // One of the pictures x264 still holds; false when none is left.
    bool flush(AVPacket* out);

private:
    uint8_t* stillMacroblocks(const ChangedAreas& changed) const;
    bool take(int bytes, const x264_nal_t* nals, const x264_picture_t& done, AVPacket* out);

    x264_t* m_x264 = nullptr;
    std::vector<uint8_t> m_headers;
    // x264's settings message, put ahead of the first frame as FFmpeg does.
    std::vector<uint8_t> m_settingsMessage;
    int m_columns = 0;
    int m_rows = 0;
};

} // namespace ZM
