// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <zmav/zm_avbase.h>
#include <zmav/zm_movie_info.h>
#include <zmav/zm_packetpool.h>
#include <zmav/zmav_export.h>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace ZM {

class ZM_PictureConverter;
class ZM_RepeatFrames;
class ZM_X264Video;

// Encoder choices the movie description has no field for.
struct ZM_EncoderChoices {
    // x264's constant rate factor, 0 (best) to 51; it replaces the description's videoBitRate.
    // -1: the description's rate control (videoBitRate, or x264's own default when 0).
    int crf = -1;
    // x264's speed preset, "ultrafast" to "medium".
    std::string preset = "ultrafast";
    // An MP4 is written in fragments and finished at the stop (it survives interruptions);
    // false writes it in one piece with its index at the end, as before, which only the
    // benchmarks use to compare the two.
    bool fragmented = true;

    // Whether a preset is one of those offered (the slower ones cannot keep up with a screen).
    static bool presetOffered(const std::string& preset);
};

// One recording's FFmpeg side: the container and its file, H.264 video (x264, "ultrafast"
// unless chosen otherwise, "zerolatency") as stream 0 and AAC audio as stream 1.
//
// The file survives an interruption at any moment with all but about its last second: an MP4
// is written as fragments of about one second (each flushed to the file as it is complete)
// and turned into a regular MP4 in place by uninit (ZM_Mp4Finisher); Matroska (".mkv")
// is written in clusters of about one second and plays up to its last one.
//
// Threading: init on one thread, then writeVideoFrame/writeAudioFrame on one (encoding)
// thread, then uninit after that thread ended. The clocks and counters are atomics and may be
// read from any thread.
class ZMAV_EXPORT ZM_AVEncoder : public ZM_AVBase {
public:
    explicit ZM_AVEncoder(ZM_AVEnum flags);
    ~ZM_AVEncoder() override;

    // Choices for init (default: ZM_EncoderChoices()).
    void setChoices(const ZM_EncoderChoices& choices) { m_choices = choices; }

    // Creates container, streams, codecs and the output file and writes the header.
    // Throws ZM_Error (a text beginning with "@ ", with FFmpeg's reason where it gave one) on
    // any failure; the encoder is then left partly built, and uninit()/the destructor release
    // it without writing a trailer.
    void init(ZM_MovieInfo* info);

    // Converts and encodes one picture (exactly one picture's bytes, else ignored without
    // using a slot), or fills one frame slot when data is null or len is 0: a repeat of the
    // previous picture for the first frameRate + 30 slots, afterwards an empty slot that
    // advances the video clock without writing anything.
    void writeVideoFrame(const unsigned char* data, int len);

    // Fills one frame slot with the picture before it; yuv is that picture as writeYuvFrame
    // got it. The repeat is stored as a frame that only says "as before" (next to no work and
    // a few bytes); yuv is encoded again only when a key frame is due or the stream does not
    // allow such frames. Unlike an empty slot, it is a frame of the file.
    void repeatYuvFrame(const unsigned char* yuv);

    // Converts one source picture (exactly one picture's bytes, else false) into planar
    // YUV 4:2:0 at dst: the Y, U and V planes back to back, yuvPictureBytes() in all. It only
    // reads what init set, so a producer thread may convert while the encoding thread encodes;
    // a queue of converted BGRA pictures then needs 3/8 of the memory.
    bool toYuv(const unsigned char* data, int len, unsigned char* dst) const;
    int yuvPictureBytes() const { return m_width * m_height * 3 / 2; }

    // writeVideoFrame for a picture that toYuv converted (yuvPictureBytes() bytes): encodes
    // it and fills one slot; later slots without a picture repeat it. The bytes may be reused
    // as soon as it returns. changed: where it differs from the picture encoded before it, if
    // known; the encoder then skips its analysis everywhere else.
    void writeYuvFrame(const unsigned char* yuv, const ChangedAreas& changed = ChangedAreas());

    // Encodes interleaved signed 16-bit PCM of any length, in pieces of at most one codec
    // frame (channels x 2048 bytes).
    void writeAudioFrame(const unsigned char* data, int len);

    // Encodes one piece of at most one codec frame. A short piece is held until the frame is
    // complete (or, at uninit, encoded as the short last frame), so the AAC encoder only ever
    // sees whole 1024-sample frames in the middle of the stream.
    void writeAudioFrame_pri(const unsigned char* data, int len);

