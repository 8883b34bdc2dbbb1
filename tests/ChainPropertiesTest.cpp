// Properties of the processing that hosts rely on: blocks may be cut anywhere, the two modes share
// one history, buffers may be shared, and silence or empty calls change nothing they should not.
#include "eq/ChainGains.h"
#include "eq/SixBandEqualiser.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <memory>
#include <vector>

namespace {

using Equaliser = std::unique_ptr<SixBandEqualiser>;

Equaliser makeEqualiser(const float (&bandParam)[kStageCount]) {
    Equaliser eq{new SixBandEqualiser(nullptr)};
    for (int band = 0; band < kStageCount; ++band) eq->setParam(band, bandParam[band]);
    return eq;
}

const float kShaping[kStageCount] = {0.9f, 0.1f, 0.7f, 0.05f, 0.6f, 0.95f};

StageCoeffs<double> widened(const StageCoeffs<float>& c) { return {c.b0, c.d4, c.d3, c.d2, c.d1, c.d0}; }

bool sameHistories(const SixBandEqualiser& a, const SixBandEqualiser& b) {
    for (int stage = 0; stage < kStageCount; ++stage)
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const StageState &x = a.history(stage, channel), &y = b.history(stage, channel);
            if (std::memcmp(&x, &y, sizeof x) != 0) return false;
        }
    return true;
}

enum class Mode { replace, add };

void run(SixBandEqualiser& eq, StereoBuffer& in, StereoBuffer& out, std::size_t offset, std::int32_t frames,
         Mode mode) {
    float* inputs[2] = {in.left.data() + offset, in.right.data() + offset};
    float* outputs[2] = {out.left.data() + offset, out.right.data() + offset};
    AEffect* record = eq.getHostRecord();
    if (mode == Mode::replace) record->processReplacing(record, inputs, outputs, frames);
    else record->process(record, inputs, outputs, frames);
}

// While the histories stay finite: a channel that stops being finite is cleared after each call.
TEST(ChainProperties, OneLongBlockEqualsTheSameFramesCutAnywhere) {
    constexpr std::int32_t frames = 6000;
    StereoBuffer in = seededNoise(frames, 11);
    Equaliser whole = makeEqualiser(kShaping);
    StereoBuffer wholeOut(frames);
    run(*whole, in, wholeOut, 0, frames, Mode::replace);

    for (std::int32_t cut : {1, 5, 2999, 5999}) {
        SCOPED_TRACE(cut);
        Equaliser split = makeEqualiser(kShaping);
        StereoBuffer splitOut(frames);
        run(*split, in, splitOut, 0, cut, Mode::replace);
        run(*split, in, splitOut, cut, frames - cut, Mode::replace);
        EXPECT_TRUE(sameBits(wholeOut, splitOut));
        EXPECT_TRUE(sameHistories(*whole, *split));
    }
}

TEST(ChainProperties, AddingOntoZerosEqualsReplacingAndModesShareOneHistory) {
    constexpr std::int32_t frames = 4096;
    StereoBuffer in = seededNoise(frames, 12);
    Equaliser replacing = makeEqualiser(kShaping);
    Equaliser alternating = makeEqualiser(kShaping);
    StereoBuffer replaced(frames), added(frames);
    for (std::int32_t offset = 0; offset < frames; offset += 512) {
        run(*replacing, in, replaced, offset, 512, Mode::replace);
        run(*alternating, in, added, offset, 512, (offset / 512) % 2 ? Mode::add : Mode::replace);
    }
    EXPECT_TRUE(sameBits(replaced, added));
    EXPECT_TRUE(sameHistories(*replacing, *alternating));
}

TEST(ChainProperties, AddingSumsOntoWhatTheOutputHolds) {
    constexpr std::int32_t frames = 1000;
    StereoBuffer in = seededNoise(frames, 13);
    StereoBuffer existing = seededNoise(frames, 14);
    Equaliser a = makeEqualiser(kShaping), b = makeEqualiser(kShaping);
    StereoBuffer replaced(frames), added = existing;
    run(*a, in, replaced, 0, frames, Mode::replace);
    run(*b, in, added, 0, frames, Mode::add);
    for (std::int32_t i = 0; i < frames; ++i) {
        ASSERT_EQ(added.left[i], existing.left[i] + replaced.left[i]) << i;
        ASSERT_EQ(added.right[i], existing.right[i] + replaced.right[i]) << i;
    }
}

