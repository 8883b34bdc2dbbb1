#include "EffectBase.h"

#include "HostEntries.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

EffectBase::EffectBase(audioMasterCallback audioMaster, std::int32_t programCount,
                       std::int32_t paramCount)
    : sampleRate(44100.0f), editor(nullptr), audioMaster(audioMaster), programCount(programCount),
      paramCount(paramCount), currentProgram(0), blockSize(1024) {
    // Hosts read every byte of the record, padding and reserved space included.
    std::memset(&hostRecord, 0, sizeof hostRecord);
    hostRecord.magic = kEffectMagic;
    hostRecord.dispatcher = dispatchEntry;
    hostRecord.process = processEntry;
    hostRecord.setParameter = setParameterEntry;
    hostRecord.getParameter = getParameterEntry;
    hostRecord.numPrograms = programCount;
    hostRecord.numParams = paramCount;
    hostRecord.numInputs = 1;
    hostRecord.numOutputs = 2;
    hostRecord.ioRatio = 1.0f;
    hostRecord.object = this;
    hostRecord.uniqueID = fourCharCode("NoEf");
    hostRecord.version = 1;
    hostRecord.processReplacing = processReplacingEntry;
}

// The editor goes without its closeEditor call: a host closes the editor window before it closes
// the effect, and an editor that is still open cleans up in its own destructor.
EffectBase::~EffectBase() = default;

void* EffectBase::operator new(std::size_t size) noexcept { return std::malloc(size); }
void EffectBase::operator delete(void* memory) noexcept { std::free(memory); }

void EffectBase::setParam(std::int32_t, float) {}
float EffectBase::getParam(std::int32_t) { return 0.0f; }

void EffectBase::setParamNotify(std::int32_t index, float value) {
    setParam(index, value);
    if (audioMaster) callHost(audioMasterAutomate, index, 0, value);
}

void EffectBase::processReplace(float**, float**, std::int32_t) {}

namespace {

// A level far outside the meter's range must not become undefined behaviour in the conversion.
std::int32_t meterReading(float level) {
    const double scaled = static_cast<double>(level) * 32767.0;
    if (!(scaled == scaled)) return 0;
    if (scaled >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (scaled <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(scaled);
}

bool isTextRequest(std::int32_t opcode) {
    return opcode == effSetProgramName || opcode == effGetProgramName ||
           opcode == effGetParamLabel || opcode == effGetParamDisplay || opcode == effGetParamName;
}

}  // namespace

VstIntPtr EffectBase::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt) {
    // Some hosts probe text requests with a null buffer; there is nothing to write into.
    if (ptr == nullptr && isTextRequest(opcode)) return 0;
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); return 0;
        case effSetProgram:
            if (value < programCount) setProgram(static_cast<std::int32_t>(value));
            return 0;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(text); return 0;
        case effGetProgramName: getProgramName(text); return 0;
        case effGetParamLabel: getParamLabel(index, text); return 0;
        case effGetParamDisplay: getParamDisplay(index, text); return 0;
        case effGetParamName: getParamName(index, text); return 0;
        case effGetVu: return meterReading(getVuLevel());
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<std::int32_t>(value)); return 0;
        case effMainsChanged:
            if (value == 0) suspend();
            else resume();
            return 0;
        case effEditGetRect: return editor ? editor->getEditorRect(ptr) : 0;
        case effEditOpen: return editor ? editor->openEditor(ptr) : 0;
        case effEditClose:
            if (editor) editor->closeEditor();
            return 0;
        case effEditIdle:
            if (editor) editor->idleEditor();
            return 0;
        case effIdentify: return fourCharCode("NvEf");
        default: return 0;
    }
}

void EffectBase::open() {}
void EffectBase::close() {}
std::int32_t EffectBase::getProgram() { return currentProgram; }
void EffectBase::setProgram(std::int32_t program) { currentProgram = program; }
void EffectBase::setProgramName(char* text) { text[0] = '\0'; }
void EffectBase::getProgramName(char* text) { text[0] = '\0'; }
void EffectBase::getParamLabel(std::int32_t, char* text) { text[0] = '\0'; }
void EffectBase::getParamDisplay(std::int32_t, char* text) { text[0] = '\0'; }
void EffectBase::getParamName(std::int32_t, char* text) { text[0] = '\0'; }
float EffectBase::getVuLevel() { return 0.0f; }
void EffectBase::setSampleRate(float rate) { sampleRate = rate; }
void EffectBase::setBlockSize(std::int32_t size) { blockSize = size; }
void EffectBase::suspend() {}
void EffectBase::resume() {}
void EffectBase::setUniqueId(std::int32_t id) { hostRecord.uniqueID = id; }
void EffectBase::setInputCount(std::int32_t count) { hostRecord.numInputs = count; }
void EffectBase::setOutputCount(std::int32_t count) { hostRecord.numOutputs = count; }

void EffectBase::setFlag(std::int32_t bit, TruthValue state) {
    if (state != 0) hostRecord.flags |= bit;
    else hostRecord.flags &= ~bit;
}

void EffectBase::setVuFlag(TruthValue state) { setFlag(effFlagsHasVu, state); }
void EffectBase::setClipFlag(TruthValue state) { setFlag(effFlagsHasClip, state); }
void EffectBase::setMonoFlag(TruthValue state) { setFlag(effFlagsCanMono, state); }
void EffectBase::setReplacingFlag(TruthValue state) { setFlag(effFlagsCanReplacing, state); }
void EffectBase::setRealtimeQualities(std::int32_t quality) { hostRecord.realQualities = quality; }
void EffectBase::setOfflineQualities(std::int32_t quality) { hostRecord.offQualities = quality; }
void EffectBase::setInitialDelay(std::int32_t delay) { hostRecord.initialDelay = delay; }
float EffectBase::getSampleRate() { return sampleRate; }
std::int32_t EffectBase::getBlockSize() { return blockSize; }

VstIntPtr EffectBase::callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, float opt) {
    return audioMaster(&hostRecord, opcode, index, value, nullptr, opt);
}

// Each query has a fixed answer for an effect created without a host callback (a test harness, an
// offline tool), chosen so that the effect behaves as under a host that is present and content.
std::int32_t EffectBase::hostVersion() {
    if (!audioMaster) return 1;
    const auto answer = static_cast<std::int32_t>(callHost(audioMasterVersion, 0, 0, 0.0f));
    return answer != 0 ? answer : 1;
}

std::int32_t EffectBase::hostCurrentId() {
    return audioMaster ? static_cast<std::int32_t>(callHost(audioMasterCurrentId, 0, 0, 0.0f)) : 0;
}

std::int32_t EffectBase::hostIdle() {
    return audioMaster ? static_cast<std::int32_t>(callHost(audioMasterIdle, 0, 0, 0.0f)) : 0;
}

// The pin query's answer is inverted: hosts answer 0 for a connected pin.
bool EffectBase::inputConnected(std::int32_t pin) {
    return audioMaster ? callHost(audioMasterPinConnected, pin, 0, 0.0f) == 0 : true;
}

bool EffectBase::outputConnected(std::int32_t pin) {
    return audioMaster ? callHost(audioMasterPinConnected, pin, 1, 0.0f) == 0 : true;
}
