// The module as a host meets it: the entry, the record's bytes, and the dispatcher through the
// record's entry point.
#include "ModuleHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr bool kNarrow = sizeof(void*) == 4;

// Reads a field the way a host does: by its published offset, not through our struct.
template <typename T>
T fieldAt(const AEffect* record, std::size_t narrowOffset, std::size_t wideOffset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char*>(record) + (kNarrow ? narrowOffset : wideOffset),
                sizeof value);
    return value;
}

TEST(ModuleEntry, AsksTheHostsVersionBeforeCreatingAnything) {
    RecordingHost::reset();
    ModuleInstance instance;
    ASSERT_FALSE(RecordingHost::calls().empty());
    const HostCall& first = RecordingHost::calls().front();
    EXPECT_EQ(first.effect, nullptr);
    EXPECT_EQ(first.opcode, audioMasterVersion);
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(first.value, 0);
    EXPECT_EQ(first.ptr, nullptr);
    EXPECT_EQ(first.opt, 0.0f);
    EXPECT_EQ(RecordingHost::calls().size(), 1u) << "construction asks the host nothing else";
}

TEST(ModuleEntry, GivesNullToAHostThatAnswersVersionZero) {
    RecordingHost::reset(0);
    EXPECT_EQ(builtModule().entry()(RecordingHost::callback), nullptr);
    RecordingHost::reset();
}

TEST(ModuleEntry, GivesNullWithoutAHostCallback) {
    EXPECT_EQ(builtModule().entry()(nullptr), nullptr);
}

TEST(HostRecord, HoldsThePublishedValuesAtThePublishedOffsets) {
    RecordingHost::reset();
    ModuleInstance instance;
    const AEffect* r = instance.record();
    ASSERT_NE(r, nullptr);
    const unsigned char magicBytes[4] = {0x50, 0x74, 0x73, 0x56};
    EXPECT_EQ(std::memcmp(r, magicBytes, 4), 0) << "magic 'VstP', little-endian";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 20, 40)), 1) << "numPrograms";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 24, 44)), 6) << "numParams";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 28, 48)), 2) << "numInputs";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 32, 52)), 2) << "numOutputs";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 36, 56)), 0x18) << "flags: mono and replacing";
    EXPECT_EQ((fieldAt<VstIntPtr>(r, 40, 64)), 0) << "resvd1";
    EXPECT_EQ((fieldAt<VstIntPtr>(r, 44, 72)), 0) << "resvd2";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 48, 80)), 0) << "initialDelay";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 52, 84)), 0) << "realQualities";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 56, 88)), 0) << "offQualities";
    EXPECT_EQ((fieldAt<float>(r, 60, 92)), 1.0f) << "ioRatio";
    EXPECT_NE((fieldAt<void*>(r, 64, 96)), nullptr) << "object";
    EXPECT_EQ((fieldAt<void*>(r, 68, 104)), nullptr) << "user";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 72, 112)), fourCharCode("Sx6B")) << "uniqueID";
    EXPECT_NE((fieldAt<std::int32_t>(r, 72, 112)), fourCharCode("NoEf")) << "not the base default";
    EXPECT_EQ((fieldAt<std::int32_t>(r, 76, 116)), 1) << "version";
    const std::pair<std::size_t, std::size_t> entryOffsets[] = {{4, 8}, {8, 16}, {12, 24}, {16, 32}, {80, 120}};
    for (auto [narrow, wide] : entryOffsets)
        EXPECT_NE(fieldAt<void*>(r, narrow, wide), nullptr) << "entry point at offset " << narrow;
    const char* future = reinterpret_cast<const char*>(r) + (kNarrow ? 84 : 128);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(future[i], 0) << "future byte " << i;
}

TEST(HostRecord, TwoInstancesAreIndependent) {
    RecordingHost::reset();
    ModuleInstance first;
    auto second = std::make_unique<ModuleInstance>();
    ASSERT_NE(first.record(), second->record());
    EXPECT_NE(first.record()->object, second->record()->object);

    first.setParameter(0, 0.9f);
    EXPECT_EQ(second->getParameter(0), 0.2f);
    second->dispatch(effSetProgramName, 0, 0, const_cast<char*>("Second"));
    EXPECT_EQ(second->close(), 1);
    second.reset();

    EXPECT_EQ(first.getParameter(0), 0.9f);
    EXPECT_EQ(first.text(effGetProgramName), "Default");
}

TEST(Dispatcher, AnswersTheOpcodeTable) {
    RecordingHost::reset();
    ModuleInstance instance;
    EXPECT_EQ(instance.dispatch(effIdentify), fourCharCode("NvEf"));
    EXPECT_EQ(instance.dispatch(effIdentify, 77, -3, nullptr, 2.5f), 0x4E764566);
    EXPECT_EQ(instance.dispatch(effOpen), 0);
    EXPECT_EQ(instance.dispatch(effGetVu), 0);
    for (std::int32_t opcode : {13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24, 50, 1000, -1, -1000}) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(instance.dispatch(opcode, 3, 5, buffer, 1.5f), 0) << "opcode " << opcode;
        for (char c : buffer) ASSERT_EQ(c, '#') << "opcode " << opcode << " wrote into the buffer";
    }
    EXPECT_EQ(instance.dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(instance.dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(instance.dispatch(effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(instance.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(instance.getParameter(0), 0.2f) << "no opcode touches the parameters";
}

TEST(Dispatcher, SelectsProgramsBelowTheCountOnly) {
    RecordingHost::reset();
    ModuleInstance instance;
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    instance.dispatch(effSetProgram, 0, 1);  // equal to the count: ignored
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    instance.dispatch(effSetProgram, 0, -1);  // no lower bound
    EXPECT_EQ(instance.dispatch(effGetProgram), -1);
    instance.dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.text(effGetProgramName), "Default") << "one program name whatever the index";
}

TEST(Dispatcher, TextRequestsWithoutABufferAreIgnored) {
    RecordingHost::reset();
    ModuleInstance instance;
    for (std::int32_t opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                                effGetParamDisplay, effGetParamName})
        EXPECT_EQ(instance.dispatch(opcode, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.text(effGetProgramName), "Default");
}

TEST(Dispatcher, CloseThroughTheEntryReturnsOne) {
    RecordingHost::reset();
    ModuleInstance instance;
    EXPECT_EQ(instance.close(), 1);
}

}  // namespace
