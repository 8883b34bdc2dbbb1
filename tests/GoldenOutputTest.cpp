// Fingerprints of the module's output for fixed inputs, settings, modes and block patterns. The
// values were reviewed once, when the response and property tests of the chain passed; from then
// on any change to a single output bit, on any build or platform, fails here. A deliberate change
// of the output is re-approved by updating these values in its own commit, once the independent
// implementation in support/ReferenceChain.h gives them too.
#include "ModuleHarness.h"
#include "support/ReferenceChain.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

constexpr std::int32_t kFrames = 1 << 16;

enum class Pattern { oneBlock, blocksOf64, randomBlocks, randomBlocksWithChanges };
enum class Mode { replace, add, alternate };

struct GoldenCase {
    const char* name;
    float bandParam[6];
    Pattern pattern;
    Mode mode;
    std::uint64_t hash;
};

const GoldenCase kCases[] = {
    {"defaults, one block", {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f}, Pattern::oneBlock, Mode::replace, 0xee4197d53bb5557aull},
    {"mixed, blocks of 64", {0.8f, 0.1f, 0.6f, 0.0f, 0.9f, 0.45f}, Pattern::blocksOf64, Mode::replace, 0x67866def316fd045ull},
    {"all 1, random blocks, adding", {1, 1, 1, 1, 1, 1}, Pattern::randomBlocks, Mode::add, 0xdd4afd7fbe77c2e9ull},
    {"all 0, random blocks, alternating", {0, 0, 0, 0, 0, 0}, Pattern::randomBlocks, Mode::alternate, 0x579f1c7038f0eff8ull},
    {"outside 0..1, changes between blocks", {1.4f, -0.3f, 1.2f, -0.2f, 0.5f, 1.1f},
     Pattern::randomBlocksWithChanges, Mode::alternate, 0xa852a151b5cc7d31ull},
};

// Drives the module through its record, or the reference implementation, with the same calls.
template <typename Equaliser>
std::uint64_t fingerprint(const GoldenCase& c) {
    Equaliser eq;
    for (int band = 0; band < 6; ++band) eq.setParameter(band, c.bandParam[band]);
    StereoBuffer in = seededNoise(kFrames, 1000);
    StereoBuffer out = seededNoise(kFrames, 2000, 0.25f);  // what adding mode adds onto
    SeededRandom blocks(3000);

    std::int32_t done = 0;
    for (int block = 0; done < kFrames; ++block) {
        std::int32_t size = kFrames;
        if (c.pattern == Pattern::blocksOf64) size = 64;
        if (c.pattern == Pattern::randomBlocks || c.pattern == Pattern::randomBlocksWithChanges)
            size = blocks.nextBelow(1500) - 20;  // empty and negative blocks among them
        if (c.pattern == Pattern::randomBlocksWithChanges && block % 3 == 0) {
            // Drawn one after the other: the order of a call's arguments is the compiler's choice.
            const int band = blocks.nextBelow(6);
            eq.setParameter(band, 1.5f * blocks.nextSample());
        }
        size = std::min(size, kFrames - done);
        float* inputs[2] = {in.left.data() + done, in.right.data() + done};
        float* outputs[2] = {out.left.data() + done, out.right.data() + done};
        const bool adding = c.mode == Mode::add || (c.mode == Mode::alternate && block % 2 == 1);
        if (adding) eq.process(inputs, outputs, size);
        else eq.processReplacing(inputs, outputs, size);
        done += std::max(size, 0);
    }
    BitHash hash;
    hash.add(out.left.data(), out.left.size());
    hash.add(out.right.data(), out.right.size());
    return hash.value();
}

TEST(GoldenOutput, EveryOutputBitIsAsReviewed) {
    RecordingHost::reset();
    for (const GoldenCase& c : kCases) {
        const std::uint64_t actual = fingerprint<ModuleInstance>(c);
        EXPECT_EQ(actual, c.hash) << c.name << ": 0x" << std::hex << actual;
    }
}

TEST(GoldenOutput, AnIndependentImplementationGivesTheSameBits) {
    for (const GoldenCase& c : kCases) {
        const std::uint64_t actual = fingerprint<ReferenceChain>(c);
        EXPECT_EQ(actual, c.hash) << c.name << ": 0x" << std::hex << actual;
    }
}

}  // namespace
