// SPDX-License-Identifier: GPL-2.0-or-later
// Pictures per second through ZM_AVEncoder::writeVideoFrame (copy, colour conversion, x264
// "ultrafast"/"zerolatency", MP4 write) on two kinds of content, what a slot repeating the
// picture before it costs (encoded again, or as a repeat frame), and the conversion step alone
// with swscale, libyuv and, for reference, a plain copy of the same bytes.
#include <zmav/zm_avencoder.h>

#include <benchmark/benchmark.h>
#include <libyuv/convert.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kPictures = 16;

// A desktop: grey background, a few flat "windows" with text-like stripes, and one 320x200
// region (a video player, say) whose content changes every picture.
std::vector<std::vector<uint8_t>> desktopPictures(int w, int h)
{
    std::vector<uint8_t> base(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &base[(size_t(y) * w + x) * 4];
            uint8_t v = uint8_t(60 + y * 40 / h);
            const bool window = (x > w / 10 && x < w / 2 && y > h / 8 && y < h * 3 / 4)
                                || (x > w / 2 + 40 && x < w - 60 && y > h / 5 && y < h - 80);
            if (window)
                v = (y % 18 < 12 && x % 9 < 6 && (x / 70 + y / 18) % 3) ? 40 : 245;
            p[0] = v;
            p[1] = v;
            p[2] = uint8_t(window ? v : v + 10);
            p[3] = 255;
        }
    std::vector<std::vector<uint8_t>> pics(kPictures, base);
    for (int i = 0; i < kPictures; ++i)
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                uint8_t* p = &pics[i][(size_t(y + h / 3) * w + x + w / 3) * 4];
                p[0] = uint8_t(x * 3 + i * 16);
                p[1] = uint8_t(y * 2 + i * 8);
                p[2] = uint8_t((x ^ y) + i * 24);
            }
    return pics;
}

// Every pixel changes every picture: a scrolling, textured pattern.
std::vector<std::vector<uint8_t>> motionPictures(int w, int h)
{
    std::vector<std::vector<uint8_t>> pics(kPictures, std::vector<uint8_t>(size_t(w) * h * 4));
    uint32_t seed = 12345;
    for (int i = 0; i < kPictures; ++i)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                uint8_t* p = &pics[i][(size_t(y) * w + x) * 4];
                const int sx = x + i * 7, sy = y + i * 3;
                p[0] = uint8_t((sx * 2 + sy) ^ (seed >> 28));
                p[1] = uint8_t((sx + sy * 3) / 2);
                p[2] = uint8_t(sx * sy / 64 + (seed >> 29));
                p[3] = 255;
            }
    return pics;
}

// A video-only encoder writing into a temporary folder of its own, removed with it.
class BenchEncoder {
public:
    BenchEncoder(int w, int h, int gopSize)
    {
        info.FrameFormat = FRAME_BGRA;
        info.width = w;
        info.height = h;
        info.frameRate = 30;
        info.gopSize = gopSize;
        info.has_audio_video = ZM_VIDEO;
    }
    ~BenchEncoder()
    {
        encoder.reset();
        std::remove(m_file.c_str());
        rmdir(m_dir);
    }

    // Opens the file; a failure skips the benchmark with its reason.
    bool open(benchmark::State& state)
    {
        if (!mkdtemp(m_dir)) {
            state.SkipWithError("no temporary folder");
            return false;
        }
        m_file = std::string(m_dir) + "/bench.mp4";
        std::snprintf(info.save_path, sizeof info.save_path, "%s", m_file.c_str());
        try {
            encoder->init(&info);
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            return false;
        }
        return true;
    }

    ZM_MovieInfo info;
    std::unique_ptr<ZM::ZM_AVEncoder> encoder = std::make_unique<ZM::ZM_AVEncoder>(ZM_VIDEO);

private:
    char m_dir[32] = "/tmp/zmav_bench_XXXXXX";
    std::string m_file;
};

void writeVideoFrame(benchmark::State& state, bool motion)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto pics = motion ? motionPictures(w, h) : desktopPictures(w, h);
    BenchEncoder bench(w, h, 30);
    bench.info.videoBitRate = int(w * h * 1.5 * 0.3);
    if (!bench.open(state))
        return;
    int i = 0;
    for (auto _ : state) {
        bench.encoder->writeVideoFrame(pics[i].data(), int(pics[i].size()));
        i = (i + 1) % kPictures;
    }
    state.SetItemsProcessed(state.iterations());
}

