// The processing chain measured from outside: steady tones through the host record compared with
// the product of the designed sections, and the factors the parameters give each stage.
#include "eq/ChainGains.h"
#include "eq/SixBandEqualiser.h"
#include "support/Response.h"
#include "support/SineFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

// S1's slowest pole (radius 0.9967) decays by 1e-20 while the filters settle.
constexpr std::size_t kSettleFrames = 16384;
constexpr std::size_t kMeasureFrames = 8192;

struct Setting {
    const char* name;
    float bandParam[kStageCount];
};

const Setting kSettings[] = {
    {"defaults", {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f}},
    {"all 0", {0, 0, 0, 0, 0, 0}},
    {"all 1", {1, 1, 1, 1, 1, 1}},
    {"mixed", {0.8f, 0.1f, 0.6f, 0.0f, 0.9f, 0.45f}},
    {"outside 0..1", {1.4f, -0.3f, 1.2f, -0.2f, 0.5f, 1.1f}},
};

struct ToneThrough {
    SineFit in, out;
};

// A settled tone through the record of a fresh equaliser. The fit takes up the constant that the
// 1e-12 of every stage leaves in the output (1.6e-4 with band 0 at 1.0).
ToneThrough toneThrough(const float (&bandParam)[kStageCount], double frequencyHz, double amplitude = 0.5) {
    std::unique_ptr<SixBandEqualiser> eq{new SixBandEqualiser(nullptr)};
    AEffect* record = eq->getHostRecord();
    for (int band = 0; band < kStageCount; ++band) record->setParameter(record, band, bandParam[band]);

    const double w = 2.0 * std::numbers::pi * frequencyHz / kTestRate;
    std::vector<float> left(kSettleFrames + kMeasureFrames), right(left.size());
    for (std::size_t n = 0; n < left.size(); ++n)
        left[n] = static_cast<float>(amplitude * std::sin(w * static_cast<double>(n)));
    std::vector<float> outLeft(left.size()), outRight(left.size());
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    record->processReplacing(record, inputs, outputs, static_cast<std::int32_t>(left.size()));
    const SineFitter fit(frequencyHz, kTestRate, kSettleFrames, kMeasureFrames);
    return {fit(left), fit(outLeft)};
}

double designedMagnitude(const SixBandEqualiser& design, const float (&bandParam)[kStageCount],
                         double frequencyHz) {
    return DesignedResponse(design).magnitude(bandParam, frequencyHz, kTestRate);
}

// The chain's response as a host would measure it: a full-scale impulse through a fresh instance,
// less a fresh instance's run on silence (which takes away the constant the 1e-12 terms leave),
// transformed at each probe frequency. S1's slowest pole (0.9967) has decayed by 1e-47 at the end.
class ChainResponse : public ::testing::TestWithParam<Setting> {
protected:
    static constexpr std::size_t kImpulseFrames = 1 << 15;

    std::unique_ptr<SixBandEqualiser> design{new SixBandEqualiser(nullptr)};

    std::vector<float> leftOutput(bool impulse) const {
        std::unique_ptr<SixBandEqualiser> eq{new SixBandEqualiser(nullptr)};
        AEffect* record = eq->getHostRecord();
        for (int band = 0; band < kStageCount; ++band) record->setParameter(record, band, GetParam().bandParam[band]);
        std::vector<float> left(kImpulseFrames), right(kImpulseFrames), outLeft(kImpulseFrames), outRight(kImpulseFrames);
        left[0] = right[0] = impulse ? 1.0f : 0.0f;
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        record->processReplacing(record, inputs, outputs, static_cast<std::int32_t>(kImpulseFrames));
        return outLeft;
    }
};