TEST(ChainProperties, IdenticalChannelsStayIdentical) {
    constexpr std::int32_t frames = 5000;
    StereoBuffer in = seededNoise(frames, 15);
    in.right = in.left;
    Equaliser eq = makeEqualiser(kShaping);
    StereoBuffer out(frames);
    run(*eq, in, out, 0, frames, Mode::replace);
    EXPECT_EQ(std::memcmp(out.left.data(), out.right.data(), frames * sizeof(float)), 0);
}

TEST(ChainProperties, ChannelsDoNotLeakIntoEachOther) {
    constexpr std::int32_t frames = 3000;
    StereoBuffer in = seededNoise(frames, 16);
    StereoBuffer leftOnly = in;
    std::fill(leftOnly.right.begin(), leftOnly.right.end(), 0.0f);
    Equaliser a = makeEqualiser(kShaping), b = makeEqualiser(kShaping);
    StereoBuffer outA(frames), outB(frames);
    run(*a, in, outA, 0, frames, Mode::replace);
    run(*b, leftOnly, outB, 0, frames, Mode::replace);
    EXPECT_EQ(std::memcmp(outA.left.data(), outB.left.data(), frames * sizeof(float)), 0);
}

TEST(ChainProperties, WorksInPlaceEvenWithOneBufferForBothChannels) {
    constexpr std::int32_t frames = 2048;
    StereoBuffer in = seededNoise(frames, 17);
    Equaliser separate = makeEqualiser(kShaping), inPlace = makeEqualiser(kShaping);
    StereoBuffer expected(frames);
    run(*separate, in, expected, 0, frames, Mode::replace);
    StereoBuffer shared = in;
    run(*inPlace, shared, shared, 0, frames, Mode::replace);
    EXPECT_TRUE(sameBits(expected, shared));

    // The same array as left and right input and output: both inputs are read before either
    // output is written, so both channels see the same samples.
    std::vector<float> mono = in.left;
    Equaliser monoEq = makeEqualiser(kShaping), twin = makeEqualiser(kShaping);
    float* channels[2] = {mono.data(), mono.data()};
    monoEq->getHostRecord()->processReplacing(monoEq->getHostRecord(), channels, channels, frames);
    StereoBuffer dual(frames), dualOut(frames);
    dual.left = in.left;
    dual.right = in.left;
    run(*twin, dual, dualOut, 0, frames, Mode::replace);
    EXPECT_EQ(std::memcmp(mono.data(), dualOut.right.data(), frames * sizeof(float)), 0);
}

TEST(ChainProperties, EmptyAndNegativeCountsTouchNothing) {
    StereoBuffer in = seededNoise(64, 18);
    Equaliser eq = makeEqualiser(kShaping), untouched = makeEqualiser(kShaping);
    StereoBuffer warmUp(64);
    run(*eq, in, warmUp, 0, 64, Mode::replace);
    run(*untouched, in, warmUp, 0, 64, Mode::replace);
    for (std::int32_t count : {0, -1, -4096, INT32_MIN}) {
        StereoBuffer out = seededNoise(64, 19);
        const StereoBuffer before = out;
        run(*eq, in, out, 0, count, Mode::replace);
        run(*eq, in, out, 0, count, Mode::add);
        EXPECT_TRUE(sameBits(before, out)) << count;
    }
    EXPECT_TRUE(sameHistories(*eq, *untouched));
}

// Transparency is measured in units of the last place of each input sample, with samples quieter
// than 1/16 of the signal's amplitude judged at that level: the default factors are tiny but not
// zero (S5's is 2.6e-7), so what they add is tiny against the signal, not against a quiet sample.
TEST(ChainProperties, DefaultsAreTransparentToAFewUnitsInTheLastPlace) {
    constexpr std::int32_t frames = 44100;
    StereoBuffer in = seededNoise(frames, 20);
    Equaliser eq{new SixBandEqualiser(nullptr)};
    StereoBuffer out(frames);
    run(*eq, in, out, 0, frames, Mode::replace);
    double worstUlps = 0;
    for (std::int32_t i = 0; i < frames; ++i)
        for (auto [x, y] : {std::pair{in.left[i], out.left[i]}, std::pair{in.right[i], out.right[i]}}) {
            const float magnitude = std::max(std::abs(x), 0.125f);
            const double ulp = std::nextafter(magnitude, INFINITY) - magnitude;
            worstUlps = std::max(worstUlps, std::abs(static_cast<double>(y) - x) / ulp);
        }
    EXPECT_LE(worstUlps, 4.0);
    EXPECT_FALSE(sameBits(in, out)) << "the filters run even when they are nearly transparent";
}

