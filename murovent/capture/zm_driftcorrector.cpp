// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_driftcorrector.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace {

// The error is measured at every delivery, which the scheduler delays by a few milliseconds
// now and then: it is smoothed over half a second before anything acts on it.
constexpr double SmoothingSeconds = 0.5;
// Proportional and integral gains of the correction: an error is worked off within a few
// seconds, and the integral learns the device's steady drift so that no error remains. With
// Integral <= Proportional^2 / 4 the loop settles without overshooting.
constexpr double Proportional = 0.25;   // per second
constexpr double Integral = 0.01;       // per second squared
// Pieces that arrive this close together belong to one delivery.
constexpr double SameDeliverySeconds = 0.002;

std::string swrError(const char* what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return std::string(what) + ": " + text;
}

}  // namespace

ZMDriftCorrector::ZMDriftCorrector(int channels, int sampleRate) : m_channels(channels), m_rate(sampleRate)
{
}

ZMDriftCorrector::~ZMDriftCorrector()
{
    swr_free(&m_swr);
}

bool ZMDriftCorrector::init(std::string* error)
{
    AVChannelLayout layout;
    av_channel_layout_default(&layout, m_channels);
    int code = swr_alloc_set_opts2(&m_swr, &layout, AV_SAMPLE_FMT_FLT, m_rate, &layout, AV_SAMPLE_FMT_S16,
                                   m_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (code < 0) {
        *error = swrError("cannot set up the resampler", code);
        return false;
    }
    // The resampler must run even at equal rates, or there is nothing to compensate with; a
    // linear blend of its filter phases keeps a rate that changes by parts per million clean.
    av_opt_set_int(m_swr, "flags", SWR_FLAG_RESAMPLE, 0);
    av_opt_set_int(m_swr, "linear_interp", 1, 0);
    if ((code = swr_init(m_swr)) < 0) {
        *error = swrError("cannot start the resampler", code);
        return false;
    }
    return true;
}

long long ZMDriftCorrector::queuedFrames() const
{
    return (long long)(m_queue.size() - m_queueStart) / m_channels;
}

void ZMDriftCorrector::push(const int16_t* samples, int frames, double arrival)
{
    // A source hands over what it has in pieces, one after the other: only once the next
    // delivery comes is the previous one known to be complete, and measured.
    const bool newDelivery = !m_delivering || arrival - m_deliveryArrival > SameDeliverySeconds;
    if (m_delivering && newDelivery) {
        measure();
        repair();
        steer();
    }
    // The first delivery starts where it arrived: silence stands for the time before it.
    if (!m_delivering)
        convertSilence(std::llround(arrival * m_rate) - frames - deliveredUntil());
    m_delivering = true;
    m_deliveryArrival = arrival;
    const int dropNow = int(std::min<long long>(m_dropPending, frames));
    m_dropPending -= dropNow;
    m_dropped += dropNow;
    convert(samples + size_t(dropNow) * m_channels, frames - dropNow);
}

// Where the last delivery's last frame lies on the timeline against when it arrived.
void ZMDriftCorrector::measure()
{
    const double end = double(m_pulled + queuedFrames() - m_dropPending) / m_rate;
    m_lastError = end - m_deliveryArrival;
    m_elapsed = m_measured ? std::max(0.0, m_deliveryArrival - m_measuredArrival) : 0.0;
    m_error = m_measured ? m_error + (m_lastError - m_error) * (1 - std::exp(-m_elapsed / SmoothingSeconds))
                         : m_lastError;
    m_measured = true;
    m_measuredArrival = m_deliveryArrival;
}

void ZMDriftCorrector::steer()
{
    m_integral = std::clamp(m_integral + Integral * m_error * m_elapsed, -MaxCorrection, MaxCorrection);
    m_correction = std::clamp(-(Proportional * m_error + m_integral), -MaxCorrection, MaxCorrection);
    // The compensation lasts a second of output and is renewed with every delivery.
    swr_set_compensation(m_swr, int(std::lround(m_correction * m_rate)), m_rate);
}

// An error the slow correction would need many seconds for: the input delivered a burst after
// a stall (the excess is dropped), or it fell behind (silence fills the gap, ahead of the
// delivery that follows it). The smoothed error decides, the latest one says how much, so a
// single repair sets the input right.
void ZMDriftCorrector::repair()
{
    const long long frames = std::llround(std::fabs(m_lastError) * m_rate);
    if (std::fabs(m_error) <= MaxError || (m_error > 0) != (m_lastError > 0) || frames == 0)
        return;
    if (m_lastError > 0) {
        m_dropPending += frames;
    } else {
        convertSilence(frames);
        m_inserted += frames;
    }
    // What remains is the rounding: the measurement starts afresh from there.
    m_lastError -= (m_lastError > 0 ? frames : -frames) / double(m_rate);
    m_error = m_lastError;
}

// Through the resampler, so that what it still holds comes out before the silence.
void ZMDriftCorrector::convertSilence(long long frames)
{
    if (frames <= 0)
        return;
    const std::vector<int16_t> silence(size_t(frames) * m_channels, 0);
    convert(silence.data(), int(frames));
}

void ZMDriftCorrector::convert(const int16_t* samples, int frames)
{
    if (frames <= 0)
        return;
    const int room = swr_get_out_samples(m_swr, frames);
    if (room <= 0)
        return;
    const size_t used = m_queue.size();
    m_queue.resize(used + size_t(room) * m_channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(m_queue.data() + used);
    const uint8_t* in = reinterpret_cast<const uint8_t*>(samples);
    const int got = swr_convert(m_swr, &out, room, &in, frames);
    m_queue.resize(used + size_t(std::max(got, 0)) * m_channels);
}

void ZMDriftCorrector::pull(float* out, int frames)
{
    const long long available = std::min<long long>(queuedFrames(), frames);
    const size_t samples = size_t(available) * m_channels;
    std::copy_n(m_queue.begin() + m_queueStart, samples, out);
    std::fill(out + samples, out + size_t(frames) * m_channels, 0.0f);
    m_queueStart += samples;
    m_pulled += frames;
    // Taken samples are thrown away once they are most of the queue, so copying stays rare.
    if (m_queueStart > m_queue.size() / 2) {
        m_queue.erase(m_queue.begin(), m_queue.begin() + m_queueStart);
        m_queueStart = 0;
    }
}
