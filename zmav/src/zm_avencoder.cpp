// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_avencoder.h>
#include <zmav/zm_error.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "zm_log.h"
#include "zm_mp4finisher.h"
#include "zm_pictureconverter.h"
#include "zm_repeatframes.h"
#include "zm_x264video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace ZM {

namespace {

// The most pictures per second a recording may ask for: beyond it every pass of the encoding
// thread would write hundreds of repeat slots.
constexpr int kMaxFrameRate = 240;

[[noreturn]] void fail(const char* message, int averror = 0)
{
    throw ZM_Error(message, averror ? averrorText(averror) : std::string());
}

bool supportsSampleFormat(const AVCodec* codec, AVSampleFormat format)
{
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == format)
            return true;
    return false;
}

// Encoders that need planar float (FFmpeg's own AAC) get their first listed format.
AVSampleFormat encoderSampleFormat(const AVCodec* codec)
{
    if (!codec->sample_fmts || supportsSampleFormat(codec, AV_SAMPLE_FMT_S16))
        return AV_SAMPLE_FMT_S16;
    return codec->sample_fmts[0];
}

// The speed presets offered, fastest first. The slower ones need several times the CPU of
// "medium" per picture and cannot keep up with a screen.
const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium"};

// Up to this many pixels a second (1080p at 30 pictures a second), one x264 thread at the
// fastest preset keeps up with a quarter of a core here. Several threads cut each picture into
// slices and wait on each other: a seventh more CPU on a mostly still desktop.
constexpr int64_t kOneThreadPixelRate = int64_t(1920) * 1080 * 30;

// About one second of recording per MP4 fragment or Matroska cluster: what an interruption
// can cost at most.
constexpr const char* kFragmentMicroseconds = "1000000";
constexpr const char* kClusterMilliseconds = "1000";

bool hasPrivateOption(const AVOutputFormat* format, const char* name)
{
    return format->priv_class
        && av_opt_find(const_cast<AVClass**>(&format->priv_class), name, nullptr, 0,
                       AV_OPT_SEARCH_FAKE_OBJ);
}

void openCodec(AVCodecContext* codec, const char* openError)
{
    AVDictionary* options = nullptr;
    const int ret = avcodec_open2(codec, codec->codec, &options);
    const int left = av_dict_count(options);
    av_dict_free(&options);
    if (ret < 0)
        fail(openError, ret);
    if (left != 0)
        fail("@ av_dict_count() != 0");
}

// What the container needs to know of the video stream.
void describeVideo(AVCodecParameters* par, const ZM_X264Video::Settings& video, const std::vector<uint8_t>& headers)
{
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->format = AV_PIX_FMT_YUV420P;
    par->width = video.width;
    par->height = video.height;
    par->bit_rate = video.bitRate;
    if (headers.empty())
        return;
    par->extradata = static_cast<uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        fail("@ out of memory for the video stream's header");
    std::memcpy(par->extradata, headers.data(), headers.size());
    par->extradata_size = int(headers.size());
}

} // namespace

bool ZM_EncoderChoices::presetOffered(const std::string& preset)
{
    return std::find(std::begin(kPresets), std::end(kPresets), preset) != std::end(kPresets);
}

void fastRealTime(AVCodecContext* codec)
{
    if (!codec || !codec->priv_data)
        return;
    av_opt_set(codec->priv_data, "preset", "ultrafast", 0);
    av_opt_set(codec->priv_data, "tune", "zerolatency", 0);
}

void close_video(AVCodecContext** codec)
{
    avcodec_free_context(codec);
}

void close_audio(AVCodecContext** codec)
{
    avcodec_free_context(codec);
}

ZM_AVEncoder::ZM_AVEncoder(ZM_AVEnum flags)
    : m_flags(flags)
    , m_width(0)
    , m_height(0)
    , m_frameRate(0)
    , m_audioSampleRate(0)
    , m_channels(2)
    , m_srcBytes(0)
    , m_context(nullptr)
    , m_converter(nullptr)
    , m_videoStream(nullptr)
    , m_audioStream(nullptr)
    , m_audioCodec(nullptr)
    , m_resampler(nullptr)
    , m_audioFrame(nullptr)
    , m_packet(nullptr)
    , m_fileOpen(false)
    , m_headerWritten(false)
    , m_frameSlots(0)
    , m_videoPackets(0)
    , m_audioPackets(0)
    , m_audioFrames(0)
{
}

