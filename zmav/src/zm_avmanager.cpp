// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_avmanager.h>

#include <zmav/zm_avencoder.h>
#include <zmav/zm_error.h>
#include <zmav/zm_packetpool.h>

#include "zm_changedblocks.h"
#include "zm_log.h"
#include "zm_yuvintake.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>

namespace ZM {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollSlice = std::chrono::milliseconds(20);
// The longest lag of the video-only schedule that is made up rather than skipped.
constexpr auto kMaxCatchUp = std::chrono::milliseconds(100);
// One AAC frame: 1024 samples of 16 bits per channel.
constexpr int kAudioFrameSamples = 1024;
constexpr int kAudioFrameBytesPerChannel = kAudioFrameSamples * 2;
// Memory for converted pictures handed in with their changes.
constexpr int kPictureBudget = 32 << 20;
// The video queue holds five pictures: none can fall further behind its slot than that.
constexpr int kMostLateSlots = 5;

} // namespace

ZM_AVManager::ZM_AVManager() : m_movieInfo()
{
}

ZM_AVManager::~ZM_AVManager()
{
    if (m_started)
        ZM_Stop();
}

bool ZM_AVManager::open(ZM_MovieInfo* info)
{
    return open(info, ZM_EncoderChoices());
}

bool ZM_AVManager::open(ZM_MovieInfo* info, const ZM_EncoderChoices& choices)
{
    const int streams = info ? (info->has_audio_video & ZM_AUDIO_VIDEO) : 0;
    if (m_encoder)
        return false;
    if (streams == 0) {
        m_error = "@ open(...) neither audio nor video is chosen";
        return false;
    }
    m_movieInfo = *info;
    m_encoder = std::make_unique<ZM_AVEncoder>(static_cast<ZM_AVEnum>(streams));
    m_encoder->setChoices(choices);
    try {
        m_encoder->init(&m_movieInfo);
    } catch (const std::exception& error) {
        m_error = error.what();
        logLine(LogError, m_error);
        return false;
    }
    return true;
}

void ZM_AVManager::ZM_Start()
{
    if (m_started || m_finished || !m_encoder || !m_encoder->isOpen())
        return;
    m_pause = false;
    m_stop = false;
    m_videoStarted = false;
    m_lateSlots = 0;
    if (m_encoder->hasAudio())
        m_audioFrame.assign(static_cast<size_t>(m_movieInfo.channels) * kAudioFrameBytesPerChannel, 0);
    AudioPool::instance().discardAll();
    VideoPool::instance().discardAll();
    AudioPool::instance().open();
    VideoPool::instance().open();
    try {
        m_thread = std::thread(&ZM_AVManager::static_RUN, this);
    } catch (const std::system_error&) {
        return;
    }
    if (m_encoder->hasVideo())
        convertPicturesAtIntake();
    m_started = true;
}

// The capture thread converts each picture as it hands it in: the queue then holds YUV 4:2:0
// pictures of 3/8 the size of BGRA ones, and the encoding thread no longer copies and converts
// a whole BGRA picture. Producers are let in only once the recording has started.
//
// Pictures handed in with their changes may hold at most kPictureBudget of buffers, but always
// two: the last picture (kept for repeats) and the next. A 3840 x 2160 picture takes 12 MB, so
// five queued ones, the last, a spare and the one being converted would take a hundred.
void ZM_AVManager::convertPicturesAtIntake()
{
    m_intake = std::make_unique<ZM_YuvIntake>(getFrameFormat(m_movieInfo), m_movieInfo.width, m_movieInfo.height);
    m_blocks = std::make_unique<ZM_ChangedBlocks>(m_movieInfo.width, m_movieInfo.height);
    ZM_YuvIntake* intake = m_intake.get();
    const int buffers = std::max(2, kPictureBudget / std::max(1, intake->yuvBytes()));
    VideoPool::instance().setIntake(
        pictureBytes(m_movieInfo), intake->yuvBytes(),
        [intake](const unsigned char* src, int, const ChangedAreas& changed, PoolItem& item) {
            return intake->convert(src, changed, item);
        },
        buffers);
}

