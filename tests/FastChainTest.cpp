// The fast forms of the chain against the plain form, bit for bit: outputs and every history after
// every call, over long runs of random blocks (empty, negative, shorter than the pipeline, long),
// parameter changes between blocks, both output modes, separate and in-place buffers.
#include "eq/BandDesign.h"
#include "eq/ChainProcessor.h"
#include "eq/PlainChain.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdlib>
#include <ostream>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Names the path in test output, rather than its bytes.
void PrintTo(ChainPath path, std::ostream* out) { *out << chainPathName(path); }

namespace {

// Every test program of the 32-bit build runs under an emulator here, some 10 to 30 times slower.
#if defined(__i386__)
constexpr std::int64_t kLongRunFrames = 300'000;
#else
constexpr std::int64_t kLongRunFrames = 2'000'000;
#endif

// The designed coefficients, stored as the equaliser stores them, and one set of histories.
class ChainUnderTest {
public:
    ChainUnderTest() {
        DesignScratch scratch{};
        for (int stage = 0; stage < kStageCount; ++stage) {
            const StageCoeffs<double> c =
                designBandPass(scratch, kStageEdges[stage].wu, kStageEdges[stage].wl);
            if (stage == 0) s1 = c;
            else later[stage - 1] = roundedToFloat(c);
        }
    }
    ChainUnderTest(const ChainUnderTest&) = delete;
    ChainUnderTest& operator=(const ChainUnderTest&) = delete;

    ChainState state() { return {&s1, later, histories}; }
    const StageState& history(int stage, int channel) const { return histories[stage][channel]; }

    StageCoeffs<double> s1;
    StageCoeffs<float> later[kStageCount - 1];
    StageState histories[kStageCount][kChannelCount] = {};
};

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }
std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

template <typename Real>
std::string described(Real value) {
    std::ostringstream text;
    text.precision(17);
    text << value << " (0x" << std::hex << bits(value) << ")";
    return text.str();
}

// Bit for bit, so that a different NaN or a zero of the other sign counts as a difference.
::testing::AssertionResult sameBits(const std::vector<float>& expected, const std::vector<float>& actual) {
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (bits(expected[i]) != bits(actual[i]))
            return ::testing::AssertionFailure() << "sample " << i << ": plain " << described(expected[i])
                                                 << ", fast " << described(actual[i]);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameHistories(const ChainUnderTest& expected, const ChainUnderTest& actual) {
    for (int stage = 0; stage < kStageCount; ++stage)
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const StageState& p = expected.history(stage, channel);
            const StageState& f = actual.history(stage, channel);
            const double pv[6] = {p.x1, p.x2, p.y1, p.y2, p.y3, p.y4};
            const double fv[6] = {f.x1, f.x2, f.y1, f.y2, f.y3, f.y4};
            static const char* const names[6] = {"x1", "x2", "y1", "y2", "y3", "y4"};
            for (int k = 0; k < 6; ++k)
                if (bits(pv[k]) != bits(fv[k]))
                    return ::testing::AssertionFailure()
                           << "S" << stage + 1 << " channel " << channel << " " << names[k] << ": expected "
                           << described(pv[k]) << ", got " << described(fv[k]);
        }
    return ::testing::AssertionSuccess();
}

// One call on both chains with the same arguments: separate input and output buffers, or the
// inputs processed in place.
struct Block {
    std::int32_t frames;
    OutputMode mode;
    bool inPlace;
};

class Runs {
public:
    Runs(ChainFunction fast, std::uint32_t seed) : fast_(fast), random_(seed) {}

