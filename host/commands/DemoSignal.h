// The demonstration's input: pink noise under an exponential sine sweep, stereo, reproducible.
#pragma once

#include <vector>

struct StereoSignal {
    std::vector<float> left;
    std::vector<float> right;
};

// Pink noise (equal energy per octave, independent in each channel, about -20 dBFS RMS) plus a
// sweep from 20 Hz to 20 kHz at -14 dBFS common to both, with short fades at the ends.
StereoSignal demoSignal(double sampleRate, double seconds);
