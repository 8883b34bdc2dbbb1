#include "DesignedResponse.h"

#include "SixBandEqualiser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

template <typename Real>
std::complex<double> stageResponse(const StageCoeffs<Real>& c, double frequencyHz, double rate) {
    const std::complex<double> zInv = std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz / rate);
    const std::complex<double> numerator = static_cast<double>(c.b0) * (1.0 - zInv) * (1.0 - zInv);
    const std::complex<double> denominator =
        static_cast<double>(c.d0) +
        zInv * (static_cast<double>(c.d1) +
                zInv * (static_cast<double>(c.d2) + zInv * (static_cast<double>(c.d3) + zInv * static_cast<double>(c.d4))));
    return numerator / denominator;
}
template std::complex<double> stageResponse(const StageCoeffs<double>&, double, double);
template std::complex<double> stageResponse(const StageCoeffs<float>&, double, double);

double chainMagnitude(const std::complex<double> (&stageResponses)[kStageCount],
                      const float (&bandParam)[kStageCount]) {
    std::complex<double> product = 1.0;
    for (int stage = 0; stage < kStageCount; ++stage)
        product *= 1.0 + stageFactor(stage, bandParam[kStageBand[stage]]) * stageResponses[stage];
    return std::abs(product);
}

double decibels(double magnitude) { return 20.0 * std::log10(magnitude); }

DesignedResponse::DesignedResponse(const SixBandEqualiser& equaliser) : first_(equaliser.firstStageCoeffs()) {
    for (int stage = 1; stage < kStageCount; ++stage) later_[stage - 1] = equaliser.laterStageCoeffs(stage);
}

std::complex<double> DesignedResponse::stage(int stage, double frequencyHz, double rate) const {
    return stage == 0 ? stageResponse(first_, frequencyHz, rate) : stageResponse(later_[stage - 1], frequencyHz, rate);
}

double DesignedResponse::magnitude(const float (&bandParam)[kStageCount], double frequencyHz, double rate) const {
    std::complex<double> responses[kStageCount];
    for (int s = 0; s < kStageCount; ++s) responses[s] = stage(s, frequencyHz, rate);
    return chainMagnitude(responses, bandParam);
}

void BandGainReadout::design(const DesignedResponse& response, double rate) {
    for (int band = 0; band < kStageCount; ++band)
        for (int stage = 0; stage < kStageCount; ++stage)
            at_[band][stage] = response.stage(stage, std::min(kBandFrequencyHz[band], rate / 2.0), rate);
}

void BandGainReadout::read(const float (&bandParam)[kStageCount], float (&gainDb)[kStageCount]) const {
    for (int band = 0; band < kStageCount; ++band)
        gainDb[band] = static_cast<float>(decibels(chainMagnitude(at_[band], bandParam)));
}
