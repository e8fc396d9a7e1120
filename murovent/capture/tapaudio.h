// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_server_info;
struct pa_mainloop_api;
struct timeval;

// Records the system's own sound: the monitor of the default output device of the PulseAudio
// server. Delivers signed 16-bit little-endian PCM, 48000 Hz, 2 channels interleaved, to the
// registered callback on its own thread. No callback runs after stop_record returns, and a
// stopped recording can be started again.
class TapAudio
{
public:
    typedef void (*RecordCallBack)(const char* data, int bytes, void* user);

    static constexpr int SampleRate = 48000;
    static constexpr int Channels = 2;
    static constexpr int SampleBits = 16;

    TapAudio() = default;
    ~TapAudio();
    TapAudio(const TapAudio&) = delete;
    TapAudio& operator=(const TapAudio&) = delete;

    void registerRecordCallBack(RecordCallBack callback, void* user);
    // False, with errorString(), when the server or its default output cannot be reached.
    bool start_record();
    void stop_record();
    bool isRecording() const { return m_mainloop != nullptr; }
    // True once the server went away during this recording; silence has been filling in since.
    bool serverLost() const { return m_serverLost.load(); }
    std::string errorString() const;

private:
    bool connectContext();
    bool connectStream(const std::string& monitor);
    std::string defaultMonitor();
    void release();
    void deliver(const char* data, int bytes);
    void deliverSilence(long long bytes);
    void startSilence();
    void stopSilence();
    void fillSilence();
    void onServerLost();

    static void contextState(pa_context* c, void* self);
    static void streamState(pa_stream* s, void* self);
    static void streamRead(pa_stream* s, size_t bytes, void* self);
    static void serverInfo(pa_context* c, const pa_server_info* info, void* self);
    static void silenceTick(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);

    RecordCallBack m_callback = nullptr;
    void* m_user = nullptr;
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_time_event* m_silenceTimer = nullptr;
    bool m_streaming = false;         // started successfully; guarded by the loop's lock
    long long m_silenceStart = 0;     // monotonic microseconds at which the silence began
    long long m_silenceFrames = 0;    // frames of silence delivered since then
    std::string m_defaultSink;
    std::string m_error;              // written by the controlling thread only
    std::atomic<bool> m_serverLost{false};
};
