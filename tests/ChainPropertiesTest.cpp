// Properties of the processing that hosts rely on: blocks may be cut anywhere, the two modes share
// one history, buffers may be shared, and silence or empty calls change nothing they should not.
#include "eq/SixBandEqualiser.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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
const float kBandZeroBoosted[kStageCount] = {1.0f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};

bool sameHistories(const SixBandEqualiser& a, const SixBandEqualiser& b) {
    for (int stage = 0; stage < kStageCount; ++stage)
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const StageState<double> x = a.history(stage, channel), y = b.history(stage, channel);
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

// The 1e-12 that every stage adds leaves S1 at y = 1e-12·d0 / (d0 + d1 + d2 + d3 + d4), about 4e-5,
// on silence: the band's factor carries it to the output as a constant (1.6e-4 with band 0 at 1.0),
// the other stages' zero at DC lets it through unchanged.
TEST(ChainProperties, OnSilenceTheFirstBandSettlesToAConstantOffset) {
    constexpr std::int32_t second = 44100;
    StereoBuffer silence(2 * second), out(2 * second);
    Equaliser eq = makeEqualiser(kBandZeroBoosted);
    run(*eq, silence, out, 0, 2 * second, Mode::replace);

    const StageCoeffs<double>& c = eq->firstStageCoeffs();
    const double settled = 1e-12 * c.d0 / ((((c.d0 + c.d1) + c.d2) + c.d3) + c.d4);
    EXPECT_NEAR(eq->history(0, 0).y1, settled, settled * 1e-6);
    const float offset = out.left[second];
    EXPECT_NEAR(offset, 4.0 * settled, 4.0 * settled * 1e-6);
    for (std::int32_t i = second; i < 2 * second; ++i) {
        ASSERT_EQ(out.left[i], offset) << "frame " << i;
        ASSERT_EQ(out.right[i], offset) << "frame " << i;
    }
}

// Whatever an instance processed before, it gives the output of a fresh one once its filters have
// rung down: a host that renders twice after different pre-rolls gets the same file.
TEST(ChainProperties, ForgetsWhatItProcessedBefore) {
    constexpr std::int32_t second = 44100;
    StereoBuffer loud = seededNoise(5 * second, 22, 1.0f), ignored(5 * second);
    StereoBuffer in = seededNoise(3 * second, 23, 0.25f), fresh(3 * second), used(3 * second);
    Equaliser freshEq = makeEqualiser(kBandZeroBoosted), usedEq = makeEqualiser(kBandZeroBoosted);
    run(*usedEq, loud, ignored, 0, 5 * second, Mode::replace);
    run(*freshEq, in, fresh, 0, 3 * second, Mode::replace);
    run(*usedEq, in, used, 0, 3 * second, Mode::replace);
    float largest = 0;
    for (std::int32_t i = 2 * second; i < 3 * second; ++i)
        largest = std::max({largest, std::abs(fresh.left[i] - used.left[i]), std::abs(fresh.right[i] - used.right[i])});
    EXPECT_LE(largest, 1e-6f) << "-120 dBFS";
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
