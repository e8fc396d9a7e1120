// SPDX-License-Identifier: GPL-2.0-or-later
// Encodes about five seconds of a moving test picture and a 440 Hz tone into an MP4 file,
// feeding the encoder the way a recording does: one BGRA picture per frame slot and the
// audio of that slot as interleaved 16-bit PCM.
#include <zmav/zm_avencoder.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFps = 25;
constexpr int kSeconds = 5;
constexpr int kRate = 44100;
constexpr int kChannels = 2;

// Colour bars with a white square travelling left to right and a frame counter stripe.
void paintPicture(std::vector<uint8_t>& bgra, int frame)
{
    static const uint8_t bars[8][3] = {{235, 235, 235}, {16, 235, 235}, {235, 235, 16}, {16, 235, 16},
                                       {235, 16, 235},  {16, 16, 235},  {235, 16, 16},  {16, 16, 16}};
    const int square = 48;
    const int sx = frame * (kWidth - square) / (kFps * kSeconds);
    const int sy = (kHeight - square) / 2;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &bgra[(size_t(y) * kWidth + x) * 4];
            const uint8_t* bar = bars[x * 8 / kWidth];
            const bool inSquare = x >= sx && x < sx + square && y >= sy && y < sy + square;
            const bool stripe = y >= kHeight - 8 && x < frame * kWidth / (kFps * kSeconds);
            const uint8_t level = inSquare || stripe ? 255 : 0;
            p[0] = inSquare || stripe ? level : bar[0];
            p[1] = inSquare || stripe ? level : bar[1];
            p[2] = inSquare || stripe ? level : bar[2];
            p[3] = 255;
        }
}

void fillTone(std::vector<int16_t>& pcm, int64_t firstSample)
{
    const size_t frames = pcm.size() / kChannels;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(firstSample + int64_t(i)) / kRate;
        const int16_t v = int16_t(12000 * std::sin(2 * M_PI * 440 * t));
        for (int c = 0; c < kChannels; ++c)
            pcm[i * kChannels + c] = v;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.mp4\n", argv[0]);
        return 2;
    }
    // x264's statistics are not for the user of a demo.
    av_log_set_level(AV_LOG_ERROR);
    ZM_MovieInfo info;
    info.FrameFormat = FRAME_BGRA;
    info.width = kWidth;
    info.height = kHeight;
    info.frameRate = kFps;
    info.gopSize = kFps;
    info.videoBitRate = 1500000;
    info.audioSampleRate = kRate;
    info.channels = kChannels;
    info.has_audio_video = ZM_AUDIO_VIDEO;
    if (std::strlen(argv[1]) >= sizeof info.save_path) {
        std::fprintf(stderr, "murovent-demo: output path longer than %zu bytes\n", sizeof info.save_path - 1);
        return 1;
    }
    std::strcpy(info.save_path, argv[1]);

    ZM::ZM_AVEncoder encoder(ZM_AUDIO_VIDEO);
    try {
        encoder.init(&info);
    } catch (const std::string& message) {
        std::fprintf(stderr, "murovent-demo: cannot create %s: %s\n", argv[1], message.c_str());
        return 1;
    }
    std::vector<uint8_t> picture(size_t(kWidth) * kHeight * 4);
    const int samplesPerFrame = kRate / kFps;
    std::vector<int16_t> pcm(size_t(samplesPerFrame) * kChannels);
    for (int frame = 0; frame < kFps * kSeconds; ++frame) {
        paintPicture(picture, frame);
        encoder.writeVideoFrame(picture.data(), int(picture.size()));
        fillTone(pcm, int64_t(frame) * samplesPerFrame);
        encoder.writeAudioFrame(reinterpret_cast<const unsigned char*>(pcm.data()), int(pcm.size() * 2));
    }
    encoder.uninit();

    struct stat st {};
    if (stat(argv[1], &st) != 0 || st.st_size == 0) {
        std::fprintf(stderr, "murovent-demo: %s was not written\n", argv[1]);
        return 1;
    }
    std::printf("murovent-demo: wrote %s (%d pictures %dx%d at %d fps, %.2f s of 440 Hz tone, %lld bytes)\n",
                argv[1], int(encoder.frameSlots()), kWidth, kHeight, kFps,
                double(kFps * kSeconds * samplesPerFrame) / kRate, static_cast<long long>(st.st_size));
    return 0;
}
