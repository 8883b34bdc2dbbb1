// 32-bit hosts built by other compilers keep the stack aligned to 4 bytes, not 16: the module must
// process audio when called that way. Only meaningful on 32-bit x86.
#include "ModuleHarness.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

namespace {

#if defined(__i386__)

struct ProcessCall {
    ProcessProc entry;
    AEffect* effect;
    float** inputs;
    float** outputs;
    std::int32_t frames;
};

// Calls the entry with the stack pointer 4 bytes past a 16-byte boundary where the callee expects
// one, as a host that only keeps 4-byte alignment may.
__attribute__((noinline)) void callWithStackOffBy4(const ProcessCall* call) {
    asm volatile(
        "mov %%esp, %%ebx\n\t"
        "and $-16, %%esp\n\t"
        "sub $12, %%esp\n\t"
        "pushl 16(%%esi)\n\t"
        "pushl 12(%%esi)\n\t"
        "pushl 8(%%esi)\n\t"
        "pushl 4(%%esi)\n\t"
        "call *(%%esi)\n\t"
        "mov %%ebx, %%esp\n\t"
        :
        : "S"(call)
        : "ebx", "eax", "ecx", "edx", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
          "xmm6", "xmm7");
}

TEST(MisalignedStack, ProcessingGivesTheSameBitsAsWithAnAlignedStack) {
    RecordingHost::reset();
    constexpr std::int32_t frames = 700;
    const StereoBuffer in = seededNoise(frames, 5);
    for (bool replacing : {true, false}) {
        ModuleInstance aligned, misaligned;
        for (int band = 0; band < 6; ++band) {
            aligned.setParameter(band, 0.1f * static_cast<float>(band + 2));
            misaligned.setParameter(band, 0.1f * static_cast<float>(band + 2));
        }
        StereoBuffer inA = in, inB = in, outA(frames), outB(frames);
        float* inputsA[2] = {inA.left.data(), inA.right.data()};
        float* outputsA[2] = {outA.left.data(), outA.right.data()};
        float* inputsB[2] = {inB.left.data(), inB.right.data()};
        float* outputsB[2] = {outB.left.data(), outB.right.data()};
        if (replacing) aligned.processReplacing(inputsA, outputsA, frames);
        else aligned.process(inputsA, outputsA, frames);
        AEffect* record = misaligned.record();
        const ProcessCall call{replacing ? record->processReplacing : record->process, record, inputsB,
                               outputsB, frames};
        callWithStackOffBy4(&call);
        EXPECT_TRUE(sameBits(outA, outB)) << (replacing ? "replacing" : "adding");
    }
}

#endif

}  // namespace
