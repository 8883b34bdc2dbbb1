#include "HostedEffect.h"

#include <algorithm>
#include <cstring>

VstIntPtr SIXBAND_CDECL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                     float) {
    // Later modules refuse to start under a host that claims an older interface than theirs.
    return opcode == audioMasterVersion ? kHostInterfaceVersion : 0;
}

HostedEffect::HostedEffect(const ModuleLibrary& module, float sampleRate, std::int32_t blockSize)
    : effect_(module.entry()(hostCallback)) {
    if (!effect_) throw ModuleError("module " + module.path() + " refused to create an effect (its " +
                                    module.entryName() + " returned null)");
    if (effect_->magic != kEffectMagic)
        throw ModuleError("module " + module.path() + " returned a record with the wrong magic");
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
}

HostedEffect::~HostedEffect() {
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
}

VstIntPtr HostedEffect::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

float HostedEffect::parameter(int index) const { return effect_->getParameter(effect_, index); }
void HostedEffect::setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }

std::string HostedEffect::text(std::int32_t opcode, int index) {
    // The interface gives no buffer size; later modules write up to 64 characters where the
    // original allowed 8, so the buffer is generous and cleared.
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string HostedEffect::paramName(int index) { return text(effGetParamName, index); }
std::string HostedEffect::paramLabel(int index) { return text(effGetParamLabel, index); }
std::string HostedEffect::paramDisplay(int index) { return text(effGetParamDisplay, index); }
std::string HostedEffect::programName() { return text(effGetProgramName, 0); }

void HostedEffect::process(float** inputs, float** outputs, std::int32_t frames) {
    if (effect_->flags & effFlagsCanReplacing) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
        return;
    }
    for (int channel = 0; channel < effect_->numOutputs; ++channel)
        std::fill_n(outputs[channel], frames, 0.0f);
    effect_->process(effect_, inputs, outputs, frames);
}
