// SPDX-License-Identifier: GPL-2.0-or-later
#include "mp4_probe.h"

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace mp4probe {
namespace {

struct InputDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

std::string errText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

InputPtr openInput(const std::string& path, std::string& error)
{
    AVFormatContext* ctx = nullptr;
    int ret = avformat_open_input(&ctx, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        error = "cannot open " + path + ": " + errText(ret);
        return nullptr;
    }
    InputPtr input(ctx);
    ret = avformat_find_stream_info(ctx, nullptr);
    if (ret < 0) {
        error = "no stream info in " + path + ": " + errText(ret);
        return nullptr;
    }
    return input;
}

// Opens the decoder of the first stream of `type`; stream index in `index`.
CodecPtr openDecoder(AVFormatContext* ctx, AVMediaType type, int& index, std::string& error)
{
    index = av_find_best_stream(ctx, type, -1, -1, nullptr, 0);
    if (index < 0) {
        error = "no such stream";
        return nullptr;
    }
    const AVCodecParameters* par = ctx->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    CodecPtr dec(avcodec_alloc_context3(codec));
    if (!codec || !dec || avcodec_parameters_to_context(dec.get(), par) < 0) {
        error = "no decoder";
        return nullptr;
    }
    dec->pkt_timebase = ctx->streams[index]->time_base;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) {
        error = "decoder does not open";
        return nullptr;
    }
    return dec;
}

// Feeds every packet of stream `index` (then the flush) to `dec` and calls onFrame for each
// decoded frame until it returns false.
template <typename F>
void decodeAll(AVFormatContext* ctx, AVCodecContext* dec, int index, F onFrame)
{
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    bool more = true;
    auto receive = [&]() {
        while (more && avcodec_receive_frame(dec, frame.get()) == 0) {
            more = onFrame(frame.get());
            av_frame_unref(frame.get());
        }
    };
    while (more && av_read_frame(ctx, pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            avcodec_send_packet(dec, pkt.get());
            receive();
        }
        av_packet_unref(pkt.get());
    }
    if (more) {
        avcodec_send_packet(dec, nullptr);
        receive();
    }
}

} // namespace

const StreamProbe* Mp4Info::stream(const std::string& type) const
{
    for (const StreamProbe& s : streams)
        if (s.type == type)
            return &s;
    return nullptr;
}

Mp4Info probeMp4(const std::string& path)
{
    Mp4Info info;
    InputPtr ctx = openInput(path, info.error);
    if (!ctx)
        return info;
    info.format = ctx->iformat->name;
    if (ctx->duration != AV_NOPTS_VALUE)
        info.duration = ctx->duration / double(AV_TIME_BASE);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        const AVCodecParameters* par = st->codecpar;
        StreamProbe s;
        s.index = int(i);
        s.type = par->codec_type == AVMEDIA_TYPE_VIDEO   ? "video"
                 : par->codec_type == AVMEDIA_TYPE_AUDIO ? "audio"
                                                         : "other";
        s.codec = avcodec_get_name(par->codec_id);
        s.width = par->width;
        s.height = par->height;
        s.sampleRate = par->sample_rate;
        s.channels = par->ch_layout.nb_channels;
        if (st->duration != AV_NOPTS_VALUE)
            s.duration = st->duration * av_q2d(st->time_base);
        s.firstPts = NAN;
        info.streams.push_back(s);
    }
    PacketPtr pkt(av_packet_alloc());
    while (av_read_frame(ctx.get(), pkt.get()) >= 0) {
        StreamProbe& s = info.streams[pkt->stream_index];
        ++s.packets;
        if (pkt->pts != AV_NOPTS_VALUE) {
            double t = pkt->pts * av_q2d(ctx->streams[pkt->stream_index]->time_base);
            s.firstPts = std::isnan(s.firstPts) ? t : std::min(s.firstPts, t);
            s.lastPts = s.packets == 1 ? t : std::max(s.lastPts, t);
        }
        av_packet_unref(pkt.get());
    }
    for (StreamProbe& s : info.streams)
        if (std::isnan(s.firstPts))
            s.firstPts = 0;
    info.ok = true;
    return info;
}

Bgra DecodedPicture::pixel(int x, int y) const
{
    Bgra p;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return p;
    const uint8_t* q = &bgra[(size_t(y) * width + x) * 4];
    p.b = q[0];
    p.g = q[1];
    p.r = q[2];
    p.a = q[3];
    return p;
}

