// The processing chain written frame by frame, exactly as the algorithm reads. It is the reference
// that every faster form must match bit for bit.
//
// Per frame and channel, for each stage in chain order, in double precision:
//   y  = (((((b0·((x − 2·x1) + x2)) − d4·y4) − d3·y3) − d2·y2) − d1·y1) / d0 + 1e-12
//   f  = float(f + (float(y) · first) · second)
// where x is the running value f as the previous stage left it; the history keeps y unrounded.
#pragma once

#include "ChainGains.h"
#include "ChainState.h"

#include <cstdint>

void processPlainChain(const ChainState& chain, const ChainGains& gains, float** inputs,
                       float** outputs, std::int32_t sampleFrames, OutputMode mode);
