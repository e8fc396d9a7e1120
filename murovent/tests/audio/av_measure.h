// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

// Measures, in a recorded file, how far each beep lies from the flash of the screen that was
// shown with it.
namespace avmeasure {

struct Offsets {
    std::string error;                // empty when the file could be measured
    std::vector<double> flashes;      // seconds on the file's timeline
    std::vector<double> beeps;
    std::vector<double> offsets;      // beep minus flash, seconds, for each pair found
    double median() const;
    double worst() const;             // largest absolute offset
};

// Flashes: pictures whose mean brightness jumps above half scale. Beeps: the sound rising
// above a quiet stretch. Each flash is paired with the nearest beep within half a second.
Offsets measure(const std::string& path);

}  // namespace avmeasure
