// SPDX-License-Identifier: GPL-2.0-or-later
// longrun_bench SECONDS DIR: records SECONDS of desktop-like 1920x1080 pictures at 30 fps with
// 48 kHz stereo sound in real time through the library, once with the fragmented MP4 writer
// (the recording path) and once with the writer that keeps its index in memory until the end,
// and prints for each: resident memory at the start, middle and end, CPU per frame slot, and
// the file's length against the wall time.
#include "recording_helpers.h"

#include "mp4_probe.h"
#include "zm_currentrecording.h"

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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: longrun_bench SECONDS DIR\n");
        return 2;
    }
    const double seconds = std::stod(argv[1]);
    const std::string dir = argv[2];
    record(true, seconds, dir + "/fragmented.mp4");
    record(false, seconds, dir + "/oneindex.mp4");
    return 0;
}
