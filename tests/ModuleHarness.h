// Loading the built module and driving it as a host does: through `main`, the record's entries and
// a host callback that records what the effect asks.
#pragma once

#include "host/hosting/ModuleLibrary.h"
#include "plugin/AEffect.h"

#include <cstdint>
#include <string>
#include <vector>

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The callback has no context argument, so the recording host is one per process.
class RecordingHost {
public:
    static VstIntPtr SIXBAND_CDECL callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                            VstIntPtr value, void* ptr, float opt);
    static void reset(VstIntPtr versionAnswer = 2400);
    static const std::vector<HostCall>& calls();
};

const ModuleLibrary& builtModule();

// One effect created through the module's entry, closed through its dispatcher unless the test
// closes it itself.
class ModuleInstance {
public:
    ModuleInstance();
    ~ModuleInstance();
    ModuleInstance(const ModuleInstance&) = delete;
    ModuleInstance& operator=(const ModuleInstance&) = delete;

    AEffect* record() const { return effect_; }
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) const;
    VstIntPtr close();
    float getParameter(std::int32_t index) const;
    void setParameter(std::int32_t index, float value) const;
    // The text an opcode writes for an index, into a buffer first filled with '#'; a byte changed
    // beyond the text's terminator fails the test.
    std::string text(std::int32_t opcode, std::int32_t index = 0) const;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) const;
    void process(float** inputs, float** outputs, std::int32_t frames) const;

private:
    AEffect* effect_;
};
