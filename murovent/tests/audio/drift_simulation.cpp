// SPDX-License-Identifier: GPL-2.0-or-later
#include "drift_simulation.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <string>

#include "zm_driftcorrector.h"

namespace driftsim {

namespace {

constexpr double SineHz = 200;
constexpr double Amplitude = 0.5;
constexpr double RampSeconds = 10;   // either way
constexpr double FragmentSeconds = 0.020;
constexpr double PullSeconds = 0.010;
constexpr double MaxWait = 0.100;
constexpr double GlitchLimit = 0.005;
constexpr int64_t Ringing = 64;   // samples

class SimulatedSource
{
public:
    SimulatedSource(const Source& source, int rate, unsigned seed)
        : m_source(source), m_rate(rate), m_rampLength(int64_t(RampSeconds * rate)),
          m_fragment(int(FragmentSeconds * rate)), m_corrector(2, rate), m_random(seed)
    {
        std::string error;
        m_ok = m_corrector.init(&error);
        m_chunk.resize(size_t(m_fragment) * 2);
        m_out.resize(size_t(rate) * 2);
        m_nextArrival = arrival(0);
    }

    bool ok() const { return m_ok; }
    long long deliveredUntil() const { return m_corrector.deliveredUntil(); }

    // Delivers every fragment that has arrived by wall time `t`.
    void deliver(double t)
    {
        while (m_nextArrival <= t) {
            for (int i = 0; i < m_fragment; ++i) {
                const int64_t j = m_produced + i;
                m_chunk[2 * i] = int16_t(std::lround(32767 * Amplitude * std::sin(2 * M_PI * SineHz * j / m_rate)));
                m_chunk[2 * i + 1] = int16_t(std::lround(32767 * (-0.8 + 1.6 * triangle(j))));
            }
            m_corrector.push(m_chunk.data(), m_fragment, m_nextArrival);
            m_produced += m_fragment;
            m_nextArrival = arrival(m_produced);
        }
    }

    // Takes `frames` frames of output, whose first one lies at timeline frame `position`.
    // Around a glitch (the resampler's filter rings on both sides of it) or in silence the
    // ramp says nothing: its samples are measured only once the next ones show none.
    void pull(int64_t position, int frames, double settledAfter)
    {
        m_corrector.pull(m_out.data(), frames);
        // Of a pure sine, x[n-1] + x[n+1] = 2 cos(w) x[n]; of a ramp, x[n-1] + x[n+1] = 2 x[n].
        const double twoCos = 2 * std::cos(2 * M_PI * SineHz * (1 + m_source.skew) / m_rate);
        for (int i = 0; i < frames; ++i) {
            const int64_t n = position + i;
            const float sine = m_out[2 * i], ramp = m_out[2 * i + 1];
            const double glitch = std::fabs(m_sine[0] + sine - twoCos * m_sine[1]) / Amplitude;
            // The first tenth of a second holds the start: silence until the first delivery,
            // and the resampler's filter filling up.
            if (n >= m_rate / 10)
                m_figures.worstGlitch = std::max(m_figures.worstGlitch, glitch);
            const bool bent = std::fabs(m_ramp[0] + ramp - 2 * m_ramp[1]) > 0.002;
            const bool silent = std::fabs(sine) < 0.01 && std::fabs(m_sine[1]) < 0.01;
            m_sine[0] = m_sine[1];
            m_sine[1] = sine;
            m_ramp[0] = m_ramp[1];
            m_ramp[1] = ramp;
            if (glitch > GlitchLimit || bent || silent) {
                m_pending.clear();
                m_measureFrom = n + Ringing;
            } else if (n >= m_measureFrom) {
                m_pending.emplace_back(n, ramp);
            }
            for (; !m_pending.empty() && m_pending.front().first + Ringing <= n; m_pending.pop_front())
                offset(m_pending.front().first, m_pending.front().second, settledAfter);
        }
        m_figures.finalCorrection = m_corrector.correction();
        m_figures.inserted = m_corrector.insertedFrames();
        m_figures.dropped = m_corrector.droppedFrames();
    }

