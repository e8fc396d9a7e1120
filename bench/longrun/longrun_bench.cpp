// SPDX-License-Identifier: GPL-2.0-or-later
// longrun_bench SECONDS DIR: records SECONDS of desktop-like 1920x1080 pictures at 30 fps with
// 48 kHz stereo sound in real time through the library, once with the fragmented MP4 writer
// (the recording path) and once with the writer that keeps its index in memory until the end,
// and prints for each: resident memory at the start, middle and end, CPU per frame slot, and
// the file's length against the wall time.
// longrun_bench mux FILE: writes FILE's packets again with each writer (the fragmented one
// including its finish in place at the end) and prints the CPU each costs per video frame: the
// whole difference between the two recording paths, measured without the noise of capture and
// encoding.
#include "recording_helpers.h"

#include "mp4_probe.h"
#include "zm_currentrecording.h"
#include "zm_mp4finisher.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

double residentMb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void record(bool fragmented, double seconds, const std::string& path)
{
    ZM::ZM_EncoderChoices choices;
    choices.fragmented = fragmented;
    ZM::ZM_CurrentRecording::instance().setChoices(choices);
    ZM_MovieInfo info = rec::movieInfo(path, ZM_AUDIO_VIDEO, 30, 1920, 1080);
    info.videoBitRate = 0;
    info.gopSize = 300;
    if (!ZMAV_init(nullptr, nullptr, nullptr, info)) {
        std::printf("cannot open %s\n", path.c_str());
        return;
    }
    ZMAV_Start(nullptr, nullptr);
    const double cpu0 = cpuSeconds();
    const auto t0 = rec::Clock::now();
    rec::VideoProducer video(1920, 1080, 30);
    rec::AudioProducer audio(48000, 2, 440, true);
    double rss[3] = {};
    for (int i = 0; i < 3; ++i) {
        const double at = i == 0 ? std::min(3.0, seconds / 4) : i == 1 ? seconds / 2 : seconds - 0.5;
        while (rec::secondsSince(t0) < at)
            rec::sleepMs(20);
        rss[i] = residentMb();
    }
    while (rec::secondsSince(t0) < seconds)
        rec::sleepMs(5);
    const double wall = rec::secondsSince(t0);
    ZMAV_Stop(nullptr, nullptr);
    video.stop();
    audio.stop();
    const double cpu = cpuSeconds() - cpu0;
    ZMAV_Stats stats{};
    ZMAV_GetStats(nullptr, nullptr, &stats);
    const mp4probe::Mp4Info probed = mp4probe::probeMp4(path);
    std::printf("%-10s RSS %.1f / %.1f / %.1f MB (start/middle/end, %+.1f MB), %.2f ms CPU per frame "
                "(%d slots, %d new pictures), file %.2f s for %.2f s wall (%+.2f %%)%s\n",
                fragmented ? "fragmented" : "one index", rss[0], rss[1], rss[2], rss[2] - rss[0],
                cpu * 1000 / std::max(1, stats.frameSlots), stats.frameSlots, stats.newPictures,
                probed.duration, wall, (probed.duration - wall) * 100 / wall,
                probed.ok ? "" : (" unreadable: " + probed.error).c_str());
}

// CPU seconds to write every packet of `from` into `to` (and finish it in place), or -1.
double remux(const std::string& from, const std::string& to, bool fragmented, int* videoFrames)
{
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    if (avformat_open_input(&in, from.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(in, nullptr) < 0
        || avformat_alloc_output_context2(&out, nullptr, nullptr, to.c_str()) < 0)
        return -1;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* s = avformat_new_stream(out, nullptr);
        avcodec_parameters_copy(s->codecpar, in->streams[i]->codecpar);
        s->codecpar->codec_tag = 0;
        s->time_base = in->streams[i]->time_base;
    }
    AVDictionary* options = nullptr;
    if (fragmented) {
        av_dict_set(&options, "movflags", "+empty_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", "1000000", 0);
    }
    out->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVPacket* packet = av_packet_alloc();
    const double cpu0 = cpuSeconds();
    if (avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(out, &options) < 0)
        return -1;
    *videoFrames = 0;
    while (av_read_frame(in, packet) >= 0) {
        *videoFrames += in->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        av_packet_rescale_ts(packet, in->streams[packet->stream_index]->time_base,
                             out->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        av_interleaved_write_frame(out, packet);
    }
    av_write_trailer(out);
    avio_closep(&out->pb);
    if (fragmented)
        ZM::ZM_Mp4Finisher().finish(to);
    const double cpu = cpuSeconds() - cpu0;
    av_dict_free(&options);
    av_packet_free(&packet);
    avformat_free_context(out);
    avformat_close_input(&in);
    return cpu;
}

// The cheaper of three rounds of each writer, taken in turn.
int mux(const std::string& from)
{
    double best[2] = {1e9, 1e9};
    int frames = 0;
    for (int round = 0; round < 3; ++round)
        for (int fragmented = 0; fragmented < 2; ++fragmented)
            best[fragmented] = std::min(best[fragmented], remux(from, from + ".remux.mp4", fragmented, &frames));
    if (frames == 0)
        return 1;
    std::printf("writer CPU per video frame: fragmented + finish %.1f us, one index %.1f us (%d frames)\n",
                best[1] * 1e6 / frames, best[0] * 1e6 / frames, frames);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "mux")
        return mux(argv[2]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: longrun_bench SECONDS DIR | longrun_bench mux FILE\n");
        return 2;
    }
    const double seconds = std::stod(argv[1]);
    const std::string dir = argv[2];
    record(true, seconds, dir + "/fragmented.mp4");
    record(false, seconds, dir + "/oneindex.mp4");
    return 0;
}
