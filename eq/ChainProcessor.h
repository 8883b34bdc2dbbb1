// The processing chain the equaliser runs.
#pragma once

#include "ChainGains.h"
#include "ChainState.h"

#include <cstdint>

void processChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                  std::int32_t sampleFrames, OutputMode mode);
