// The magnitude response of a module at given settings: an impulse through a fresh instance,
// transformed by FFTW.
#pragma once

#include "ModuleLibrary.h"
#include "StereoProcessor.h"

#include <cstddef>
#include <vector>

// Long enough for the slowest band (40 Hz, fourth order) to ring down below single precision.
inline constexpr int kImpulseFrames = 65536;
// The impulse stands 60 dB above full scale. The equaliser's low bands hiss on their own (about
// -80 dBFS on silence with the 80 Hz band at 1.0, whatever the input); a unit impulse carries so
// little energy that this hiss shows as ±0.4 dB of ripple in the response, while at this level it
// stays below 0.001 dB. A power of two, so that scaling back is exact.
inline constexpr float kImpulseLevel = 1024.0f;

class MagnitudeResponse {
public:
    MagnitudeResponse(double sampleRate, std::size_t transformLength, std::vector<double> gainDb);

    double sampleRate() const { return sampleRate_; }
    double nyquistHz() const { return sampleRate_ / 2.0; }
    // Bins 0 (DC) to transformLength / 2 (Nyquist).
    std::size_t binCount() const { return gainDb_.size(); }
    double frequencyHz(std::size_t bin) const;
    double gainDb(std::size_t bin) const { return gainDb_[bin]; }
    // Between bins the gain is interpolated linearly in dB; the bins are 0.7 Hz apart at 44.1 kHz.
    double gainDbAt(double frequencyHz) const;

private:
    double sampleRate_;
    std::size_t transformLength_;
    std::vector<double> gainDb_;
};

// The response of the left output to an impulse on every input, relative to the impulse. Throws ModuleError for a module
// that cannot be instantiated or has other than 2 outputs.
MagnitudeResponse measureResponse(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                  double sampleRate, int frames = kImpulseFrames);
