// The processing chain the equaliser runs, and the forms of it that a processor may run.
#pragma once

#include "ChainGains.h"
#include "ChainState.h"

#include <cstdint>

// Runs the chosen form, then clears the histories of a channel that stopped being finite.
void processChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                  std::int32_t sampleFrames, OutputMode mode);

// Every form gives the plain form's bits; they differ only in speed.
enum class ChainPath { plain, sse2, avx2 };
inline constexpr ChainPath kChainPaths[] = {ChainPath::plain, ChainPath::sse2, ChainPath::avx2};

using ChainFunction = void (*)(const ChainState& chain, const ChainGains& gains, float** inputs,
                               float** outputs, std::int32_t sampleFrames, OutputMode mode);

const char* chainPathName(ChainPath path);
// Whether this build carries the path at all (64-bit Windows has no AVX2 path).
bool chainPathBuilt(ChainPath path);
// Whether this processor can run it.
bool chainPathSupported(ChainPath path);
// The form of a path, or null where it is not built or not supported here.
ChainFunction chainFunction(ChainPath path);
// The path processChain runs: the fastest one this processor supports.
ChainPath chosenChainPath();
