// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Test helper: reads back a media file written by the library with libavformat/libavcodec.
//
//   Mp4Info info = probeMp4("out.mp4");        // info.ok, info.error, info.streams[i]
//   info.streams[0].codec == "h264"; info.streams[0].packets; info.streams[0].duration
//   DecodedPicture pic = decodeVideoFrame("out.mp4", 3);   // 4th picture as BGRA
//   Bgra p = pic.pixel(10, 20);                 // p.b, p.g, p.r, p.a
//   DecodedAudio a = decodeAudio("out.mp4");   // a.samples: interleaved float, a.channels
//   std::vector<int16_t> s = a.toS16();
//
// Every function reports failure through its result (ok == false and error text), never by
// throwing, so tests can ASSERT on it.

#include <cstdint>
#include <string>
#include <vector>

namespace mp4probe {

struct StreamProbe {
    int index = -1;
    std::string type;      // "video", "audio" or "other"
    std::string codec;     // codec name as FFmpeg reports it: "h264", "aac", ...
    int width = 0;         // video only
    int height = 0;
    int sampleRate = 0;    // audio only
    int channels = 0;
    int64_t packets = 0;   // packets read from the container for this stream
    double duration = 0;   // stream duration in seconds from the container (0 if unknown)
    double firstPts = 0;   // presentation time of the first packet, seconds
    double lastPts = 0;    // presentation time of the last packet (largest), seconds
};

struct Mp4Info {
    bool ok = false;
    std::string error;
    std::string format;    // container short names, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    double duration = 0;   // whole file, seconds
    std::vector<StreamProbe> streams;  // in stream index order

    // First stream of the given type ("video"/"audio"), or nullptr.
    const StreamProbe* stream(const std::string& type) const;
};

Mp4Info probeMp4(const std::string& path);

struct Bgra {
    uint8_t b = 0, g = 0, r = 0, a = 0;
};

struct DecodedPicture {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    double pts = 0;              // seconds
    std::vector<uint8_t> bgra;   // width x height x 4, rows top-down, no padding

    Bgra pixel(int x, int y) const;
};

// Decodes the video stream and returns picture number `index` (0 = first) converted to BGRA
// with swscale (accurate rounding, full chroma interpolation).
DecodedPicture decodeVideoFrame(const std::string& path, int index);

// Every picture of the video stream, in order (empty when the file cannot be read).
std::vector<DecodedPicture> decodeVideoFrames(const std::string& path);

// Number of pictures the video stream decodes to.
int countVideoFrames(const std::string& path);

// The video stream's packets in file order, decoded by a decoder that refuses any flaw.
struct VideoPackets {
    bool ok = false;
    std::string error;
    std::vector<int> sizes;
    std::vector<bool> keys;
    int decodeErrors = 0; // packets the strict decoder refused
    int pictures = 0;     // pictures it decoded
};
VideoPackets readVideoPackets(const std::string& path);

struct DecodedAudio {
    bool ok = false;
    std::string error;
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved, [-1, 1]

    int64_t frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
    std::vector<int16_t> toS16() const;
};

// Decodes the whole first audio stream into interleaved float.
DecodedAudio decodeAudio(const std::string& path);

} // namespace mp4probe