// One decoded frame as BGRA (swscale, accurate rounding, full chroma interpolation).
DecodedPicture toBgra(const AVFrame* f, AVRational tb)
{
    DecodedPicture pic;
    SwsContext* sws = sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                     AV_PIX_FMT_BGRA, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                     nullptr, nullptr, nullptr);
    if (!sws) {
        pic.error = "no converter";
        return pic;
    }
    pic.width = f->width;
    pic.height = f->height;
    pic.pts = f->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f->best_effort_timestamp * av_q2d(tb);
    pic.bgra.assign(size_t(f->width) * f->height * 4, 0);
    uint8_t* dst[4] = {pic.bgra.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {f->width * 4, 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    sws_freeContext(sws);
    pic.ok = true;
    return pic;
}

DecodedPicture decodeVideoFrame(const std::string& path, int index)
{
    DecodedPicture pic;
    InputPtr ctx = openInput(path, pic.error);
    if (!ctx)
        return pic;
    int stream = -1;
    CodecPtr dec = openDecoder(ctx.get(), AVMEDIA_TYPE_VIDEO, stream, pic.error);
    if (!dec)
        return pic;
    const AVRational tb = ctx->streams[stream]->time_base;
    int seen = 0;
    decodeAll(ctx.get(), dec.get(), stream, [&](AVFrame* f) {
        if (seen++ < index)
            return true;
        pic = toBgra(f, tb);
        return false;
    });
    if (!pic.ok && pic.error.empty())
        pic.error = "the stream has only " + std::to_string(seen) + " pictures";
    return pic;
}

std::vector<DecodedPicture> decodeVideoFrames(const std::string& path)
{
    std::vector<DecodedPicture> pictures;
    std::string error;
    InputPtr ctx = openInput(path, error);
    int stream = -1;
    CodecPtr dec = ctx ? openDecoder(ctx.get(), AVMEDIA_TYPE_VIDEO, stream, error) : nullptr;
    if (!dec)
        return pictures;
    const AVRational tb = ctx->streams[stream]->time_base;
    decodeAll(ctx.get(), dec.get(), stream, [&](AVFrame* f) {
        pictures.push_back(toBgra(f, tb));
        return true;
    });
    return pictures;
}

int countVideoFrames(const std::string& path)
{
    std::string error;
    InputPtr ctx = openInput(path, error);
    if (!ctx)
        return -1;
    int stream = -1;
    CodecPtr dec = openDecoder(ctx.get(), AVMEDIA_TYPE_VIDEO, stream, error);
    if (!dec)
        return -1;
    int count = 0;
    decodeAll(ctx.get(), dec.get(), stream, [&](AVFrame*) {
        ++count;
        return true;
    });
    return count;
}

VideoPackets readVideoPackets(const std::string& path)
{
    VideoPackets result;
    InputPtr ctx = openInput(path, result.error);
    if (!ctx)
        return result;
    int stream = -1;
    CodecPtr dec = openDecoder(ctx.get(), AVMEDIA_TYPE_VIDEO, stream, result.error);
    if (!dec)
        return result;
    // A decoder that reports every flaw instead of hiding it.
    dec->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            ++result.pictures;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(ctx.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == stream) {
            result.sizes.push_back(pkt->size);
            result.keys.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
            if (avcodec_send_packet(dec.get(), pkt.get()) < 0)
                ++result.decodeErrors;
            receive();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    receive();
    result.ok = true;
    return result;
}

std::vector<int16_t> DecodedAudio::toS16() const
{
    std::vector<int16_t> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), [](float v) {
        return int16_t(std::lrint(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
    });
    return out;
}

DecodedAudio decodeAudio(const std::string& path)
{
    DecodedAudio audio;
    InputPtr ctx = openInput(path, audio.error);
    if (!ctx)
        return audio;
    int stream = -1;
    CodecPtr dec = openDecoder(ctx.get(), AVMEDIA_TYPE_AUDIO, stream, audio.error);
    if (!dec)
        return audio;
    audio.sampleRate = dec->sample_rate;
    audio.channels = dec->ch_layout.nb_channels;
    decodeAll(ctx.get(), dec.get(), stream, [&](AVFrame* f) {
        const int ch = f->ch_layout.nb_channels;
        const size_t start = audio.samples.size();
        audio.samples.resize(start + size_t(f->nb_samples) * ch);
        float* out = audio.samples.data() + start;
        const bool planar = av_sample_fmt_is_planar(AVSampleFormat(f->format));
        for (int i = 0; i < f->nb_samples; ++i)
            for (int c = 0; c < ch; ++c) {
                const int at = planar ? i : i * ch + c;
                const uint8_t* plane = f->extended_data[planar ? c : 0];
                float v = 0;
                switch (av_get_packed_sample_fmt(AVSampleFormat(f->format))) {
                case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float*>(plane)[at]; break;
                case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t*>(plane)[at] / 32768.0f; break;
                case AV_SAMPLE_FMT_S32: v = reinterpret_cast<const int32_t*>(plane)[at] / 2147483648.0f; break;
                case AV_SAMPLE_FMT_DBL: v = float(reinterpret_cast<const double*>(plane)[at]); break;
                default: break;
                }
                out[size_t(i) * ch + c] = v;
            }
        return true;
    });
    audio.ok = true;
    return audio;
}

} // namespace mp4probe