// The 1e-12 that every stage adds leaves each stage at y = 1e-12·d0 / (d0 + d1 + d2 + d3 + d4) on
// silence (S1 about 4e-5): the factors carry these to the output as a constant (1.6e-4 with every
// band at 1.0), each stage's zero at DC passing the earlier ones' through unchanged. Nothing on the
// way is a denormal, which would cost some processors a hundred times the time.
TEST(ChainProperties, OnSilenceEveryStageSettlesToAConstantOffset) {
    constexpr std::int32_t second = 44100;
    StereoBuffer silence(2 * second), out(2 * second);
    const float everyBandAtOne[kStageCount] = {1, 1, 1, 1, 1, 1};
    Equaliser eq = makeEqualiser(everyBandAtOne);
    run(*eq, silence, out, 0, 2 * second, Mode::replace);

    double expectedOffset = 0.0;
    for (int stage = 0; stage < kStageCount; ++stage) {
        const StageCoeffs<double> c = stage == 0 ? eq->firstStageCoeffs() : widened(eq->laterStageCoeffs(stage));
        const double settled = 1e-12 * c.d0 / ((((c.d0 + c.d1) + c.d2) + c.d3) + c.d4);
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const StageState& s = eq->history(stage, channel);
            EXPECT_NEAR(s.y1, settled, settled * 1e-6) << "S" << stage + 1;
            for (double value : {s.x1, s.x2, s.y1, s.y2, s.y3, s.y4})
                EXPECT_NE(std::fpclassify(value), FP_SUBNORMAL) << "S" << stage + 1;
        }
        expectedOffset += static_cast<float>(settled) * ((2.0 - kStageOffset[stage]) * kStageScale[stage]);
    }
    const float offset = out.left[second];
    EXPECT_NEAR(offset, 1.6e-4, 0.05e-4);
    EXPECT_NEAR(offset, expectedOffset, expectedOffset * 1e-5);
    for (std::int32_t i = 0; i < 2 * second; ++i) {
        ASSERT_NE(std::fpclassify(out.left[i]), FP_SUBNORMAL) << "frame " << i;
        if (i < second) continue;
        ASSERT_EQ(out.left[i], offset) << "frame " << i;
        ASSERT_EQ(out.right[i], offset) << "frame " << i;
    }
}

// Whatever an instance processed before, it gives the output of a fresh one once its filters have
// rung down: a host that renders twice after different pre-rolls gets the same file.
TEST(ChainProperties, ForgetsWhatItProcessedBefore) {
    constexpr std::int32_t second = 44100;
    struct Case {
        const char* name;
        float bandParam[kStageCount];
        float bound;
    };
    const Case cases[] = {{"80 Hz at 1.0", {1.0f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f}, 1e-6f},        // -120 dBFS
                          {"400 Hz at 1.0", {0.2f, 1.0f, 0.333f, 0.333f, 0.333f, 0.333f}, 3.16e-6f},     // -110 dBFS
                          {"every band at 1.0", {1, 1, 1, 1, 1, 1}, 3.16e-6f}};
    const StereoBuffer loud = seededNoise(5 * second, 22, 1.0f), in = seededNoise(3 * second, 23, 0.25f);
    for (const Case& c : cases) {
        StereoBuffer ignored(5 * second), fresh(3 * second), used(3 * second);
        StereoBuffer loudIn = loud, input = in;
        Equaliser freshEq = makeEqualiser(c.bandParam), usedEq = makeEqualiser(c.bandParam);
        run(*usedEq, loudIn, ignored, 0, 5 * second, Mode::replace);
        run(*freshEq, input, fresh, 0, 3 * second, Mode::replace);
        run(*usedEq, input, used, 0, 3 * second, Mode::replace);
        float largest = 0;
        for (std::int32_t i = 2 * second; i < 3 * second; ++i)
            largest = std::max({largest, std::abs(fresh.left[i] - used.left[i]), std::abs(fresh.right[i] - used.right[i])});
        EXPECT_LE(largest, c.bound) << c.name;
    }
}