ZM_AVEncoder::~ZM_AVEncoder()
{
    uninit();
}

void ZM_AVEncoder::init(ZM_MovieInfo* info)
{
    routeFfmpegLog();
    if (!info || info->save_path[0] == '\0')
        fail("@ init(...)  filename is empty");
    if (m_context)
        fail("@ init(...) called twice");
    m_width = info->width;
    m_height = info->height;
    m_frameRate = info->frameRate;
    m_audioSampleRate = info->audioSampleRate;
    m_channels = info->channels;

    openContainer(*info);
    if (hasVideo())
        openVideo(*info);
    if (hasAudio())
        openAudio(*info);
    openFile();
    // Fragments and clusters reach the file as soon as they are complete, so that a
    // recording that is interrupted keeps them.
    m_context->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* options = nullptr;
    if (m_container == Mp4Family && m_choices.fragmented) {
        av_dict_set(&options, "movflags", "+empty_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", kFragmentMicroseconds, 0);
    } else if (m_container == Matroska) {
        av_dict_set(&options, "cluster_time_limit", kClusterMilliseconds, 0);
    }
    const int written = avformat_write_header(m_context, &options);
    av_dict_free(&options);
    if (written < 0) {
        // Nothing playable can follow: do not leave an empty file behind.
        avio_closep(&m_context->pb);
        m_fileOpen = false;
        std::remove(m_context->url);
        fail("@ avformat_write_header(...) error !", written);
    }
    m_headerWritten = true;
}

void ZM_AVEncoder::openContainer(const ZM_MovieInfo& info)
{
    m_context = avformat_alloc_context();
    if (!m_context)
        fail("@ avformat_alloc_context(...) is NULL");
    // The record's path need not be terminated when all 128 bytes are used.
    const std::string path(info.save_path, strnlen(info.save_path, sizeof info.save_path));
    m_context->url = av_strdup(path.c_str());
    m_context->oformat = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!m_context->url || !m_context->oformat)
        fail("@ av_guess_format(...) is NULL");
    if (hasPrivateOption(m_context->oformat, "movflags"))
        m_container = Mp4Family;
    else if (std::strcmp(m_context->oformat->name, "matroska") == 0)
        m_container = Matroska;
    m_context->bit_rate = info.videoBitRate;
    m_packet = av_packet_alloc();
    if (!m_packet)
        fail("@ av_packet_alloc() is NULL");
}

