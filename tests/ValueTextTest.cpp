// The fixed-width number texts that hosts show beside parameters.
#include "plugin/EffectBase.h"
#include "plugin/ValueText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

class TextEffect : public EffectBase {
public:
    TextEffect() : EffectBase(nullptr, 1, 1) {}
    void processAdd(float**, float**, std::int32_t) override {}
};

template <typename Format, typename Value>
std::string written(Format format, Value value) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    format(value, buffer);
    EXPECT_LE(strnlen(buffer, sizeof buffer), 8u) << "more than 8 characters for " << value;
    return buffer;
}

std::string floatText(float value) { return written(formatFloatText, value); }
std::string intText(std::int32_t value) { return written(formatIntText, value); }

TEST(FloatText, CutsDigitsOffInAnEightCharacterField) {
    const std::pair<float, const char*> cases[] = {
        {0.0f, "0.000000"},        {-0.0f, "0.000000"},         {0.5f, "0.500000"},
        {-0.5f, "-0.50000"},       {0.00000001f, "0.000000"},   {3.14159265f, "3.141592"},
        {-6.4f, "-6.40000"},       {25.6f, "25.60000"},         {1234.5678f, "1234.567"},
        {123456.7f, "123456.7"},   {1234567.0f, "1234567."},    {9999999.0f, "9999999."},
        {-999999.0f, "-999999."},  {0.999999999f, "1.000000"},  {0.99999f, "0.999989"},
    };
    for (auto [value, text] : cases) EXPECT_EQ(floatText(value), text) << "value " << value;
}

TEST(FloatText, ShowsHugeBeyondTheField) {
    for (float value : {99999999.0f, 100000000.0f, -9999999.5f, 1e30f, -1e30f,
                        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()})
        EXPECT_EQ(floatText(value), " Huge!  ") << "value " << value;
}

TEST(FloatText, KeepsEveryIntegerDigitWhenThePointNoLongerFits) {
    EXPECT_EQ(floatText(12345678.0f), "12345678");
    EXPECT_EQ(floatText(10000000.0f), "10000000");
    EXPECT_EQ(floatText(99999992.0f), "99999992");
    EXPECT_EQ(floatText(-1234567.0f), "-1234567");
    EXPECT_EQ(floatText(-1000000.0f), "-1000000");
    EXPECT_EQ(floatText(-9999999.0f), "-9999999");
    EXPECT_EQ(floatText(-999999.5f), "-999999.") << "six digits still leave room for the point";
}

TEST(FloatText, ShowsNaNAsNegativeZero) {
    EXPECT_EQ(floatText(std::numeric_limits<float>::quiet_NaN()), "-0.00000");
}

TEST(IntText, RightAlignsInSevenAndRefusesWhatDoesNotFit) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "      0"},          {42, "     42"},          {-5, "     -5"},
        {1234567, "1234567"},    {12345678, "12345678"},  {99999999, "99999999"},
        {-1234567, "-1234567"},  {-9999999, "-9999999"},  {100000000, " Huge!  "},
        {INT32_MAX, " Huge!  "}, {-10000000, " Huge!  "}, {INT32_MIN, " Huge!  "},
    };
    for (auto [value, text] : cases) EXPECT_EQ(intText(value), text) << "value " << value;
}

TEST(LevelText, ShowsDecibelsOrNoLevel) {
    TextEffect effect;
    auto level = [&](float value) {
        return written([&](float v, char* text) { effect.levelToDbText(v, text); }, value);
    };
    EXPECT_EQ(level(1.0f), "0.000000");
    EXPECT_EQ(level(0.5f), "-6.02060");
    EXPECT_EQ(level(2.0f), "6.020600");
    EXPECT_EQ(level(10.0f), "20.00000");
    EXPECT_EQ(level(0.0000000001f), "-200.000");
    const std::string noLevel = "   -\xB0   ";
    for (float value : {0.0f, -0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(level(value), noLevel) << "value " << value;
}

TEST(SampleTexts, FollowTheEffectsSampleRate) {
    TextEffect effect;
    auto hz = [&](float samples) {
        return written([&](float v, char* text) { effect.samplesToHzText(v, text); }, samples);
    };
    auto ms = [&](float samples) {
        return written([&](float v, char* text) { effect.samplesToMsText(v, text); }, samples);
    };
    EXPECT_EQ(hz(100.0f), "441.0000");
    EXPECT_EQ(hz(1.0f), "44100.00");
    EXPECT_EQ(hz(0.0f), "0.000000");
    EXPECT_EQ(hz(std::numeric_limits<float>::quiet_NaN()), "0.000000");
    EXPECT_EQ(ms(441.0f), "10.00000");
    EXPECT_EQ(ms(44100.0f), "1000.000");
    EXPECT_EQ(ms(1024.0f), "23.21995");
    EXPECT_EQ(ms(0.0f), "0.000000");

    effect.setSampleRate(48000.0f);
    EXPECT_EQ(hz(100.0f), "480.0000");
    effect.setSampleRate(0.0f);
    EXPECT_EQ(ms(10.0f), " Huge!  ");
}

// A derived effect that replaces floatToText changes what the other conversions show.
TEST(SampleTexts, GoThroughTheVirtualFloatConversion) {
    class Marked : public TextEffect {
        void floatToText(float, char* text) override { std::strcpy(text, "marked"); }
    } effect;
    char text[16];
    effect.levelToDbText(1.0f, text);
    EXPECT_STREQ(text, "marked");
    effect.samplesToHzText(1.0f, text);
    EXPECT_STREQ(text, "marked");
    effect.samplesToMsText(1.0f, text);
    EXPECT_STREQ(text, "marked");
}

}  // namespace
