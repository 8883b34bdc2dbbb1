// The pure pieces behind --set and -o: parsing requests, finding parameters by name, reading a
// frequency out of a name, the bisection that turns a gain into a value, and output planning.
#include "eq/DesignedResponse.h"
#include "eq/SixBandEqualiser.h"
#include "host/commands/CommandLine.h"
#include "host/commands/ProcessCommand.h"
#include "host/measuring/JointGainSearch.h"
#include "host/measuring/ParameterRequest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(ParameterRequest, NamesOrIndicesWithNormalisedValuesOrGains) {
    const auto byName = parseParameterRequest("  2.5 kHz = -3 dB ");
    EXPECT_EQ(byName.name, "2.5 kHz");
    EXPECT_FALSE(byName.index);
    EXPECT_TRUE(byName.isGain);
    EXPECT_EQ(byName.value, -3.0);

    const auto byIndex = parseParameterRequest("3=0.8");
    EXPECT_EQ(byIndex.index, 3);
    EXPECT_FALSE(byIndex.isGain);
    EXPECT_FLOAT_EQ(byIndex.value, 0.8);

    EXPECT_EQ(parseParameterRequest("80 Hz=+6dB").value, 6.0);
    EXPECT_EQ(parseParameterRequest("80 Hz=+6DB").value, 6.0);
    EXPECT_EQ(parseParameterRequest("x=-0.25").value, -0.25);
    EXPECT_EQ(parseParameterRequest("a=b=1").name, "a=b") << "the value follows the last '='";
    const auto percent = parseParameterRequest("80 Hz=50 %");
    EXPECT_EQ(percent.unit, "%");
    EXPECT_EQ(percent.value, 50.0);
    EXPECT_FALSE(percent.isGain);
    EXPECT_EQ(parseParameterRequest("Delay=2.5e1ms").unit, "ms");
    EXPECT_EQ(parseParameterRequest("Delay=2.5e1ms").value, 25.0);
}

TEST(ParameterRequest, WhatDoesNotParseIsAUsageError) {
    for (const char* text : {"80 Hz", "=0.5", " =0.5", "80 Hz=", "80 Hz=loud", "80 Hz=6 dB extra", "80 Hz=dB",
                             "80 Hz=nan", "80 Hz=inf dB", "80 Hz=0x10", "80 Hz=1e999", "99999999999=1"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseParameterRequest(text), UsageError);
    }
}

TEST(ParameterRequest, NamesMatchTrimmedRegardlessOfCaseOrAsFrequenciesAreWritten) {
    const std::vector<std::string> names{"80 Hz  ", "400 Hz  ", "1 kHz  ", "2.5 kHz  ", "12 kHz  "};
    EXPECT_EQ(findParameterIndex(parseParameterRequest("80 hz=1"), names), 0);
    EXPECT_EQ(findParameterIndex(parseParameterRequest("1 KHZ=1"), names), 2);
    EXPECT_EQ(findParameterIndex(parseParameterRequest("3=1"), names), 3) << "a bare integer stays an index";
    EXPECT_THROW(findParameterIndex(parseParameterRequest("5=1"), names), UsageError);
    for (const auto& [typed, index] : {std::pair{"80Hz", 0}, {"400hz", 1}, {"1k", 2}, {"1kHz", 2}, {"1000 Hz", 2},
                                       {"2.5k", 3}, {"2500 Hz", 3}, {"12k", 4}, {"12 kHz", 4}})
        EXPECT_EQ(findParameterIndex(parseParameterRequest(std::string(typed) + "=+1dB"), names), index) << typed;
    EXPECT_THROW(findParameterIndex(parseParameterRequest("5k=1"), names), UsageError);
    try {
        findParameterIndex(parseParameterRequest("4OO Hz=1"), names);
        ADD_FAILURE() << "a misspelt name was taken";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find("did you mean \"400 Hz\""), std::string::npos) << error.what();
    }
    EXPECT_THROW(findParameterIndex(parseParameterRequest("Gain=1"), {"Gain", "gain "}), UsageError);
}

TEST(ParameterRequest, FrequenciesInNames) {
    EXPECT_EQ(frequencyInName("80 Hz  "), 80.0);
    EXPECT_EQ(frequencyInName("2.5 kHz  "), 2500.0);
    EXPECT_EQ(frequencyInName("Low shelf 120Hz"), 120.0);
    EXPECT_EQ(frequencyInName("12KHZ"), 12000.0);
    EXPECT_FALSE(frequencyInName("Gain"));
    EXPECT_FALSE(frequencyInName("Band 3"));
}

TEST(ParameterRequest, NumbersAtTheStartOfDisplayTexts) {
    EXPECT_EQ(numberInText("-6.40000"), -6.4);
    EXPECT_EQ(numberInText(" 12.5 dB"), 12.5);
    EXPECT_EQ(numberInText("+3"), 3.0);
    EXPECT_FALSE(numberInText(" Huge!  "));
    EXPECT_FALSE(numberInText("soft"));
}