void ZM_AVEncoder::openVideo(const ZM_MovieInfo& info)
{
    if (m_frameRate < 1)
        fail("@ frameRate < 1");
    if (m_frameRate > kMaxFrameRate)
        fail("@ frameRate above 240");
    // 4:2:0 chroma covers pixel pairs in both directions. libx264 would refuse an odd height
    // too, but leaks its settings when it does.
    if (m_height % 2 != 0)
        fail("@ picture height must be even");
    const int srcFormat = getFrameFormat(info);
    initDestination(m_width, m_height, AV_PIX_FMT_YUV420P);
    m_srcBytes = av_image_get_buffer_size(AVPixelFormat(srcFormat), m_width, m_height, 1);
    m_converter = new ZM_PictureConverter(srcFormat, m_width, m_height);

    if (!ZM_EncoderChoices::presetOffered(m_choices.preset) || m_choices.crf < -1 || m_choices.crf > 51)
        fail("@ video encoder choices out of range");
    m_videoStream = avformat_new_stream(m_context, nullptr);
    if (!m_videoStream)
        fail("@: can't new video stream .");
    m_videoStream->time_base = AVRational{1, m_frameRate};

    ZM_X264Video::Settings video;
    video.width = m_width;
    video.height = m_height;
    video.frameRate = m_frameRate;
    video.bitRate = info.videoBitRate;
    video.crf = m_choices.crf;
    video.preset = m_choices.preset;
    video.gopSize = info.gopSize;
    if (m_choices.preset == kPresets[0] && int64_t(m_width) * m_height * m_frameRate <= kOneThreadPixelRate)
        video.threads = 1;
    video.globalHeaders = (m_context->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    if (m_choices.crf >= 0) {
        // x264 prefers a bit rate over a rate factor: the choice replaces it.
        video.bitRate = 0;
        m_context->bit_rate = 0;
    }
    m_video = std::make_unique<ZM_X264Video>(video);
    describeVideo(m_videoStream->codecpar, video, m_video->headers());
    m_repeats = std::make_unique<ZM_RepeatFrames>(m_video->headers().data(), int(m_video->headers().size()));
    m_gopSize = info.gopSize;
}

void ZM_AVEncoder::openAudio(const ZM_MovieInfo& info)
{
    // Matroska holds AAC although its default sound is another codec.
    if (m_context->oformat->audio_codec != AV_CODEC_ID_AAC && m_container != Matroska)
        fail("@: the container's audio codec is not AAC");
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        fail("@: can't find  AV_CODEC_ID_AAC  codec!");
    m_audioStream = avformat_new_stream(m_context, nullptr);
    m_audioCodec = avcodec_alloc_context3(codec);
    if (!m_audioStream || !m_audioCodec)
        fail("@: can't new audio stream .");
    if (m_channels < 1 || m_audioSampleRate < 1)
        fail("@ audio channels and sample rate must be positive");

    AVCodecContext* c = m_audioCodec;
    c->codec_id = AV_CODEC_ID_AAC;
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->bit_rate = info.audioBitRate;
    c->sample_fmt = encoderSampleFormat(codec);
    av_channel_layout_default(&c->ch_layout, m_channels);
    c->sample_rate = m_audioSampleRate;
    c->time_base = AVRational{1, m_audioSampleRate};
    if (m_context->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    fastRealTime(c);
    openCodec(c, "@ avcodec_open2(...) error ! (audio)");
    m_audioPriming = c->initial_padding;
    if (avcodec_parameters_from_context(m_audioStream->codecpar, c) < 0)
        fail("@ avcodec_parameters_from_context(...) error ! (audio)");

    if (c->sample_fmt != AV_SAMPLE_FMT_S16) {
        if (swr_alloc_set_opts2(&m_resampler, &c->ch_layout, c->sample_fmt, c->sample_rate,
                                &c->ch_layout, AV_SAMPLE_FMT_S16, c->sample_rate, 0, nullptr)
                < 0
            || swr_init(m_resampler) < 0)
            fail("@ swr_init(...) error !");
    }
    m_audioFrame = av_frame_alloc();
    if (!m_audioFrame)
        fail("@ av_frame_alloc() is NULL");
    m_audioFrame->format = c->sample_fmt;
    m_audioFrame->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    m_audioFrame->sample_rate = c->sample_rate;
    if (av_channel_layout_copy(&m_audioFrame->ch_layout, &c->ch_layout) < 0
        || av_frame_get_buffer(m_audioFrame, 0) < 0)
        fail("@ av_frame_get_buffer() error !");
}

void ZM_AVEncoder::openFile()
{
    if (m_context->oformat->flags & AVFMT_NOFILE)
        fail("@ the output format writes no file");
    const int opened = avio_open(&m_context->pb, m_context->url, AVIO_FLAG_WRITE);
    if (opened < 0)
        fail("@ avio_open  error !", opened);
    m_fileOpen = true;
}

void ZM_AVEncoder::writeVideoFrame(const unsigned char* data, int len)
{
    if (!m_video || !m_headerWritten)
        return;
    if (data && len != 0) {
        if (len != m_srcBytes)
            return;
        if (av_frame_make_writable(m_dstFrame) < 0)
            return;
        m_converter->convert(data, m_dstFrame->data, m_dstFrame->linesize);
        m_keptLatest = true;
        encodeKept();
    } else if (m_frameSlots.load() <= uint32_t(m_frameRate) + 30) {
        repeatLatest();
    }
    // An empty slot only moves the clock on: the next picture gets a later time stamp and
    // players keep showing the previous one meanwhile.
    m_frameSlots.fetch_add(1);
}

bool ZM_AVEncoder::toYuv(const unsigned char* data, int len, unsigned char* dst) const
{
    if (!m_converter || !data || len != m_srcBytes)
        return false;
    uint8_t* planes[4] = {};
    int strides[4] = {};
    av_image_fill_arrays(planes, strides, dst, AV_PIX_FMT_YUV420P, m_width, m_height, 1);
    return m_converter->convert(data, planes, strides);
}

void ZM_AVEncoder::writeYuvFrame(const unsigned char* yuv, const ChangedAreas& changed)
{
    if (!m_video || !m_headerWritten || !yuv)
        return;
    // Only within the first frameRate + 30 slots can a later slot repeat this picture, and
    // only a stream without repeat frames needs a copy of its own to encode again.
    if (m_frameSlots.load() <= uint32_t(m_frameRate) + 30 && !m_repeats->usable())
        encodeCopy(yuv, changed);
    else
        encodeLent(yuv, changed);
    m_frameSlots.fetch_add(1);
}

void ZM_AVEncoder::repeatYuvFrame(const unsigned char* yuv)
{
    if (!m_video || !m_headerWritten || !yuv)
        return;
    // The same picture again: nothing changed.
    ChangedAreas nothing;
    nothing.whole = false;
    if (keyFrameDue() || !writeRepeat())
        encodeLent(yuv, nothing);
    m_frameSlots.fetch_add(1);
}

// A slot without a picture in the first frameRate + 30: a repeat frame, or else the kept
// copy encoded again; before the first picture that is black rather than stale memory.
void ZM_AVEncoder::repeatLatest()
{
    if (writeRepeat())
        return;
    if (!m_anyPicture && !m_keptLatest)
        paintBlack();
    if (m_keptLatest)
        encodeKept();
}

void ZM_AVEncoder::paintBlack()
{
    if (av_frame_make_writable(m_dstFrame) < 0)
        return;
    const ptrdiff_t linesizes[4] = {m_dstFrame->linesize[0], m_dstFrame->linesize[1],
                                    m_dstFrame->linesize[2], 0};
    av_image_fill_black(m_dstFrame->data, linesizes, AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, m_width,
                        m_height);
    m_keptLatest = true;
}

// Only when the encoder has handed back every picture it was given can a frame be put after
// the latest one; the encoder's later frames are then renumbered to follow it.
bool ZM_AVEncoder::writeRepeat()
{
    if (m_videoInFlight != 0 || !m_repeats->usable())
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(64);
    if (av_new_packet(m_packet, 64) < 0 || !m_repeats->makeRepeat(&bytes)) {
        av_packet_unref(m_packet);
        return false;
    }
    if (bytes.size() > 64 && av_grow_packet(m_packet, int(bytes.size()) - 64) < 0) {
        // The numbering already counts this frame: the stream needs it.
        logLine(LogError, "@ a repeat frame could not be stored (out of memory)");
        av_packet_unref(m_packet);
        return true;
    }
    av_shrink_packet(m_packet, int(bytes.size()));
    std::memcpy(m_packet->data, bytes.data(), bytes.size());
    m_packet->pts = m_packet->dts = m_frameSlots.load();
    writeVideoPacket();
    m_repeatFrames.fetch_add(1);
    return true;
}

// Repeat frames do not reach the encoder, which would space its key frames by its own frames
// only: a still screen would go minutes without a point to seek to.
bool ZM_AVEncoder::keyFrameDue() const
{
    return m_gopSize > 0 && int64_t(m_frameSlots.load()) - m_keySlot >= m_gopSize;
}

void ZM_AVEncoder::encodeCopy(const unsigned char* yuv, const ChangedAreas& changed)
{
    if (av_frame_make_writable(m_dstFrame) < 0)
        return;
    m_keptLatest = true;
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    av_image_fill_arrays(const_cast<uint8_t**>(planes), strides, yuv, AV_PIX_FMT_YUV420P, m_width,
                         m_height, 1);
    av_image_copy(m_dstFrame->data, m_dstFrame->linesize, planes, strides, AV_PIX_FMT_YUV420P,
                  m_width, m_height);
    encodeVideo(m_dstFrame->data, m_dstFrame->linesize, changed);
}

// The kept copy, as a picture that may differ anywhere from the one encoded before.
bool ZM_AVEncoder::encodeKept()
{
    return encodeVideo(m_dstFrame->data, m_dstFrame->linesize, ChangedAreas());
}

// Encodes straight from the caller's memory: x264 copies the picture while it takes it.
void ZM_AVEncoder::encodeLent(const unsigned char* yuv, const ChangedAreas& changed)
{
    uint8_t* planes[4] = {};
    int strides[4] = {};
    m_keptLatest = false;
    if (av_image_fill_arrays(planes, strides, yuv, AV_PIX_FMT_YUV420P, m_width, m_height, 1) >= 0)
        encodeVideo(planes, strides, changed);
}

bool ZM_AVEncoder::encodeVideo(uint8_t* const planes[3], const int strides[3], const ChangedAreas& changed)
{
    const ZM_X264Video::Result result
        = m_video->encode(planes, strides, m_frameSlots.load(), keyFrameDue(), changed, m_packet);
    if (result == ZM_X264Video::Failed)
        return false;
    ++m_videoInFlight;
    m_anyPicture = true;
    if (result == ZM_X264Video::Held)
        return false;
    followVideoPacket();
    writeVideoPacket();
    return true;
}

// Every packet of the encoder goes through here before it is written: key frames restart the
// spacing, and frames after repeats take the numbers that follow them.
void ZM_AVEncoder::followVideoPacket()
{
    --m_videoInFlight;
    if (m_packet->flags & AV_PKT_FLAG_KEY)
        m_keySlot = m_packet->pts;
    if (!m_repeats->follow(m_packet))
        logLine(LogError, "@ a frame after repeats could not be renumbered (out of memory)");
}

void ZM_AVEncoder::writeVideoPacket()
{
    if (m_packet->duration == 0)
        m_packet->duration = 1;
    writePacket(m_videoStream, m_frameRate, m_packet);
    m_videoPackets.fetch_add(1);
}

void ZM_AVEncoder::writePacket(AVStream* stream, int ticksPerSecond, AVPacket* packet)
{
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, AVRational{1, ticksPerSecond}, stream->time_base);
    // A failed write loses this packet only; the clocks advance as if it had been written so
    // that audio and video stay in step. The failure is counted and the first one kept.
    noteWrite(av_interleaved_write_frame(m_context, packet), "@ av_interleaved_write_frame(...) error !");
}

void ZM_AVEncoder::noteWrite(int result, const char* what)
{
    if (result >= 0)
        return;
    noteFailure(ZM_Error(what, averrorText(result)).what());
}

void ZM_AVEncoder::noteFailure(const std::string& text)
{
    if (m_writeFailures.fetch_add(1) == 0) {
        logLine(LogError, text);
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_writeError = text;
    }
}

std::string ZM_AVEncoder::writeError() const
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_writeError;
}

