// One fresh instance of a module, started and fed blocks of stereo audio: it owns the channel
// buffers that the interface passes by pointer.
#pragma once

#include "HostedEffect.h"
#include "ModuleLibrary.h"

#include <vector>

struct ParameterValue {
    int index;
    float value;
};

class StereoProcessor {
public:
    // Throws ModuleError unless the module has 2 outputs. The parameters are set once the effect
    // is resumed, before any audio.
    StereoProcessor(const ModuleLibrary& module, float sampleRate, int blockSize,
                    const std::vector<ParameterValue>& parameters);

    int blockSize() const { return blockSize_; }
    float* input(int channel) { return inputs_[static_cast<std::size_t>(channel)]; }
    const float* output(int channel) const { return outputs_[static_cast<std::size_t>(channel)]; }
    // Processes the first `frames` (at most blockSize) samples of the input buffers.
    void run(int frames) { effect_.process(inputs_.data(), outputs_.data(), frames); }

    HostedEffect& effect() { return effect_; }

private:
    HostedEffect effect_;
    int blockSize_;
    std::vector<std::vector<float>> storage_;
    std::vector<float*> inputs_;
    std::vector<float*> outputs_;
};

// Throws ModuleError naming the module when it has other than 2 outputs.
void requireStereoOutputs(const HostedEffect& effect, const ModuleLibrary& module);
