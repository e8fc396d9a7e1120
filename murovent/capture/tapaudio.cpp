// SPDX-License-Identifier: GPL-2.0-or-later
#include "tapaudio.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace {

constexpr pa_usec_t FragmentUsec = 20 * 1000;   // short fragments keep the sound close to the picture
alignas(8) const char Zeros[4096] = {};

pa_sample_spec sampleSpec(int channels)
{
    return {PA_SAMPLE_S16LE, TapAudio::SampleRate, uint8_t(channels)};
}

}  // namespace

TapAudio::~TapAudio()
{
    stop_record();
}

std::string TapAudio::errorString() const
{
    if (!m_lost)
        return m_error;
    if (m_serverGone)
        return "声音服务器已断开，录音以静音继续。";
    return "录音设备（" + what() + "）已断开，录音以静音继续。";
}

void TapAudio::setTarget(Target target, const std::string& device, int channels)
{
    m_target = target;
    m_device = device;
    m_channels = channels;
}

std::string TapAudio::what() const
{
    const std::string kind = m_target == Input ? "麦克风" : "系统声音";
    return m_device.empty() ? kind : kind + " " + m_device;
}

void TapAudio::registerRecordCallBack(RecordCallBack callback, void* user)
{
    m_callback = callback;
    m_user = user;
}

bool TapAudio::start_record()
{
    if (m_mainloop)
        return true;
    m_error.clear();
    m_lost = false;
    m_serverGone = false;
    m_mainloop = pa_threaded_mainloop_new();
    if (!m_mainloop || pa_threaded_mainloop_start(m_mainloop) < 0) {
        m_error = "无法启动声音服务器的连接线程。";
        release();
        return false;
    }
    pa_threaded_mainloop_lock(m_mainloop);
    bool ok = connectContext();
    if (ok) {
        const std::string device = deviceName();
        ok = !device.empty() && connectStream(device);
    }
    m_streaming = ok;
    // A monitor can take a while to deliver its first bytes (a sink waking up). Silence
    // stands in until then, so the sound starts with the recording and the picture, which is
    // paced by the sound, does not pile up behind it.
    if (ok)
        startSilence();
    pa_threaded_mainloop_unlock(m_mainloop);
    if (!ok)
        release();
    return ok;
}

void TapAudio::stop_record()
{
    release();
}

bool TapAudio::connectContext()
{
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Murovent");
    if (!m_context) {
        m_error = "无法连接声音服务器。";
        return false;
    }
    pa_context_set_state_callback(m_context, &TapAudio::contextState, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_error = std::string("无法连接声音服务器：") + pa_strerror(pa_context_errno(m_context));
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            m_error = std::string("无法连接声音服务器：") + pa_strerror(pa_context_errno(m_context));
            return false;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
}

// The server's name of what is recorded. The default input is named by the server itself; the
// default output's monitor has to be looked up.
std::string TapAudio::deviceName()
{
    if (!m_device.empty())
        return namedDevice();
    if (m_target == Input)
        return "@DEFAULT_SOURCE@";
    m_defaultSink.clear();
    pa_operation* op = pa_context_get_server_info(m_context, &TapAudio::serverInfo, this);
    if (!op) {
        m_error = std::string("无法查询声音服务器：") + pa_strerror(pa_context_errno(m_context));
        return {};
    }
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(m_mainloop);
    pa_operation_unref(op);
    if (m_defaultSink.empty()) {
        m_error = "声音服务器没有默认的输出设备，无法录制系统声音。";
        return {};
    }
    return m_defaultSink + ".monitor";
}

bool TapAudio::connectStream(const std::string& device)
{
    const pa_sample_spec format = sampleSpec(m_channels);
    m_stream = pa_stream_new(m_context, m_target == Input ? "Microphone" : "System sound", &format, nullptr);
    if (!m_stream) {
        m_error = "无法录制" + what() + "：" + pa_strerror(pa_context_errno(m_context));
        return false;
    }
    pa_stream_set_state_callback(m_stream, &TapAudio::streamState, this);
    pa_stream_set_read_callback(m_stream, &TapAudio::streamRead, this);
    pa_stream_set_moved_callback(m_stream, &TapAudio::streamMoved, this);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(FragmentUsec, &format));
    if (pa_stream_connect_record(m_stream, device.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
        m_error = "无法录制" + what() + "（" + device + "）：" + pa_strerror(pa_context_errno(m_context));
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state)) {
            m_error = "无法录制" + what() + "（" + device + "）：" + pa_strerror(pa_context_errno(m_context));
            return false;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
}

// Ends the recording. Once the callbacks are detached under the loop's lock none can run again,
// and stopping the loop joins its thread. Nothing here waits for the server, so a vanished
// server cannot hang it.
void TapAudio::release()
{
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    m_streaming = false;
    if (m_silenceTimer) {
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_silenceTimer);
        m_silenceTimer = nullptr;
    }
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
    m_mainloop = nullptr;
}

