// One instance of a module's effect, driven as a host drives it: only through the record's entries.
#pragma once

#include "ModuleLibrary.h"
#include "plugin/AEffect.h"

#include <cstdint>
#include <string>

class HostedEffect {
public:
    // Creates an instance through the module's entry; throws ModuleError when the entry returns
    // null or something that is not a host record of this interface.
    explicit HostedEffect(const ModuleLibrary& module);
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    const AEffect& record() const { return *effect_; }
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    int paramCount() const { return effect_->numParams; }
    float parameter(int index) const;
    void setParameter(int index, float value);
    std::string paramName(int index);
    std::string paramLabel(int index);
    std::string paramDisplay(int index);
    std::string programName();

    // Sets rate and block size, then opens and resumes the effect, as hosts do before audio.
    void start(float sampleRate, std::int32_t blockSize);
    // Replacing when the effect offers it; otherwise its adding entry into cleared outputs.
    void process(float** inputs, float** outputs, std::int32_t frames);

private:
    std::string text(std::int32_t opcode, int index);

    AEffect* effect_;
    bool started_ = false;
};

// The answers this host gives to an effect's queries: the interface version it speaks, 0 otherwise.
VstIntPtr SIXBAND_CDECL hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                     VstIntPtr value, void* ptr, float opt);
inline constexpr std::int32_t kHostInterfaceVersion = 2400;
