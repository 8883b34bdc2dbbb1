// The equaliser's designed coefficients and one set of histories, for driving a form of the chain
// directly rather than through the module.
#pragma once

#include "eq/BandDesign.h"
#include "eq/ChainState.h"

#include <cstring>

class DesignedChain {
public:
    DesignedChain() {
        DesignScratch scratch{};
        for (int stage = 0; stage < kStageCount; ++stage) {
            const StageCoeffs<double> c =
                designBandPass(scratch, kStageEdges[stage].wu, kStageEdges[stage].wl);
            if (stage == 0)
                s1_ = c;
            else
                later_[stage - 1] = {static_cast<float>(c.b0), static_cast<float>(c.d4),
                                     static_cast<float>(c.d3), static_cast<float>(c.d2),
                                     static_cast<float>(c.d1), static_cast<float>(c.d0)};
        }
    }
    DesignedChain(const DesignedChain&) = delete;
    DesignedChain& operator=(const DesignedChain&) = delete;

    ChainState state() { return {&s1_, later_, s1History, laterHistories}; }

    // Bit for bit.
    bool sameHistories(const DesignedChain& other) const {
        return std::memcmp(s1History, other.s1History, sizeof s1History) == 0 &&
               std::memcmp(laterHistories, other.laterHistories, sizeof laterHistories) == 0;
    }

    StageState<double> s1History[kChannelCount] = {};
    StageState<float> laterHistories[kStageCount - 1][kChannelCount] = {};

private:
    StageCoeffs<double> s1_;
    StageCoeffs<float> later_[kStageCount - 1];
};
