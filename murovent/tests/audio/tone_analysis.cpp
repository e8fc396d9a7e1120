// SPDX-License-Identifier: GPL-2.0-or-later
#include "tone_analysis.h"

#include <algorithm>
#include <cmath>

namespace tone {

namespace {

double goertzelPower(const float* x, size_t n, double hz, int rate)
{
    const double w = 2.0 * M_PI * hz / rate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

double bestIn(const float* x, size_t n, int rate, double from, double to, double step)
{
    double best = from, bestPower = -1;
    for (double hz = from; hz <= to; hz += step) {
        const double p = goertzelPower(x, n, hz, rate);
        if (p > bestPower) {
            bestPower = p;
            best = hz;
        }
    }
    return best;
}

}  // namespace

std::vector<float> channelOf(const std::vector<int16_t>& interleaved, int channels, int channel)
{
    std::vector<float> out;
    out.reserve(interleaved.size() / channels);
    for (size_t i = channel; i < interleaved.size(); i += channels)
        out.push_back(interleaved[i] / 32768.0f);
    return out;
}

std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int channel)
{
    std::vector<float> out;
    out.reserve(interleaved.size() / channels);
    for (size_t i = channel; i < interleaved.size(); i += channels)
        out.push_back(interleaved[i]);
    return out;
}

double dominantHz(const std::vector<float>& mono, int sampleRate)
{
    if (mono.size() < size_t(sampleRate / 10))
        return 0;
    // Take the middle: the edges of a recording may hold the start and end of the sound.
    const size_t fine = std::min(mono.size(), size_t(sampleRate));
    const float* mid = mono.data() + (mono.size() - fine) / 2;
    const size_t coarse = size_t(sampleRate / 20);
    const double rough = bestIn(mid, coarse, sampleRate, 40, sampleRate / 2.0 - 40, 10);
    return bestIn(mid, fine, sampleRate, rough - 25, rough + 25, 0.5);
}

double rms(const std::vector<float>& mono, size_t from, size_t count)
{
    const size_t end = count == SIZE_MAX ? mono.size() : std::min(mono.size(), from + count);
    if (from >= end)
        return 0;
    double sum = 0;
    for (size_t i = from; i < end; ++i)
        sum += double(mono[i]) * mono[i];
    return std::sqrt(sum / (end - from));
}

double largestStep(const std::vector<float>& mono, size_t from)
{
    double largest = 0;
    for (size_t i = from + 1; i < mono.size(); ++i)
        largest = std::max(largest, double(std::fabs(mono[i] - mono[i - 1])));
    return largest;
}

std::vector<double> onsets(const std::vector<float>& mono, int sampleRate, double threshold,
                           double quietGap)
{
    std::vector<double> found;
    const size_t block = size_t(sampleRate / 200);
    double quietSince = -1e9;
    bool quiet = true;
    for (size_t at = 0; at + block <= mono.size(); at += block) {
        const double t = double(at) / sampleRate;
        const bool loud = rms(mono, at, block) > threshold;
        if (loud && quiet && t - quietSince >= quietGap) {
            // Refine to the first sample of the block above the threshold.
            size_t i = at;
            while (i < at + block && std::fabs(mono[i]) < threshold)
                ++i;
            found.push_back(double(i) / sampleRate);
        }
        if (loud)
            quiet = false;
        else if (!quiet) {
            quiet = true;
            quietSince = t;
        }
    }
    return found;
}

}  // namespace tone
