#include "StereoProcessor.h"

#include <algorithm>

void requireStereoCapable(const AEffect& record, const ModuleLibrary& module) {
    const int outputs = record.numOutputs;
    if (outputs != 1 && outputs != 2)
        throw ModuleError("module " + module.path() + " has " + std::to_string(outputs) +
                          " outputs; stereo processing needs 2, or 1 to run as two mono instances");
    if (outputs == 1 && record.numInputs > 1)
        throw ModuleError("module " + module.path() + " has " + std::to_string(record.numInputs) +
                          " inputs and 1 output; it cannot run as two mono instances");
}

StereoProcessor::StereoProcessor(const ModuleLibrary& module, float sampleRate, int blockSize,
                                 const std::vector<ParameterValue>& parameters)
    : blockSize_(blockSize) {
    effects_.push_back(std::make_unique<HostedEffect>(module, sampleRate, blockSize));
    const AEffect& record = effects_.front()->record();
    requireStereoCapable(record, module);
    if (record.numOutputs == 1) effects_.push_back(std::make_unique<HostedEffect>(module, sampleRate, blockSize));
    // A stereo module with more inputs than two reads every one of them; the extra ones stay
    // silent. A mono instance gets its own channel's buffer.
    const int inputCount = std::max(2, record.numOutputs == 2 ? record.numInputs : 0);
    storage_.assign(static_cast<std::size_t>(inputCount + 2), std::vector<float>(static_cast<std::size_t>(blockSize)));
    for (int i = 0; i < inputCount; ++i) inputs_.push_back(storage_[static_cast<std::size_t>(i)].data());
    for (int i = 0; i < 2; ++i) outputs_.push_back(storage_[static_cast<std::size_t>(inputCount + i)].data());
    for (auto& effect : effects_)
        for (const auto& parameter : parameters) effect->setParameter(parameter.index, parameter.value);
}

void StereoProcessor::run(int frames) {
    if (effects_.size() == 1) {
        effects_.front()->process(inputs_.data(), outputs_.data(), frames);
        return;
    }
    for (std::size_t channel = 0; channel < 2; ++channel)
        effects_[channel]->process(&inputs_[channel], &outputs_[channel], frames);
}
