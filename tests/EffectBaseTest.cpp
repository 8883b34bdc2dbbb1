// The services of the effect base that no host can reach through the equaliser: flag setters, host
// queries, parameter notification, the editor, and the order in which closing ends an effect.
#include "plugin/EffectBase.h"
#include "plugin/HostEntries.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<std::string> events;

class RecordingEditor : public EffectEditor {
public:
    ~RecordingEditor() override { events.push_back("editor deleted"); }
    std::int32_t getEditorRect(void* ptr) override {
        events.push_back("getEditorRect");
        lastPtr = ptr;
        return 11;
    }
    std::int32_t openEditor(void* ptr) override {
        events.push_back("openEditor");
        lastPtr = ptr;
        return 12;
    }
    void closeEditor() override { events.push_back("closeEditor"); }
    void idleEditor() override { events.push_back("idleEditor"); }
    void* lastPtr = nullptr;
};

// An effect that records what the base calls on it.
class ProbeEffect : public EffectBase {
public:
    explicit ProbeEffect(audioMasterCallback host, bool withEditor = false) : EffectBase(host, 3, 4) {
        if (withEditor) {
            auto owned = std::make_unique<RecordingEditor>();
            probeEditor = owned.get();
            editor = std::move(owned);
        }
    }
    ~ProbeEffect() override { events.push_back("destructor"); }
    void processAdd(float**, float**, std::int32_t) override {}
    void setParam(std::int32_t index, float value) override {
        events.push_back("setParam " + std::to_string(index) + " " + std::to_string(value));
    }
    void close() override { events.push_back("close"); }
    void suspend() override { events.push_back("suspend"); }
    void resume() override { events.push_back("resume"); }
    float getParam(std::int32_t index) override { return 0.5f + 0.25f * static_cast<float>(index); }
    float getVuLevel() override { return vuLevel; }
    std::int32_t flags() const { return hostRecord.flags; }

    float vuLevel = 0.0f;
    RecordingEditor* probeEditor = nullptr;
};

struct HostAnswer {
    VstIntPtr value = 0;
    std::vector<std::int32_t> opcodes;
    std::vector<VstIntPtr> values;
    std::vector<float> opts;
    std::vector<AEffect*> records;
} host;

VstIntPtr SIXBAND_CDECL answeringHost(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                      VstIntPtr value, void*, float opt) {
    events.push_back("host " + std::to_string(opcode) + " " + std::to_string(index));
    host.opcodes.push_back(opcode);
    host.values.push_back(value);
    host.opts.push_back(opt);
    host.records.push_back(effect);
    return host.value;
}

class EffectBaseServices : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        host = {};
    }
};

TEST_F(EffectBaseServices, FillTheRecordWithTheBaseDefaults) {
    ProbeEffect effect(nullptr);
    const AEffect* r = effect.getHostRecord();
    EXPECT_EQ(r->magic, 0x56737450);
    EXPECT_EQ(r->numPrograms, 3);
    EXPECT_EQ(r->numParams, 4);
    EXPECT_EQ(r->numInputs, 1);
    EXPECT_EQ(r->numOutputs, 2);
    EXPECT_EQ(r->flags, 0);
    EXPECT_EQ(r->uniqueID, 0x4E6F4566);
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->ioRatio, 1.0f);
    EXPECT_EQ(r->object, &effect);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
}

TEST_F(EffectBaseServices, FlagSettersLookOnlyAtTheLow16Bits) {
    ProbeEffect effect(nullptr);
    effect.setMonoFlag(true);
    effect.setReplacingFlag(true);
    EXPECT_EQ(effect.flags(), 0x18);
    effect.setVuFlag(1);
    effect.setClipFlag(-1);
    EXPECT_EQ(effect.flags(), 0x1E);

    const std::int32_t highBitsOnly = 0x30000;  // a 32-bit "true" whose low 16 bits are zero
    effect.setMonoFlag(static_cast<TruthValue>(highBitsOnly));
    EXPECT_EQ(effect.flags(), 0x16);
    effect.setClipFlag(0);
    effect.setVuFlag(0);
    EXPECT_EQ(effect.flags(), 0x10);
    effect.setReplacingFlag(static_cast<TruthValue>(0x10001));
    EXPECT_EQ(effect.flags(), 0x10);
    effect.setClipFlag(0);
    effect.setMonoFlag(0);
    EXPECT_EQ(effect.flags(), 0x10) << "clearing a clear flag leaves it clear";
}

TEST_F(EffectBaseServices, RecordSettersWriteOnlyTheirField) {
    ProbeEffect effect(nullptr);
    effect.setUniqueId(fourCharCode("abcd"));
    effect.setInputCount(5);
    effect.setOutputCount(7);
    effect.setRealtimeQualities(8);
    effect.setOfflineQualities(9);
    effect.setInitialDelay(10);
    const AEffect* r = effect.getHostRecord();
    EXPECT_EQ(r->uniqueID, 0x61626364);
    EXPECT_EQ(r->numInputs, 5);
    EXPECT_EQ(r->numOutputs, 7);
    EXPECT_EQ(r->realQualities, 8);
    EXPECT_EQ(r->offQualities, 9);
    EXPECT_EQ(r->initialDelay, 10);
    EXPECT_EQ(r->numPrograms, 3);
    EXPECT_EQ(r->flags, 0);
}

