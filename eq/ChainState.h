// What the processing chain reads and advances: the equaliser's coefficients and histories.
#pragma once

#include "Stage.h"

struct ChainState {
    const StageCoeffs<double>* s1Coeffs;              // S1, kept in double: in float it is unstable
    const StageCoeffs<float>* stageCoeffs;            // S2..S6
    StageState<double>* s1State;                      // [channel]
    StageState<float> (*stageState)[kChannelCount];   // S2..S6: [stage − 1][channel]
};

enum class OutputMode { add, replace };
