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

// Records from the PulseAudio server (served by PipeWire alike): by default the system's own
// sound, i.e. the monitor of the default output device; or, after setTarget, the monitor of a
// named output or any input (a microphone). Delivers signed 16-bit little-endian PCM at 48000 Hz,
// `channels()` channels interleaved, to the registered callback on its own thread (the server
// converts whatever the device runs at). No callback runs after stop_record returns, and a
// stopped recording can be started again.
class TapAudio
{
public:
    typedef void (*RecordCallBack)(const char* data, int bytes, void* user);

    static constexpr int SampleRate = 48000;
    static constexpr int Channels = 2;   // of the system sound, unless setTarget says otherwise
    static constexpr int SampleBits = 16;

    // What is recorded: the monitor of an output (sink) or an input (source), by its server
    // name; an empty name means the server's default one.
    enum Target { OutputMonitor, Input };

    TapAudio() = default;
    ~TapAudio();
    TapAudio(const TapAudio&) = delete;
    TapAudio& operator=(const TapAudio&) = delete;

    // Before start_record, on the controlling thread.
    void setTarget(Target target, const std::string& device, int channels);
    int channels() const { return m_channels; }
    void registerRecordCallBack(RecordCallBack callback, void* user);
    // False, with errorString(), when the server or the device cannot be reached.
    bool start_record();
    void stop_record();
    bool isRecording() const { return m_mainloop != nullptr; }
    // True once the server or the device went away during this recording; silence has been
    // filling in since.
    bool lost() const { return m_lost.load(); }
    std::string errorString() const;

private:
    bool connectContext();
    bool connectStream(const std::string& device);
    std::string deviceName();
    std::string namedDevice() const;
    std::string what() const;
    void release();
    void deliver(const char* data, int bytes);
    void deliverSilence(long long bytes);
    void startSilence();
    void stopSilence();
    void fillSilence();
    void onLost(bool serverGone);

    static void contextState(pa_context* c, void* self);
    static void streamState(pa_stream* s, void* self);
    static void streamRead(pa_stream* s, size_t bytes, void* self);
    static void streamMoved(pa_stream* s, void* self);
    static void serverInfo(pa_context* c, const pa_server_info* info, void* self);
    static void silenceTick(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);

    Target m_target = OutputMonitor;
    std::string m_device;             // empty: the server's default
    int m_channels = Channels;
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
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_serverGone{false};
};
