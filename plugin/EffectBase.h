// The base of every effect: owns the host record, turns dispatcher opcodes into virtual operations,
// gives each operation a default, and offers setters for the record and queries to the host.
//
// The virtual operations are declared in a fixed order (the slot order of the original framework);
// a concrete effect overrides what differs and inherits the rest.
#pragma once

#include "AEffect.h"
#include "EffectEditor.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// The framework's 16-bit truth value: any non-zero low 16 bits mean true.
using TruthValue = std::int16_t;

class EffectBase {
public:
    EffectBase(audioMasterCallback audioMaster, std::int32_t programCount, std::int32_t paramCount);
    virtual ~EffectBase();

    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // Effects are created by `new` in the exported entry, which must be able to report a failed
    // allocation as a null record instead of throwing across the C boundary.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* memory) noexcept;

    AEffect* getHostRecord() { return &hostRecord; }

    virtual void setParam(std::int32_t index, float value);
    virtual float getParam(std::int32_t index);
    virtual void setParamNotify(std::int32_t index, float value);
    virtual void processAdd(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
    virtual void processReplace(float** inputs, float** outputs, std::int32_t sampleFrames);
    virtual VstIntPtr dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt);
    virtual void open();
    virtual void close();
    virtual std::int32_t getProgram();
    virtual void setProgram(std::int32_t program);
    virtual void setProgramName(char* text);
    virtual void getProgramName(char* text);
    virtual void getParamLabel(std::int32_t index, char* text);
    virtual void getParamDisplay(std::int32_t index, char* text);
    virtual void getParamName(std::int32_t index, char* text);
    virtual float getVuLevel();
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(std::int32_t size);
    virtual void suspend();
    virtual void resume();
    virtual void setUniqueId(std::int32_t id);
    virtual void setInputCount(std::int32_t count);
    virtual void setOutputCount(std::int32_t count);
    virtual void setVuFlag(TruthValue state);
    virtual void setClipFlag(TruthValue state);
    virtual void setMonoFlag(TruthValue state);
    virtual void setReplacingFlag(TruthValue state);
    virtual void setRealtimeQualities(std::int32_t quality);
    virtual void setOfflineQualities(std::int32_t quality);
    virtual void setInitialDelay(std::int32_t delay);
    virtual float getSampleRate();
    virtual std::int32_t getBlockSize();
    virtual std::int32_t hostVersion();
    virtual std::int32_t hostCurrentId();
    virtual std::int32_t hostIdle();
    virtual bool inputConnected(std::int32_t pin);
    virtual bool outputConnected(std::int32_t pin);
    virtual void levelToDbText(float value, char* text);
    virtual void samplesToHzText(float samples, char* text);
    virtual void samplesToMsText(float samples, char* text);
    virtual void floatToText(float value, char* text);
    virtual void intToText(std::int32_t value, char* text);

protected:
    float sampleRate;
    std::unique_ptr<EffectEditor> editor;
    audioMasterCallback audioMaster;
    std::int32_t programCount;
    std::int32_t paramCount;
    std::int32_t currentProgram;
    std::int32_t blockSize;
    AEffect hostRecord;

private:
    void setFlag(std::int32_t bit, TruthValue state);
    VstIntPtr callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, float opt);
};
