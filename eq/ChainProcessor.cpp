#include "ChainProcessor.h"

#include "FastChains.h"
#include "PlainChain.h"

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

}  // namespace

void processChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                  std::int32_t sampleFrames, OutputMode mode) {
    chosenFunction(chain, gains, inputs, outputs, sampleFrames, mode);
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
