// A module shaped like the peer equalisers of later interface revisions: only VSTPluginMain, no
// replacing entry (hosts must clear the outputs and let it add), and hundreds of parameters.
// Parameter 0, "Gain", scales both channels by 2 × value and displays that gain in dB ("off" at 0,
// as some peers show an end of a travel in words); parameter 1, "Mode", displays a word; the others
// do nothing. Every parameter after 1 is called "Unused", so only indices can address them.
#include "FakeRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kParams = 300;

struct GainPeer {
    AEffect effect = fake::record(2, 2, kParams);
    float values[kParams] = {0.5f};
};

GainPeer& self(AEffect* e) { return *static_cast<GainPeer*>(e->object); }

VstIntPtr dispatch(AEffect* e, std::int32_t opcode, std::int32_t index, VstIntPtr, void* ptr, float) {
    if (index < 0 || index >= kParams) return 0;
    char* text = static_cast<char*>(ptr);
    const float value = self(e).values[index];
    switch (opcode) {
        case effGetParamName:
            std::snprintf(text, 64, "%s", index == 0 ? "Gain" : index == 1 ? "Mode" : "Unused");
            break;
        case effGetParamDisplay:
            if (index == 0 && value <= 0.0f) std::snprintf(text, 64, "off");
            else if (index == 0) std::snprintf(text, 64, "%.3f", 20.0 * std::log10(2.0 * value));
            else if (index == 1) std::snprintf(text, 64, "%s", value < 0.5f ? "soft" : "hard");
            else std::snprintf(text, 64, "%.2f", static_cast<double>(value));
            break;
        case effGetParamLabel:
            std::snprintf(text, 64, "%s", index == 0 ? "dB" : "");
            break;
        case effClose:
            delete &self(e);
            break;
        default:
            break;
    }
    return 0;
}

void add(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
    const float gain = 2.0f * self(e).values[0];
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] += gain * inputs[c][i];
}

void set(AEffect* e, std::int32_t index, float value) {
    if (index >= 0 && index < kParams) self(e).values[index] = value;
}
float get(AEffect* e, std::int32_t index) { return index >= 0 && index < kParams ? self(e).values[index] : 0.0f; }

}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    auto* peer = new GainPeer;
    peer->effect.object = peer;
    peer->effect.dispatcher = dispatch;
    peer->effect.process = add;
    peer->effect.processReplacing = nullptr;
    peer->effect.flags = 0;
    peer->effect.setParameter = set;
    peer->effect.getParameter = get;
    return &peer->effect;
}
