// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_x264video.h"

#include <zmav/zm_error.h>

#include "zm_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/packet.h>
#include <x264.h>
}

namespace ZM {

namespace {

// Warnings and errors go to the library's log as FFmpeg's do; x264's statistics do not.
void fromX264(void*, int level, const char* format, va_list args)
{
    if (level > X264_LOG_WARNING)
        return;
    char line[1024] = "[libx264] ";
    const size_t prefix = std::strlen(line);
    std::vsnprintf(line + prefix, sizeof line - prefix, format, args);
    logForeignLine(level == X264_LOG_ERROR ? LogError : LogWarning, line);
}

constexpr int kMacroblock = 16;

} // namespace

ZM_X264Video::ZM_X264Video(const Settings& s)
    : m_columns((s.width + kMacroblock - 1) / kMacroblock)
    , m_rows((s.height + kMacroblock - 1) / kMacroblock)
{
    x264_param_t p;
    if (x264_param_default_preset(&p, s.preset.c_str(), "zerolatency") < 0)
        throw ZM_Error("@ x264 does not know the preset", s.preset);
    p.i_log_level = X264_LOG_WARNING;
    p.pf_log = fromX264;
    p.i_width = s.width;
    p.i_height = s.height;
    p.i_csp = X264_CSP_I420;
    p.i_fps_num = p.i_timebase_den = uint32_t(s.frameRate);
    p.i_fps_den = p.i_timebase_num = 1;
    p.i_threads = s.threads;
    p.b_open_gop = 0;
    if (s.gopSize > 0)
        p.i_keyint_max = s.gopSize;
    if (s.crf >= 0) {
        p.rc.i_rc_method = X264_RC_CRF;
        p.rc.f_rf_constant = float(s.crf);
    } else if (s.bitRate > 0) {
        p.rc.i_rc_method = X264_RC_ABR;
        p.rc.i_bitrate = int(std::clamp<int64_t>(s.bitRate / 1000, 1, INT32_MAX));
    }
    p.b_repeat_headers = !s.globalHeaders;
    p.analyse.b_mb_info = 1;
    m_x264 = x264_encoder_open(&p);
    if (!m_x264)
        throw ZM_Error("@ x264_encoder_open(...) error ! (video)");
    if (!s.globalHeaders)
        return;
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_headers(m_x264, &nals, &count) < 0) {
        x264_encoder_close(m_x264);
        throw ZM_Error("@ x264_encoder_headers(...) error !");
    }
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t>& to = nals[i].i_type == NAL_SEI ? m_settingsMessage : m_headers;
        to.insert(to.end(), nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
    }
}

ZM_X264Video::~ZM_X264Video()
{
    x264_encoder_close(m_x264);
}

ZM_X264Video::Result ZM_X264Video::encode(uint8_t* const planes[3], const int strides[3], int64_t pts,
                                          bool key, const ChangedAreas& changed, AVPacket* out)
{
    x264_picture_t in, done;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    for (int i = 0; i < 3; ++i) {
        in.img.plane[i] = planes[i];
        in.img.i_stride[i] = strides[i];
    }
    in.i_pts = pts;
    in.i_type = key ? X264_TYPE_KEYFRAME : X264_TYPE_AUTO;
    // x264 frees it once it is done with the picture, which with several threads is later.
    in.prop.mb_info = stillMacroblocks(changed);
    in.prop.mb_info_free = std::free;
    x264_nal_t* nals = nullptr;
    int count = 0;
    const int bytes = x264_encoder_encode(m_x264, &nals, &count, &in, &done);
    if (bytes < 0)
        return Failed;
    if (bytes == 0)
        return Held;
    return take(bytes, nals, done, out) ? Packet : Failed;
}

bool ZM_X264Video::flush(AVPacket* out)
{
    while (x264_encoder_delayed_frames(m_x264) > 0) {
        x264_nal_t* nals = nullptr;
        int count = 0;
        x264_picture_t done;
        const int bytes = x264_encoder_encode(m_x264, &nals, &count, nullptr, &done);
        if (bytes < 0)
            return false;
        if (bytes > 0)
            return take(bytes, nals, done, out);
    }
    return false;
}

// The macroblocks no changed area touches, for x264's mb_info; null when the whole picture
// may have changed.
uint8_t* ZM_X264Video::stillMacroblocks(const ChangedAreas& changed) const
{
    if (changed.whole || changed.count < 0 || (changed.count > 0 && !changed.rects))
        return nullptr;
    const size_t count = size_t(m_columns) * m_rows;
    auto* still = static_cast<uint8_t*>(std::malloc(count));
    if (!still)
        return nullptr;
    std::memset(still, X264_MBINFO_CONSTANT, count);
    const int width = m_columns * kMacroblock, height = m_rows * kMacroblock;
    for (int i = 0; i < changed.count; ++i) {
        const ZMAV_Rect& r = changed.rects[i];
        const int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
        const int x1 = int(std::min<int64_t>(width, int64_t(r.x) + r.width));
        const int y1 = int(std::min<int64_t>(height, int64_t(r.y) + r.height));
        if (x1 <= x0 || y1 <= y0)
            continue;
        const int first = x0 / kMacroblock, last = (x1 - 1) / kMacroblock;
        for (int row = y0 / kMacroblock; row <= (y1 - 1) / kMacroblock; ++row)
            std::memset(still + size_t(row) * m_columns + first, 0, size_t(last - first + 1));
    }
    return still;
}

// x264 keeps the payloads of one picture's units back to back.
bool ZM_X264Video::take(int bytes, const x264_nal_t* nals, const x264_picture_t& done, AVPacket* out)
{
    const int ahead = int(m_settingsMessage.size());
    av_packet_unref(out);
    if (av_new_packet(out, ahead + bytes) < 0)
        return false;
    if (ahead > 0)
        std::memcpy(out->data, m_settingsMessage.data(), size_t(ahead));
    m_settingsMessage.clear();
    std::memcpy(out->data + ahead, nals[0].p_payload, size_t(bytes));
    out->pts = done.i_pts;
    out->dts = done.i_dts;
    if (done.b_keyframe)
        out->flags |= AV_PKT_FLAG_KEY;
    return true;
}

} // namespace ZM
