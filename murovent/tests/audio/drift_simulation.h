// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <vector>

// Sources on simulated clocks fed through drift correctors, as the mixer feeds them, in
// simulated time: a long recording takes seconds, not its length.
namespace driftsim {

struct Source {
    double skew = 0;            // 0.003: its clock runs 0.3 % fast against the wall clock
    double stallAt = -1;        // seconds; from then on its deliveries are held back ...
    double stallSeconds = 0;    // ... this long, then arrive at once
};

struct Figures {
    // Largest distance, in seconds, between a sample's place on the output timeline and the
    // wall-clock time at which the source captured it; measured from `settledAfter` on.
    double worstOffset = 0;
    // Largest departure of the output from a pure sine, against the sine's amplitude: a few
    // parts in ten thousand where the resampling is clean; any jump, gap or fade shows.
    double worstGlitch = 0;
    double finalCorrection = 0;
    long long inserted = 0;
    long long dropped = 0;
};

// Each source plays a 0.5-amplitude sine on channel 0 and, on channel 1, a slow ramp up and
// down, which tells which of its samples lies where; it delivers 20 ms of its own clock at a time, each
// delivery up to 3 ms late. The output is pulled every 10 ms as far as all sources have
// delivered, at most 100 ms behind the wall clock.
std::vector<Figures> run(int rate, double seconds, const std::vector<Source>& sources,
                         double settledAfter = 0);

}  // namespace driftsim
