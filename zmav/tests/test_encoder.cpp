// SPDX-License-Identifier: GPL-2.0-or-later
// The encoder writes real MP4 files here; every file is read back and decoded with
// libavformat/libavcodec (support/mp4_probe.h).
#include <zmav/zm_avencoder.h>
#include <zmav/zm_error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "mp4_probe.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace ZM;

namespace {

struct QuietFFmpeg {
    QuietFFmpeg() { av_log_set_level(AV_LOG_ERROR); }
} quietFFmpeg;

class EncoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/zmav_encoder_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    static ZM_MovieInfo movie(const std::string& file, int w, int h, int fps, int avFlags = ZM_AUDIO_VIDEO)
    {
        ZM_MovieInfo info;
        info.FrameFormat = FRAME_BGRA;
        info.width = w;
        info.height = h;
        info.frameRate = fps;
        info.gopSize = fps;
        info.videoBitRate = 2000000;
        info.audioSampleRate = 44100;
        info.channels = 2;
        info.has_audio_video = avFlags;
        std::snprintf(info.save_path, sizeof info.save_path, "%s", file.c_str());
        return info;
    }

    static std::string initError(ZM_AVEncoder& enc, ZM_MovieInfo info)
    {
        try {
            enc.init(&info);
        } catch (const ZM::ZM_Error& error) {
            return error.message();
        }
        return "";
    }

    std::string m_dir;
};

struct Colour {
    uint8_t r, g, b;
};

const Colour kQuadrants[4] = {{220, 30, 40}, {30, 200, 60}, {40, 50, 210}, {235, 235, 235}};

// BGRA picture in four coloured quadrants (top-left, top-right, bottom-left, bottom-right),
// with a bright 16x16 square whose column moves with `shift`.
std::vector<unsigned char> quadrantPicture(int w, int h, int shift = -1)
{
    std::vector<unsigned char> pic(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Colour c = kQuadrants[(y >= h / 2) * 2 + (x >= w / 2)];
            if (shift >= 0 && y < 16 && x >= shift && x < shift + 16)
                c = {255, 255, 0};
            unsigned char* p = &pic[(size_t(y) * w + x) * 4];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 255;
        }
    return pic;
}

