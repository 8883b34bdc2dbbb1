// The equaliser's arithmetic written a second time, from its description alone and sharing no code
// with eq/: the coefficients as published decimals, one stage after another, in the plainest
// loops. The golden fingerprints are what this and the module both give, so a change that moves a
// bit in one of them cannot be re-approved by re-recording from the other.
#pragma once

#include <cmath>
#include <cstdint>

class ReferenceChain {
public:
    void setParameter(std::int32_t band, float value) {
        if (band >= 0 && band < 6) band_[band] = value;
    }

    void processReplacing(float** inputs, float** outputs, std::int32_t frames) { run(inputs, outputs, frames, false); }
    void process(float** inputs, float** outputs, std::int32_t frames) { run(inputs, outputs, frames, true); }

private:
    // b0, d4, d3, d2, d1, d0 of S1..S6, in chain order. S1's are doubles; S2..S6's are floats,
    // given to the 9 digits that name each float.
    static constexpr double kCoeffs[6][6] = {
        {0.0005196638520945366, 1, -4.03223829663434, 6.097559343662674, -4.09840903275902, 1.0330880121028065},
        {0.00730777299f, 1, -4.12089348f, 6.37648439f, -4.39068079f, 1.13510036f},
        {0.293122888f, 1, -4.76565933f, 8.83369350f, -7.46366358f, 2.41046357f},
        {0.730777264f, 1, -5.20893621f, 11.4537516f, -11.9432917f, 4.99887180f},
        {0.730777264f, 1, -5.20893621f, 19.1269131f, -31.9277973f, 36.2350960f},
        {0.0317177661f, 1, -4.25186157f, 6.83236742f, -4.91482496f, 1.33482683f},
    };
    static constexpr int kBandOfStage[6] = {0, 1, 3, 4, 5, 2};
    static constexpr double kOffset[6] = {0.4, 0.5, 0.666, 0.666, 0.666, 0.666};
    static constexpr double kScale[6] = {2.5, 2.4, 1.95, 4.5, 30.0, 1.95};

    // x1, x2, y1, y2, y3, y4 of each stage and channel, all double.
    double history_[6][2][6] = {};
    float band_[6] = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};

    float sample(int channel, float in, const double (&base)[6]) {
        float f = in;
        for (int stage = 0; stage < 6; ++stage) {
            const double* k = kCoeffs[stage];
            double* h = history_[stage][channel];
            const double x = f;
            double acc = k[0] * ((x - 2.0 * h[0]) + h[1]);
            acc -= k[1] * h[5];
            acc -= k[2] * h[4];
            acc -= k[3] * h[3];
            acc -= k[4] * h[2];
            const double y = acc / k[5] + 1e-12;
            h[1] = h[0];
            h[0] = x;
            h[5] = h[4];
            h[4] = h[3];
            h[3] = h[2];
            h[2] = y;
            const double handedOn = static_cast<float>(y);
            const double added = stage == 4 ? (handedOn * 30.0) * base[stage] : (handedOn * base[stage]) * kScale[stage];
            f = static_cast<float>(f + added);
        }
        return f;
    }

    void run(float** inputs, float** outputs, std::int32_t frames, bool adding) {
        double base[6];
        for (int stage = 0; stage < 6; ++stage)
            base[stage] = static_cast<double>(2.0f * band_[kBandOfStage[stage]]) - kOffset[stage];
        for (std::int32_t i = 0; i < frames; ++i) {
            const float left = inputs[0][i], right = inputs[1][i];
            const float outLeft = sample(0, left, base), outRight = sample(1, right, base);
            outputs[0][i] = adding ? outputs[0][i] + outLeft : outLeft;
            outputs[1][i] = adding ? outputs[1][i] + outRight : outRight;
        }
        if (frames <= 0) return;
        for (int channel = 0; channel < 2; ++channel) {
            bool finite = true;
            for (auto& stage : history_)
                for (double value : stage[channel]) finite = finite && std::isfinite(value);
            if (!finite)
                for (auto& stage : history_)
                    for (double& value : stage[channel]) value = 0.0;
        }
    }
};