void TapAudio::deliver(const char* data, int bytes)
{
    if (m_callback)
        m_callback(data, bytes, m_user);
}

// After the server or the device went away the recording goes on with silence in real time, so
// that the picture keeps its pace and the file keeps its length.
void TapAudio::onLost(bool serverGone)
{
    if (!m_streaming || m_lost)
        return;
    m_serverGone = serverGone;
    m_lost = true;
    startSilence();
}

void TapAudio::startSilence()
{
    if (m_silenceTimer)
        return;
    m_silenceStart = (long long)pa_rtclock_now();
    m_silenceFrames = 0;
    timeval tv;
    pa_timeval_add(pa_gettimeofday(&tv), FragmentUsec);
    m_silenceTimer = pa_threaded_mainloop_get_api(m_mainloop)->time_new(
        pa_threaded_mainloop_get_api(m_mainloop), &tv, &TapAudio::silenceTick, this);
}

void TapAudio::stopSilence()
{
    if (!m_silenceTimer)
        return;
    fillSilence();
    pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_silenceTimer);
    m_silenceTimer = nullptr;
}

void TapAudio::fillSilence()
{
    const long long due = ((long long)pa_rtclock_now() - m_silenceStart) * SampleRate / 1000000;
    long long bytes = (due - m_silenceFrames) * m_channels * (SampleBits / 8);
    m_silenceFrames = due;
    deliverSilence(bytes);
}

void TapAudio::deliverSilence(long long bytes)
{
    for (; bytes > 0; bytes -= sizeof(Zeros))
        deliver(Zeros, int(bytes < (long long)sizeof(Zeros) ? bytes : sizeof(Zeros)));
}

void TapAudio::contextState(pa_context* c, void* self)
{
    TapAudio* tap = static_cast<TapAudio*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c)))
        tap->onLost(true);
    pa_threaded_mainloop_signal(tap->m_mainloop, 0);
}

void TapAudio::streamState(pa_stream* s, void* self)
{
    TapAudio* tap = static_cast<TapAudio*>(self);
    // A stream fails alone when its device is removed (unplugged, its module unloaded).
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
        tap->onLost(!PA_CONTEXT_IS_GOOD(pa_context_get_state(tap->m_context)));
    pa_threaded_mainloop_signal(tap->m_mainloop, 0);
}

std::string TapAudio::namedDevice() const
{
    return m_target == Input ? m_device : m_device + ".monitor";
}

// The server moves a stream whose device went away to its default device. A device chosen by
// name is then lost: recording another one instead (a laptop's own microphone, say) is not what
// was asked for.
void TapAudio::streamMoved(pa_stream* s, void* self)
{
    TapAudio* tap = static_cast<TapAudio*>(self);
    const char* now = pa_stream_get_device_name(s);
    if (!tap->m_device.empty() && (!now || tap->namedDevice() != now))
        tap->onLost(false);
}

void TapAudio::streamRead(pa_stream* s, size_t, void* self)
{
    TapAudio* tap = static_cast<TapAudio*>(self);
    while (pa_stream_readable_size(s) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0)
            return;
        // Once lost, the silence stands in for whatever the stream still brings.
        if (!tap->m_lost) {
            tap->stopSilence();
            // A hole in the stream keeps the timeline with silence of the same length.
            if (data)
                tap->deliver(static_cast<const char*>(data), int(bytes));
            else
                tap->deliverSilence((long long)bytes);
        }
        pa_stream_drop(s);
    }
}

void TapAudio::serverInfo(pa_context*, const pa_server_info* info, void* self)
{
    TapAudio* tap = static_cast<TapAudio*>(self);
    if (info && info->default_sink_name)
        tap->m_defaultSink = info->default_sink_name;
    pa_threaded_mainloop_signal(tap->m_mainloop, 0);
}

void TapAudio::silenceTick(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* self)
{
    static_cast<TapAudio*>(self)->fillSilence();
    timeval tv;
    pa_timeval_add(pa_gettimeofday(&tv), FragmentUsec);
    api->time_restart(e, &tv);
}