void ZM_AVManager::ZM_Pause()
{
    m_pause = true;
}

void ZM_AVManager::ZM_Resume()
{
    m_pause = false;
}

void ZM_AVManager::ZM_Stop()
{
    if (m_finished.exchange(true))
        return;
    m_stop = true;
    AudioPool::instance().close();
    VideoPool::instance().close();
    if (m_thread.joinable())
        m_thread.join();
    // A producer may have passed the stop check just before the flag was set; once it has
    // left, nothing can add to the pools any more and what is left there is this
    // recording's, not the next one's.
    waitForWriters();
    // The intake conversion belongs to this recording and goes with it.
    VideoPool::instance().setIntake(0, 0, nullptr);
    AudioPool::instance().discardAll();
    m_picturesDropped += VideoPool::instance().discardAll();
    if (m_encoder) {
        closeVideoTrack();
        m_encoder->uninit();
    }
}

bool ZM_AVManager::is_Working() const
{
    return m_started && !m_pause && !m_stop;
}

void ZM_AVManager::waitForWriters() const
{
    // Closed pools release a blocked producer within one 20 ms slice.
    while (m_writers.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The writer is counted before it looks at the flags, and ZM_Stop sets the flag before it
// looks at the count: either the writer sees the stop, or ZM_Stop waits for it.
bool ZM_AVManager::ZM_writeVideo(const unsigned char* data, int size, bool block)
{
    return ZM_writeVideo(data, size, block, ChangedAreas());
}

bool ZM_AVManager::ZM_writeVideo(const unsigned char* data, int size, bool block, const ChangedAreas& changed)
{
    WriterGuard guard(*this);
    // A picture of another size would be dropped by the encoder, yet count on the schedule.
    if (data && size != 0 && size != pictureBytes(m_movieInfo))
        return false;
    return is_Working() && VideoPool::instance().writeChanged(data, size, block, changed);
}

bool ZM_AVManager::ZM_writeAudio(const unsigned char* data, int size, bool block)
{
    WriterGuard guard(*this);
    if (!is_Working() || size < 0)
        return false;
    if (AudioPool::instance().writenBytes(data, size, block))
        return true;
    ++m_audioRefused;
    return false;
}

bool ZM_AVManager::encVideoFrame()
{
    VideoPool& pool = VideoPool::instance();
    if (pool.isClosed())
        return false;
    const bool autoJump = m_movieInfo.autoJumpFrame;
    // The first picture of a recording is always waited for; after it, a slot without a new
    // picture is filled by the encoder instead of holding up the timeline.
    const bool block = !autoJump || !m_videoStarted;
    std::unique_ptr<PoolItem> item;
    switch (pool.takeItem(item, block)) {
    case queue_producer_consumer::Ok: {
        if (autoJump)
            m_videoStarted = true;
        skipLatePictures(item);
        if (item->len == 0) {
            pool.recycle(std::move(item));
            repeatLastPicture();
            return true;
        }
        if (!item->converted) {
            pool.recycle(std::move(item));
            return true; // not one picture's bytes: the encoder would ignore it, no slot
        }
        ++m_newPictures;
        const ChangedAreas changed = changesSinceLatest(*item);
        if (!changed.whole && changed.count == 0) {
            pool.recycle(std::move(item));
            m_encoder->repeatYuvFrame(m_lastPicture->data.get());
            m_lastSlotEmpty = false;
            return true;
        }
        pool.recycle(std::move(m_lastPicture));
        m_lastPicture = std::move(item);
        m_encoder->writeYuvFrame(m_lastPicture->data.get(), changed);
        m_lastSlotEmpty = false;
        return true;
    }
    case queue_producer_consumer::WouldBlock:
        if (m_encoder->hasAudio())
            m_lateSlots = std::min(m_lateSlots + 1, kMostLateSlots);
        fillSlotWithoutPicture();
        return true;
    default:
        return false;
    }
}

// A slot whose picture comes late (a busy machine holding up the capture thread) repeats the
// one before; taken in the next slot, that picture and every one after it would stay a slot
// late, and behind their sound. Once another item is queued behind a late one, the two take
// one slot and the pictures are back on theirs. Without sound a late picture is better shown
// late than not at all: skipping it would only leave a later slot empty.
void ZM_AVManager::skipLatePictures(std::unique_ptr<PoolItem>& item)
{
    VideoPool& pool = VideoPool::instance();
    while (m_lateSlots > 0 && pool.queuedCount() > 0) {
        std::unique_ptr<PoolItem> newer;
        if (pool.takeItem(newer, false) != queue_producer_consumer::Ok)
            return;
        // A newer "nothing new" says that the late picture still stands: that one is kept.
        if (newer->len != 0) {
            std::swap(item, newer);
            ++m_picturesDropped;
        }
        pool.recycle(std::move(newer));
        --m_lateSlots;
    }
}

// Where a picture differs from the one the encoder has, which then analyses only there. The
// producer's changes hold only against the picture converted just before, so after a picture
// dropped or refused in between they do not count. Without them the two pictures are
// compared: a whole picture (a producer that grabs everything, or a periodic whole grab) is
// often the last one again, or that one but for a few blocks. No changes at all: the picture
// is stored as a repeat, which costs the encoder nothing and shows exactly the same picture.
ChangedAreas ZM_AVManager::changesSinceLatest(const PoolItem& item)
{
    ChangedAreas changed;
    if (item.changesKnown && m_latestPicture != 0 && item.picture == m_latestPicture + 1) {
        changed.whole = false;
        changed.rects = item.changes.data();
        changed.count = int(item.changes.size());
    } else if (m_lastPicture && m_lastPicture->len == item.len
               && m_blocks->find(m_lastPicture->data.get(), item.data.get(), &m_changedBlocks)) {
        changed.whole = false;
        changed.rects = m_changedBlocks.data();
        changed.count = int(m_changedBlocks.size());
    }
    m_latestPicture = item.picture;
    return changed;
}

// The producer said that nothing changed: the previous picture fills the slot as a frame of
// the file, which costs the encoder next to nothing. (A slot the capture missed is another
// matter, see fillSlotWithoutPicture.)
void ZM_AVManager::repeatLastPicture()
{
    if (!m_lastPicture) {
        fillSlotWithoutPicture();
        return;
    }
    m_encoder->repeatYuvFrame(m_lastPicture->data.get());
    ++m_repeatedSlots;
    m_lastSlotEmpty = false;
}

// A slot the capture did not fill in time: the encoder repeats the previous picture for the
// first frameRate + 30 slots of a recording and leaves later ones empty.
void ZM_AVManager::fillSlotWithoutPicture()
{
    const bool empty = m_encoder->frameSlots() > uint32_t(m_movieInfo.frameRate) + 30;
    m_encoder->writeVideoFrame(nullptr, 0);
    ++(empty ? m_emptySlots : m_repeatedSlots);
    m_lastSlotEmpty = empty;
}

// Empty slots store nothing, so a video track ending in them would end at its last stored
// picture, short of the recording's length: one more slot with that picture closes it.
void ZM_AVManager::closeVideoTrack()
{
    if (!m_lastSlotEmpty || !m_lastPicture)
        return;
    m_encoder->writeYuvFrame(m_lastPicture->data.get());
    ++m_repeatedSlots;
    m_lastSlotEmpty = false;
}

int ZM_AVManager::writeFailures() const
{
    return m_encoder ? m_encoder->writeFailures() : 0;
}

std::string ZM_AVManager::writeError() const
{
    return m_encoder ? m_encoder->writeError() : std::string();
}

ZMAV_Stats ZM_AVManager::stats() const
{
    ZMAV_Stats s{};
    s.frameSlots = m_encoder ? int(m_encoder->frameSlots()) : 0;
    s.newPictures = m_newPictures;
    s.repeatedSlots = m_repeatedSlots;
    s.emptySlots = m_emptySlots;
    s.audioChunksRefused = m_audioRefused;
    s.picturesDropped = m_picturesDropped;
    return s;
}

bool ZM_AVManager::encAudioFrame()
{
    const int n = static_cast<int>(m_audioFrame.size());
    if (AudioPool::instance().readnBytes(m_audioFrame.data(), n) != AudioPool::ReadOk)
        return false;
    m_encoder->writeAudioFrame(m_audioFrame.data(), n);
    return true;
}

bool ZM_AVManager::napUnlessStopping(Clock::duration d) const
{
    const auto until = Clock::now() + d;
    for (;;) {
        if (m_stop)
            return false;
        const auto now = Clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kPollSlice));
    }
}