    ChainUnderTest plain, fastChain;
    std::atomic<float> bandParam[kStageCount] = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};

    // Runs one block through both; false (with the failure recorded) when they differ.
    ::testing::AssertionResult run(const Block& block) {
        const std::size_t size = static_cast<std::size_t>(std::max(block.frames, 0)) + 1;
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        std::vector<float> buffers[4];  // left in, right in, left out, right out
        for (auto& buffer : buffers) {
            buffer.resize(size);
            for (float& value : buffer) value = sample(random_);
        }
        std::vector<float> plainBuffers[4], fastBuffers[4];
        std::copy(std::begin(buffers), std::end(buffers), std::begin(plainBuffers));
        std::copy(std::begin(buffers), std::end(buffers), std::begin(fastBuffers));

        const ChainGains gains = chainGainsFor(bandParam);
        callOn(processPlainChain, plain, plainBuffers, gains, block);
        callOn(fast_, fastChain, fastBuffers, gains, block);

        for (int b = 0; b < 4; ++b) {
            auto result = sameBits(plainBuffers[b], fastBuffers[b]);
            if (!result) return result << " in buffer " << b;
        }
        return sameHistories(plain, fastChain);
    }

    std::mt19937& random() { return random_; }

private:
    static void callOn(ChainFunction function, ChainUnderTest& chain, std::vector<float> (&buffers)[4],
                       const ChainGains& gains, const Block& block) {
        float* inputs[2] = {buffers[0].data(), buffers[1].data()};
        float* outputs[2] = {buffers[2].data(), buffers[3].data()};
        function(chain.state(), gains, inputs, block.inPlace ? inputs : outputs, block.frames, block.mode);
    }

    ChainFunction fast_;
    std::mt19937 random_;
};

class FastChainTest : public ::testing::TestWithParam<ChainPath> {
protected:
    void SetUp() override {
        const ChainPath path = GetParam();
        if (!chainPathBuilt(path)) GTEST_SKIP() << chainPathName(path) << " is not part of this build";
        if (!chainPathSupported(path))
            GTEST_SKIP() << "this processor cannot run the " << chainPathName(path) << " path";
        fast = chainFunction(path);
    }

    ChainFunction fast = nullptr;
};

std::string pathName(const ::testing::TestParamInfo<ChainPath>& info) { return chainPathName(info.param); }

INSTANTIATE_TEST_SUITE_P(Paths, FastChainTest, ::testing::Values(ChainPath::sse2, ChainPath::avx2), pathName);

TEST_P(FastChainTest, MatchesThePlainFormOverLongRunsOfRandomBlocks) {
    Runs runs(fast, 20261209);
    auto& random = runs.random();
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<std::int32_t> shortBlock(1, 40);
    std::uniform_int_distribution<std::int32_t> longBlock(41, 4096);
    std::uniform_int_distribution<std::int32_t> negative(-100000, -1);
    std::uniform_real_distribution<float> usualValue(0.0f, 1.0f);
    std::uniform_real_distribution<float> unusualValue(-1.0f, 2.0f);
    std::int64_t frames = 0;
    for (int call = 0; frames < kLongRunFrames; ++call) {
        const int k = kind(random);
        Block block{};
        if (k < 5)
            block.frames = 0;
        else if (k < 8)
            block.frames = negative(random);
        else if (k < 15)
            block.frames = 1;
        else if (k < 55)
            block.frames = shortBlock(random);
        else
            block.frames = longBlock(random);
        block.mode = kind(random) < 50 ? OutputMode::add : OutputMode::replace;
        block.inPlace = kind(random) < 30;
        // Parameters move between some calls, now and then far outside 0..1.
        if (kind(random) < 30) {
            const int band = static_cast<int>(random() % kStageCount);
            runs.bandParam[band] = kind(random) < 20 ? unusualValue(random) : usualValue(random);
        }
        ASSERT_TRUE(runs.run(block)) << "call " << call << ", " << block.frames << " frames, "
                                     << (block.mode == OutputMode::add ? "add" : "replace")
                                     << (block.inPlace ? ", in place" : "");
        frames += std::max(block.frames, 0);
    }
}

// Every length from one frame to beyond the pipeline's depth, from histories that are not zero.
TEST_P(FastChainTest, MatchesThePlainFormOnEveryShortBlockLength) {
    Runs runs(fast, 7);
    for (int band = 0; band < kStageCount; ++band)
        runs.bandParam[band] = 0.1f + 0.15f * static_cast<float>(band);
    ASSERT_TRUE(runs.run({3000, OutputMode::replace, false}));
    for (std::int32_t frames = 1; frames <= 64; ++frames)
        for (OutputMode mode : {OutputMode::add, OutputMode::replace})
            ASSERT_TRUE(runs.run({frames, mode, frames % 3 == 0})) << frames << " frames";
}

