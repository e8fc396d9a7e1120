// SPDX-License-Identifier: GPL-2.0-or-later
// Records desktop-like 1920 x 1080 pictures through the C interface the way the program does
// (a grab thread at the frame rate, optionally real-time sound) and reports what the library
// costs: CPU seconds per recorded frame, whether every frame slot made it into the file, and
// the peak resident memory.
//
//   bench_manager [seconds] [fps...]   default: 8 s at 30 fps, then the sustainable-rate search

#include <zmav/zmav.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kW = 1920;
constexpr int kH = 1080;

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A desktop: a gradient wallpaper, two windows full of text-like glyph rows, a task bar. Each
// frame scrolls the text of one window by a line and moves a cursor-sized block, so the
// encoder sees a typical mix of still areas and changing ones.
class Desktop {
public:
    Desktop() : m_px(size_t(kW) * kH * 4)
    {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                set(x, y, uint8_t(90 + y / 12), uint8_t(60 + x / 24), uint8_t(40 + (x + y) / 40));
        window(100, 80, 900, 700, 0);
        window(1050, 200, 780, 600, 5);
        for (int y = kH - 40; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                set(x, y, 40, 40, 48);
    }

    const std::vector<unsigned char>& frame(long n)
    {
        text(1050, 200, 780, 600, int(n % 1000)); // the scrolling window
        const int cx = int(200 + (n * 7) % 1500), cy = int(300 + (n * 3) % 500);
        block(m_cursorX, m_cursorY, false);
        block(cx, cy, true);
        m_cursorX = cx;
        m_cursorY = cy;
        return m_px;
    }

private:
    void set(int x, int y, uint8_t b, uint8_t g, uint8_t r)
    {
        unsigned char* p = &m_px[(size_t(y) * kW + x) * 4];
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = 255;
    }

    void window(int x0, int y0, int w, int h, int scroll)
    {
        for (int y = y0; y < y0 + 24; ++y)
            for (int x = x0; x < x0 + w; ++x)
                set(x, y, 160, 110, 50);
        text(x0, y0, w, h, scroll);
    }

    void text(int x0, int y0, int w, int h, int scroll)
    {
        for (int y = y0 + 24; y < y0 + h; ++y) {
            const int line = (y - y0 + scroll * 3) / 18, row = (y - y0 + scroll * 3) % 18;
            for (int x = x0; x < x0 + w; ++x) {
                const int col = (x - x0) / 9;
                const bool ink = row > 3 && row < 14 && ((col * 31 + line * 17) % 7) != 0 &&
                                 ((x * 13 + row * 7 + line) % 5) < 2 && col % 12 != 11;
                ink ? set(x, y, 30, 30, 30) : set(x, y, 250, 250, 250);
            }
        }
    }

    void block(int x0, int y0, bool draw)
    {
        if (x0 < 0)
            return;
        for (int y = y0; y < y0 + 20; ++y)
            for (int x = x0; x < x0 + 12; ++x)
                draw ? set(x, y, 255, 255, 255) : set(x, y, uint8_t(90 + y / 12), uint8_t(60 + x / 24), uint8_t(40 + (x + y) / 40));
    }

    std::vector<unsigned char> m_px;
    int m_cursorX = -1;
    int m_cursorY = -1;
};

struct Result {
    double wall = 0;
    double slots = 0;        // frame slots in the file
    long pictures = 0;       // pictures the library accepted
    double processCpu = 0;   // whole process during the recording
    double producerCpu = 0;  // the picture/sound generators (not the library)
};

// Frame slots of the file's video track: its duration in frames.
double slotsInFile(const std::string& path, int fps)
{
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0)
        return 0;
    avformat_find_stream_info(in, nullptr);
    double slots = 0;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && st->duration != AV_NOPTS_VALUE)
            slots = double(st->duration) * av_q2d(st->time_base) * fps;
    }
    avformat_close_input(&in);
    return slots;
}

