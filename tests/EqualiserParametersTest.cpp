// The six band parameters, their texts and the program name, as a host reads them.
#include "ModuleHarness.h"
#include "support/TruncatedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kUntouched(64, '#');

struct BandTexts {
    const char* name;
    float defaultValue;
    double displayOffset, displayScale;  // nominal dB = (value − offset) · scale
    const char* atZero;
    const char* atHalf;
    const char* atOne;
};

constexpr BandTexts kBands[6] = {
    {"80 Hz  ", 0.2f, 0.2, 32.0, "-6.40000", "9.600000", "25.60000"},
    {"400 Hz  ", 0.25f, 0.25, 33.5, "-8.37500", "8.375000", "25.12500"},
    {"1 kHz  ", 0.333f, 0.333, 35.0, "-11.6549", "5.844999", "23.34499"},
    {"2.5 kHz  ", 0.333f, 0.333, 35.0, "-11.6549", "5.844999", "23.34499"},
    {"5 kHz  ", 0.333f, 0.333, 35.0, "-11.6549", "5.844999", "23.34499"},
    {"12 kHz  ", 0.333f, 0.333, 35.0, "-11.6549", "5.844999", "23.34499"},
};

class EqualiserParameters : public ::testing::Test {
protected:
    void SetUp() override { RecordingHost::reset(); }
    ModuleInstance eq;
};

TEST_F(EqualiserParameters, StartAtTheirDefaultsShowingZero) {
    for (int band = 0; band < 6; ++band) {
        SCOPED_TRACE(band);
        EXPECT_EQ(eq.getParameter(band), kBands[band].defaultValue);
        EXPECT_EQ(eq.text(effGetParamName, band), kBands[band].name);
        EXPECT_EQ(eq.text(effGetParamLabel, band), "   dB ");
        EXPECT_EQ(eq.text(effGetParamDisplay, band), "0.000000");
    }
    EXPECT_EQ(eq.text(effGetProgramName), "Default");
}

TEST_F(EqualiserParameters, DisplayTheirNominalDecibelsCutNotRounded) {
    for (int band = 0; band < 6; ++band) {
        SCOPED_TRACE(band);
        eq.setParameter(band, 0.0f);
        EXPECT_EQ(eq.text(effGetParamDisplay, band), kBands[band].atZero);
        eq.setParameter(band, 0.5f);
        EXPECT_EQ(eq.text(effGetParamDisplay, band), kBands[band].atHalf);
        eq.setParameter(band, 1.0f);
        EXPECT_EQ(eq.text(effGetParamDisplay, band), kBands[band].atOne);

        // The nominal value is formed in double and rounded to float once: in float the last digit
        // would differ at about one slider position in twelve.
        for (int step = 0; step <= 1000; ++step) {
            const float value = static_cast<float>(step) / 1000.0f;
            eq.setParameter(band, value);
            const double nominalDb = (static_cast<double>(value) - kBands[band].displayOffset) * kBands[band].displayScale;
            ASSERT_EQ(eq.text(effGetParamDisplay, band), truncatedText(static_cast<float>(nominalDb))) << value;
        }
    }
}

TEST_F(EqualiserParameters, AreStoredUnclampedAndExactly) {
    eq.setParameter(0, 2.0f);
    EXPECT_EQ(eq.getParameter(0), 2.0f);
    EXPECT_EQ(eq.text(effGetParamDisplay, 0), "57.59999");
    eq.setParameter(3, -1.5f);
    EXPECT_EQ(eq.getParameter(3), -1.5f);
    eq.setParameter(4, 0.123456789f);
    EXPECT_EQ(eq.getParameter(4), 0.123456789f);
}

TEST_F(EqualiserParameters, OutsideTheSixBandsNothingIsReadOrWritten) {
    for (std::int32_t index : {6, 7, 100, -1, -6, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        eq.setParameter(index, 0.9f);
        EXPECT_EQ(eq.getParameter(index), 0.0f);
        EXPECT_EQ(eq.text(effGetParamName, index), kUntouched);
        EXPECT_EQ(eq.text(effGetParamLabel, index), kUntouched);
        EXPECT_EQ(eq.text(effGetParamDisplay, index), kUntouched);
    }
    for (int band = 0; band < 6; ++band) EXPECT_EQ(eq.getParameter(band), kBands[band].defaultValue);
}

TEST_F(EqualiserParameters, ProgramNameKeepsUpToThirtyOneCharacters) {
    std::string name31(31, 'x');
    name31.front() = 'A';
    eq.dispatch(effSetProgramName, 0, 0, name31.data());
    EXPECT_EQ(eq.text(effGetProgramName), name31);

    std::string tooLong = std::string(40, 'y') + "tail";
    eq.dispatch(effSetProgramName, 0, 0, tooLong.data());
    EXPECT_EQ(eq.text(effGetProgramName), tooLong.substr(0, 31)) << "cut, never written past the field";

    char empty[] = "";
    eq.dispatch(effSetProgramName, 0, 0, empty);
    EXPECT_EQ(eq.text(effGetProgramName), "");
}

TEST_F(EqualiserParameters, SampleRateAndBlockSizeChangeNoText) {
    eq.setParameter(1, 0.5f);
    eq.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    eq.dispatch(effSetBlockSize, 0, 64);
    EXPECT_EQ(eq.text(effGetParamDisplay, 1), "8.375000");
    EXPECT_EQ(eq.getParameter(1), 0.5f);
}

}  // namespace