int ZM_AVEncoder::audioFrameBytes() const
{
    return m_audioFrame->nb_samples * m_channels * 2;
}

void ZM_AVEncoder::writeAudioFrame(const unsigned char* data, int len)
{
    if (!m_audioCodec)
        return;
    const int chunk = m_channels * 2048;
    if (len <= chunk) {
        writeAudioFrame_pri(data, len);
        return;
    }
    for (int pos = 0; pos < len; pos += chunk)
        writeAudioFrame_pri(data + pos, std::min(chunk, len - pos));
}

void ZM_AVEncoder::writeAudioFrame_pri(const unsigned char* data, int len)
{
    if (!m_audioCodec || !m_headerWritten || !data || len <= 0)
        return;
    const int frameBytes = audioFrameBytes();
    if (m_heldAudio.empty() && len == frameBytes) {
        encodeAudio(data, m_audioFrame->nb_samples);
        return;
    }
    m_heldAudio.insert(m_heldAudio.end(), data, data + len);
    size_t used = 0;
    while (m_heldAudio.size() - used >= size_t(frameBytes)) {
        encodeAudio(m_heldAudio.data() + used, m_audioFrame->nb_samples);
        used += frameBytes;
    }
    m_heldAudio.erase(m_heldAudio.begin(), m_heldAudio.begin() + used);
}

