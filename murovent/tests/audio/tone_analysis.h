// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Checks on recorded sound: which frequency dominates, and how loud it is.
namespace tone {

// One channel of interleaved 16-bit PCM as floats in [-1, 1].
std::vector<float> channelOf(const std::vector<int16_t>& interleaved, int channels, int channel);
std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int channel);

// Frequency with the most energy (coarse scan, then refined to about 0.5 Hz), in Hz.
double dominantHz(const std::vector<float>& mono, int sampleRate);

// Root mean square level, 0 for silence, about 0.35 for a sine at half scale.
double rms(const std::vector<float>& mono, size_t from = 0, size_t count = SIZE_MAX);

// Largest step between neighbouring samples: a clean sine of amplitude A at f Hz never steps
// by more than 2*pi*f/rate*A, so a larger one means bytes out of place.
double largestStep(const std::vector<float>& mono, size_t from = 0);

// Times (seconds) at which the level of 5 ms blocks rises above `threshold` after having been
// below it for at least `quietGap` seconds.
std::vector<double> onsets(const std::vector<float>& mono, int sampleRate, double threshold,
                           double quietGap);

}  // namespace tone