// Slots follow an absolute schedule (slot k due at start + k / frameRate), so the timeline
// keeps to the wall clock instead of drifting by the rounding and overhead of every pass. A
// short lag (a busy machine delaying the thread) is made up; falling further behind restarts
// the schedule, so a slow encoder yields fewer slots per second rather than bursts of
// catch-up slots.
void ZM_AVManager::run_only_video()
{
    const double fps = m_movieInfo.frameRate;
    if (fps < 1)
        return;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
    const auto maxLag = std::max<Clock::duration>(period, kMaxCatchUp);
    bool scheduled = false;
    Clock::time_point start;
    long long slot = 0;
    while (!m_stop) {
        if (m_pause) {
            scheduled = false; // a pause leaves no gap: the schedule restarts on resume
            napUnlessStopping(kPollSlice);
            continue;
        }
        if (!m_encoder || !encVideoFrame())
            return;
        const auto now = Clock::now();
        if (!scheduled) {
            start = now;
            slot = 0;
            scheduled = true;
        }
        ++slot;
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(slot / fps));
        if (now - due > maxLag) {
            start = now;
            slot = 0;
        } else if (due > now && !napUnlessStopping(due - now)) {
            return;
        }
    }
}

// The audio intake paces the loop: each pass waits in the pool for one frame of sound.
void ZM_AVManager::run_only_audio()
{
    while (!m_stop) {
        if (m_pause)
            napUnlessStopping(kPollSlice);
        else if (!m_encoder || !encAudioFrame())
            return;
    }
}

