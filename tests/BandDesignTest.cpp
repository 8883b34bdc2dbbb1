// The six designed stages: their exact coefficients, their stability and their responses.
#include "eq/BandDesign.h"
#include "eq/SixBandEqualiser.h"
#include "support/Response.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

class DesignedStages : public ::testing::Test {
protected:
    std::unique_ptr<SixBandEqualiser> eq{new SixBandEqualiser(nullptr)};

    std::complex<double> response(int stage, double frequencyHz) const {
        return stage == 0 ? stageResponse(eq->firstStageCoeffs(), frequencyHz)
                          : stageResponse(eq->laterStageCoeffs(stage), frequencyHz);
    }
    std::array<double, 4> radii(int stage) const {
        return stage == 0 ? poleRadii(eq->firstStageCoeffs()) : poleRadii(eq->laterStageCoeffs(stage));
    }
};

TEST(IntPower, SquaresRepeatedly) {
    EXPECT_EQ(intPower(44100.0, 3), 85766121000000.0);
    EXPECT_EQ(intPower(44100.0, 4), 3782285936099999744.0);
    EXPECT_EQ(intPower(3.0, 0), 1.0);
    EXPECT_EQ(intPower(-2.0, 5), -32.0);
    EXPECT_EQ(intPower(2.0, -3), 0.125);
    EXPECT_EQ(intPower(1005.3096320000001, 2), 1010647.4561919756);
}

TEST_F(DesignedStages, FirstStageHoldsItsDoublesToTheBit) {
    const StageCoeffs<double>& s1 = eq->firstStageCoeffs();
    EXPECT_EQ(s1.b0, 0.0005196638520945366);
    EXPECT_EQ(s1.d4, 1.0);
    EXPECT_EQ(s1.d3, -4.03223829663434);
    EXPECT_EQ(s1.d2, 6.097559343662674);
    EXPECT_EQ(s1.d1, -4.09840903275902);
    EXPECT_EQ(s1.d0, 1.0330880121028065);
}

TEST_F(DesignedStages, LaterStagesAreEachRoundedOnceToFloat) {
    const StageCoeffs<float> expected[5] = {
        {0.00730777299f, 1, -4.12089348f, 6.37648439f, -4.39068079f, 1.13510036f},
        {0.293122888f, 1, -4.76565933f, 8.83369350f, -7.46366358f, 2.41046357f},
        {0.730777264f, 1, -5.20893621f, 11.4537516f, -11.9432917f, 4.99887180f},
        {0.730777264f, 1, -5.20893621f, 19.1269131f, -31.9277973f, 36.2350960f},
        {0.0317177661f, 1, -4.25186157f, 6.83236742f, -4.91482496f, 1.33482683f},
    };
    for (int stage = 1; stage < kStageCount; ++stage) {
        SCOPED_TRACE("S" + std::to_string(stage + 1));
        const StageCoeffs<float>& c = eq->laterStageCoeffs(stage);
        const StageCoeffs<float>& e = expected[stage - 1];
        EXPECT_EQ(c.b0, e.b0);
        EXPECT_EQ(c.d4, e.d4);
        EXPECT_EQ(c.d3, e.d3);
        EXPECT_EQ(c.d2, e.d2);
        EXPECT_EQ(c.d1, e.d1);
        EXPECT_EQ(c.d0, e.d0);
    }
}

TEST_F(DesignedStages, ScratchHoldsTheLastStagesAnalogDesign) {
    const DesignScratch& s = eq->lastDesign();
    EXPECT_EQ(s.wu, 11623.89262);
    EXPECT_EQ(s.wl, 3769.91112);
    EXPECT_EQ(s.bw2, 61685025.402342245);
    EXPECT_EQ(s.one, 1.0);
    EXPECT_EQ(s.c3, 11107.100637299998);
    EXPECT_EQ(s.c2, 149327109.49399012);
    EXPECT_EQ(s.c1, 486724724034.3211);
    EXPECT_EQ(s.c0, 1920283725981869.8);
}

TEST(BandPassDesign, FirstStageIntermediatesAreTheDecimalEdgesNotTwoPiF) {
    DesignScratch scratch;
    designBandPass(scratch, kStageEdges[0].wu, kStageEdges[0].wl);
    EXPECT_EQ(kStageEdges[0].wu - kStageEdges[0].wl, 1005.3096320000001);
    EXPECT_EQ(kStageEdges[2].wu - kStageEdges[2].wl, 23876.103759999998);
    EXPECT_EQ(scratch.bw2, 1010647.4561919756);
    EXPECT_EQ(scratch.c3, 1421.7088815744);
    EXPECT_EQ(scratch.c2, 1642302.1163119604);
    EXPECT_EQ(scratch.c1, 449014520.1902206);
    EXPECT_EQ(scratch.c0, 99746902412.82333);
}

