// The fast forms of the chain. Each has processPlainChain's signature and gives its results bit for
// bit, outputs and histories; ChainProcessor.cpp picks one by the processor's features.
#pragma once

#include "ChainGains.h"
#include "ChainState.h"

#include <cstdint>

// GCC cannot realign the stack on 64-bit Windows, so its spills of 32-byte vectors there use
// aligned moves on 16-byte aligned slots and fault: that build keeps to SSE2.
#if defined(_WIN64)
#define SIXBAND_AVX2_CHAIN 0
#else
#define SIXBAND_AVX2_CHAIN 1
#endif

void processSse2Chain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                      std::int32_t sampleFrames, OutputMode mode);
#if SIXBAND_AVX2_CHAIN
void processAvx2Chain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                      std::int32_t sampleFrames, OutputMode mode);
#endif
