#include "StereoProcessor.h"

#include <algorithm>

void requireStereoOutputs(const HostedEffect& effect, const ModuleLibrary& module) {
    const int outputs = effect.record().numOutputs;
    if (outputs != 2)
        throw ModuleError("module " + module.path() + " has " + std::to_string(outputs) +
                          " outputs; stereo processing needs 2");
}

StereoProcessor::StereoProcessor(const ModuleLibrary& module, float sampleRate, int blockSize,
                                 const std::vector<ParameterValue>& parameters)
    : effect_(module), blockSize_(blockSize) {
    requireStereoOutputs(effect_, module);
    // A module with more inputs than two reads every one of them; the extra ones stay silent.
    const int inputCount = std::max(2, effect_.record().numInputs);
    storage_.assign(static_cast<std::size_t>(inputCount + 2), std::vector<float>(static_cast<std::size_t>(blockSize)));
    for (int i = 0; i < inputCount; ++i) inputs_.push_back(storage_[static_cast<std::size_t>(i)].data());
    for (int i = 0; i < 2; ++i) outputs_.push_back(storage_[static_cast<std::size_t>(inputCount + i)].data());
    effect_.start(sampleRate, blockSize);
    for (const auto& parameter : parameters) effect_.setParameter(parameter.index, parameter.value);
}
