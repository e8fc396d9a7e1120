// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_movieinfo_printer.h"

#include <cstdint>
#include <cstdio>

namespace {
// The watermark pointers are shown as numbers only to tell "none" (0) from "set".
int pointerValue(const void* p)
{
    return int(reinterpret_cast<intptr_t>(p));
}
} // namespace

void printMovieInfo(const ZM_MovieInfo& info)
{
    fprintf(stdout, "--------- ZMMovieInfo ---------\n");
    fprintf(stdout, "FrameFormat: %d\n", info.FrameFormat);
    fprintf(stdout, "FrameRotate: %d\n", info.FrameRotate);
    fprintf(stdout, "frameRate: %d\n", info.frameRate);
    fprintf(stdout, "videoBitRate: %d\n", info.videoBitRate);
    fprintf(stdout, "pix_x: %d\n", info.pix_x);
    fprintf(stdout, "pix_y: %d\n", info.pix_y);
    fprintf(stdout, "width: %d\n", info.width);
    fprintf(stdout, "height: %d\n", info.height);
    fprintf(stdout, "gopSize: %d\n", info.gopSize);
    fprintf(stdout, "maxBframe: %d\n", info.maxBframe);
    fprintf(stdout, "quality: %lf\n", info.quality);
    fprintf(stdout, "grabCursor: %d\n", int(info.grabCursor));
    fprintf(stdout, "autoJumpFrame: %d\n", int(info.autoJumpFrame));
    fprintf(stdout, "SampleFormat: %d\n", int(info.SampleFormat));
    fprintf(stdout, "sampleSz(): %d\n", info.sampleSz());
    fprintf(stdout, "audioSampleRate: %d\n", info.audioSampleRate);
    fprintf(stdout, "channels: %d\n", info.channels);
    fprintf(stdout, "audioBitRate: %d\n", info.audioBitRate);
    fprintf(stdout, "audio from: %d\n", info.audioFrom);
    fprintf(stdout, "has_audio_video: %d\n", info.has_audio_video);
    fprintf(stdout, "save_path[128]: %.127s\n", info.save_path);
    fprintf(stdout, "Water Image: [ img: %d;  x: %d, y: %d]\n", pointerValue(info.waterImage),
            info.waterImageX, info.waterImageY);
    fprintf(stdout, "Water Text : [ img: %d;  x: %d, y: %d]\n", pointerValue(info.waterText),
            info.waterTextX, info.waterTextY);
}
