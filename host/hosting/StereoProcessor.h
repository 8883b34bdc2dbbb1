// A fresh stereo processor made of a module's instances, started and fed blocks of stereo audio:
// one instance of a stereo module, or two of a mono one (one per channel, as hosts run them). It
// owns the channel buffers that the interface passes by pointer.
#pragma once

#include "HostedEffect.h"
#include "ModuleLibrary.h"

#include <memory>
#include <vector>

struct ParameterValue {
    int index;
    float value;
};

class StereoProcessor {
public:
    // Throws ModuleError unless the module has 2 outputs, or 1 output and at most 1 input. The
    // parameters are set on every instance once it is resumed, before any audio.
    StereoProcessor(const ModuleLibrary& module, float sampleRate, int blockSize,
                    const std::vector<ParameterValue>& parameters);

    int blockSize() const { return blockSize_; }
    bool twoMonoInstances() const { return effects_.size() == 2; }
    float* input(int channel) { return inputs_[static_cast<std::size_t>(channel)]; }
    const float* output(int channel) const { return outputs_[static_cast<std::size_t>(channel)]; }
    // Processes the first `frames` (at most blockSize) samples of the input buffers.
    void run(int frames);

    // The first instance: the one whose parameters a host shows.
    HostedEffect& effect() { return *effects_.front(); }

private:
    std::vector<std::unique_ptr<HostedEffect>> effects_;
    int blockSize_;
    std::vector<std::vector<float>> storage_;
    std::vector<float*> inputs_;
    std::vector<float*> outputs_;
};

// Throws ModuleError naming the module when stereo audio cannot run through it: other than 1 or
// 2 outputs, or a mono output fed by several inputs.
void requireStereoCapable(const AEffect& record, const ModuleLibrary& module);
