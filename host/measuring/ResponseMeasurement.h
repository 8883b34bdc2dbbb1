// The magnitude response of a module at given settings: an impulse through a fresh instance,
// transformed by FFTW.
#pragma once

#include "host/hosting/ModuleLibrary.h"
#include "host/hosting/StereoProcessor.h"

#include <cstddef>
#include <vector>

// Long enough for the slowest band (40 Hz, fourth order) to ring down below single precision.
inline constexpr int kImpulseFrames = 65536;

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

// The response of the left output to a full-scale impulse on every input, less what a second fresh
// instance at the same settings gives for silence. Throws ModuleError for a module that cannot be
// instantiated or has other than 2 outputs.
MagnitudeResponse measureResponse(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                  double sampleRate, int frames = kImpulseFrames);

// The same response at a few frequencies only, each transformed exactly at that frequency rather
// than read between bins: what a gain request is searched and reported on.
std::vector<double> measureGainsDb(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                   double sampleRate, const std::vector<double>& frequenciesHz,
                                   int frames = kImpulseFrames);