TEST_P(FastChainTest, ZeroAndNegativeCountsTouchNothing) {
    Runs runs(fast, 11);
    ASSERT_TRUE(runs.run({777, OutputMode::add, false}));
    const StageState before = runs.fastChain.history(5, 1);
    for (std::int32_t frames : {0, -1, -4096, INT32_MIN}) {
        ASSERT_TRUE(runs.run({frames, OutputMode::add, false}));
        ASSERT_TRUE(runs.run({frames, OutputMode::replace, true}));
    }
    EXPECT_EQ(bits(before.y1), bits(runs.fastChain.history(5, 1).y1));
}

// The histories come back where the plain form leaves them, so either form may take over from the
// other between any two calls.
TEST_P(FastChainTest, HandsOverToThePlainFormBetweenCalls) {
    ChainUnderTest reference, mixed;
    const std::atomic<float> bandParam[kStageCount] = {0.9f, 0.0f, 1.0f, 0.6f, -0.3f, 1.4f};
    const ChainGains gains = chainGainsFor(bandParam);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> left(20000), right(20000);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = sample(random);
        right[i] = sample(random);
    }
    std::vector<float> expectedL(left.size()), expectedR(left.size()), actualL(left.size()),
        actualR(left.size());
    float* referenceIn[2] = {left.data(), right.data()};
    float* referenceOut[2] = {expectedL.data(), expectedR.data()};
    processPlainChain(reference.state(), gains, referenceIn, referenceOut,
                      static_cast<std::int32_t>(left.size()), OutputMode::replace);
    std::size_t start = 0;
    for (int call = 0; start < left.size(); ++call) {
        const std::size_t frames = std::min<std::size_t>(left.size() - start, 1 + random() % 300);
        float* in[2] = {left.data() + start, right.data() + start};
        float* out[2] = {actualL.data() + start, actualR.data() + start};
        (call % 2 ? processPlainChain : fast)(mixed.state(), gains, in, out,
                                              static_cast<std::int32_t>(frames), OutputMode::replace);
        start += frames;
    }
    EXPECT_TRUE(sameBits(expectedL, actualL));
    EXPECT_TRUE(sameBits(expectedR, actualR));
    EXPECT_TRUE(sameHistories(reference, mixed));
}

// Under qemu the suites also run on emulated processors with and without AVX2, and the run names
// the path the dispatcher must choose there (tests/CMakeLists.txt); natively the choice is the
// processor's own, and the paths give the same bits anyway.
TEST(ChainDispatch, ChoosesThePathTheEmulatedProcessorCallsFor) {
    const char* expected = std::getenv("SIXBAND_EXPECTED_CHAIN_PATH");
    if (!expected) GTEST_SKIP() << "only under an emulated processor";
    EXPECT_STREQ(chainPathName(chosenChainPath()), expected);
}

