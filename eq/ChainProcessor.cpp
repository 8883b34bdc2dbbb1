#include "ChainProcessor.h"

#include "FastChains.h"
#include "PlainChain.h"

#include <cmath>

namespace {

ChainFunction builtFunction(ChainPath path) {
    switch (path) {
        case ChainPath::plain: return processPlainChain;
        case ChainPath::sse2: return processSse2Chain;
        case ChainPath::avx2:
#if SIXBAND_AVX2_CHAIN
            return processAvx2Chain;
#else
            return nullptr;
#endif
    }
    return nullptr;
}

ChainPath fastestSupportedPath() {
    return chainPathSupported(ChainPath::avx2) ? ChainPath::avx2 : ChainPath::sse2;
}

// Chosen once, when the module is loaded, so that a block pays one indirect call and no test.
const ChainPath chosenPath = fastestSupportedPath();
const ChainFunction chosenFunction = builtFunction(chosenPath);

// One NaN or infinity that reaches a history (a bad input sample, a bad band value for one call)
// would stay there and make every later output of its channel NaN. Such a channel starts afresh
// from the next call instead, as a new instance would; the other channel goes on untouched. Once
// per channel and call, after the whole call: nothing in the frame loop, and huge but finite values
// are left to decay.
//
// y1 alone tells: every value a stage keeps after a frame entered that frame's y (through a
// non-zero coefficient), and a NaN or an infinity cannot enter a sum or product and leave it
// finite. So after at least one frame, a stage's history holds a value that is not finite exactly
// when its y1 is not finite.
void clearNonFiniteChannels(const ChainState& chain) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        bool finite = true;
        for (int stage = 0; stage < kStageCount; ++stage) finite &= std::isfinite(chain.stageState[stage][channel].y1);
        if (!finite)
            for (int stage = 0; stage < kStageCount; ++stage) chain.stageState[stage][channel] = {};
    }
}

}  // namespace

void processChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                  std::int32_t sampleFrames, OutputMode mode) {
    chosenFunction(chain, gains, inputs, outputs, sampleFrames, mode);
    if (sampleFrames > 0) clearNonFiniteChannels(chain);
}

const char* chainPathName(ChainPath path) {
    switch (path) {
        case ChainPath::plain: return "plain";
        case ChainPath::sse2: return "sse2";
        case ChainPath::avx2: return "avx2";
    }
    return "?";
}

bool chainPathBuilt(ChainPath path) { return builtFunction(path) != nullptr; }

bool chainPathSupported(ChainPath path) {
    if (!chainPathBuilt(path)) return false;
    if (path != ChainPath::avx2) return true;
    // The module may be loaded before the runtime's own start-up has looked at the processor.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

ChainFunction chainFunction(ChainPath path) {
    return chainPathSupported(path) ? builtFunction(path) : nullptr;
}

ChainPath chosenChainPath() { return chosenPath; }