TEST_F(DesignedStages, HistoriesStartAtZero) {
    for (int stage = 0; stage < kStageCount; ++stage)
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const StageState& s = eq->history(stage, channel);
            for (double value : {s.x1, s.x2, s.y1, s.y2, s.y3, s.y4}) EXPECT_EQ(value, 0.0);
        }
}

TEST_F(DesignedStages, EveryStageIsStableWithThePoleRadiiOfItsDesign) {
    const double largestRadius[kStageCount] = {0.99671, 0.98505, 0.90579, 0.79199, 0.45663, 0.96081};
    for (int stage = 0; stage < kStageCount; ++stage) {
        SCOPED_TRACE("S" + std::to_string(stage + 1));
        const auto r = radii(stage);
        const double largest = *std::max_element(r.begin(), r.end());
        EXPECT_LT(largest, 1.0);
        EXPECT_NEAR(largest, largestRadius[stage], 0.5e-5);
    }
}

TEST_F(DesignedStages, FirstStageWouldBeUnstableInSinglePrecision) {
    const StageCoeffs<double>& s1 = eq->firstStageCoeffs();
    const StageCoeffs<float> rounded{static_cast<float>(s1.b0), static_cast<float>(s1.d4),
                                     static_cast<float>(s1.d3), static_cast<float>(s1.d2),
                                     static_cast<float>(s1.d1), static_cast<float>(s1.d0)};
    const auto r = poleRadii(rounded);
    EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1.0115, 0.0005);
}

TEST_F(DesignedStages, EachStagePassesItsBandWithTheDesignedGain) {
    struct StageFacts {
        double centreHz, gainAtCentre, peakGain, peakHz, peakHzTolerance;
    };
    const StageFacts facts[kStageCount] = {
        {89.44, 0.9900, 0.9907, 79.3, 0.05},   {400.00, 0.9455, 0.9493, 347, 0.5},
        {2449.49, 0.7317, 0.7602, 1912, 0.5},  {5196.15, 0.4386, 0.4798, 3993, 0.5},
        {14696.94, 0.0385, 0.0457, 10202, 0.5}, {1053.57, 0.8370, 0.8484, 912, 0.5},
    };
    for (int stage = 0; stage < kStageCount; ++stage) {
        SCOPED_TRACE("S" + std::to_string(stage + 1));
        const StageFacts& f = facts[stage];
        const double centre = std::sqrt(kStageEdges[stage].wu * kStageEdges[stage].wl) / (2 * 3.1415926);
        EXPECT_NEAR(centre, f.centreHz, 0.005);
        EXPECT_NEAR(std::abs(response(stage, centre)), f.gainAtCentre, 0.00005);

        // The peak, on a grid fine enough for the stated digits, then refined around the best point.
        double bestHz = 1.0, bestGain = 0.0;
        for (double hz = 1.0; hz < 22050.0; hz *= 1.0005) {
            const double gain = std::abs(response(stage, hz));
            if (gain > bestGain) bestGain = gain, bestHz = hz;
        }
        for (double step = bestHz * 0.001; step > 1e-4; step /= 2) {
            for (double hz : {bestHz - step, bestHz + step}) {
                const double gain = std::abs(response(stage, hz));
                if (gain > bestGain) bestGain = gain, bestHz = hz;
            }
        }
        EXPECT_NEAR(bestGain, f.peakGain, 0.00005);
        EXPECT_NEAR(bestHz, f.peakHz, f.peakHzTolerance);
        EXPECT_LT(std::abs(response(stage, 0.001)), 1e-6) << "no gain at DC";
    }
}

TEST_F(DesignedStages, CoefficientsIgnoreTheHostsSampleRate) {
    std::unique_ptr<SixBandEqualiser> other{new SixBandEqualiser(nullptr)};
    other->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(std::memcmp(&other->firstStageCoeffs(), &eq->firstStageCoeffs(), sizeof(StageCoeffs<double>)), 0);
    for (int stage = 1; stage < kStageCount; ++stage)
        EXPECT_EQ(std::memcmp(&other->laterStageCoeffs(stage), &eq->laterStageCoeffs(stage),
                              sizeof(StageCoeffs<float>)), 0);
}

}  // namespace
