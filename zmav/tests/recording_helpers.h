// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Capture-like producers for the recording tests: threads that hand pictures and PCM sound
// to the library through its C interface the way the program's capture threads do.

#include <zmav/zmav.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace rec {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

inline void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Sanitizer builds run several times slower; timing bounds widen with this factor.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 3.0;
#else
constexpr double kSlowdown = 1.0;
#endif

// A private folder for one test program's files, removed with the object.
class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/zmav-test-XXXXXX";
        m_path = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir()
    {
        if (m_path != "/tmp")
            std::filesystem::remove_all(m_path);
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline ZM_MovieInfo movieInfo(const std::string& path, int streams, int fps = 10, int width = 320,
                              int height = 240)
{
    ZM_MovieInfo info;
    info.FrameFormat = FRAME_BGRA;
    info.frameRate = fps;
    info.gopSize = fps;
    info.width = width;
    info.height = height;
    info.videoBitRate = 800000;
    info.audioSampleRate = 48000;
    info.channels = 2;
    info.has_audio_video = streams;
    std::snprintf(info.save_path, sizeof info.save_path, "%s", path.c_str());
    return info;
}

// A desktop-like BGRA picture: flat background, a bar that moves with n, some text-like noise.
inline std::vector<unsigned char> picture(int width, int height, int n, uint8_t b = 200,
                                          uint8_t g = 120, uint8_t r = 40)
{
    std::vector<unsigned char> px(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &px[(size_t(y) * width + x) * 4];
            const bool bar = ((x + 4 * n) % width) < width / 8;
            const bool glyph = y > height / 2 && ((x * 7 + y * 13) % 23) < 3;
            p[0] = bar ? 255 : glyph ? 0 : b;
            p[1] = bar ? 255 : glyph ? 0 : g;
            p[2] = bar ? 255 : glyph ? 0 : r;
            p[3] = 255;
        }
    return px;
}

// Hands pictures to ZMAV_EncodeVideoFrame at a steady rate on its own thread, like the grab
// thread (which blocks inside the call while the library's video slots are full).
class VideoProducer {
public:
    VideoProducer(int width, int height, double fps)
        : m_pictures{picture(width, height, 0), picture(width, height, 1)}
    {
        m_thread = std::thread([=] { run(fps); });
    }
    ~VideoProducer() { stop(); }
    void stop()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int accepted() const { return m_accepted; }
    int refused() const { return m_refused; }

private:
    void run(double fps)
    {
        const auto start = Clock::now();
        for (long k = 0; !m_quit; ++k) {
            const auto& px = m_pictures[size_t(k % 2)];
            if (ZMAV_EncodeVideoFrame(nullptr, nullptr, px.data(), int(px.size())))
                ++m_accepted;
            else
                ++m_refused;
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>((k + 1) / fps)));
        }
    }

    std::vector<std::vector<unsigned char>> m_pictures;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_refused{0};
    std::thread m_thread;
};

// A sine tone delivered to ZMAV_EncodeAudioFrame in chunks of random sizes, at the real-time
// rate or as fast as the library takes it (then a refused chunk is offered again, so nothing
// is lost).
class AudioProducer {
public:
    AudioProducer(int sampleRate, int channels, double hz, bool realTime, double seconds = 1e9)
        : m_rate(sampleRate), m_channels(channels), m_hz(hz)
    {
        m_thread = std::thread([=] { run(realTime, seconds); });
    }
    ~AudioProducer() { stop(); }
    void stop()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    long long acceptedBytes() const { return m_acceptedBytes; }
    int refusedChunks() const { return m_refused; }
    static constexpr double kAmplitude = 0.5;

private:
    std::vector<unsigned char> chunk(long long firstFrame, int frames) const
    {
        std::vector<unsigned char> bytes(size_t(frames) * m_channels * 2);
        auto* s = reinterpret_cast<int16_t*>(bytes.data());
        for (int i = 0; i < frames; ++i) {
            const double t = double(firstFrame + i) / m_rate;
            const auto v = int16_t(std::lround(kAmplitude * 32767 * std::sin(2 * M_PI * m_hz * t)));
            for (int c = 0; c < m_channels; ++c)
                s[size_t(i) * m_channels + c] = v;
        }
        return bytes;
    }

    void run(bool realTime, double seconds)
    {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> frames(80, 1500);
        const auto start = Clock::now();
        long long sent = 0;
        const long long total = (long long)(seconds * m_rate);
        while (!m_quit && sent < total) {
            const int n = int(std::min<long long>(frames(rng), total - sent));
            const auto bytes = chunk(sent, n);
            bool ok;
            while (!(ok = ZMAV_EncodeAudioFrame(nullptr, nullptr, bytes.data(), int(bytes.size()))) &&
                   !realTime && !m_quit)
                sleepMs(1);
            if (ok)
                m_acceptedBytes += (long long)bytes.size();
            else
                ++m_refused;
            sent += n;
            if (realTime)
                std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(double(sent) / m_rate)));
        }
    }

    const int m_rate;
    const int m_channels;
    const double m_hz;
    std::atomic<bool> m_quit{false};
    std::atomic<long long> m_acceptedBytes{0};
    std::atomic<int> m_refused{0};
    std::thread m_thread;
};

// Returns once every audio chunk queued so far has been taken by the encoding thread: 16
// empty chunks can only all get into the 16 slots after the data queued before them has left.
inline bool waitAudioTaken(double timeoutSeconds = 20)
{
    static const unsigned char none = 0;
    const auto start = Clock::now();
    for (int accepted = 0; accepted < 16;) {
        if (ZMAV_EncodeAudioFrame(nullptr, nullptr, &none, 0))
            ++accepted;
        else if (secondsSince(start) > timeoutSeconds)
            return false;
        else
            sleepMs(1);
    }
    return true;
}

} // namespace rec
