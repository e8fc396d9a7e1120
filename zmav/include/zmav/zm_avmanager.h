// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_movie_info.h>
#include <zmav/zmav.h>
#include <zmav/zmav_export.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ZM {

class ZM_AVEncoder;
class ZM_ChangedBlocks;
class ZM_YuvIntake;
struct ChangedAreas;
struct PoolItem;
struct ZM_EncoderChoices;

// One recording: the encoder, a copy of its description, and the encoding thread that takes
// pictures and sound from the two process-wide pools and paces the output.
//
// Threads: open/ZM_Start/ZM_Pause/ZM_Resume/ZM_Stop on the controlling thread; ZM_writeVideo
// on the screen-capture thread and ZM_writeAudio on the audio delivery thread (one each);
// everything else on the encoding thread.
class ZMAV_EXPORT ZM_AVManager {
public:
    ZM_AVManager();
    // Stops a recording still running, so that the file is always finalised.
    virtual ~ZM_AVManager();
    ZM_AVManager(const ZM_AVManager&) = delete;
    ZM_AVManager& operator=(const ZM_AVManager&) = delete;

    // Creates the encoder and the output file; false when any part of the set-up fails, with
    // the reason in error().
    bool open(ZM_MovieInfo* info);
    // The same with encoder choices the description has no field for.
    bool open(ZM_MovieInfo* info, const ZM_EncoderChoices& choices);
    const std::string& error() const { return m_error; }
    void ZM_Start();
    void ZM_Pause();
    void ZM_Resume();
    // Ends the intake, waits for the encoding thread and for producers still inside the
    // pools, drops what they left there and finalises the file. Later calls do nothing.
    void ZM_Stop();
    // Running and neither paused nor stopping: the intake accepts.
    bool is_Working() const;

    bool ZM_writeVideo(const unsigned char* data, int size, bool block);
    // A picture that differs from the last one accepted only where `changed` says.
    bool ZM_writeVideo(const unsigned char* data, int size, bool block, const ChangedAreas& changed);
    bool ZM_writeAudio(const unsigned char* data, int size, bool block);

    bool encVideoFrame();
    bool encAudioFrame();
    void run_only_video();
    void run_only_audio();
    void run_audio_video();
    static void* static_RUN(void* manager);

    // What became of the input so far; any thread.
    ZMAV_Stats stats() const;
    // Failed packet writes and the first one's reason; any thread.
    int writeFailures() const;
    std::string writeError() const;
    // Read by tests and the library's own diagnostics; null before open.
    const ZM_AVEncoder* encoder() const { return m_encoder.get(); }

    // Counts a producer inside the intake for as long as it lives; ZM_Stop waits until none
    // is left, so a recording can be destroyed once ZM_Stop has returned.
    class WriterGuard {
    public:
        explicit WriterGuard(ZM_AVManager& manager) : m_writers(manager.m_writers) { ++m_writers; }
        ~WriterGuard() { --m_writers; }
        WriterGuard(const WriterGuard&) = delete;
        WriterGuard& operator=(const WriterGuard&) = delete;

    private:
        std::atomic<int>& m_writers;
    };

private:
    // Sleeps up to d in short slices; false when the recording began stopping meanwhile.
    bool napUnlessStopping(std::chrono::steady_clock::duration d) const;
    void waitForWriters() const;
    ChangedAreas changesSinceLatest(const PoolItem& item);
    void skipLatePictures(std::unique_ptr<PoolItem>& item);
    void repeatLastPicture();
    void fillSlotWithoutPicture();
    void closeVideoTrack();
    void convertPicturesAtIntake();
    double audioFedTime() const;

    std::unique_ptr<ZM_AVEncoder> m_encoder;
    // Converts the pictures handed in; the pool holds a function that uses it.
    std::unique_ptr<ZM_YuvIntake> m_intake;
    ZM_MovieInfo m_movieInfo;
    std::string m_error;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::thread m_thread;
    std::atomic<bool> m_videoStarted{false};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_writers{0};
    std::atomic<int> m_newPictures{0};
    std::atomic<int> m_repeatedSlots{0};
    std::atomic<int> m_emptySlots{0};
    std::atomic<int> m_audioRefused{0};
    std::atomic<int> m_picturesDropped{0};
    std::vector<unsigned char> m_audioFrame;
    // The latest picture encoded, and whether the latest slot was left empty (encoding thread,
    // then ZM_Stop after it ended).
    std::unique_ptr<PoolItem> m_lastPicture;
    bool m_lastSlotEmpty = false;
    // Slots that found no picture since the capture last ran ahead of the encoder (encoding
    // thread).
    int m_lateSlots = 0;
    // The number of the latest picture taken that the encoder has (encoded, or the same as the
    // one it encoded); 0: none.
    uint64_t m_latestPicture = 0;
    // For pictures that come without their changes: which blocks differ from the last one.
    std::unique_ptr<ZM_ChangedBlocks> m_blocks;
    std::vector<ZMAV_Rect> m_changedBlocks;
};

} // namespace ZM
