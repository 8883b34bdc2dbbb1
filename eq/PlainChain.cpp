#include "PlainChain.h"

#include "StageStep.h"

namespace {

inline float addBack(float f, float y, const ChainGains& g, int stage) {
    return static_cast<float>(f + (static_cast<double>(y) * g.first[stage]) * g.second[stage]);
}

inline float runChain(const ChainState& chain, const ChainGains& g, int channel, float f) {
    f = addBack(f, runStage(*chain.s1Coeffs, chain.stageState[0][channel], f), g, 0);
    for (int stage = 1; stage < kStageCount; ++stage)
        f = addBack(f, runStage(chain.stageCoeffs[stage - 1], chain.stageState[stage][channel], f), g, stage);
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