// One bad sample (from a faulty plug-in upstream) or one bad band value must not silence a channel
// for good: after the call that met it, the channel is a fresh instance's, the other channel goes on
// as if nothing had happened. A bad value for band 2, whose stage is the last, reaches the output
// only, so the histories carry on.
TEST(ChainProperties, ABadSampleOrBandValueIsForgottenAfterItsCall) {
    constexpr std::int32_t kBlock = 700;
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
    struct Case {
        std::string name;
        float sample;  // put into the left input of the second block, unless the band is set
        int band;      // -1: no bad band value
        float value;
    };
    std::vector<Case> cases;
    for (float bad : {kNaN, kInf, -kInf}) cases.push_back({"input sample " + std::to_string(bad), bad, -1, 0});
    for (int band = 0; band < kStageCount; ++band)
        for (float bad : {kNaN, kInf, std::numeric_limits<float>::max()})
            cases.push_back({"band " + std::to_string(band) + " at " + std::to_string(bad), 0, band, bad});

    const StereoBuffer in = seededNoise(5 * kBlock, 24);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Equaliser hit = makeEqualiser(kShaping), clean = makeEqualiser(kShaping), fresh = makeEqualiser(kShaping);
        StereoBuffer hitIn = in, cleanIn = in, hitOut(5 * kBlock), cleanOut(5 * kBlock), freshOut(5 * kBlock);
        if (c.band < 0) hitIn.left[kBlock + 123] = c.sample;
        for (int block = 0; block < 5; ++block) {
            const std::size_t offset = static_cast<std::size_t>(block) * kBlock;
            if (c.band >= 0) hit->setParam(c.band, block == 1 ? c.value : kShaping[c.band]);
            run(*hit, hitIn, hitOut, offset, kBlock, block % 2 ? Mode::replace : Mode::add);
            run(*clean, cleanIn, cleanOut, offset, kBlock, block % 2 ? Mode::replace : Mode::add);
            if (block >= 2) run(*fresh, cleanIn, freshOut, offset, kBlock, block % 2 ? Mode::replace : Mode::add);
        }
        const std::size_t after = 2 * kBlock, rest = 3 * kBlock;
        EXPECT_FALSE(std::isfinite(hitOut.left[kBlock + kBlock - 1])) << "the bad call's own output is as computed";
        const bool lastStageOnly = c.band == 2;
        const StereoBuffer& expected = lastStageOnly ? cleanOut : freshOut;
        EXPECT_EQ(std::memcmp(&hitOut.left[after], &expected.left[after], rest * sizeof(float)), 0);
        if (c.band < 0)
            EXPECT_EQ(std::memcmp(hitOut.right.data(), cleanOut.right.data(), 5 * kBlock * sizeof(float)), 0)
                << "the other channel is untouched";
        else
            EXPECT_EQ(std::memcmp(&hitOut.right[after], &expected.right[after], rest * sizeof(float)), 0);
    }
}

TEST(ChainProperties, ParameterChangesTakeEffectAtTheNextBlock) {
    constexpr std::int32_t frames = 1024;
    StereoBuffer in = seededNoise(2 * frames, 21);
    Equaliser changed = makeEqualiser(kShaping), reference = makeEqualiser(kShaping);
    StereoBuffer outChanged(2 * frames), outReference(2 * frames);
    run(*changed, in, outChanged, 0, frames, Mode::replace);
    run(*reference, in, outReference, 0, frames, Mode::replace);
    changed->setParam(0, 0.0f);
    run(*changed, in, outChanged, frames, frames, Mode::replace);
    run(*reference, in, outReference, frames, frames, Mode::replace);
    EXPECT_EQ(std::memcmp(outChanged.left.data(), outReference.left.data(), frames * sizeof(float)), 0);
    EXPECT_NE(outChanged.left[frames], outReference.left[frames]) << "audible from the first frame";
}

}  // namespace
