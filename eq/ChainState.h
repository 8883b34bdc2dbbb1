// What the processing chain reads and advances: the equaliser's coefficients and histories.
#pragma once

#include "Stage.h"

struct ChainState {
    const StageCoeffs<double>* s1Coeffs;              // S1, kept in double: in float it is unstable
    const StageCoeffs<float>* stageCoeffs;            // S2..S6
    StageState (*stageState)[kChannelCount];          // S1..S6: [stage][channel]
};

enum class OutputMode { add, replace };
