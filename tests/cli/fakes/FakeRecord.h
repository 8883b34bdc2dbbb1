// Small stand-ins for modules that misbehave or differ from the equaliser, for the host's tests.
// Each fake exports only the entry name of later interface revisions, VSTPluginMain.
#pragma once

#include "plugin/AEffect.h"

#include <cstring>

#define FAKE_ENTRY extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain

namespace fake {

inline VstIntPtr dispatcher(AEffect*, std::int32_t, std::int32_t, VstIntPtr, void*, float) { return 0; }
inline void silence(AEffect* e, float**, float** outputs, std::int32_t frames) {
    for (int c = 0; c < e->numOutputs; ++c) std::memset(outputs[c], 0, sizeof(float) * static_cast<std::size_t>(frames));
}
inline void setParameter(AEffect*, std::int32_t, float) {}
inline float getParameter(AEffect*, std::int32_t) { return 0.0f; }

// A valid, silent record with the given shape.
inline AEffect record(std::int32_t numInputs, std::int32_t numOutputs, std::int32_t numParams) {
    AEffect e{};
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.process = silence;
    e.processReplacing = silence;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 1;
    e.numParams = numParams;
    e.numInputs = numInputs;
    e.numOutputs = numOutputs;
    e.flags = effFlagsCanReplacing;
    e.uniqueID = fourCharCode("Fake");
    e.version = 1;
    return e;
}

}  // namespace fake
