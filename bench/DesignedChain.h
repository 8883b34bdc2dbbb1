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
            if (stage == 0) s1_ = c;
            else later_[stage - 1] = roundedToFloat(c);
        }
    }
    DesignedChain(const DesignedChain&) = delete;
    DesignedChain& operator=(const DesignedChain&) = delete;

    ChainState state() { return {&s1_, later_, histories}; }

    // Bit for bit.
    bool sameHistories(const DesignedChain& other) const {
        return std::memcmp(histories, other.histories, sizeof histories) == 0;
    }

    StageState histories[kStageCount][kChannelCount] = {};

private:
    StageCoeffs<double> s1_;
    StageCoeffs<float> later_[kStageCount - 1];
};