Result record(Desktop& desktop, int fps, double seconds, bool withSound)
{
    const std::string path = "/tmp/bench_manager_" + std::to_string(getpid()) + ".mp4";
    ZM_MovieInfo info;
    info.FrameFormat = FRAME_BGRA;
    info.frameRate = fps;
    info.gopSize = fps * 2;
    info.width = kW;
    info.height = kH;
    info.videoBitRate = int(kW * kH * 1.5 * 0.3 * 10); // the program's 0.3 quality at 10x
    info.audioSampleRate = 48000;
    info.channels = 2;
    info.has_audio_video = withSound ? ZM_AUDIO_VIDEO : ZM_VIDEO;
    std::snprintf(info.save_path, sizeof info.save_path, "%s", path.c_str());
    if (!ZMAV_init(nullptr, nullptr, nullptr, info)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }

    Result r;
    std::atomic<bool> quit{false};
    std::atomic<long> pictures{0};
    std::atomic<double> producerCpu{0};
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    const auto t0 = Clock::now();
    ZMAV_Start(nullptr, nullptr);
    std::thread grab([&] {
        for (long k = 0; !quit; ++k) {
            const double c0 = threadCpuSeconds();
            const auto& px = desktop.frame(k);
            producerCpu = producerCpu + (threadCpuSeconds() - c0);
            pictures += ZMAV_EncodeVideoFrame(nullptr, nullptr, px.data(), int(px.size()));
            std::this_thread::sleep_until(t0 + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>((k + 1.0) / fps)));
        }
    });
    std::thread sound;
    if (withSound)
        sound = std::thread([&] {
            std::vector<int16_t> pcm(480 * 2); // 10 ms chunks like a sound server delivers
            for (long k = 0; !quit; ++k) {
                for (int i = 0; i < 480; ++i)
                    pcm[size_t(i) * 2] = pcm[size_t(i) * 2 + 1] =
                        int16_t(6000 * std::sin(2 * M_PI * 440 * double(k * 480 + i) / 48000));
                ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<unsigned char*>(pcm.data()),
                                      int(pcm.size() * 2));
                std::this_thread::sleep_until(t0 + std::chrono::milliseconds(10 * (k + 1)));
            }
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    r.wall = std::chrono::duration<double>(Clock::now() - t0).count(); // the recorded span
    ZMAV_Stop(nullptr, nullptr);
    r.processCpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    quit = true;
    grab.join();
    if (sound.joinable())
        sound.join();
    r.producerCpu = producerCpu;
    r.pictures = pictures;
    r.slots = slotsInFile(path, fps);
    std::remove(path.c_str());
    return r;
}

void report(const char* what, int fps, const Result& r)
{
    const double expected = r.wall * fps;
    std::printf("%-22s %3d fps %5.1f s: slots %6.0f of %6.0f (%5.1f %%), new pictures %5ld, "
                "CPU %5.2f ms/frame (library %5.2f ms)\n",
                what, fps, r.wall, r.slots, expected, 100 * r.slots / expected, r.pictures,
                1000 * r.processCpu / std::max(1.0, r.slots),
                1000 * (r.processCpu - r.producerCpu) / std::max(1.0, r.slots));
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8;
    std::vector<int> rates;
    for (int i = 2; i < argc; ++i)
        rates.push_back(std::atoi(argv[i]));
    av_log_set_level(AV_LOG_QUIET);
    Desktop desktop;

    report("video only", 30, record(desktop, 30, seconds, false));
    report("video and sound", 30, record(desktop, 30, seconds, true));

    // A rate is sustained when the file holds at least 99.5 % of the slots the wall clock asks
    // for (less the one that may just be due at the stop) and the grab thread got its pictures
    // in (the library never held it back for long).
    if (rates.empty())
        rates = {30, 45, 60, 90, 120, 150, 180, 240};
    int best = 0;
    for (int fps : rates) {
        const Result r = record(desktop, fps, seconds, false);
        report("sustain search", fps, r);
        const bool kept = r.slots >= 0.995 * r.wall * fps - 1 && r.pictures >= 0.97 * r.wall * fps;
        if (!kept)
            break;
        best = fps;
    }
    std::printf("highest sustained rate: %d fps\n", best);

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak resident memory: %.1f MB\n", double(ru.ru_maxrss) / 1024);
    return 0;
}
