// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_movie_info.h>

#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

ZM_MovieInfo::ZM_MovieInfo()
{
    ZM_MovieInfo_setDefaults(this);
}

extern "C" void ZM_MovieInfo_setDefaults(ZM_MovieInfo* info)
{
    if (!info)
        return;
    info->FrameFormat = FRAME_NV21;
    info->FrameRotate = 0;
    info->frameRate = 7;
    info->pix_x = 0;
    info->pix_y = 0;
    info->width = 352;
    info->height = 288;
    info->gopSize = 7;
    info->maxBframe = 2;
    info->quality = 0.3;
    info->videoBitRate = int(info->width * info->height * 1.5 * info->quality);
    info->grabCursor = false;
    info->autoJumpFrame = true;
    info->waterTextX = 0;
    info->waterTextY = 0;
    info->waterText = nullptr;
    info->waterImageX = 0;
    info->waterImageY = 0;
    info->waterImage = nullptr;
    info->SampleFormat = SF_S16;
    info->audioSampleRate = 8000;
    info->channels = 2;
    info->audioBitRate = 192000;
    info->audioFrom = 0;
    info->has_audio_video = ZM_AUDIO_VIDEO;
    std::memset(info->save_path, 0, sizeof info->save_path);
}

namespace ZM {

int getFrameFormat(const ZM_MovieInfo& info)
{
    return info.FrameFormat == FRAME_BGRA ? AV_PIX_FMT_BGRA : AV_PIX_FMT_NV21;
}

int getSampleFormat(const ZM_MovieInfo&)
{
    return AV_SAMPLE_FMT_S16;
}

int pictureBytes(const ZM_MovieInfo& info)
{
    const int pixels = info.width * info.height;
    return info.FrameFormat == FRAME_BGRA ? pixels * 4 : pixels * 3 / 2;
}

} // namespace ZM
