// Requests beyond the opcode table. Hosts of later revisions of the interface send many more opcodes
// (names, vendor, capabilities, categories, tail size...), most with a buffer to fill, and read the
// answer 0 as "not supported". The module must answer 0 and touch neither the buffer nor itself.
#include "ModuleHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr unsigned char kFill = 0xA5;
constexpr std::int32_t kFrames = 256;

std::vector<std::int32_t> opcodesBeyondTheTable() {
    std::vector<std::int32_t> opcodes;
    for (std::int32_t opcode = 23; opcode <= 300; ++opcode) opcodes.push_back(opcode);
    for (std::int32_t opcode = -1; opcode >= -300; --opcode) opcodes.push_back(opcode);
    for (std::int32_t opcode : {1000, 4096, 65535, 65536, 1 << 24, std::numeric_limits<std::int32_t>::max(),
                                -4096, std::numeric_limits<std::int32_t>::min()})
        opcodes.push_back(opcode);
    return opcodes;
}

// Everything of an instance a host can observe: the record's bytes, the parameters, the program
// and every text.
struct Observed {
    std::vector<unsigned char> recordBytes;
    float parameters[6];
    VstIntPtr program;
    std::string texts[6][3];
    std::string programName;

    bool operator==(const Observed&) const = default;
};

Observed observe(const ModuleInstance& instance) {
    Observed seen;
    const auto* bytes = reinterpret_cast<const unsigned char*>(instance.record());
    seen.recordBytes.assign(bytes, bytes + sizeof(AEffect));
    for (int band = 0; band < 6; ++band) {
        seen.parameters[band] = instance.getParameter(band);
        seen.texts[band][0] = instance.text(effGetParamName, band);
        seen.texts[band][1] = instance.text(effGetParamLabel, band);
        seen.texts[band][2] = instance.text(effGetParamDisplay, band);
    }
    seen.program = instance.dispatch(effGetProgram);
    seen.programName = instance.text(effGetProgramName);
    return seen;
}

// A seeded block of audio through the replacing entry; the filter histories shape the result, so
// two instances in the same state give the same bits.
std::vector<float> processBlock(const ModuleInstance& instance) {
    std::vector<float> left(kFrames), right(kFrames), out(2 * kFrames);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        left[i] = std::sin(0.05f * static_cast<float>(i));
        right[i] = i % 7 == 0 ? 0.5f : -0.25f;
    }
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {out.data(), out.data() + kFrames};
    instance.processReplacing(inputs, outputs, kFrames);
    return out;
}

TEST(UnknownOpcodes, AreAnsweredWithZeroAndWriteNothing) {
    RecordingHost::reset();
    ModuleInstance instance;
    const Observed before = observe(instance);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::int32_t opcode : opcodesBeyondTheTable()) {
        for (std::int32_t index : {0, 5, -1, 1 << 20}) {
            for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{44100}}) {
                for (float opt : {0.0f, 48000.0f, nan}) {
                    unsigned char buffer[512];
                    std::memset(buffer, kFill, sizeof buffer);
                    ASSERT_EQ(instance.dispatch(opcode, index, value, buffer, opt), 0)
                        << "opcode " << opcode << " index " << index << " value " << value;
                    for (unsigned char byte : buffer)
                        ASSERT_EQ(byte, kFill) << "opcode " << opcode << " wrote into the host's buffer";
                }
            }
        }
        // Without a buffer as well: some hosts probe with null.
        ASSERT_EQ(instance.dispatch(opcode, 0, 0, nullptr, 0.0f), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(observe(instance), before) << "an unknown opcode changed what the host sees";
}

TEST(UnknownOpcodes, LeaveTheAudioStateAsItWas) {
    RecordingHost::reset();
    ModuleInstance probed;
    ModuleInstance untouched;
    // Give both instances a history first, so that a reset would show as well as a change.
    for (ModuleInstance* instance : {&probed, &untouched}) {
        instance->setParameter(0, 0.9f);
        instance->setParameter(5, 0.1f);
        processBlock(*instance);
    }
    for (std::int32_t opcode : opcodesBeyondTheTable()) {
        unsigned char buffer[512];
        std::memset(buffer, kFill, sizeof buffer);
        probed.dispatch(opcode, 1, 1, buffer, 22050.0f);
    }
    EXPECT_EQ(processBlock(probed), processBlock(untouched))
        << "the filters of the probed instance no longer follow the untouched one";
}

}  // namespace
