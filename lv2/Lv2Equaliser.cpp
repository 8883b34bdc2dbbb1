// The equaliser behind LV2's plug-in functions: run() hands the controls and the block to the
// hosted form of the module's equaliser and copies its gain readouts out, nothing more, so that the
// two faces give the same bits while the controls hold still. Ardour's inline display draws the
// response on its GUI thread from a copy of the controls that run() publishes.
#include "InlineDisplay.h"
#include "Lv2Ports.h"
#include "eq/HostedEqualiser.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kBands = SixBandEqualiser::kParamCount;

struct Lv2Equaliser {
    Lv2Equaliser(double rate, const InlineDisplayQueueDraw* queueDraw)
        : equaliser(rate), rate(rate), queueDraw(queueDraw) {
        for (int band = 0; band < kBands; ++band) shown[band].store(equaliser.control(band), std::memory_order_relaxed);
    }

    HostedEqualiser equaliser;
    const double rate;
    const InlineDisplayQueueDraw* const queueDraw;  // null where the host has no inline display
    // The controls as last drawn: written by run(), read by render(). Relaxed: a picture that mixes
    // two settings is drawn again at once, because the second one queued another draw.
    std::atomic<float> shown[kBands];
    ResponsePicture picture;
    float* inputs[2] = {};
    float* outputs[2] = {};
    const float* bands[SixBandEqualiser::kParamCount] = {};
    const float* enabled = nullptr;                          // unconnected: always on
    float* gains[SixBandEqualiser::kParamCount] = {};        // each may be unconnected
};

Lv2Equaliser* self(LV2_Handle instance) { return static_cast<Lv2Equaliser*>(instance); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const InlineDisplayQueueDraw* queueDraw = nullptr;
    for (const LV2_Feature* const* feature = features; feature && *feature; ++feature)
        if (std::strcmp((*feature)->URI, kInlineDisplayQueueDrawUri) == 0)
            queueDraw = static_cast<const InlineDisplayQueueDraw*>((*feature)->data);
    void* memory = std::malloc(sizeof(Lv2Equaliser));
    return memory ? std::construct_at(static_cast<Lv2Equaliser*>(memory), rate, queueDraw) : nullptr;
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

    bool moved = false;
    for (int band = 0; band < kBands; ++band) {
        const float value = equaliser.control(band);
        if (plugin.shown[band].load(std::memory_order_relaxed) == value) continue;
        plugin.shown[band].store(value, std::memory_order_relaxed);
        moved = true;
    }
    if (moved && plugin.queueDraw && plugin.queueDraw->queueDraw) plugin.queueDraw->queueDraw(plugin.queueDraw->handle);
}

// On the host's GUI thread, never at the same time as cleanup().
InlineDisplayImage* render(LV2_Handle instance, std::uint32_t width, std::uint32_t maxHeight) {
    Lv2Equaliser& plugin = *self(instance);
    float settings[kBands];
    for (int band = 0; band < kBands; ++band) settings[band] = plugin.shown[band].load(std::memory_order_relaxed);
    return plugin.picture.render(plugin.equaliser.design(), plugin.rate, settings, width, maxHeight);
}

void cleanup(LV2_Handle instance) {
    std::destroy_at(self(instance));
    std::free(instance);
}

const InlineDisplayInterface<LV2_Handle> kInlineDisplay = {render};

const void* extensionData(const char* uri) {
    return std::strcmp(uri, kInlineDisplayInterfaceUri) == 0 ? &kInlineDisplay : nullptr;
}

const LV2_Descriptor kDescriptor = {kLv2PluginUri, instantiate, connectPort, activate, run,
                                    nullptr,       cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
