// The equaliser behind LV2's plug-in functions: run() hands the controls and the block to the
// hosted form of the module's equaliser and copies its gain readouts out, nothing more, so that the
// two faces give the same bits while the controls hold still.
#include "Lv2Ports.h"
#include "eq/HostedEqualiser.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

struct Lv2Equaliser {
    explicit Lv2Equaliser(double rate) : equaliser(rate) {}

    HostedEqualiser equaliser;
    float* inputs[2] = {};
    float* outputs[2] = {};
    const float* bands[SixBandEqualiser::kParamCount] = {};
    const float* enabled = nullptr;                          // unconnected: always on
    float* gains[SixBandEqualiser::kParamCount] = {};        // each may be unconnected
};

Lv2Equaliser* self(LV2_Handle instance) { return static_cast<Lv2Equaliser*>(instance); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    void* memory = std::malloc(sizeof(Lv2Equaliser));
    return memory ? std::construct_at(static_cast<Lv2Equaliser*>(memory), rate) : nullptr;
}

void connectPort(LV2_Handle instance, std::uint32_t port, void* data) {
    Lv2Equaliser& plugin = *self(instance);
    auto* values = static_cast<float*>(data);
    if (port >= kLv2PortCount) return;
    switch (port) {
        case kInLeft: plugin.inputs[0] = values; return;
        case kInRight: plugin.inputs[1] = values; return;
        case kOutLeft: plugin.outputs[0] = values; return;
        case kOutRight: plugin.outputs[1] = values; return;
        case kLv2Enabled: plugin.enabled = values; return;
        default:
            if (port < kLv2Enabled) plugin.bands[port - kFirstBand] = values;
            else plugin.gains[port - kFirstGain] = values;
    }
}

void activate(LV2_Handle instance) { self(instance)->equaliser.reset(); }

void run(LV2_Handle instance, std::uint32_t sampleCount) {
    Lv2Equaliser& plugin = *self(instance);
    HostedEqualiser& equaliser = plugin.equaliser;
    for (int band = 0; band < SixBandEqualiser::kParamCount; ++band)
        if (plugin.bands[band]) equaliser.setControl(band, *plugin.bands[band]);
    // Bypassed at 0 or less; a switch that is not a number is at its default, on.
    equaliser.setEnabled(!plugin.enabled || !(*plugin.enabled <= 0.0f));
    equaliser.process(plugin.inputs, plugin.outputs, sampleCount);
    const float (&gainsDb)[SixBandEqualiser::kParamCount] = equaliser.gainsDb();
    for (int band = 0; band < SixBandEqualiser::kParamCount; ++band)
        if (plugin.gains[band]) *plugin.gains[band] = std::clamp(gainsDb[band], kLv2GainFloorDb, kLv2GainCeilingDb);
}

void cleanup(LV2_Handle instance) {
    std::destroy_at(self(instance));
    std::free(instance);
}

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {kLv2PluginUri, instantiate, connectPort, activate, run,
                                    nullptr,       cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