bool ZM_AVEncoder::encodeAudio(const unsigned char* data, int samples)
{
    if (av_frame_make_writable(m_audioFrame) < 0)
        return false;
    if (m_resampler) {
        if (swr_convert(m_resampler, m_audioFrame->data, samples, &data, samples) != samples)
            return false;
    } else {
        std::memcpy(m_audioFrame->data[0], data, size_t(samples) * m_channels * 2);
    }
    const int fullSize = m_audioFrame->nb_samples;
    m_audioFrame->nb_samples = samples;
    m_audioFrame->pts = int64_t(m_audioFrames.load()) * fullSize;
    const int sent = avcodec_send_frame(m_audioCodec, m_audioFrame);
    m_audioFrame->nb_samples = fullSize;
    if (sent < 0)
        return false;
    m_audioFrames.fetch_add(1);
    while (avcodec_receive_packet(m_audioCodec, m_packet) == 0) {
        writePacket(m_audioStream, m_audioSampleRate, m_packet);
        m_audioPackets.fetch_add(1);
    }
    return true;
}

void ZM_AVEncoder::flushHeldAudio()
{
    const int samples = int(m_heldAudio.size() / (size_t(m_channels) * 2));
    if (samples > 0)
        encodeAudio(m_heldAudio.data(), samples);
    m_heldAudio.clear();
}

