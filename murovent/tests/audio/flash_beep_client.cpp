// SPDX-License-Identifier: GPL-2.0-or-later
#include "flash_beep_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cmath>
#include <pulse/simple.h>

namespace {

constexpr int Rate = 48000;
constexpr int BlockFrames = Rate / 200;   // 5 ms: the timing grain of the client
constexpr double FlashSeconds = 0.15;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

FlashBeepClient::FlashBeepClient(std::vector<double> instants, int beepHz)
    : m_instants(std::move(instants)), m_beepHz(beepHz)
{
}

FlashBeepClient::~FlashBeepClient()
{
    m_quit = true;
    wait();
    if (m_pulse)
        pa_simple_free(static_cast<pa_simple*>(m_pulse));
    if (m_display)
        XCloseDisplay(static_cast<Display*>(m_display));
}

bool FlashBeepClient::start()
{
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return false;
    m_display = dpy;
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attrs;
    attrs.override_redirect = True;
    attrs.background_pixel = BlackPixel(dpy, screen);
    m_window = XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, DisplayWidth(dpy, screen),
                             DisplayHeight(dpy, screen), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(dpy, m_window);
    XSync(dpy, False);

    const pa_sample_spec format = {PA_SAMPLE_S16LE, Rate, 2};
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(BlockFrames * 4 * 4);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    m_pulse = pa_simple_new(nullptr, "flash-beep", PA_STREAM_PLAYBACK, nullptr, "beeps", &format,
                            nullptr, &attr, &error);
    if (!m_pulse)
        return false;
    m_thread = std::thread(&FlashBeepClient::run, this);
    return true;
}

void FlashBeepClient::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

// Writes the playback stream block by block (the writes block in real time, which paces the
// loop) and switches the window colour when a beep's start is due to be heard.
void FlashBeepClient::run()
{
    Display* dpy = static_cast<Display*>(m_display);
    pa_simple* pulse = static_cast<pa_simple*>(m_pulse);
    const int screen = DefaultScreen(dpy);
    int16_t block[BlockFrames * 2];
    const Clock::time_point t0 = Clock::now();
    size_t next = 0;           // next instant to beep
    long long beepLeft = 0;    // frames of the current beep still to write
    long long phase = 0;
    double flashOn = -1, flashOff = -1;
    auto paint = [&](unsigned long pixel) {
        XSetWindowBackground(dpy, m_window, pixel);
        XClearWindow(dpy, m_window);
        XSync(dpy, False);
    };
    while (!m_quit && (next < m_instants.size() || beepLeft > 0 || flashOff >= 0)) {
        bool beepStarts = false;
        if (beepLeft == 0 && next < m_instants.size() && since(t0) >= m_instants[next]) {
            beepLeft = (long long)(FlashSeconds * Rate);
            beepStarts = true;
            ++next;
        }
        for (int i = 0; i < BlockFrames; ++i) {
            int16_t v = 0;
            if (beepLeft > 0) {
                v = int16_t(16000 * std::sin(2 * M_PI * m_beepHz * phase++ / Rate));
                --beepLeft;
            }
            block[2 * i] = block[2 * i + 1] = v;
        }
        if (pa_simple_write(pulse, block, sizeof(block), nullptr) < 0)
            break;
        if (beepStarts) {
            // The beep's first sample is heard after everything still buffered ahead of it.
            const pa_usec_t latency = pa_simple_get_latency(pulse, nullptr);
            flashOn = since(t0) + latency / 1e6 - double(BlockFrames) / Rate;
            phase = 0;
        }
        const double now = since(t0);
        if (flashOn >= 0 && now >= flashOn) {
            paint(WhitePixel(dpy, screen));
            flashOff = flashOn + FlashSeconds;
            flashOn = -1;
        }
        if (flashOff >= 0 && now >= flashOff) {
            paint(BlackPixel(dpy, screen));
            flashOff = -1;
        }
    }
    m_done = true;
}
