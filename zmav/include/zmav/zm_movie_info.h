// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The description of one recording, shared by the program and the encoder library and passed
// by value across the library's C interface. Its layout is part of that interface: fields stay
// plain and in this order. The header is valid C as well as C++ and needs no FFmpeg headers.

#include <assert.h>
#include <zmav/zmav_export.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

/* Streams to record: bit value 1 audio, bit value 2 video. */
enum ZM_AVEnum { ZM_AUDIO = 1, ZM_VIDEO = 2, ZM_AUDIO_VIDEO = 3 };

/* Layout of the pictures handed to the library; any non-zero value means NV21. */
enum ZM_FrameFormat { FRAME_BGRA = 0, FRAME_NV21 = 1 };

/* PCM sample format: signed 16-bit little-endian interleaved is the only one. */
enum ZM_SampleFormat { SF_S16 = 0 };

#define ZM_SAVE_PATH_SIZE 128

struct ZMAV_EXPORT ZM_MovieInfo {
#ifdef __cplusplus
    ZM_MovieInfo();

    // Size of one sample in bits.
    int sampleSz() const
    {
        const ZM_SampleFormat sf = SampleFormat;
        assert(SF_S16==sf);
        (void)sf;
        return 16;
    }
#endif
    int FrameFormat;
    int FrameRotate;
    int frameRate;
    int videoBitRate;
    int pix_x;
    int pix_y;
    int width;
    int height;
    int gopSize;
    int maxBframe;
    double quality;
    bool grabCursor;
    bool autoJumpFrame;
    int waterTextX;
    int waterTextY;
    void* waterText;
    int waterImageX;
    int waterImageY;
    void* waterImage;
    enum ZM_SampleFormat SampleFormat;
    int audioSampleRate;
    int channels;
    int audioBitRate;
    int audioFrom;
    int has_audio_video;
    char save_path[ZM_SAVE_PATH_SIZE];
};

#ifndef __cplusplus
typedef struct ZM_MovieInfo ZM_MovieInfo;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Fills a record with the defaults of a newly constructed one (for C callers). */
ZMAV_EXPORT void ZM_MovieInfo_setDefaults(struct ZM_MovieInfo* info);

#ifdef __cplusplus
}

namespace ZM {
using ::ZM_AVEnum;
using ::ZM_AUDIO;
using ::ZM_VIDEO;
using ::ZM_AUDIO_VIDEO;

// FFmpeg pixel format (an AVPixelFormat value) of the record's pictures: BGRA for
// FRAME_BGRA, NV21 for anything else.
ZMAV_EXPORT int getFrameFormat(const ZM_MovieInfo& info);

// FFmpeg sample format (an AVSampleFormat value) of the record's audio: packed signed 16-bit.
ZMAV_EXPORT int getSampleFormat(const ZM_MovieInfo& info);

// Bytes of one picture of the record's size and layout.
ZMAV_EXPORT int pictureBytes(const ZM_MovieInfo& info);
} // namespace ZM
#endif