// The order of the feedback subtractions. Rounding hides it in ordinary signals for millions of
// frames, so histories are built where every other order gives another y: each product nearly
// cancels what the ones before it left, so the pinned order subtracts exactly while any other
// rounds. Every form, plain included, must give the pinned order's histories.
namespace feedback {

using Order = std::array<int, 4>;  // d4·y4, d3·y3, d2·y2, d1·y1 (0 to 3) in the order subtracted
constexpr Order kPinned = {0, 1, 2, 3};

// y of one step, the products subtracted one by one in `order`, or summed in that order and the sum
// subtracted once.
template <typename Real>
double stageY(const StageCoeffs<Real>& c, const StageState& s, double x, const Order& order,
              bool sumFirst = false) {
    const double products[4] = {static_cast<double>(c.d4) * s.y4, static_cast<double>(c.d3) * s.y3,
                                static_cast<double>(c.d2) * s.y2, static_cast<double>(c.d1) * s.y1};
    double acc = static_cast<double>(c.b0) * ((x - 2.0 * s.x1) + s.x2);
    double sum = 0.0;
    for (int k : order) {
        if (sumFirst)
            sum += products[k];
        else
            acc -= products[k];
    }
    if (sumFirst) acc -= sum;
    return acc / static_cast<double>(c.d0) + 1e-12;
}

template <typename Real>
bool ordersGiveDifferentY(const StageCoeffs<Real>& c, const StageState& s, double x) {
    const std::uint64_t pinned = bits(stageY(c, s, x, kPinned));
    Order order = kPinned;
    do {
        for (bool sumFirst : {false, true})
            if ((order != kPinned || sumFirst) && bits(stageY(c, s, x, order, sumFirst)) == pinned) return false;
    } while (std::next_permutation(order.begin(), order.end()));
    return true;
}

// A history on which every other order gives another y, for input x: y3, y2 and y1 each cancelling
// all but about 2^-30 of what the subtractions before it left.
template <typename Real>
StageState historyTellingOrdersApart(const StageCoeffs<Real>& c, float x, SeededRandom& random) {
    constexpr double kNearly = 1.0 + 0x1p-30;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        StageState s{};
        s.x1 = random.nextSample();
        s.x2 = random.nextSample();
        // A power of two: the input term is rounded to its grid when d4·y4 comes first, and to the
        // grid of the binade below or above when d3·y3 does (about one time in four).
        s.y4 = random.nextSample() < 0 ? -0x1p30 : 0x1p30;
        double left = static_cast<double>(c.b0) * ((static_cast<double>(x) - 2.0 * s.x1) + s.x2) -
                      static_cast<double>(c.d4) * s.y4;
        s.y3 = left / static_cast<double>(c.d3) * kNearly;
        left -= static_cast<double>(c.d3) * s.y3;
        s.y2 = left / static_cast<double>(c.d2) * kNearly;
        left -= static_cast<double>(c.d2) * s.y2;
        s.y1 = left / static_cast<double>(c.d1) * kNearly;
        if (ordersGiveDifferentY(c, s, x)) return s;
    }
    ADD_FAILURE() << "no history found on which the orders differ";
    return {};
}

// The stage run on its own over a block, in the pinned order.
template <typename Real>
void runPinned(const StageCoeffs<Real>& c, StageState& s, const std::vector<float>& input) {
    for (float x : input) s = {x, s.x1, stageY(c, s, x, kPinned), s.y1, s.y2, s.y3};
}

}  // namespace feedback

class EveryChainForm : public FastChainTest {};

INSTANTIATE_TEST_SUITE_P(Paths, EveryChainForm, ::testing::ValuesIn(kChainPaths), pathName);

TEST_P(EveryChainForm, SubtractsTheFeedbackProductsD4ThenD3ThenD2ThenD1) {
    // The first frame of a block runs in the pipeline's filling steps; with 64 frames S6's first
    // frame runs in the steady ones.
    for (std::int32_t frames : {1, 64}) {
        SCOPED_TRACE(std::to_string(frames) + " frames");
        SeededRandom random(frames);
        std::vector<float> input[kChannelCount];
        for (auto& channel : input)
            for (std::int32_t i = 0; i < frames; ++i) channel.push_back(random.nextSample());

        ChainUnderTest chain, expected;
        for (int channel = 0; channel < kChannelCount; ++channel)
            for (int stage = 0; stage < kStageCount; ++stage) {
                StageState& s = chain.histories[stage][channel];
                const float x = input[channel][0];
                s = stage == 0 ? feedback::historyTellingOrdersApart(chain.s1, x, random)
                               : feedback::historyTellingOrdersApart(chain.later[stage - 1], x, random);
                StageState& e = expected.histories[stage][channel];
                e = s;
                if (stage == 0) feedback::runPinned(chain.s1, e, input[channel]);
                else feedback::runPinned(chain.later[stage - 1], e, input[channel]);
            }
        // With factors of zero every stage sees the input itself.
        const ChainGains unity{};
        std::vector<float> output[kChannelCount] = {std::vector<float>(frames), std::vector<float>(frames)};
        float* inputs[2] = {input[0].data(), input[1].data()};
        float* outputs[2] = {output[0].data(), output[1].data()};
        fast(chain.state(), unity, inputs, outputs, frames, OutputMode::replace);
        EXPECT_TRUE(sameHistories(expected, chain));
    }
}

}  // namespace