// Sound handed to the encoder so far. The encoder's own clock counts the packets it has
// written, which trail its input by the codec's delay (one AAC frame, 128 ms at 8000 Hz), and
// would make the pacing depend on that delay.
double ZM_AVManager::audioFedTime() const
{
    return double(m_encoder->audioFrames()) * kAudioFrameSamples / m_movieInfo.audioSampleRate;
}

// The audio capture sets the pace: a video slot is filled once the sound has passed its end,
// when the picture grabbed at its start has surely arrived; the video clock stays less than
// one frame behind the sound. Filling a slot earlier would find its picture missing, repeat
// the previous one and leave every later picture a slot late. The slots that one frame of
// sound covers are filled in one go.
void ZM_AVManager::run_audio_video()
{
    if (m_movieInfo.frameRate < 1 || m_movieInfo.audioSampleRate < 1)
        return;
    const double d = 1.0 / m_movieInfo.frameRate;
    while (!m_stop) {
        if (m_pause) {
            napUnlessStopping(kPollSlice);
            continue;
        }
        if (!m_encoder)
            return;
        const double diff = audioFedTime() - m_encoder->videoTime();
        if (diff < d) {
            if (!encAudioFrame())
                return;
            continue;
        }
        for (int k = int(diff / d); k > 0; --k)
            if (!encVideoFrame())
                return;
    }
}

void* ZM_AVManager::static_RUN(void* manager)
{
    auto* self = static_cast<ZM_AVManager*>(manager);
    const ZM_AVEncoder* encoder = self->m_encoder.get();
    if (!encoder)
        return nullptr;
    if (encoder->hasVideo() && encoder->hasAudio())
        self->run_audio_video();
    else if (encoder->hasAudio())
        self->run_only_audio();
    else if (encoder->hasVideo())
        self->run_only_video();
    return nullptr;
}

} // namespace ZM
