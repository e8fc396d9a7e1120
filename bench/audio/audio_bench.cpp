// SPDX-License-Identifier: GPL-2.0-or-later
// audio_bench record SECONDS FILE   records the whole screen at 30 fps with system sound while a
//                                   client flashes the screen and beeps once a second; prints
//                                   CPU seconds, frames and the beep/flash offsets
// audio_bench flash SECONDS         only the flashing, beeping client (for another recorder)
// audio_bench measure FILE          prints the beep/flash offsets of a file
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <zmav/zmav.h>

#include "av_measure.h"
#include "flash_beep_client.h"
#include "mp4_probe.h"
#include "zm_capture.h"

namespace {

constexpr int Fps = 30;

double cpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool toVideo(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count);
}

bool toAudio(const char* bytes, int count)
{
    return ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count);
}

// Beeps from 2.5 s on (the fresh test sound server's output needs a moment), one a second.
std::vector<double> instants(double seconds)
{
    std::vector<double> at;
    for (double t = 2.5; t < seconds - 0.5; t += 1.0)
        at.push_back(t);
    return at;
}

void printOffsets(const char* who, const std::string& path)
{
    const avmeasure::Offsets m = avmeasure::measure(path);
    if (!m.error.empty()) {
        std::printf("%s: cannot measure: %s\n", who, m.error.c_str());
        return;
    }
    std::printf("%s: A/V offset (beep - flash) over %zu pairs (%zu flashes, %zu beeps found): "
                "median %.0f ms, worst %.0f ms\n", who, m.offsets.size(), m.flashes.size(),
                m.beeps.size(), m.median() * 1000, m.worst() * 1000);
}

void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

int record(double seconds, const std::string& path)
{
    FlashBeepClient client(instants(seconds));
    if (!client.start()) {
        std::fprintf(stderr, "no display or sound server\n");
        return 1;
    }
    ZM_MovieInfo info;
    info.has_audio_video = ZM_AUDIO_VIDEO;
    info.FrameFormat = FRAME_BGRA;
    info.width = 1920;
    info.height = 1080;
    info.frameRate = Fps;
    info.gopSize = Fps;
    info.videoBitRate = int(1920 * 1080 * 1.5 * 0.3);
    std::strncpy(info.save_path, path.c_str(), sizeof(info.save_path) - 1);
    int rate = 0, channels = 0, bits = 0;
    if (!Capture_CreateScreen(0, 0, info.width, info.height, Fps, false) ||
        !Capture_CreateSysAudio(&rate, &channels, &bits)) {
        std::fprintf(stderr, "cannot create the sources: %s\n", qPrintable(Capture_AudioError()));
        return 1;
    }
    info.audioSampleRate = rate;
    info.channels = channels;
    info.audioFrom = 1;
    Capture_SetVideoCallback(&toVideo);
    Capture_SetAudioCallback(&toAudio);
    if (!ZMAV_init(nullptr, nullptr, nullptr, info))
        return 1;
    const double cpu0 = cpuSeconds();
    ZMAV_Start(nullptr, nullptr);
    Capture_StartAudio();
    Capture_StartScreen();
    spin(int(seconds * 1000));
    ZMAV_Stop(nullptr, nullptr);
    Capture_StopAudio();
    Capture_StopScreen();
    const double cpu = cpuSeconds() - cpu0;
    client.wait();

    const mp4probe::Mp4Info probe = mp4probe::probeMp4(path);
    const mp4probe::StreamProbe* video = probe.stream("video");
    const long long frames = video ? video->packets : 0;
    std::printf("murovent: %.2f CPU s, %lld frames (%.0f expected), %.2f ms CPU per frame\n", cpu,
                frames, seconds * Fps, frames ? cpu * 1000 / frames : 0.0);
    printOffsets("murovent", path);
    return 0;
}

int flash(double seconds)
{
    FlashBeepClient client(instants(seconds));
    if (!client.start())
        return 1;
    client.wait();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "record" && argc == 4)
        return record(std::atof(argv[2]), argv[3]);
    if (mode == "flash" && argc == 3)
        return flash(std::atof(argv[2]));
    if (mode == "measure" && argc == 3) {
        printOffsets("file", argv[2]);
        return 0;
    }
    std::fprintf(stderr, "usage: audio_bench record SECONDS FILE | flash SECONDS | measure FILE\n");
    return 2;
}
