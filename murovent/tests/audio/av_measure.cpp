// SPDX-License-Identifier: GPL-2.0-or-later
#include "av_measure.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "mp4_probe.h"
#include "tone_analysis.h"

namespace avmeasure {

namespace {

struct Level {
    double pts;
    double luma;
};

double meanLuma(const AVFrame* f)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < f->height; y += 4)
        for (int x = 0; x < f->width; x += 4, ++n)
            sum += f->data[0][y * f->linesize[0] + x];
    return n ? sum / n : 0;
}

// Mean brightness of every picture of the video stream, in presentation order.
std::vector<Level> videoLevels(const std::string& path, std::string& error)
{
    std::vector<Level> levels;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return levels;
    }
    avformat_find_stream_info(fmt, nullptr);
    const int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVCodecContext* dec = nullptr;
    if (index >= 0) {
        const AVStream* st = fmt->streams[index];
        dec = avcodec_alloc_context3(avcodec_find_decoder(st->codecpar->codec_id));
        avcodec_parameters_to_context(dec, st->codecpar);
        if (avcodec_open2(dec, dec->codec, nullptr) < 0)
            avcodec_free_context(&dec);
    }
    if (!dec) {
        error = "no decodable video stream";
        avformat_close_input(&fmt);
        return levels;
    }
    const double tb = av_q2d(fmt->streams[index]->time_base);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(dec, frame) == 0)
            levels.push_back({frame->best_effort_timestamp * tb, meanLuma(frame)});
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == index && avcodec_send_packet(dec, pkt) == 0)
            drain();
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    std::sort(levels.begin(), levels.end(), [](const Level& a, const Level& b) { return a.pts < b.pts; });
    return levels;
}

}  // namespace

double Offsets::median() const
{
    if (offsets.empty())
        return NAN;
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

double Offsets::worst() const
{
    double w = 0;
    for (double o : offsets)
        w = std::max(w, std::fabs(o));
    return w;
}

Offsets measure(const std::string& path)
{
    Offsets r;
    const std::vector<Level> levels = videoLevels(path, r.error);
    for (size_t i = 1; i < levels.size(); ++i)
        if (levels[i].luma > 128 && levels[i - 1].luma <= 128)
            r.flashes.push_back(levels[i].pts);
    const mp4probe::DecodedAudio audio = mp4probe::decodeAudio(path);
    if (!audio.ok) {
        r.error = audio.error;
        return r;
    }
    r.beeps = tone::onsets(tone::channelOf(audio.samples, audio.channels, 0), audio.sampleRate,
                           0.1, 0.3);
    for (double flash : r.flashes) {
        double best = 1;
        for (double beep : r.beeps)
            if (std::fabs(beep - flash) < std::fabs(best))
                best = beep - flash;
        if (std::fabs(best) < 0.5)
            r.offsets.push_back(best);
    }
    return r;
}

}  // namespace avmeasure