TEST_F(EffectBaseServices, HostQueriesWithoutACallbackGiveFixedAnswers) {
    ProbeEffect effect(nullptr);
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_EQ(effect.hostCurrentId(), 0);
    EXPECT_EQ(effect.hostIdle(), 0);
    EXPECT_TRUE(effect.inputConnected(0));
    EXPECT_TRUE(effect.outputConnected(1));
    effect.setParamNotify(3, 0.5f);
    EXPECT_EQ(events, std::vector<std::string>{"setParam 3 0.500000"});
}

TEST_F(EffectBaseServices, HostQueriesPassTheirOpcodesAndInterpretTheAnswers) {
    ProbeEffect effect(answeringHost);
    host.value = 0;
    EXPECT_EQ(effect.hostVersion(), 1) << "a host answering 0 still counts as version 1";
    EXPECT_TRUE(effect.inputConnected(2)) << "0 means connected";
    host.value = 2;
    EXPECT_EQ(effect.hostVersion(), 2);
    EXPECT_EQ(effect.hostCurrentId(), 2);
    EXPECT_EQ(effect.hostIdle(), 2);
    host.value = 1;
    EXPECT_FALSE(effect.inputConnected(0));
    EXPECT_FALSE(effect.outputConnected(0));
    EXPECT_EQ(host.opcodes, (std::vector<std::int32_t>{1, 4, 1, 2, 3, 4, 4}));
    EXPECT_EQ(host.values, (std::vector<VstIntPtr>{0, 0, 0, 0, 0, 0, 1})) << "output pins ask with value 1";
    for (AEffect* record : host.records) EXPECT_EQ(record, effect.getHostRecord());
}

TEST_F(EffectBaseServices, ParameterNotificationStoresBeforeTellingTheHost) {
    ProbeEffect effect(answeringHost);
    effect.setParamNotify(3, 0.5f);
    EXPECT_EQ(events, (std::vector<std::string>{"setParam 3 0.500000", "host 0 3"}));
    EXPECT_EQ(host.opts.back(), 0.5f);
}

TEST_F(EffectBaseServices, DispatcherForwardsSampleRateInTheFloatArgument) {
    ProbeEffect effect(nullptr);
    effect.dispatch(effSetSampleRate, 0, 96000, nullptr, 48000.0f);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    effect.dispatch(effSetBlockSize, 0, 256, nullptr, 7.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
}

TEST_F(EffectBaseServices, SwitchingOffSuspendsAndAnyOtherValueResumes) {
    ProbeEffect effect(nullptr);
    effect.dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
    effect.dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
    effect.dispatch(effMainsChanged, 0, -1, nullptr, 0.0f);
    EXPECT_EQ(events, (std::vector<std::string>{"suspend", "resume", "resume"}));
}

TEST_F(EffectBaseServices, MeterReadingTruncatesTowardZero) {
    ProbeEffect effect(nullptr);
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), 0);
    effect.vuLevel = 0.5f;
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), 16383);
    effect.vuLevel = -0.5f;
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), -16383);
    effect.vuLevel = 1e30f;
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), INT32_MAX) << "saturates, no overflow";
    effect.vuLevel = -1e30f;
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), INT32_MIN);
    effect.vuLevel = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(effect.dispatch(effGetVu, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(EffectBaseServices, BaseTextOperationsWriteEmptyStrings) {
    ProbeEffect effect(nullptr);
    char text[16] = "something";
    effect.setProgramName(text);
    EXPECT_STREQ(text, "");
    for (std::int32_t opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char buffer[16] = "something";
        effect.dispatch(opcode, 0, 0, buffer, 0.0f);
        EXPECT_STREQ(buffer, "") << "opcode " << opcode;
    }
    EXPECT_EQ(effect.EffectBase::getParam(0), 0.0f);
}

TEST_F(EffectBaseServices, EditorOpcodesReachTheEditorWhichIsDeletedOnce) {
    {
        ProbeEffect effect(nullptr, true);
        int rect = 0;
        EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect, 0.0f), 11);
        EXPECT_EQ(effect.probeEditor->lastPtr, &rect);
        EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &rect, 0.0f), 12);
        EXPECT_EQ(effect.dispatch(effEditClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(effect.dispatch(effEditIdle, 0, 0, nullptr, 0.0f), 0);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"getEditorRect", "openEditor", "closeEditor", "idleEditor",
                                                "destructor", "editor deleted"}));
}

TEST_F(EffectBaseServices, WithoutAnEditorTheEditorOpcodesAnswerZero) {
    ProbeEffect effect(nullptr);
    int rect = 0;
    for (std::int32_t opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle})
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, &rect, 0.0f), 0) << "opcode " << opcode;
}

TEST_F(EffectBaseServices, DirectCloseLeavesTheObjectAlive) {
    ProbeEffect effect(nullptr);
    EXPECT_EQ(effect.dispatch(effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(events, std::vector<std::string>{"close"});
}

TEST_F(EffectBaseServices, CloseThroughTheEntryClosesThenDestroysOnce) {
    auto* effect = new ProbeEffect(nullptr, true);
    EXPECT_EQ(dispatchEntry(effect->getHostRecord(), effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"close", "destructor", "editor deleted"}));
}

TEST_F(EffectBaseServices, EntriesForwardArgumentsUnchanged) {
    ProbeEffect effect(nullptr);
    AEffect* record = effect.getHostRecord();
    record->setParameter(record, 2, 0.25f);
    EXPECT_EQ(events, std::vector<std::string>{"setParam 2 0.250000"});
    EXPECT_EQ(record->getParameter(record, 2), 1.0f);
    EXPECT_EQ(record->getParameter(record, -1), 0.25f);
    EXPECT_EQ(record->dispatcher(record, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
}

}  // namespace
