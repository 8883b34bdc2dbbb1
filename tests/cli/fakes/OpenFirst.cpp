// A module that behaves like those built on common plug-in frameworks: until it has been opened it
// has no parameter names, reads every value as 0 and ignores what it is set to. Once open,
// parameter 0, "Gain", scales both channels by 2 × value; parameter 1, "Steps", keeps only
// quarters (it reads back 0.25 when set to 0.3), as a switch or a stepped control would.
#include "FakeRecord.h"

#include <cmath>
#include <cstdio>

namespace {

struct OpenFirst {
    AEffect effect = fake::record(2, 2, 2);
    bool open = false;
    float values[2] = {0.5f, 0.0f};
};

OpenFirst& self(AEffect* e) { return *static_cast<OpenFirst*>(e->object); }

VstIntPtr dispatch(AEffect* e, std::int32_t opcode, std::int32_t index, VstIntPtr, void* ptr, float) {
    auto& fake = self(e);
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen:
            fake.open = true;
            break;
        case effClose:
            delete &fake;
            break;
        case effGetParamName:
            if (fake.open && index >= 0 && index < 2) std::snprintf(text, 64, "%s", index == 0 ? "Gain" : "Steps");
            break;
        case effGetParamDisplay:
            if (fake.open && index >= 0 && index < 2) std::snprintf(text, 64, "%.2f", static_cast<double>(fake.values[index]));
            break;
        default:
            break;
    }
    return 0;
}

void set(AEffect* e, std::int32_t index, float value) {
    auto& fake = self(e);
    if (!fake.open || index < 0 || index >= 2) return;
    fake.values[index] = index == 1 ? std::floor(value * 4.0f) / 4.0f : value;
}

float get(AEffect* e, std::int32_t index) {
    const auto& fake = self(e);
    return fake.open && index >= 0 && index < 2 ? fake.values[index] : 0.0f;
}

void scale(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
    const float gain = 2.0f * self(e).values[0];
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] = gain * inputs[c][i];
}

}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    auto* fake = new OpenFirst;
    fake->effect.object = fake;
    fake->effect.dispatcher = dispatch;
    fake->effect.processReplacing = scale;
    fake->effect.setParameter = set;
    fake->effect.getParameter = get;
    return &fake->effect;
}
