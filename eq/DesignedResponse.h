// The chain's response as its design gives it: the product of the sections 1 + factor·H(z), each
// from its stored coefficients, evaluated in double on the unit circle. It leaves out what running
// the chain adds (the rounding of each stage's output to float, the tiny constant of each stage's
// 1e-12), which is why a measured response and this one agree to a few thousandths of a decibel.
#pragma once

#include "BandDesign.h"
#include "ChainGains.h"
#include "Stage.h"

#include <complex>
#include <cstdint>

class SixBandEqualiser;

// The frequencies the bands are named after, in parameter order: "80 Hz" is band 0.
inline constexpr double kBandFrequencyHz[kStageCount] = {80.0, 400.0, 1000.0, 2500.0, 5000.0, 12000.0};

// H(e^jω) of one stage at a frequency in Hz, for a chain run at `rate`. The coefficients are the
// same at every rate, so the bands move with it.
template <typename Real>
std::complex<double> stageResponse(const StageCoeffs<Real>& c, double frequencyHz, double rate = kDesignRate);

// The factor a band's parameter gives a stage's section, as the chain forms it but unrounded.
inline double stageFactor(int stage, float bandParam) {
    return (static_cast<double>(2.0f * bandParam) - kStageOffset[stage]) * kStageScale[stage];
}

// |Π (1 + factor·H)| from each stage's response at one frequency, in chain order.
double chainMagnitude(const std::complex<double> (&stageResponses)[kStageCount],
                      const float (&bandParam)[kStageCount]);

double decibels(double magnitude);

// The designed stages of an equaliser, copied out of it, at any frequency and rate.
class DesignedResponse {
public:
    explicit DesignedResponse(const SixBandEqualiser& equaliser);
    std::complex<double> stage(int stage, double frequencyHz, double rate) const;
    double magnitude(const float (&bandParam)[kStageCount], double frequencyHz, double rate) const;

private:
    StageCoeffs<double> first_;
    StageCoeffs<float> later_[kStageCount - 1];
};

// The chain's gain at each band's named frequency, for the settings a host shows: the stages'
// responses there are worked out once per rate, so that each reading is a few dozen products,
// with no allocation. A named frequency beyond the rate's Nyquist frequency is read at Nyquist.
class BandGainReadout {
public:
    void design(const DesignedResponse& response, double rate);
    // Decibels at kBandFrequencyHz[band] for each band.
    void read(const float (&bandParam)[kStageCount], float (&gainDb)[kStageCount]) const;

private:
    std::complex<double> at_[kStageCount][kStageCount] = {};  // [band][stage]
};
