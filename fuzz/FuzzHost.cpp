#include "FuzzHost.h"

#include "plugin/CreateEffect.h"
#include "plugin/EffectBase.h"

#include <cstdio>
#include <cstdlib>

namespace {
VstIntPtr SIXBAND_CDECL fuzzHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

AEffect* openEffect() {
    EffectBase* effect = createEffect(fuzzHost);
    if (!effect) std::abort();
    return effect->getHostRecord();
}

void closeEffect(AEffect* effect) {
    if (effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f) != 1) std::abort();
}

void reportFinding(const char* property) {
    std::fprintf(stderr, "finding: %s\n", property);
    std::abort();
}
