#include "HostEntries.h"

#include "EffectBase.h"

namespace {
EffectBase* effectOf(AEffect* effect) { return static_cast<EffectBase*>(effect->object); }
}  // namespace

SIXBAND_HOST_ENTRY VstIntPtr SIXBAND_CDECL dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                      VstIntPtr value, void* ptr, float opt) {
    EffectBase* object = effectOf(effect);
    if (opcode != effClose) return object->dispatch(opcode, index, value, ptr, opt);
    // Closing is the one request that ends the object; the record dies with it, so the host gets
    // its answer from here rather than from the object.
    object->dispatch(opcode, index, value, ptr, opt);
    delete object;
    return 1;
}

SIXBAND_HOST_ENTRY void SIXBAND_CDECL processEntry(AEffect* effect, float** inputs, float** outputs,
                                std::int32_t sampleFrames) {
    effectOf(effect)->processAdd(inputs, outputs, sampleFrames);
}

SIXBAND_HOST_ENTRY void SIXBAND_CDECL setParameterEntry(AEffect* effect, std::int32_t index, float value) {
    effectOf(effect)->setParam(index, value);
}

SIXBAND_HOST_ENTRY float SIXBAND_CDECL getParameterEntry(AEffect* effect, std::int32_t index) {
    return effectOf(effect)->getParam(index);
}

SIXBAND_HOST_ENTRY void SIXBAND_CDECL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                         std::int32_t sampleFrames) {
    effectOf(effect)->processReplace(inputs, outputs, sampleFrames);
}
