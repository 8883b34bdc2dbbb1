// The module's equaliser behind LV2's plug-in functions. An instance holds the same effect object
// that the module's entry creates; run() hands it the controls and the block, nothing more, so the
// two faces give the same bits.
#include "BypassCrossfade.h"
#include "Lv2Ports.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

// While bypassed or crossfading, the equalised signal goes here, block by block, so that the dry
// one is still in the input (which may be the output) to pass or mix.
constexpr std::uint32_t kScratchFrames = 1024;

struct Lv2Equaliser {
    SixBandEqualiser equaliser{nullptr};
    float* inputs[2] = {};
    float* outputs[2] = {};
    const float* bands[SixBandEqualiser::kParamCount] = {};
    const float* enabled = nullptr;  // unconnected: always on
    float defaults[SixBandEqualiser::kParamCount] = {};
    BypassCrossfade bypass;
    bool activated = true;  // the next run() takes the switch as it is, without a crossfade
    float scratch[2][kScratchFrames] = {};
};

Lv2Equaliser* self(LV2_Handle instance) { return static_cast<Lv2Equaliser*>(instance); }

// The bands are designed for 44,100 Hz whatever the rate, as in the module: the rate only sets
// the bypass's crossfade, 10 ms.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    void* memory = std::malloc(sizeof(Lv2Equaliser));
    if (!memory) return nullptr;
    Lv2Equaliser* plugin = std::construct_at(static_cast<Lv2Equaliser*>(memory));
    plugin->bypass.setLength(static_cast<std::uint32_t>(std::clamp(std::lround(0.010 * rate), 1l, 1l << 20)));
    for (std::int32_t band = 0; band < SixBandEqualiser::kParamCount; ++band)
        plugin->defaults[band] = plugin->equaliser.getParam(band);
    return plugin;
}

void connectPort(LV2_Handle instance, std::uint32_t port, void* data) {
    Lv2Equaliser& plugin = *self(instance);
    auto* samples = static_cast<float*>(data);
    switch (port) {
        case kInLeft: plugin.inputs[0] = samples; return;
        case kInRight: plugin.inputs[1] = samples; return;
        case kOutLeft: plugin.outputs[0] = samples; return;
        case kOutRight: plugin.outputs[1] = samples; return;
        case kLv2Enabled: plugin.enabled = samples; return;
        default:
            if (port < kLv2PortCount) plugin.bands[port - kFirstBand] = samples;
    }
}

// A re-activated instance must forget its history. The module's equaliser only ever clears its
// histories in its constructor, so activation builds a new one in place (not on the audio thread).
void activate(LV2_Handle instance) {
    SixBandEqualiser& equaliser = self(instance)->equaliser;
    std::destroy_at(&equaliser);
    std::construct_at(&equaliser, nullptr);
    self(instance)->activated = true;
}

void run(LV2_Handle instance, std::uint32_t sampleCount) {
    Lv2Equaliser& plugin = *self(instance);
    // LV2 hosts expect a plug-in to keep within the ranges it declares: a value beyond 0..1 is
    // taken at the nearer end, one that is not a number as the control's default. (The module
    // uses what it is sent; the command line lets values beyond 0..1 through on request.)
    for (std::int32_t band = 0; band < SixBandEqualiser::kParamCount; ++band) {
        const float value = *plugin.bands[band];
        plugin.equaliser.setParam(band, std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : plugin.defaults[band]);
    }
    // Bypassed at 0 or less; a switch that is not a number is at its default, on.
    const bool enabled = !plugin.enabled || !(*plugin.enabled <= 0.0f);
    if (plugin.activated) plugin.bypass.settle(enabled);
    plugin.activated = false;
    const bool equalisedOnly = enabled && plugin.bypass.settled(true);

    // The module counts frames in 32 signed bits, and the scratch holds fewer: a longer block goes
    // in pieces, which give the same bits as one call while the histories stay finite (a channel
    // that stops being finite is cleared after each call, so after each piece).
    float* inputs[2] = {plugin.inputs[0], plugin.inputs[1]};
    float* outputs[2] = {plugin.outputs[0], plugin.outputs[1]};
    float* equalised[2] = {plugin.scratch[0], plugin.scratch[1]};
    const std::uint32_t longest = equalisedOnly ? std::numeric_limits<std::int32_t>::max() : kScratchFrames;
    while (sampleCount > 0) {
        const std::uint32_t frames = sampleCount < longest ? sampleCount : longest;
        if (equalisedOnly) {
            plugin.equaliser.processReplace(inputs, outputs, static_cast<std::int32_t>(frames));
        } else {
            // The filters keep running while bypassed, so that switching back is click-free too.
            plugin.equaliser.processReplace(inputs, equalised, static_cast<std::int32_t>(frames));
            plugin.bypass.apply(enabled, inputs, equalised, outputs, frames);
        }
        for (float** channels : {inputs, outputs})
            for (int channel = 0; channel < 2; ++channel) channels[channel] += frames;
        sampleCount -= frames;
    }
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