    const Figures& figures() const { return m_figures; }

private:
    // Wall time at which the source's frame `end` - 1 was captured, plus the delivery's delay.
    double arrival(int64_t produced)
    {
        const double captured = double(produced + m_fragment) / (m_rate * (1 + m_source.skew));
        double at = captured + std::uniform_real_distribution<double>(0, 0.003)(m_random);
        if (captured >= m_source.stallAt && captured < m_source.stallAt + m_source.stallSeconds)
            at = m_source.stallAt + m_source.stallSeconds;
        return at;
    }

    // Up from 0 to 1 over a ramp's length, and down again: no jump for the resampler to smear.
    double triangle(int64_t j) const
    {
        const int64_t m = j % (2 * m_rampLength);
        return double(m < m_rampLength ? m : 2 * m_rampLength - m) / m_rampLength;
    }

    // Which source frame the ramp says lies at output frame n (of the two on the way up and
    // down, the one nearer where it should be), against when it was captured.
    void offset(int64_t n, float ramp, double settledAfter)
    {
        if (double(n) / m_rate < settledAfter)
            return;
        const double up = std::clamp((ramp + 0.8) / 1.6, 0.0, 1.0) * m_rampLength;
        const double expected = double(n) * (1 + m_source.skew);
        const double period = 2.0 * m_rampLength;
        double j = 0, nearest = INFINITY;
        for (double base = (std::floor(expected / period) - 1) * period; base <= expected + period; base += period)
            for (double candidate : {base + up, base + period - up})
                if (std::fabs(candidate - expected) < nearest) {
                    nearest = std::fabs(candidate - expected);
                    j = candidate;
                }
        const double captured = j / (m_rate * (1 + m_source.skew));
        m_figures.worstOffset = std::max(m_figures.worstOffset, std::fabs(double(n) / m_rate - captured));
    }

    Source m_source;
    int m_rate;
    int64_t m_rampLength;
    int m_fragment;
    ZMDriftCorrector m_corrector;
    std::mt19937 m_random;
    bool m_ok = false;
    std::vector<int16_t> m_chunk;
    std::vector<float> m_out;
    int64_t m_produced = 0;
    double m_nextArrival = 0;
    float m_sine[2] = {0, 0};      // the two output samples before
    float m_ramp[2] = {0, 0};
    int64_t m_measureFrom = 0;
    std::deque<std::pair<int64_t, float>> m_pending;   // ramp samples waiting to be measured
    Figures m_figures;
};

}  // namespace

std::vector<Figures> run(int rate, double seconds, const std::vector<Source>& sources, double settledAfter)
{
    std::vector<std::unique_ptr<SimulatedSource>> simulated;
    for (size_t i = 0; i < sources.size(); ++i) {
        simulated.push_back(std::make_unique<SimulatedSource>(sources[i], rate, unsigned(i + 1)));
        if (!simulated.back()->ok())
            return {};
    }
    // As the mixer does: the output goes as far as every source has delivered, but no further
    // than now and no less than MaxWait ago.
    int64_t pulled = 0;
    for (int64_t tick = 1;; ++tick) {
        const double t = tick * PullSeconds;
        if (t > seconds)
            break;
        int64_t due = int64_t(t * rate);
        for (auto& source : simulated) {
            source->deliver(t);
            due = std::min<int64_t>(due, source->deliveredUntil());
        }
        due = std::max(due, int64_t((t - MaxWait) * rate));
        if (due <= pulled)
            continue;
        for (auto& source : simulated)
            source->pull(pulled, int(due - pulled), settledAfter);
        pulled = due;
    }
    std::vector<Figures> figures;
    for (auto& source : simulated)
        figures.push_back(source->figures());
    return figures;
}

}  // namespace driftsim
