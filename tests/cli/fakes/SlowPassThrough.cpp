// A module that copies its input and takes a millisecond per call: long enough work to interrupt.
#include "FakeRecord.h"

#include <chrono>
#include <thread>

namespace {
void copy(AEffect*, float** inputs, float** outputs, std::int32_t frames) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int c = 0; c < 2; ++c) std::memcpy(outputs[c], inputs[c], sizeof(float) * static_cast<std::size_t>(frames));
}
}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect = [] {
        AEffect e = fake::record(2, 2, 0);
        e.processReplacing = copy;
        return e;
    }();
    return &effect;
}
