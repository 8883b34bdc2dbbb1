// The decibel texts of a sweep of levels, fingerprinted per stretch of the sweep. The logarithm
// behind them comes from the platform's C library (glibc on Linux, msvcrt on Windows), so this is
// where builds could disagree in a last digit. The levels are stepped through as float bit
// patterns, so no platform's maths decides the inputs.
#include "plugin/EffectBase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ios>

namespace {

class TextEffect : public EffectBase {
public:
    TextEffect() : EffectBase(nullptr, 1, 1) {}
    void processAdd(float**, float**, std::int32_t) override {}
};

constexpr std::uint32_t kQuietestBits = 0x33d6bf95;  // 1e-7f: -140 dB
constexpr std::uint32_t kLoudestBits = 0x461c4000;   // 1e4f: +80 dB
constexpr std::uint32_t kStride = 4099;              // odd, so the mantissa's low bits vary too
constexpr int kStretches = 8;

// Reviewed on x86-64 Linux, where the texts of the LevelText cases are checked one by one.
constexpr std::uint64_t kExpected[kStretches] = {
    0xb94f7a51a298a345ull, 0x5d9c43ee78afcfc5ull, 0xca2188fe36725b74ull, 0x69bd1d7eae4666deull,
    0xc85e067a59226abfull, 0xe4feb34478912c6aull, 0x04b259307f42ecccull, 0x4d8d5551c08829bcull,
};

TEST(LevelTextFingerprint, EveryBuildWritesTheSameDecibels) {
    TextEffect effect;
    constexpr std::uint32_t span = (kLoudestBits - kQuietestBits) / kStretches;
    for (int stretch = 0; stretch < kStretches; ++stretch) {
        const std::uint32_t first = kQuietestBits + stretch * span;
        std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a over the texts
        float firstLevel = 0;
        std::memcpy(&firstLevel, &first, sizeof firstLevel);
        for (std::uint32_t bits = first; bits < first + span; bits += kStride) {
            float level;
            std::memcpy(&level, &bits, sizeof level);
            char text[32] = {};
            effect.levelToDbText(level, text);
            // With the terminator, so that neighbouring texts cannot run into each other.
            for (std::size_t i = 0; i <= std::strlen(text); ++i)
                hash = (hash ^ static_cast<unsigned char>(text[i])) * 0x100000001b3ull;
        }
        EXPECT_EQ(hash, kExpected[stretch])
            << "levels from " << firstLevel << ": 0x" << std::hex << hash;
    }
}

}  // namespace
