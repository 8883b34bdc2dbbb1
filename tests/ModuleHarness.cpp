#include "ModuleHarness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
std::vector<HostCall> recorded;
VstIntPtr versionAnswer = 2400;
}  // namespace

VstIntPtr SIXBAND_CDECL RecordingHost::callback(AEffect* effect, std::int32_t opcode,
                                                std::int32_t index, VstIntPtr value, void* ptr,
                                                float opt) {
    recorded.push_back({effect, opcode, index, value, ptr, opt});
    return opcode == audioMasterVersion ? versionAnswer : 0;
}

void RecordingHost::reset(VstIntPtr answer) {
    recorded.clear();
    versionAnswer = answer;
}

const std::vector<HostCall>& RecordingHost::calls() { return recorded; }

const ModuleLibrary& builtModule() {
    static const ModuleLibrary module(SIXBAND_MODULE_PATH);
    return module;
}

ModuleInstance::ModuleInstance() : effect_(builtModule().entry()(RecordingHost::callback)) {
    if (!effect_) ADD_FAILURE() << "the module's entry returned null";
}

ModuleInstance::~ModuleInstance() {
    if (effect_) close();
}

VstIntPtr ModuleInstance::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                   void* ptr, float opt) const {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

VstIntPtr ModuleInstance::close() {
    const VstIntPtr result = dispatch(effClose);
    effect_ = nullptr;
    return result;
}

float ModuleInstance::getParameter(std::int32_t index) const {
    return effect_->getParameter(effect_, index);
}

void ModuleInstance::setParameter(std::int32_t index, float value) const {
    effect_->setParameter(effect_, index, value);
}

std::string ModuleInstance::text(std::int32_t opcode, std::int32_t index) const {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    const std::size_t length = strnlen(buffer, sizeof buffer);
    // Hosts size their buffers for the longest text they expect: a byte written beyond the
    // terminator may land in their own data.
    for (std::size_t i = length + 1; i < sizeof buffer; ++i)
        if (buffer[i] != '#') {
            ADD_FAILURE() << "opcode " << opcode << ", index " << index << ": byte " << i
                          << " written past the terminator";
            break;
        }
    return std::string(buffer, length);
}

void ModuleInstance::processReplacing(float** inputs, float** outputs, std::int32_t frames) const {
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void ModuleInstance::process(float** inputs, float** outputs, std::int32_t frames) const {
    effect_->process(effect_, inputs, outputs, frames);
}
