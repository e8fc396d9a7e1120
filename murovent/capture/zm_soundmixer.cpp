// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_soundmixer.h"

#include "zm_capturelog.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The mixer wakes with every delivery of an input, and at least this often.
constexpr auto Tick = std::chrono::milliseconds(10);
// The output goes as far as both inputs have delivered, so it follows the later one closely.
// An input that stalls is waited for this long (the picture waits for the sound, so not much
// longer); then what it has not delivered becomes silence. An input only lags this much after
// it fell more than ZMDriftCorrector::MaxError behind and was not repaired, i.e. when it stalled.
constexpr double MaxWait = 0.100;
// Delivered at least (but at the end) and at most at once: the library queues a fixed number of
// chunks, so chunks much shorter than the inputs' own would leave it little time in hand.
constexpr int MinFrames = ZMSoundMixer::SampleRate / 50;
constexpr int MaxFrames = ZMSoundMixer::SampleRate / 10;
// The limiter: the sum never goes above Ceiling (1 dB below full scale, room for the encoder's
// own overshoot); a louder peak turns the gain down at once, and it comes back within a
// fraction of a second, so a steady loud sum is turned down evenly instead of being distorted.
constexpr float Ceiling = 0.89f;
// The sound is aimed a little behind the picture rather than right at it: frame slots scatter
// the picture's moments over a whole slot, and sound ahead of the picture is noticed sooner
// than sound behind it.
constexpr double SoundBehind = 0.015;
const float Release = float(1 - std::exp(-1.0 / (0.2 * ZMSoundMixer::SampleRate)));

}  // namespace

ZMSoundMixer::Input::Input(ZMSoundMixer* mixer, ZMSoundSource::Inputs which, int channels)
    : mixer(mixer), which(which), channels(channels)
{
}

ZMSoundMixer::ZMSoundMixer(const std::string& microphone, const std::string& systemOutput, double pictureLag)
    : m_microphone(this, MicrophoneInput, 1), m_system(this, SystemSoundInput, Channels),
      m_inputs{&m_microphone, &m_system}, m_pictureLag(pictureLag)
{
    // The microphone in mono: the server folds a stereo one down, and the mix puts it in the centre.
    m_microphone.tap.setTarget(TapAudio::Input, microphone, 1);
    m_system.tap.setTarget(TapAudio::OutputMonitor, systemOutput, Channels);
    for (Input* input : m_inputs)
        input->tap.registerRecordCallBack(&ZMSoundMixer::deliver, input);
}

ZMSoundMixer::~ZMSoundMixer()
{
    stop();
}

bool ZMSoundMixer::init()
{
    if (!makeCorrectors())
        return false;
    for (Input* input : m_inputs)
        input->corrector.reset();
    const bool reachable = startInputs();
    stopInputs();
    return reachable;
}

// Fresh ones for each recording: each measures its input from the recording's start.
bool ZMSoundMixer::makeCorrectors()
{
    for (Input* input : m_inputs) {
        auto corrector = std::make_unique<ZMDriftCorrector>(input->channels, SampleRate);
        std::string error;
        if (!corrector->init(&error)) {
            m_error = QString::fromStdString(error);
            return false;
        }
        std::lock_guard<std::mutex> hold(input->lock);
        input->corrector = std::move(corrector);
    }
    return true;
}

// What failed to start, and what was lost since.
QString ZMSoundMixer::errorString() const
{
    QStringList reasons;
    if (!m_error.isEmpty())
        reasons << m_error;
    for (const Input* input : m_inputs)
        if (input->tap.lost())
            reasons << QString::fromStdString(input->tap.errorString());
    return reasons.join(QLatin1Char(' '));
}

int ZMSoundMixer::lostInputs() const
{
    int lost = m_lostInputs;
    for (const Input* input : m_inputs)
        if (input->tap.lost())
            lost |= input->which;
    return lost;
}

// Both inputs, or the reason the first one failed. An input lost earlier is tried again, and
// stays reported as lost.
bool ZMSoundMixer::startInputs()
{
    m_error.clear();
    bool all = true;
    for (Input* input : m_inputs) {
        if (input->tap.start_record())
            continue;
        if (all)
            m_error = QString::fromStdString(input->tap.errorString());
        all = false;
    }
    return all;
}

void ZMSoundMixer::stopInputs()
{
    for (Input* input : m_inputs) {
        if (input->tap.lost())
            m_lostInputs |= input->which;
        input->tap.stop_record();
    }
}