TEST_P(ChainResponse, MatchesTheProductOfTheDesignedSectionsFrom20HzTo20kHz) {
    const std::vector<float> impulse = leftOutput(true), silence = leftOutput(false);
    for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 12.0)) {
        std::complex<double> measured = 0.0;
        for (std::size_t n = 0; n < kImpulseFrames; ++n)
            measured += (static_cast<double>(impulse[n]) - silence[n]) *
                        std::polar(1.0, -2.0 * std::numbers::pi * hz * static_cast<double>(n) / kTestRate);
        const double expected = designedMagnitude(*design, GetParam().bandParam, hz);
        EXPECT_NEAR(decibels(std::abs(measured)), decibels(expected), 0.001) << hz << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, ChainResponse, ::testing::ValuesIn(kSettings),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// S1's recursion has a gain of about 4e7 near DC. With its history in double, the band is one linear
// filter for every signal: a low tone at any level and setting comes out as that tone alone, with
// the designed gain. What remains is S1's output rounded to float where it joins the running value
// (about 135 dB below the tone at worst), measured against the input because a deep cut near the
// band's 89 Hz centre leaves the output tone small while that rounding stays.
TEST(FirstBand, PassesALowToneAloneWithItsDesignedGainAtAnyLevelAndSetting) {
    std::unique_ptr<SixBandEqualiser> design{new SixBandEqualiser(nullptr)};
    for (float p0 : {0.0f, 0.1f, 0.5f, 1.0f})
        for (double hz : {20.0, 41.2, 89.44, 120.0, 250.0})
            for (double levelDb : {-40.0, -6.0}) {
                SCOPED_TRACE(std::to_string(hz) + " Hz at " + std::to_string(levelDb) + " dBFS, band 0 at " +
                             std::to_string(p0));
                const float bandParam[kStageCount] = {p0, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};
                const ToneThrough tone = toneThrough(bandParam, hz, std::pow(10.0, levelDb / 20.0));
                const double inputRms = tone.in.amplitude / std::sqrt(2.0);
                EXPECT_LT(decibels(tone.out.residualRms / inputRms), -120.0);
                EXPECT_NEAR(decibels(tone.out.amplitude / tone.in.amplitude),
                            decibels(designedMagnitude(*design, bandParam, hz)), 1e-4);
            }
}

// Every stage keeps its history in double, so the whole chain is one linear filter: a tone at any
// level and setting comes out as that tone alone. What remains is each stage's output rounded to
// float where it joins the running value (116.7 dB below the tone at worst, every band at 1.0 and
// 150 Hz, by an independent computation). Settings: each band alone at 0, 0.6 and 1, every band at
// 0 and at 1, and a mixed one.
TEST(EveryBand, PassesAToneAloneAtAnyLevelAndSetting) {
    struct Case {
        std::string name;
        float bandParam[kStageCount];
    };
    std::vector<Case> cases = {{"every band at 0", {0, 0, 0, 0, 0, 0}},
                               {"every band at 1", {1, 1, 1, 1, 1, 1}},
                               {"mixed", {0.8f, 0.1f, 0.6f, 0.0f, 0.9f, 0.45f}}};
    for (int band = 0; band < kStageCount; ++band)
        for (float p : {0.0f, 0.6f, 1.0f}) {
            Case c{"band " + std::to_string(band) + " at " + std::to_string(p), {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f}};
            c.bandParam[band] = p;
            cases.push_back(c);
        }
    for (const Case& c : cases)
        for (double hz : {30.0, 150.0, 400.0, 1000.0, 2500.0, 6000.0, 14000.0})
            for (double levelDb : {-40.0, -6.0}) {
                const ToneThrough tone = toneThrough(c.bandParam, hz, std::pow(10.0, levelDb / 20.0));
                const double inputRms = tone.in.amplitude / std::sqrt(2.0);
                EXPECT_LT(decibels(tone.out.residualRms / inputRms), -110.0)
                    << c.name << ", " << hz << " Hz at " << levelDb << " dBFS";
            }
}

TEST(ChainGainFactors, FollowAStraightLineFromEachBandsParameter) {
    struct Factors {
        double atZero, atOne;
        float neutral;
    };
    const Factors table[kStageCount] = {{-1.0, 4.0, 0.2f},        {-1.2, 3.6, 0.25f},
                                        {-1.2987, 2.6013, 0.333f}, {-2.997, 6.003, 0.333f},
                                        {-19.98, 40.02, 0.333f},   {-1.2987, 2.6013, 0.333f}};
    auto factorsFor = [](float p) {
        std::atomic<float> bandParam[kStageCount];
        for (auto& value : bandParam) value.store(p);
        const ChainGains gains = chainGainsFor(bandParam);
        std::array<double, kStageCount> factor;
        for (int stage = 0; stage < kStageCount; ++stage) factor[stage] = gains.first[stage] * gains.second[stage];
        return factor;
    };
    const auto atZero = factorsFor(0.0f), atOne = factorsFor(1.0f), atTwo = factorsFor(2.0f);
    for (int stage = 0; stage < kStageCount; ++stage) {
        SCOPED_TRACE("S" + std::to_string(stage + 1));
        EXPECT_NEAR(atZero[stage], table[stage].atZero, 1e-12);
        EXPECT_NEAR(atOne[stage], table[stage].atOne, 1e-12);
        EXPECT_NEAR(atTwo[stage] - atOne[stage], atOne[stage] - atZero[stage], 1e-12) << "no clamping";
        const double atNeutral = factorsFor(table[stage].neutral)[stage];
        EXPECT_LT(std::abs(atNeutral), 3e-7) << "the default leaves the band practically untouched";
    }
}

TEST(ChainGainFactors, DefaultsLeaveExactlyZeroOnlyInTheSecondStage) {
    std::atomic<float> bandParam[kStageCount];
    const float defaults[kStageCount] = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};
    for (int band = 0; band < kStageCount; ++band) bandParam[band].store(defaults[band]);
    const ChainGains gains = chainGainsFor(bandParam);
    const double approximately[kStageCount] = {1.49e-8, 0.0, 1.67e-8, 3.86e-8, 2.57e-7, 1.67e-8};
    for (int stage = 0; stage < kStageCount; ++stage) {
        const double factor = gains.first[stage] * gains.second[stage];
        if (stage == 1) EXPECT_EQ(factor, 0.0);
        else EXPECT_NEAR(factor, approximately[stage], approximately[stage] * 0.01) << "S" << stage + 1;
    }
}

}  // namespace
