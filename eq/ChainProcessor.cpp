#include "ChainProcessor.h"

#include "PlainChain.h"

void processChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                  std::int32_t sampleFrames, OutputMode mode) {
    processPlainChain(chain, gains, inputs, outputs, sampleFrames, mode);
}