void ZM_AVEncoder::drainVideo()
{
    while (m_video->flush(m_packet)) {
        followVideoPacket();
        writeVideoPacket();
    }
}

void ZM_AVEncoder::drainAudio()
{
    if (avcodec_send_frame(m_audioCodec, nullptr) < 0)
        return;
    while (avcodec_receive_packet(m_audioCodec, m_packet) == 0) {
        writePacket(m_audioStream, m_audioSampleRate, m_packet);
        m_audioPackets.fetch_add(1);
    }
}

void ZM_AVEncoder::uninit()
{
    if (!m_context)
        return;
    if (m_headerWritten) {
        if (m_video)
            drainVideo();
        if (m_audioCodec) {
            flushHeldAudio();
            drainAudio();
        }
        noteWrite(av_interleaved_write_frame(m_context, nullptr), "@ av_interleaved_write_frame(...) error !");
        noteWrite(av_write_trailer(m_context), "@ av_write_trailer(...) error !");
        closeFile();
        if (m_container == Mp4Family && m_choices.fragmented)
            finishFile(m_context->url);
    }
    release();
}

void ZM_AVEncoder::closeFile()
{
    if (m_fileOpen)
        noteWrite(avio_closep(&m_context->pb), "@ avio_close(...) error !");
    m_fileOpen = false;
}

// Even after a failed write the fragments written before it are whole: the torn one is cut
// and the rest finished.
void ZM_AVEncoder::finishFile(const std::string& path)
{
    ZM_Mp4Finisher finisher(m_audioPriming > 0 ? m_audioPriming : 1024);
    if (finisher.finish(path) == ZM_Mp4Finisher::Failed)
        noteFailure("@ finishing the MP4 in place failed: " + finisher.error());
}

void ZM_AVEncoder::release()
{
    m_video.reset();
    close_audio(&m_audioCodec);
    swr_free(&m_resampler);
    av_frame_free(&m_audioFrame);
    av_packet_free(&m_packet);
    delete m_converter;
    m_converter = nullptr;
    m_repeats.reset();
    m_heldAudio.clear();
    if (m_fileOpen)
        avio_closep(&m_context->pb);
    m_fileOpen = false;
    m_headerWritten = false;
    // Frees the streams too.
    avformat_free_context(m_context);
    m_context = nullptr;
    m_videoStream = nullptr;
    m_audioStream = nullptr;
}

double ZM_AVEncoder::videoTime() const
{
    return m_frameRate > 0 ? double(m_frameSlots.load()) / m_frameRate : 0.0;
}

double ZM_AVEncoder::audioTime() const
{
    const int frameSize = m_audioFrame ? m_audioFrame->nb_samples : 1024;
    return m_audioSampleRate > 0 ? double(m_audioPackets.load()) * frameSize / m_audioSampleRate : 0.0;
}

} // namespace ZM