void expectColour(const mp4probe::DecodedPicture& pic, int x, int y, Colour want, int tolerance = 6)
{
    const mp4probe::Bgra got = pic.pixel(x, y);
    EXPECT_NEAR(got.r, want.r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(got.g, want.g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(got.b, want.b, tolerance) << "blue at " << x << "," << y;
}

void expectQuadrants(const mp4probe::DecodedPicture& pic)
{
    ASSERT_TRUE(pic.ok) << pic.error;
    const int w = pic.width, h = pic.height;
    expectColour(pic, w / 4, h / 4 + 8, kQuadrants[0]);
    expectColour(pic, 3 * w / 4, h / 4 + 8, kQuadrants[1]);
    expectColour(pic, w / 4, 3 * h / 4, kQuadrants[2]);
    expectColour(pic, 3 * w / 4, 3 * h / 4, kQuadrants[3]);
}

// Interleaved 16-bit stereo sine.
std::vector<unsigned char> tone(int frames, int channels, int rate, double hz, int offset = 0)
{
    std::vector<int16_t> pcm(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[size_t(i) * channels + c] =
                int16_t(10000 * std::sin(2 * M_PI * hz * (i + offset) / rate));
    std::vector<unsigned char> bytes(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    return bytes;
}

long fileSize(const std::string& file)
{
    struct stat st {};
    return stat(file.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

} // namespace

TEST_F(EncoderTest, AudioAndVideoStreamsDecodeWithTheirCountsDurationsAndColours)
{
    const std::string file = path("both.mp4");
    ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
    ASSERT_EQ(initError(enc, movie(file, 320, 240, 25)), "");
    ASSERT_TRUE(enc.isOpen());

    // Two seconds the way the recording thread feeds it: one picture per 1/25 s, audio in
    // chunks of 1764 samples (40 ms) that are not codec frames.
    const int chunk = 1764;
    for (int i = 0; i < 50; ++i) {
        enc.writeVideoFrame(quadrantPicture(320, 240, i * 4).data(), 320 * 240 * 4);
        const std::vector<unsigned char> pcm = tone(chunk, 2, 44100, 440, i * chunk);
        enc.writeAudioFrame(pcm.data(), int(pcm.size()));
    }
    EXPECT_EQ(enc.frameSlots(), 50u);
    EXPECT_EQ(enc.videoPackets(), 50);
    EXPECT_DOUBLE_EQ(enc.videoTime(), 2.0);
    EXPECT_EQ(enc.audioFrames(), 50 * chunk / 1024);
    // FFmpeg's AAC encoder returns each frame's packet one frame late.
    EXPECT_EQ(enc.audioPackets(), enc.audioFrames() - 1);
    EXPECT_DOUBLE_EQ(enc.audioTime(), enc.audioPackets() * 1024.0 / 44100);
    enc.uninit();
    EXPECT_FALSE(enc.isOpen());

    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.streams.size(), 2u);
    const mp4probe::StreamProbe& v = info.streams[0];
    const mp4probe::StreamProbe& a = info.streams[1];
    EXPECT_EQ(v.type, "video");
    EXPECT_EQ(v.codec, "h264");
    EXPECT_EQ(v.width, 320);
    EXPECT_EQ(v.height, 240);
    EXPECT_EQ(v.packets, 50);
    EXPECT_NEAR(v.duration, 2.0, 1e-6);
    EXPECT_NEAR(v.lastPts, 49 / 25.0, 1e-6);
    EXPECT_EQ(a.type, "audio");
    EXPECT_EQ(a.codec, "aac");
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_EQ(a.channels, 2);
    // Every sample given is in the file: the held remainder and the encoder's delay are
    // flushed at the end.
    EXPECT_NEAR(a.duration, 50.0 * chunk / 44100, 0.0011);
    EXPECT_EQ(mp4probe::countVideoFrames(file), 50);

    const mp4probe::DecodedPicture first = mp4probe::decodeVideoFrame(file, 0);
    expectQuadrants(first);
    EXPECT_NEAR(first.pts, 0.0, 1e-6);
    // The moving square is where it was drawn in picture 30 (x = 120 .. 135).
    const mp4probe::DecodedPicture p30 = mp4probe::decodeVideoFrame(file, 30);
    expectQuadrants(p30);
    expectColour(p30, 127, 8, {255, 255, 0}, 12);
    expectColour(p30, 100, 8, kQuadrants[0], 12);

    const mp4probe::DecodedAudio audio = mp4probe::decodeAudio(file);
    ASSERT_TRUE(audio.ok) << audio.error;
    EXPECT_GE(audio.frames(), 50 * chunk);
    // A 440 Hz tone of amplitude 10000: the decoded level is near 10000 / sqrt(2) RMS.
    double sum = 0;
    const std::vector<int16_t> s16 = audio.toS16();
    for (size_t i = 2048 * 2; i < size_t(40 * chunk * 2); ++i)
        sum += double(s16[i]) * s16[i];
    EXPECT_NEAR(std::sqrt(sum / (40 * chunk * 2 - 2048 * 2)), 10000 / std::sqrt(2.0), 600);
}

TEST_F(EncoderTest, OnlyTheSelectedStreamIsWritten)
{
    const std::string videoFile = path("video.mp4");
    const std::string audioFile = path("audio.mp4");
    {
        ZM_AVEncoder enc(ZM_VIDEO);
        ZM_MovieInfo info = movie(videoFile, 64, 64, 10, ZM_VIDEO);
        info.channels = 0;  // not used without audio
        ASSERT_EQ(initError(enc, info), "");
        for (int i = 0; i < 5; ++i)
            enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
        enc.writeAudioFrame(tone(1024, 2, 44100, 440).data(), 4096);
        EXPECT_EQ(enc.audioFrames(), 0);
    }
    {
        ZM_AVEncoder enc(ZM_AUDIO);
        ASSERT_EQ(initError(enc, movie(audioFile, 64, 64, 10, ZM_AUDIO)), "");
        enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
        EXPECT_EQ(enc.frameSlots(), 0u);
        const std::vector<unsigned char> pcm = tone(44100, 2, 44100, 440);
        enc.writeAudioFrame(pcm.data(), int(pcm.size()));
    }
    const mp4probe::Mp4Info v = mp4probe::probeMp4(videoFile);
    ASSERT_TRUE(v.ok) << v.error;
    ASSERT_EQ(v.streams.size(), 1u);
    EXPECT_EQ(v.streams[0].codec, "h264");
    EXPECT_EQ(v.streams[0].packets, 5);
    EXPECT_NEAR(v.streams[0].duration, 0.5, 1e-6);

    const mp4probe::Mp4Info a = mp4probe::probeMp4(audioFile);
    ASSERT_TRUE(a.ok) << a.error;
    ASSERT_EQ(a.streams.size(), 1u);
    EXPECT_EQ(a.streams[0].codec, "aac");
    EXPECT_NEAR(a.streams[0].duration, 1.0, 0.0011);
}

TEST_F(EncoderTest, LongestPathThatFitsTheRecordIsUsedWhole)
{
    std::string file = path("");
    file += std::string(127 - file.size() - 4, 'p') + ".mp4";
    ASSERT_EQ(file.size(), 127u);
    ZM_MovieInfo info = movie(file, 64, 64, 10, ZM_VIDEO);
    EXPECT_EQ(info.save_path[127], '\0');
    ZM_AVEncoder enc(ZM_VIDEO);
    ASSERT_EQ(initError(enc, info), "");
    enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
    enc.uninit();
    const mp4probe::Mp4Info probed = mp4probe::probeMp4(file);
    ASSERT_TRUE(probed.ok) << probed.error;
    EXPECT_EQ(probed.streams[0].packets, 1);
}

TEST_F(EncoderTest, InitRejectsBadDescriptionsWithTheirMessages)
{
    {
        ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
        EXPECT_EQ(initError(enc, movie(path("odd.mp4"), 641, 360, 25)),
                  "@ ZM_AVBase::initTmpFrame(...): align error !");
    }
    {
        ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
        EXPECT_EQ(initError(enc, movie(path("clip.zzqx"), 640, 360, 25)), "@ av_guess_format(...) is NULL");
        EXPECT_FALSE(std::ifstream(path("clip.zzqx")).good());
    }
    {
        ZM_AVEncoder enc(ZM_VIDEO);
        EXPECT_EQ(initError(enc, movie("", 640, 360, 25)), "@ init(...)  filename is empty");
        EXPECT_FALSE(enc.isOpen());
    }
    {
        // The system's reason travels with the message.
        ZM_AVEncoder enc(ZM_VIDEO);
        ZM_MovieInfo info = movie(path("no/such/dir/x.mp4"), 640, 360, 25);
        try {
            enc.init(&info);
            ADD_FAILURE() << "a file in a missing folder was opened";
        } catch (const ZM::ZM_Error& error) {
            EXPECT_EQ(error.message(), "@ avio_open  error !");
            EXPECT_EQ(error.reason(), "No such file or directory");
            EXPECT_STREQ(error.what(), "@ avio_open  error !: No such file or directory");
        }
    }
    {
        ZM_AVEncoder enc(ZM_VIDEO);
        EXPECT_EQ(initError(enc, movie(path("fast.mp4"), 64, 64, 1000)), "@ frameRate above 240");
        EXPECT_FALSE(std::ifstream(path("fast.mp4")).good());
    }
    {
        // A container that cannot hold AAC.
        ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
        EXPECT_EQ(initError(enc, movie(path("x.ogg"), 64, 64, 25)).rfind("@", 0), 0u);
    }
}

TEST_F(EncoderTest, CodecThatDoesNotOpenFailsInitInsteadOfLeavingAnEmptyFile)
{
    // H.264 4:2:0 needs an even height.
    const std::string file = path("oddheight.mp4");
    ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
    const std::string error = initError(enc, movie(file, 640, 361, 25));
    EXPECT_EQ(error, "@ picture height must be even");
    // The partly built encoder is released without a trailer and without crashing.
    enc.writeVideoFrame(nullptr, 0);
    enc.uninit();
    EXPECT_FALSE(enc.isOpen());
    enc.uninit();

    // A sample rate AAC has no table for: the codec refuses to open.
    ZM_AVEncoder audio(ZM_AUDIO_VIDEO);
    ZM_MovieInfo info = movie(path("badrate.mp4"), 64, 64, 25);
    info.audioSampleRate = 1234;
    EXPECT_EQ(initError(audio, info), "@ avcodec_open2(...) error ! (audio)");
    audio.uninit();
    EXPECT_FALSE(audio.isOpen());
}

TEST_F(EncoderTest, HeaderThatCannotBeWrittenFailsInitAndLeavesNoFile)
{
    // An MP4 without any stream has no header.
    const std::string file = path("nostreams.mp4");
    ZM_AVEncoder enc(static_cast<ZM_AVEnum>(0));
    EXPECT_EQ(initError(enc, movie(file, 64, 64, 10, 0)), "@ avformat_write_header(...) error !");
    EXPECT_EQ(fileSize(file), -1);
    enc.uninit();
    EXPECT_FALSE(enc.isOpen());
}

TEST_F(EncoderTest, PictureOfTheWrongSizeIsIgnoredWithoutUsingASlot)
{
    ZM_AVEncoder enc(ZM_VIDEO);
    ASSERT_EQ(initError(enc, movie(path("hd.mp4"), 1920, 1080, 25, ZM_VIDEO)), "");
    const int size = 1920 * 1080 * 4;
    std::vector<unsigned char> pic(size + 8, 90);
    enc.writeVideoFrame(pic.data(), size - 1);
    enc.writeVideoFrame(pic.data(), size + 4);
    enc.writeVideoFrame(pic.data(), 1920 * 1080 * 3 / 2);
    EXPECT_EQ(enc.frameSlots(), 0u);
    EXPECT_EQ(enc.videoPackets(), 0);
    enc.writeVideoFrame(pic.data(), size);
    EXPECT_EQ(enc.frameSlots(), 1u);
    EXPECT_EQ(enc.videoPackets(), 1);
    enc.uninit();
    const mp4probe::Mp4Info info = mp4probe::probeMp4(path("hd.mp4"));
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.streams[0].width, 1920);
    EXPECT_EQ(info.streams[0].height, 1080);
    EXPECT_EQ(info.streams[0].packets, 1);
}

TEST_F(EncoderTest, SlotsWithoutAPictureRepeatItUpToFrameRatePlus30ThenStayEmpty)
{
    const std::string file = path("slots.mp4");
    ZM_AVEncoder enc(ZM_VIDEO);
    ASSERT_EQ(initError(enc, movie(file, 64, 64, 10, ZM_VIDEO)), "");
    enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
    for (int slot = 2; slot <= 41; ++slot)
        enc.writeVideoFrame(nullptr, 0);
    EXPECT_EQ(enc.frameSlots(), 41u);
    EXPECT_EQ(enc.videoPackets(), 41) << "the 41st slot is still a repeat";
    enc.writeVideoFrame(nullptr, 0);
    EXPECT_EQ(enc.frameSlots(), 42u);
    EXPECT_EQ(enc.videoPackets(), 41) << "the 42nd slot is empty";
    for (int i = 0; i < 8; ++i)
        enc.writeVideoFrame(nullptr, 0);
    EXPECT_DOUBLE_EQ(enc.videoTime(), 5.0);
    // The next real picture lands at its slot's time: 5.0 s.
    enc.writeVideoFrame(quadrantPicture(64, 64, 10).data(), 64 * 64 * 4);
    EXPECT_EQ(enc.videoPackets(), 42);
    enc.uninit();

    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.streams[0].packets, 42);
    EXPECT_NEAR(info.streams[0].lastPts, 5.0, 1e-6);
    EXPECT_NEAR(info.streams[0].duration, 5.1, 1e-6);
    expectQuadrants(mp4probe::decodeVideoFrame(file, 40));
}

TEST_F(EncoderTest, ThreeChunksAnd100BytesEncodeFourAudioFrames)
{
    const std::string file = path("chunks.mp4");
    ZM_AVEncoder enc(ZM_AUDIO);
    ASSERT_EQ(initError(enc, movie(file, 64, 64, 10, ZM_AUDIO)), "");
    const int chunk = 2 * 2048;
    const std::vector<unsigned char> pcm = tone(3 * 1024 + 25, 2, 44100, 440);
    ASSERT_EQ(int(pcm.size()), 3 * chunk + 100);
    enc.writeAudioFrame(pcm.data(), int(pcm.size()));
    EXPECT_EQ(enc.audioFrames(), 3);
    enc.uninit();
    EXPECT_EQ(enc.audioFrames(), 4);

    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    // The container keeps the exact length in its edit list, in milliseconds.
    EXPECT_NEAR(info.streams[0].duration, (3 * 1024 + 25) / 44100.0, 0.0011);
    const mp4probe::DecodedAudio audio = mp4probe::decodeAudio(file);
    ASSERT_TRUE(audio.ok) << audio.error;
    EXPECT_EQ(audio.frames(), 4 * 1024);
}

TEST_F(EncoderTest, ShortAudioPiecesAreRegroupedIntoWholeFrames)
{
    // The AAC encoder accepts a short frame only as the very last one; pieces shorter than a
    // frame in the middle of a recording must not end the audio.
    const std::string file = path("pieces.mp4");
    ZM_AVEncoder enc(ZM_AUDIO);
    ASSERT_EQ(initError(enc, movie(file, 64, 64, 10, ZM_AUDIO)), "");
    const std::vector<unsigned char> pcm = tone(44100, 2, 44100, 440);
    size_t pos = 0;
    for (int piece = 100; pos < pcm.size(); piece = piece * 7 % 5000 + 4) {
        const int n = int(std::min(pcm.size() - pos, size_t(piece)));
        enc.writeAudioFrame_pri(pcm.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(enc.audioFrames(), 44100 / 1024);
    enc.uninit();
    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.streams[0].duration, 1.0, 0.0011);
}

TEST_F(EncoderTest, UninitTwiceAndDestructionWriteTheTrailerOnce)
{
    const std::string file = path("twice.mp4");
    long size = 0;
    {
        ZM_AVEncoder enc(ZM_AUDIO_VIDEO);
        ASSERT_EQ(initError(enc, movie(file, 64, 64, 10)), "");
        enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
        enc.writeAudioFrame(tone(4096, 2, 44100, 440).data(), 4096 * 4);
        enc.uninit();
        size = fileSize(file);
        enc.uninit();
        EXPECT_EQ(fileSize(file), size);
        enc.writeVideoFrame(quadrantPicture(64, 64).data(), 64 * 64 * 4);
        enc.writeAudioFrame(tone(4096, 2, 44100, 440).data(), 4096 * 4);
    }
    EXPECT_GT(size, 0);
    EXPECT_EQ(fileSize(file), size);
    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.streams[0].packets, 1);
}

TEST_F(EncoderTest, Nv21PicturesKeepTheirColours)
{
    const std::string file = path("nv21.mp4");
    ZM_MovieInfo info = movie(file, 64, 48, 10, ZM_VIDEO);
    info.FrameFormat = FRAME_NV21;
    ZM_AVEncoder enc(ZM_VIDEO);
    ASSERT_EQ(initError(enc, info), "");
    // Luma 81, V 240, U 90: BT.601 limited range red (R 255, G 0, B 0 within rounding).
    std::vector<unsigned char> pic(64 * 48 * 3 / 2, 81);
    for (size_t i = 64 * 48; i < pic.size(); i += 2) {
        pic[i] = 240;
        pic[i + 1] = 90;
    }
    enc.writeVideoFrame(pic.data(), 64 * 48 * 4);
    EXPECT_EQ(enc.frameSlots(), 0u) << "NV21 pictures are width x height x 3/2 bytes";
    enc.writeVideoFrame(pic.data(), int(pic.size()));
    enc.uninit();
    const mp4probe::DecodedPicture decoded = mp4probe::decodeVideoFrame(file, 0);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    expectColour(decoded, 32, 24, {255, 0, 0}, 8);
}

// Pictures come straight from the caller's buffer, which need not be aligned in any way.
TEST_F(EncoderTest, PictureAtAnOddAddressEncodesExactlyLikeAnAlignedCopy)
{
    const int w = 200, h = 120, pictures = 3;
    auto record = [&](const std::string& file, size_t offset) {
        ZM_AVEncoder enc(ZM_VIDEO);
        ASSERT_EQ(initError(enc, movie(file, w, h, 10, ZM_VIDEO)), "");
        for (int i = 0; i < pictures; ++i) {
            const std::vector<unsigned char> pic = quadrantPicture(w, h, i * 20);
            std::vector<unsigned char> buffer(pic.size() + offset);
            std::memcpy(buffer.data() + offset, pic.data(), pic.size());
            enc.writeVideoFrame(buffer.data() + offset, int(pic.size()));
        }
        enc.uninit();
    };
    record(path("aligned.mp4"), 0);
    record(path("odd.mp4"), 1);
    for (int i = 0; i < pictures; ++i) {
        const mp4probe::DecodedPicture aligned = mp4probe::decodeVideoFrame(path("aligned.mp4"), i);
        const mp4probe::DecodedPicture odd = mp4probe::decodeVideoFrame(path("odd.mp4"), i);
        ASSERT_TRUE(aligned.ok && odd.ok) << aligned.error << odd.error;
        expectQuadrants(odd);
        EXPECT_TRUE(odd.bgra == aligned.bgra) << "picture " << i;
    }
}

// A producer thread may convert pictures for the encoding thread: the file is the same, also
// once the encoder no longer keeps its own copy (after frameRate + 30 slots) and the caller's
// buffer is overwritten right after each call.
TEST_F(EncoderTest, PicturesConvertedAheadEncodeExactlyLikeSourcePictures)
{
    const int w = 200, h = 120, fps = 10, pictures = fps + 35;
    ZM_AVEncoder direct(ZM_VIDEO), ahead(ZM_VIDEO);
    ASSERT_EQ(initError(direct, movie(path("direct.mp4"), w, h, fps, ZM_VIDEO)), "");
    ASSERT_EQ(initError(ahead, movie(path("ahead.mp4"), w, h, fps, ZM_VIDEO)), "");
    ASSERT_EQ(ahead.yuvPictureBytes(), w * h * 3 / 2);
    std::vector<unsigned char> yuv(size_t(ahead.yuvPictureBytes()));
    EXPECT_FALSE(ahead.toYuv(quadrantPicture(w, h).data(), w * h * 4 - 4, yuv.data()));
    for (int i = 0; i < pictures; ++i) {
        const std::vector<unsigned char> pic = quadrantPicture(w, h, i * 4);
        direct.writeVideoFrame(pic.data(), int(pic.size()));
        ASSERT_TRUE(ahead.toYuv(pic.data(), int(pic.size()), yuv.data()));
        ahead.writeYuvFrame(yuv.data());
        std::fill(yuv.begin(), yuv.end(), 0);
        // Slots without a picture repeat the converted one as they repeat a source picture.
        if (i == 2) {
            direct.writeVideoFrame(nullptr, 0);
            ahead.writeVideoFrame(nullptr, 0);
        }
    }
    EXPECT_EQ(ahead.frameSlots(), direct.frameSlots());
    direct.uninit();
    ahead.uninit();
    EXPECT_EQ(mp4probe::countVideoFrames(path("ahead.mp4")), pictures + 1);
    for (int i : {0, 2, 3, fps + 30, fps + 31, fps + 32, pictures}) {
        const mp4probe::DecodedPicture a = mp4probe::decodeVideoFrame(path("direct.mp4"), i);
        const mp4probe::DecodedPicture b = mp4probe::decodeVideoFrame(path("ahead.mp4"), i);
        ASSERT_TRUE(a.ok && b.ok) << a.error << b.error;
        expectQuadrants(b);
        EXPECT_TRUE(a.bgra == b.bgra) << "picture " << i;
    }
}

// A slot that repeats the picture before it is stored as a frame of a few bytes that decodes
// to exactly that picture. The encoder's own frames after repeats stay valid (a strict decoder
// takes every packet), and key frames keep their spacing in slots although the encoder sees
// fewer pictures: a key frame due on a repeat slot encodes the picture again.
TEST_F(EncoderTest, RepeatsAreTinyFramesThatDecodeToThePictureBefore)
{
    const int w = 320, h = 240, fps = 10, gop = 25, slots = 90;
    ZM_AVEncoder enc(ZM_VIDEO);
    ZM_MovieInfo info = movie(path("repeats.mp4"), w, h, fps, ZM_VIDEO);
    info.gopSize = gop;
    ASSERT_EQ(initError(enc, info), "");
    std::vector<unsigned char> yuv(size_t(enc.yuvPictureBytes()));
    const std::vector<int> pictureAt = {0, 7, 8, 60, 61};
    std::vector<int> shows(slots); // the picture each slot shows
    int p = -1;
    for (int slot = 0; slot < slots; ++slot) {
        if (p + 1 < int(pictureAt.size()) && pictureAt[size_t(p + 1)] == slot) {
            ++p;
            ASSERT_TRUE(enc.toYuv(quadrantPicture(w, h, p * 40).data(), w * h * 4, yuv.data()));
            enc.writeYuvFrame(yuv.data());
        } else if (slot == 3 || slot == 4) {
            enc.writeVideoFrame(nullptr, 0); // the older way of filling a slot repeats too
        } else {
            enc.repeatYuvFrame(yuv.data());
        }
        shows[size_t(slot)] = p;
    }
    const int repeatFrames = enc.repeatFrames();
    enc.uninit();

    const mp4probe::VideoPackets packets = mp4probe::readVideoPackets(path("repeats.mp4"));
    ASSERT_TRUE(packets.ok) << packets.error;
    EXPECT_EQ(packets.decodeErrors, 0);
    EXPECT_EQ(packets.pictures, slots);
    ASSERT_EQ(int(packets.sizes.size()), slots);
    int lastKey = 0, keysOnRepeats = 0;
    for (int slot = 0; slot < slots; ++slot) {
        const bool picture = std::count(pictureAt.begin(), pictureAt.end(), slot) > 0;
        if (packets.keys[size_t(slot)]) {
            EXPECT_LE(slot - lastKey, gop) << slot;
            lastKey = slot;
            keysOnRepeats += picture ? 0 : 1;
        } else if (!picture) {
            EXPECT_LT(packets.sizes[size_t(slot)], 32) << "repeat at slot " << slot;
        }
    }
    EXPECT_LE(slots - lastKey, gop);
    EXPECT_EQ(keysOnRepeats, 3); // at 25, 50 and 75
    EXPECT_EQ(repeatFrames + keysOnRepeats + int(pictureAt.size()), slots);

    for (int slot : {1, 3, 4, 9, 25, 26, 50, 62, 89}) {
        const mp4probe::DecodedPicture before = mp4probe::decodeVideoFrame(path("repeats.mp4"), slot - 1);
        const mp4probe::DecodedPicture now = mp4probe::decodeVideoFrame(path("repeats.mp4"), slot);
        ASSERT_TRUE(before.ok && now.ok) << before.error << now.error;
        expectQuadrants(now);
        expectColour(now, shows[size_t(slot)] * 40 + 8, 8, {255, 255, 0}, 12);
        if (!packets.keys[size_t(slot)])
            EXPECT_TRUE(now.bgra == before.bgra) << "slot " << slot;
    }
}
