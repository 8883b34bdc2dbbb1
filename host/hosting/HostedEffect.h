// One instance of a module's effect, driven as a host drives it: only through the record's entries,
// and in the order real hosts use. Modules built on common plug-in frameworks ignore parameters
// until they have been opened, and some report empty names and zero values before they are
// resumed, so an instance is opened, given its rate and block size and resumed before anything
// else is asked of it.
#pragma once

#include "ModuleLibrary.h"
#include "plugin/AEffect.h"

#include <cstdint>
#include <string>

class HostedEffect {
public:
    // Creates an instance through the module's entry, opens it, sets rate and block size and
    // resumes it; throws ModuleError when the entry returns null, something that is not a host
    // record of this interface, or one with more channels or parameters than any module has.
    HostedEffect(const ModuleLibrary& module, float sampleRate, std::int32_t blockSize);
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    const AEffect& record() const { return *effect_; }
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    int paramCount() const { return effect_->numParams; }
    float parameter(int index) const;
    void setParameter(int index, float value);
    // The module's texts, with control characters escaped.
    std::string paramName(int index);
    std::string paramLabel(int index);
    std::string paramDisplay(int index);
    std::string programName();

    // Replacing when the effect offers it; otherwise its adding entry into cleared outputs.
    void process(float** inputs, float** outputs, std::int32_t frames);

private:
    std::string text(std::int32_t opcode, int index);

    std::string modulePath_;
    AEffect* effect_ = nullptr;
};

// The answers this host gives to an effect's queries: the interface version it speaks, 0 otherwise.
VstIntPtr SIXBAND_CDECL hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                     VstIntPtr value, void* ptr, float opt);
inline constexpr std::int32_t kHostInterfaceVersion = 2400;
