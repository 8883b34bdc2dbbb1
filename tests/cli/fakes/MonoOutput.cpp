// A mono module, one input and one output, that halves its input: hosts run two instances of such
// a module for stereo, one per channel.
#include "FakeRecord.h"

namespace {
void halve(AEffect*, float** inputs, float** outputs, std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i) outputs[0][i] = 0.5f * inputs[0][i];
}
}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect = [] {
        AEffect e = fake::record(1, 1, 0);
        e.processReplacing = halve;
        return e;
    }();
    return &effect;
}