// A slot that repeats the picture before it: encoded again by x264 (what an unchanged picture
// costs the encoder), or stored as a repeat frame. CPU time is the whole process's, x264's
// threads included.
void repeatPicture(benchmark::State& state, bool encodeAgain)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto pics = desktopPictures(w, h);
    BenchEncoder bench(w, h, 1 << 30); // no key frames in between: only the repeats are measured
    if (!bench.open(state))
        return;
    ZM::ZM_AVEncoder& enc = *bench.encoder;
    std::vector<unsigned char> yuv(size_t(enc.yuvPictureBytes()));
    enc.toYuv(pics[0].data(), int(pics[0].size()), yuv.data());
    // The encoder settles on the picture first, as it would after a change.
    for (int i = 0; i < 8; ++i)
        enc.writeYuvFrame(yuv.data());
    for (auto _ : state) {
        if (encodeAgain)
            enc.writeYuvFrame(yuv.data());
        else
            enc.repeatYuvFrame(yuv.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Repeat_EncodedAgain(benchmark::State& state) { repeatPicture(state, true); }
void BM_Repeat_RepeatFrame(benchmark::State& state) { repeatPicture(state, false); }

void BM_WriteVideoFrame_Desktop(benchmark::State& state) { writeVideoFrame(state, false); }
void BM_WriteVideoFrame_Motion(benchmark::State& state) { writeVideoFrame(state, true); }

struct Planes {
    explicit Planes(int w, int h)
        : frame(av_frame_alloc())
    {
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = w;
        frame->height = h;
        av_frame_get_buffer(frame, 32);
    }
    ~Planes() { av_frame_free(&frame); }
    AVFrame* frame;
};

void convertSwscale(benchmark::State& state, int flags)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto pics = desktopPictures(w, h);
    Planes dst(w, h);
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr);
    const int stride = w * 4;
    for (auto _ : state) {
        const uint8_t* src[1] = {pics[0].data()};
        sws_scale(sws, src, &stride, 0, h, dst.frame->data, dst.frame->linesize);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
    state.SetItemsProcessed(state.iterations());
}

void BM_Convert_SwscaleFastBilinear(benchmark::State& state) { convertSwscale(state, SWS_FAST_BILINEAR); }
void BM_Convert_SwscaleAccurate(benchmark::State& state)
{
    convertSwscale(state, SWS_BILINEAR | SWS_ACCURATE_RND);
}

void BM_Convert_LibyuvARGBToI420(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto pics = desktopPictures(w, h);
    Planes dst(w, h);
    AVFrame* f = dst.frame;
    for (auto _ : state) {
        libyuv::ARGBToI420(pics[0].data(), w * 4, f->data[0], f->linesize[0], f->data[1], f->linesize[1],
                           f->data[2], f->linesize[2], w, h);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Memcpy(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto pics = desktopPictures(w, h);
    std::vector<uint8_t> dst(pics[0].size());
    for (auto _ : state) {
        std::memcpy(dst.data(), pics[0].data(), dst.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.size()));
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

struct Quiet {
    Quiet() { av_log_set_level(AV_LOG_ERROR); }
} quiet;

} // namespace

BENCHMARK(BM_WriteVideoFrame_Desktop)->Apply(sizes)->UseRealTime();
BENCHMARK(BM_WriteVideoFrame_Motion)->Apply(sizes)->UseRealTime();
BENCHMARK(BM_Repeat_EncodedAgain)->Apply(sizes)->MeasureProcessCPUTime();
BENCHMARK(BM_Repeat_RepeatFrame)->Apply(sizes)->MeasureProcessCPUTime();
BENCHMARK(BM_Convert_SwscaleFastBilinear)->Apply(sizes);
BENCHMARK(BM_Convert_SwscaleAccurate)->Apply(sizes);
BENCHMARK(BM_Convert_LibyuvARGBToI420)->Apply(sizes);
BENCHMARK(BM_Memcpy)->Apply(sizes);

BENCHMARK_MAIN();
