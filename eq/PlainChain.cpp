#include "PlainChain.h"

namespace {

template <typename Real>
inline float runStage(const StageCoeffs<Real>& c, StageState& s, float x) {
    double acc = static_cast<double>(c.b0) * ((static_cast<double>(x) - 2.0 * s.x1) + s.x2);
    // y1 is subtracted last: it is the only term that waits for the previous frame's division.
    // The order is fixed; any other gives different bits after enough samples.
    acc -= static_cast<double>(c.d4) * s.y4;
    acc -= static_cast<double>(c.d3) * s.y3;
    acc -= static_cast<double>(c.d2) * s.y2;
    acc -= static_cast<double>(c.d1) * s.y1;
    // The 1e-12 keeps the recursions out of denormal range on silence.
    const auto y = static_cast<float>(acc / static_cast<double>(c.d0) + 1e-12);
    s.x2 = s.x1;
    s.x1 = x;
    s.y4 = s.y3;
    s.y3 = s.y2;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

inline float addBack(float f, float y, const ChainGains& g, int stage) {
    return static_cast<float>(f + (static_cast<double>(y) * g.first[stage]) * g.second[stage]);
}

inline float runChain(const ChainState& chain, const ChainGains& g, int channel, float f) {
    f = addBack(f, runStage(*chain.s1Coeffs, chain.stageState[0][channel], f), g, 0);
    for (int stage = 1; stage < kStageCount; ++stage)
        f = addBack(f, runStage(chain.stageCoeffs[stage - 1], chain.stageState[stage][channel], f), g,
                    stage);
    return f;
}

template <OutputMode mode>
void processFrames(const ChainState& chain, const ChainGains& g, float** inputs, float** outputs,
                   std::int32_t sampleFrames) {
    float* inL = inputs[0];
    float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    for (std::int32_t i = 0; i < sampleFrames; ++i) {
        // Both inputs are read before either output is written: hosts may pass the same buffers.
        const float left = inL[i];
        const float right = inR[i];
        const float resultL = runChain(chain, g, 0, left);
        const float resultR = runChain(chain, g, 1, right);
        if constexpr (mode == OutputMode::add) {
            outL[i] += resultL;
            outR[i] += resultR;
        } else {
            outL[i] = resultL;
            outR[i] = resultR;
        }
    }
}

}  // namespace

void processPlainChain(const ChainState& chain, const ChainGains& gains, float** inputs,
                       float** outputs, std::int32_t sampleFrames, OutputMode mode) {
    if (sampleFrames <= 0) return;
    if (mode == OutputMode::add) processFrames<OutputMode::add>(chain, gains, inputs, outputs, sampleFrames);
    else processFrames<OutputMode::replace>(chain, gains, inputs, outputs, sampleFrames);
}
