// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct pa_context;
struct pa_source_info;
struct pa_sink_info;
struct pa_server_info;

// One device of the sound server: its server name (what the settings store and the command
// line takes) and its description for people.
struct ZMSoundDevice
{
    QByteArray name;
    QString description;
};

// The inputs (microphones) and outputs (whose monitors are the system sound) the sound server
// offers, asked through libpulse, which PulseAudio and PipeWire both serve. Any thread; query()
// blocks for at most a few seconds.
class ZMSoundDevices
{
public:
    // False, with the reason in *error, when the server cannot be reached or does not answer.
    bool query(QString* error);

    // Monitors of outputs are left out of the inputs: they are the outputs' system sound.
    const std::vector<ZMSoundDevice>& inputs() const { return m_inputs; }
    const std::vector<ZMSoundDevice>& outputs() const { return m_outputs; }
    QByteArray defaultInput() const { return m_defaultInput; }
    QByteArray defaultOutput() const { return m_defaultOutput; }
    // Any source of the server counts as an input here, monitors included.
    bool hasInput(const QByteArray& name) const;
    bool hasOutput(const QByteArray& name) const;

    // The messages for a named device the server does not have, the same in every front end.
    static QString missingInput(const QByteArray& name);
    static QString missingOutput(const QByteArray& name);

private:
    static void sourceInfo(pa_context* c, const pa_source_info* info, int eol, void* self);
    static void sinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void serverInfo(pa_context* c, const pa_server_info* info, void* self);

    std::vector<ZMSoundDevice> m_inputs;
    std::vector<QByteArray> m_monitors;
    std::vector<ZMSoundDevice> m_outputs;
    QByteArray m_defaultInput;
    QByteArray m_defaultOutput;
};
