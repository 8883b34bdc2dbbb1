// A module whose one band follows the sample rate, as most equalisers' do: parameter 0, "1 kHz", a
// peaking filter at 1 kHz of the rate the host sets (effSetSampleRate), from -12 dB at 0 to +12 dB
// at 1 (neutral at 0.5), Q 1.
#include "FakeRecord.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

struct Band {
    AEffect effect = fake::record(2, 2, 1);
    float value = 0.5f;
    double rate = 44100.0;
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double state[2][2] = {};

    void design() {
        const double gain = std::pow(10.0, (24.0 * value - 12.0) / 40.0);
        const double w = 2.0 * std::numbers::pi * 1000.0 / rate, alpha = std::sin(w) / 2.0;
        const double a0 = 1.0 + alpha / gain;
        b0 = (1.0 + alpha * gain) / a0;
        b1 = -2.0 * std::cos(w) / a0;
        b2 = (1.0 - alpha * gain) / a0;
        a1 = b1;
        a2 = (1.0 - alpha / gain) / a0;
    }
};

Band& self(AEffect* e) { return *static_cast<Band*>(e->object); }

VstIntPtr dispatch(AEffect* e, std::int32_t opcode, std::int32_t, VstIntPtr, void* ptr, float opt) {
    Band& band = self(e);
    switch (opcode) {
        case effSetSampleRate:
            band.rate = opt;
            band.design();
            break;
        case effGetParamName: std::snprintf(static_cast<char*>(ptr), 64, "1 kHz"); break;
        case effGetParamLabel: std::snprintf(static_cast<char*>(ptr), 64, "dB"); break;
        case effGetParamDisplay:
            std::snprintf(static_cast<char*>(ptr), 64, "%.2f", 24.0 * band.value - 12.0);
            break;
        case effClose: delete &band; break;
        default: break;
    }
    return 0;
}

// Transposed direct form II, per channel.
void run(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
    Band& band = self(e);
    for (int c = 0; c < 2; ++c) {
        double* s = band.state[c];
        for (std::int32_t i = 0; i < frames; ++i) {
            const double x = inputs[c][i], y = band.b0 * x + s[0];
            s[0] = band.b1 * x - band.a1 * y + s[1];
            s[1] = band.b2 * x - band.a2 * y;
            outputs[c][i] = static_cast<float>(y);
        }
    }
}

void set(AEffect* e, std::int32_t index, float value) {
    if (index != 0) return;
    self(e).value = value;
    self(e).design();
}
float get(AEffect* e, std::int32_t index) { return index == 0 ? self(e).value : 0.0f; }

}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    auto* band = new Band;
    band->effect.object = band;
    band->effect.dispatcher = dispatch;
    band->effect.processReplacing = run;
    band->effect.process = run;
    band->effect.setParameter = set;
    band->effect.getParameter = get;
    band->design();
    return &band->effect;
}
