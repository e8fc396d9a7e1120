// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_sounddevices.h"

#include <QCoreApplication>

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {

constexpr pa_usec_t AnswerUsec = 5 * 1000 * 1000;   // a server that hangs must not hang us

// One private main loop for the questions, run on the calling thread until they are answered.
class Asker
{
public:
    Asker()
    {
        m_loop = pa_mainloop_new();
        m_api = pa_mainloop_get_api(m_loop);
        timeval deadline;
        pa_timeval_add(pa_gettimeofday(&deadline), AnswerUsec);
        m_timeout = m_api->time_new(m_api, &deadline, &Asker::expire, this);
    }
    ~Asker()
    {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        m_api->time_free(m_timeout);
        pa_mainloop_free(m_loop);
    }

    pa_context* connect(QString* error)
    {
        m_context = pa_context_new(m_api, "Murovent");
        if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            *error = reason(QCoreApplication::translate("ZMSoundDevices", "无法连接声音服务器"));
            return nullptr;
        }
        const bool ready = runUntil([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (!ready || pa_context_get_state(m_context) != PA_CONTEXT_READY) {
            *error = reason(QCoreApplication::translate("ZMSoundDevices", "无法连接声音服务器"));
            return nullptr;
        }
        return m_context;
    }

    // Waits for every operation; false when the server fails or does not answer in time.
    bool finish(std::initializer_list<pa_operation*> operations, QString* error)
    {
        bool started = true;
        for (pa_operation* op : operations)
            started = started && op;
        const bool done = started && runUntil([&] {
            return std::all_of(operations.begin(), operations.end(), [](pa_operation* op) {
                return pa_operation_get_state(op) != PA_OPERATION_RUNNING;
            });
        });
        for (pa_operation* op : operations)
            if (op)
                pa_operation_unref(op);
        if (!done)
            *error = reason(QCoreApplication::translate("ZMSoundDevices", "无法查询声音服务器的设备"));
        return done;
    }

private:
    template <typename Done> bool runUntil(Done done)
    {
        while (!done()) {
            if (m_expired || pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
                return false;
        }
        return true;
    }

    QString reason(const QString& what) const
    {
        if (m_expired)
            return QCoreApplication::translate("ZMSoundDevices", "%1：服务器没有应答。").arg(what);
        const int code = m_context ? pa_context_errno(m_context) : PA_ERR_INTERNAL;
        return QStringLiteral("%1：%2").arg(what, QString::fromUtf8(pa_strerror(code)));
    }

    static void expire(pa_mainloop_api*, pa_time_event*, const timeval*, void* self)
    {
        static_cast<Asker*>(self)->m_expired = true;
    }

    pa_mainloop* m_loop = nullptr;
    pa_mainloop_api* m_api = nullptr;
    pa_time_event* m_timeout = nullptr;
    pa_context* m_context = nullptr;
    bool m_expired = false;
};

bool contains(const std::vector<ZMSoundDevice>& devices, const QByteArray& name)
{
    return std::any_of(devices.begin(), devices.end(), [&](const ZMSoundDevice& d) { return d.name == name; });
}

} // namespace

bool ZMSoundDevices::query(QString* error)
{
    m_inputs.clear();
    m_monitors.clear();
    m_outputs.clear();
    Asker asker;
    pa_context* context = asker.connect(error);
    return context && asker.finish({pa_context_get_source_info_list(context, &ZMSoundDevices::sourceInfo, this),
                                    pa_context_get_sink_info_list(context, &ZMSoundDevices::sinkInfo, this),
                                    pa_context_get_server_info(context, &ZMSoundDevices::serverInfo, this)},
                                   error);
}

bool ZMSoundDevices::hasInput(const QByteArray& name) const
{
    return contains(m_inputs, name) || std::find(m_monitors.begin(), m_monitors.end(), name) != m_monitors.end();
}

bool ZMSoundDevices::hasOutput(const QByteArray& name) const
{
    return contains(m_outputs, name);
}

QString ZMSoundDevices::missingInput(const QByteArray& name)
{
    return QCoreApplication::translate("ZMSoundDevices", "声音服务器没有名为“%1”的录音设备（麦克风）。")
        .arg(QString::fromUtf8(name));
}

QString ZMSoundDevices::missingOutput(const QByteArray& name)
{
    return QCoreApplication::translate("ZMSoundDevices", "声音服务器没有名为“%1”的输出设备，无法录制它的系统声音。")
        .arg(QString::fromUtf8(name));
}

void ZMSoundDevices::sourceInfo(pa_context*, const pa_source_info* info, int eol, void* self)
{
    ZMSoundDevices* devices = static_cast<ZMSoundDevices*>(self);
    if (eol || !info)
        return;
    if (info->monitor_of_sink != PA_INVALID_INDEX)
        devices->m_monitors.push_back(info->name);
    else
        devices->m_inputs.push_back({info->name, QString::fromUtf8(info->description)});
}

void ZMSoundDevices::sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self)
{
    if (!eol && info)
        static_cast<ZMSoundDevices*>(self)->m_outputs.push_back({info->name, QString::fromUtf8(info->description)});
}

void ZMSoundDevices::serverInfo(pa_context*, const pa_server_info* info, void* self)
{
    ZMSoundDevices* devices = static_cast<ZMSoundDevices*>(self);
    devices->m_defaultInput = info && info->default_source_name ? info->default_source_name : "";
    devices->m_defaultOutput = info && info->default_sink_name ? info->default_sink_name : "";
}