void ZMSoundMixer::start()
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(m_clockLock);
        m_origin = Clock::now();
        m_pausedFor = {};
        m_paused = false;
    }
    m_emitted = 0;
    m_gain = 1;
    m_lostInputs = 0;
    if (!makeCorrectors())
        return;
    if (!startInputs()) {
        // One input alone still makes a recording; it is the other one that is lost.
        for (Input* input : m_inputs)
            if (!input->tap.isRecording())
                m_lostInputs |= input->which;
        if (m_lostInputs == (MicrophoneInput | SystemSoundInput)) {
            stopInputs();
            return;
        }
        qCWarning(lcCapture) << "mixing one input only:" << m_error;
    }
    m_quit = false;
    m_thread = std::thread(&ZMSoundMixer::run, this);
}

// The inputs stop first, so nothing arrives any more; the mixer's thread then delivers what is
// left up to now and ends.
void ZMSoundMixer::stop()
{
    if (!m_thread.joinable())
        return;
    stopInputs();
    {
        std::lock_guard<std::mutex> hold(m_runLock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ZMSoundMixer::pause()
{
    if (!m_thread.joinable())
        return;
    stopInputs();
    std::lock_guard<std::mutex> hold(m_clockLock);
    m_paused = true;
    m_pausedAt = Clock::now();
}

void ZMSoundMixer::resume()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(m_clockLock);
        if (!m_paused)
            return;
        m_pausedFor += Clock::now() - m_pausedAt;
        m_paused = false;
    }
    if (!startInputs())
        for (Input* input : m_inputs)
            if (!input->tap.isRecording())
                m_lostInputs |= input->which;
}

double ZMSoundMixer::timeline() const
{
    std::lock_guard<std::mutex> hold(m_clockLock);
    const Clock::time_point now = m_paused ? m_pausedAt : Clock::now();
    return std::chrono::duration<double>(now - m_origin - m_pausedFor).count();
}

// On an input's stream thread.
void ZMSoundMixer::deliver(const char* data, int bytes, void* user)
{
    Input* input = static_cast<Input*>(user);
    const double arrival = input->mixer->timeline() + input->mixer->m_pictureLag + SoundBehind;
    const int frames = bytes / int(sizeof(int16_t) * input->channels);
    {
        std::lock_guard<std::mutex> hold(input->lock);
        if (!input->corrector)
            return;
        input->corrector->push(reinterpret_cast<const int16_t*>(data), frames, arrival);
    }
    input->mixer->m_wake.notify_one();
}

void ZMSoundMixer::run()
{
    std::unique_lock<std::mutex> hold(m_runLock);
    while (!m_quit) {
        m_wake.wait_for(hold, Tick, [this] { return m_quit; });
        const bool last = m_quit;
        hold.unlock();
        mixDue(last);
        hold.lock();
    }
}

// Delivers the output as far as both inputs have delivered, or up to MaxWait before now; at the
// end, up to now.
void ZMSoundMixer::mixDue(bool all)
{
    const double now = timeline();
    long long due = (long long)std::floor(now * SampleRate);
    if (!all) {
        for (Input* input : m_inputs) {
            std::lock_guard<std::mutex> hold(input->lock);
            due = std::min(due, input->corrector->deliveredUntil());
        }
        due = std::max(due, (long long)std::floor((now - MaxWait) * SampleRate));
        if (due - m_emitted < MinFrames)
            return;
    }
    while (m_emitted < due) {
        const int frames = int(std::min<long long>(due - m_emitted, MaxFrames));
        mix(frames);
        m_emitted += frames;
    }
}

void ZMSoundMixer::mix(int frames)
{
    for (Input* input : m_inputs) {
        input->pulled.resize(size_t(frames) * input->channels);
        std::lock_guard<std::mutex> hold(input->lock);
        input->corrector->pull(input->pulled.data(), frames);
    }
    const float* mic = m_microphone.pulled.data();
    const float* sys = m_system.pulled.data();
    m_out.resize(size_t(frames) * Channels);
    float gain = float(m_gain);
    for (int i = 0; i < frames; ++i) {
        const float left = mic[i] + sys[2 * i];
        const float right = mic[i] + sys[2 * i + 1];
        gain += (1.0f - gain) * Release;
        const float peak = std::max(std::fabs(left), std::fabs(right));
        if (peak * gain > Ceiling)
            gain = Ceiling / peak;
        m_out[2 * i] = int16_t(std::lrint(left * gain * 32767.0f));
        m_out[2 * i + 1] = int16_t(std::lrint(right * gain * 32767.0f));
    }
    m_gain = gain;
    if (m_callback)
        m_callback(reinterpret_cast<const char*>(m_out.data()), int(m_out.size() * sizeof(int16_t)));
}
