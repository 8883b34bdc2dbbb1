// How the six band parameters scale the stages, and the order of stages in the chain.
#pragma once

#include "Stage.h"

#include <atomic>

// Band (parameter index) served by each stage, in chain order: band 2 runs last.
inline constexpr int kStageBand[kStageCount] = {0, 1, 3, 4, 5, 2};

// gainFactor = (2·p − offset) · scale, p being the band's parameter.
inline constexpr double kStageOffset[kStageCount] = {0.4, 0.5, 0.666, 0.666, 0.666, 0.666};
inline constexpr double kStageScale[kStageCount] = {2.5, 2.4, 1.95, 4.5, 30.0, 1.95};

// What a stage adds back to the running value is (y · first) · second. The two factors of each
// stage are kept apart because the rounding of (y · base) · scale differs from y · gainFactor, and
// S5 forms its product in the other order, (y · 30) · base.
struct ChainGains {
    double first[kStageCount];
    double second[kStageCount];
};

// Reads each band parameter once. The doubling is exact in single precision; the offset is a
// double, so the default settings leave tiny non-zero factors rather than exact zeros.
inline ChainGains chainGainsFor(const std::atomic<float> (&bandParam)[kStageCount]) {
    ChainGains gains;
    for (int stage = 0; stage < kStageCount; ++stage) {
        const float p = bandParam[kStageBand[stage]].load(std::memory_order_relaxed);
        const double base = static_cast<double>(2.0f * p) - kStageOffset[stage];
        const bool s5 = stage == 4;
        gains.first[stage] = s5 ? kStageScale[stage] : base;
        gains.second[stage] = s5 ? base : kStageScale[stage];
    }
    return gains;
}
