#include "HostedEffect.h"

#include "ModuleCall.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// What a crash report calls each dispatcher request this host makes.
const char* dispatcherCallName(std::int32_t opcode) {
    switch (opcode) {
        case effOpen: return "its dispatcher call (effOpen)";
        case effClose: return "its dispatcher call (effClose)";
        case effGetProgramName: return "its dispatcher call (effGetProgramName)";
        case effGetParamLabel: return "its dispatcher call (effGetParamLabel)";
        case effGetParamDisplay: return "its dispatcher call (effGetParamDisplay)";
        case effGetParamName: return "its dispatcher call (effGetParamName)";
        case effSetSampleRate: return "its dispatcher call (effSetSampleRate)";
        case effSetBlockSize: return "its dispatcher call (effSetBlockSize)";
        case effMainsChanged: return "its dispatcher call (effMainsChanged)";
        default: return "its dispatcher call";
    }
}

// A module's text as it can be shown on a terminal: control characters, which could move the
// cursor or rewrite the screen, are escaped.
std::string printable(const char* text) {
    std::string shown;
    for (const char* c = text; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += *c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

// Beyond these a record is taken for garbage: no module has that many channels or parameters,
// and hosting it would mean buffers and listings without end.
constexpr std::int32_t kMostChannels = 64;
constexpr std::int32_t kMostParameters = 10000;

}  // namespace

VstIntPtr SIXBAND_CDECL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                     float) {
    // Later modules refuse to start under a host that claims an older interface than theirs.
    return opcode == audioMasterVersion ? kHostInterfaceVersion : 0;
}

HostedEffect::HostedEffect(const ModuleLibrary& module, float sampleRate, std::int32_t blockSize)
    : modulePath_(module.path()) {
    {
        const std::string entryCall = "its " + module.entryName() + " call";
        const ModuleCall call(modulePath_.c_str(), entryCall.c_str());
        effect_ = module.entry()(hostCallback);
    }
    if (!effect_) throw ModuleError("module " + module.path() + " refused to create an effect (its " +
                                    module.entryName() + " returned null)");
    if (effect_->magic != kEffectMagic)
        throw ModuleError("module " + module.path() + " returned a record with the wrong magic");
    const auto refuse = [&](const std::string& what, std::int32_t count, std::int32_t most) {
        if (count < 0 || count > most)
            throw ModuleError("module " + module.path() + " claims " + std::to_string(count) + " " + what +
                              "; sixband hosts at most " + std::to_string(most));
    };
    refuse("inputs", effect_->numInputs, kMostChannels);
    refuse("outputs", effect_->numOutputs, kMostChannels);
    refuse("parameters", effect_->numParams, kMostParameters);
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
    const ModuleCall call(modulePath_.c_str(), dispatcherCallName(opcode));
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

float HostedEffect::parameter(int index) const {
    const ModuleCall call(modulePath_.c_str(), "its getParameter call");
    return effect_->getParameter(effect_, index);
}

void HostedEffect::setParameter(int index, float value) {
    const ModuleCall call(modulePath_.c_str(), "its setParameter call");
    effect_->setParameter(effect_, index, value);
}

std::string HostedEffect::text(std::int32_t opcode, int index) {
    // The interface gives no buffer size; later modules write up to 64 characters where the
    // original allowed 8, so the buffer is generous and cleared.
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return printable(buffer);
}

std::string HostedEffect::paramName(int index) { return text(effGetParamName, index); }
std::string HostedEffect::paramLabel(int index) { return text(effGetParamLabel, index); }
std::string HostedEffect::paramDisplay(int index) { return text(effGetParamDisplay, index); }
std::string HostedEffect::programName() { return text(effGetProgramName, 0); }

void HostedEffect::process(float** inputs, float** outputs, std::int32_t frames) {
    if (effect_->flags & effFlagsCanReplacing) {
        const ModuleCall call(modulePath_.c_str(), "its processReplacing call");
        effect_->processReplacing(effect_, inputs, outputs, frames);
        return;
    }
    for (int channel = 0; channel < effect_->numOutputs; ++channel)
        std::fill_n(outputs[channel], frames, 0.0f);
    const ModuleCall call(modulePath_.c_str(), "its process call");
    effect_->process(effect_, inputs, outputs, frames);
}