    // Drains the encoders, writes the trailer (only if the header was written), closes the
    // codecs and the file, and finishes a fragmented MP4 into a regular one in place (a
    // failure there leaves the fragmented file, which plays, and counts as a failed write).
    // Later calls do nothing.
    void uninit();

    bool hasAudio() const { return (m_flags & ZM_AUDIO) != 0; }
    bool hasVideo() const { return (m_flags & ZM_VIDEO) != 0; }
    ZM_AVEnum flags() const { return m_flags; }
    bool isOpen() const { return m_context != nullptr; }

    // Stream clocks in seconds: video = frame slots filled x 1/frameRate (empty slots
    // included); audio = AAC packets written x 1024 / audioSampleRate.
    double videoTime() const;
    double audioTime() const;

    uint32_t frameSlots() const { return m_frameSlots.load(); }
    int videoPackets() const { return m_videoPackets.load(); }
    // Slots stored as "as before" frames (see repeatYuvFrame).
    int repeatFrames() const { return m_repeatFrames.load(); }
    int audioPackets() const { return m_audioPackets.load(); }
    // Codec frames handed to the AAC encoder (a held short piece is not counted yet).
    int audioFrames() const { return m_audioFrames.load(); }
    // Packet writes (the trailer included) that failed, and the first failure with its reason;
    // any thread.
    int writeFailures() const { return m_writeFailures.load(); }
    std::string writeError() const;

private:
    void openContainer(const ZM_MovieInfo& info);
    void openVideo(const ZM_MovieInfo& info);
    void openAudio(const ZM_MovieInfo& info);
    void openFile();
    bool encodeVideo(uint8_t* const planes[3], const int strides[3], const ChangedAreas& changed);
    bool encodeKept();
    void encodeCopy(const unsigned char* yuv, const ChangedAreas& changed);
    void encodeLent(const unsigned char* yuv, const ChangedAreas& changed);
    void repeatLatest();
    bool writeRepeat();
    bool keyFrameDue() const;
    void followVideoPacket();
    void paintBlack();
    bool encodeAudio(const unsigned char* data, int samples);
    void writeVideoPacket();
    void writePacket(AVStream* stream, int ticksPerSecond, AVPacket* packet);
    void noteWrite(int result, const char* what);
    void noteFailure(const std::string& text);
    void closeFile();
    void finishFile(const std::string& path);
    void drainVideo();
    void drainAudio();
    void flushHeldAudio();
    void release();
    int audioFrameBytes() const;

    ZM_AVEnum m_flags;
    int m_width;
    int m_height;
    int m_frameRate;
    int m_audioSampleRate;
    int m_channels;
    int m_srcBytes;

    AVFormatContext* m_context;
    ZM_PictureConverter* m_converter;
    AVStream* m_videoStream;
    std::unique_ptr<ZM_X264Video> m_video;
    AVStream* m_audioStream;
    AVCodecContext* m_audioCodec;
    SwrContext* m_resampler;
    AVFrame* m_audioFrame;
    AVPacket* m_packet;
    std::vector<unsigned char> m_heldAudio;
    std::unique_ptr<ZM_RepeatFrames> m_repeats;
    // m_dstFrame holds the latest picture (black before the first one), so that a slot
    // without a picture can encode it again.
    bool m_keptLatest = false;
    bool m_anyPicture = false;
    // Pictures sent to the video encoder whose packet has not come back yet.
    int m_videoInFlight = 0;
    int m_gopSize = 0;
    int64_t m_keySlot = 0;
    bool m_fileOpen;
    bool m_headerWritten;
    ZM_EncoderChoices m_choices;
    // The container's kind decides how it is kept playable while it grows.
    enum Container { OtherContainer, Mp4Family, Matroska };
    Container m_container = OtherContainer;
    int m_audioPriming = 0;

    std::atomic<uint32_t> m_frameSlots;
    std::atomic<int> m_videoPackets;
    std::atomic<int> m_repeatFrames{0};
    std::atomic<int> m_audioPackets;
    std::atomic<int> m_audioFrames;
    std::atomic<int> m_writeFailures{0};
    mutable std::mutex m_errorMutex;
    std::string m_writeError;
};

// Sets the codec's private options "preset" "ultrafast" and "tune" "zerolatency" (an encoder
// without them ignores them).
ZMAV_EXPORT void fastRealTime(AVCodecContext* codec);

// Close (free) a codec context and null the pointer.
ZMAV_EXPORT void close_video(AVCodecContext** codec);
ZMAV_EXPORT void close_audio(AVCodecContext** codec);

} // namespace ZM