TEST(GainBisection, FindsTheValueOfARisingOrFallingMeasure) {
    const Measure rising = [](float v) { return 20.0 * std::log10(0.1 + 3.0 * v); };
    const auto bracket = findBracket(rising, 0.0, 0.0f, 1.0f, false);
    ASSERT_TRUE(bracket);
    EXPECT_NEAR(bisectToTarget(rising, 0.0, *bracket), 0.3f, 1e-7);

    const Measure falling = [](float v) { return 10.0 - 20.0 * v; };
    const auto fallingBracket = findBracket(falling, -5.0, 0.0f, 1.0f, false);
    ASSERT_TRUE(fallingBracket);
    EXPECT_FLOAT_EQ(bisectToTarget(falling, -5.0, *fallingBracket), 0.75f);
}

TEST(GainBisection, StopsAtTheToleranceGiven) {
    int calls = 0;
    const Measure counted = [&](float v) {
        ++calls;
        return static_cast<double>(v);
    };
    const float value = bisectToTarget(counted, 0.3, {0.0f, 1.0f}, 0.01);
    EXPECT_NEAR(value, 0.3, 0.01);
    EXPECT_LT(calls, 12);
}

TEST(GainBisection, OutOfReachUnlessWideningIsAllowed) {
    const Measure line = [](float v) { return static_cast<double>(v) * 10.0; };
    EXPECT_FALSE(findBracket(line, 15.0, 0.0f, 1.0f, false));
    const auto above = findBracket(line, 15.0, 0.0f, 1.0f, true);
    ASSERT_TRUE(above);
    EXPECT_NEAR(bisectToTarget(line, 15.0, *above), 1.5f, 1e-6);
    const auto below = findBracket(line, -25.0, 0.0f, 1.0f, true);
    ASSERT_TRUE(below);
    EXPECT_NEAR(bisectToTarget(line, -25.0, *below), -2.5f, 1e-6);
    EXPECT_FALSE(findBracket(line, 5000.0, 0.0f, 1.0f, true)) << "widening stops at its limit";
}

TEST(GainBisection, WideningFindsANarrowDipNextToTheRange) {
    // A cut that deepens to a null just below 0 and rises again: coarse steps would leap over it.
    const Measure dip = [](float v) { return 20.0 * std::log10(std::abs(v + 0.1f) + 1e-3); };
    const auto bracket = findBracket(dip, -40.0, 0.0f, 1.0f, true);
    ASSERT_TRUE(bracket);
    EXPECT_NEAR(dip(bisectToTarget(dip, -40.0, *bracket)), -40.0, 0.01);
}

// The equaliser's overlapping bands, as their design gives them: six requests met together in a
// few steps of the module's measurement, from its defaults; one out of reach fails at once.
TEST(JointGainSearch, MeetsOverlappingBandsTogetherInAFewMeasurements) {
    const SixBandEqualiser design(nullptr);
    const DesignedResponse response(design);
    int measurements = 0;
    const GainsAt gainsAt = [&](const std::vector<float>& values) {
        ++measurements;
        float settings[kStageCount];
        std::copy(values.begin(), values.end(), settings);
        std::vector<double> gains;
        for (double hz : kBandFrequencyHz) gains.push_back(decibels(response.magnitude(settings, hz, 44100.0)));
        return gains;
    };
    const std::vector<float> defaults = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};
    const std::vector<double> targets = {6.0, -3.0, 2.0, -6.0, 4.0, -2.0};
    const auto values = searchGainsJointly(gainsAt, targets, defaults, 0.0f, 1.0f, 0.0002);
    ASSERT_TRUE(values);
    const std::vector<double> met = gainsAt(*values);
    for (int band = 0; band < kStageCount; ++band) EXPECT_NEAR(met[band], targets[band], 0.0002) << band;
    EXPECT_LE(measurements, 40);

    measurements = 0;
    std::vector<double> outOfReach = targets;
    outOfReach[0] = 40.0;
    EXPECT_FALSE(searchGainsJointly(gainsAt, outOfReach, defaults, 0.0f, 1.0f, 0.0002));
    EXPECT_LE(measurements, 200);
}

TEST(OutputPlan, OneFileOrAFolderOfThem) {
    const auto single = planOutputs({"a/in.wav"}, "out.flac");
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].output, "out.flac");
    const auto several = planOutputs({"a/one.wav", "b/two.wav"}, "results");
    ASSERT_EQ(several.size(), 2u);
    EXPECT_EQ(several[0].output, "results/one.wav");
    EXPECT_EQ(several[1].output, "results/two.wav");
    EXPECT_EQ(planOutputs({"in.wav"}, "results/")[0].output, "results/in.wav");
    EXPECT_THROW(planOutputs({"a/same.wav", "b/same.wav"}, "results"), UsageError);
    EXPECT_THROW(planOutputs({"a/in.wav"}, "a/./in.wav"), UsageError);
    EXPECT_THROW(planOutputs({"a/in.wav", "b/in2.wav"}, "a"), UsageError);
}

}  // namespace
