// `sixband response` and gain requests, end to end: the measured response, and what a gain request
// does to a sine at the band's named frequency.
#include "CliRun.h"
#include "eq/BandDesign.h"
#include "tests/support/Response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

namespace {

constexpr int kRate = 44100;

// The gain the program's output shows at frequencyHz for an impulse run through `sixband process`:
// the same definition of "measured gain" as the program's, computed here by a plain DFT at that one
// frequency. The impulse stands far above full scale (a float file holds it), so that the constant
// offset the equaliser leaves on its own (1.6e-4 with the 80 Hz band at 1.0) is negligible beside
// it; the program measures another way, subtracting a run on silence.
double measuredGainDb(const TempFolder& folder, const std::vector<std::string>& settings, double frequencyHz,
                      const std::vector<std::string>& extra = {}) {
    constexpr std::size_t kFrames = 65536;
    constexpr float kLevel = 1024.0f;
    std::vector<float> impulse(kFrames, 0.0f);
    impulse[0] = kLevel;
    writeAudio(folder / "impulse.wav", {impulse, impulse}, kRate);
    std::vector<std::string> args{"process", "impulse.wav", "-o", "response.wav"};
    for (const auto& s : settings) args.insert(args.end(), {"--set", s});
    args.insert(args.end(), extra.begin(), extra.end());
    const auto run = runSixband(args, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Audio out = readAudio(folder / "response.wav");
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < kFrames; ++n)
        sum += static_cast<double>(out.channels[0][n] / kLevel) *
               std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz * static_cast<double>(n) / kRate);
    return 20.0 * std::log10(std::abs(sum));
}

std::vector<std::pair<double, double>> readCsv(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frequency_hz,gain_db");
    std::vector<std::pair<double, double>> rows;
    while (std::getline(in, line)) {
        const auto comma = line.find(',');
        rows.emplace_back(std::stod(line.substr(0, comma)), std::stod(line.substr(comma + 1)));
    }
    return rows;
}

TEST(ResponseCommand, DefaultSettingsAreFlatWithinAHundredthOfADecibel) {
    TempFolder folder;
    const auto run = runSixband({"response", "-o", "flat.csv"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = readCsv(fileBytes(folder / "flat.csv"));
    ASSERT_EQ(rows.size(), 32768u);
    EXPECT_NEAR(rows.back().first, kRate / 2.0, 1e-6);
    for (const auto& [hz, db] : rows) ASSERT_NEAR(db, 0.0, 0.01) << "at " << hz << " Hz";
}

// What the module adds on its own, a constant offset that builds up over the first milliseconds,
// stays out of the measurement: with a unit impulse alone it would bend the response by 0.3 dB
// at 20 Hz.
TEST(ResponseCommand, ABoostFollowsTheDesignedSectionsFrom20Hz) {
    TempFolder folder;
    const auto run = runSixband({"response", "--set", "80 Hz=1", "-o", "boost.csv"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    DesignScratch scratch{};
    const StageCoeffs<double> s1 = designBandPass(scratch, kStageEdges[0].wu, kStageEdges[0].wl);
    for (const auto& [hz, db] : readCsv(fileBytes(folder / "boost.csv"))) {
        if (hz < 20.0) continue;
        // Band 0 at 1.0 makes S1's section 1 + 4·H; the others are practically transparent.
        const double designedDb = 20.0 * std::log10(std::abs(1.0 + 4.0 * stageResponse(s1, hz)));
        ASSERT_NEAR(db, designedDb, 0.01) << "at " << hz << " Hz";
    }
}

struct GainCase {
    const char* band;
    double frequencyHz;
    const char* gain;
    double gainDb;
};

TEST(ResponseCommand, AGainRequestGivesThatMeasuredGainAtTheNamedFrequency) {
    TempFolder folder;
    for (const GainCase& c : {GainCase{"80 Hz", 80, "+6dB", 6}, GainCase{"400 Hz", 400, "-4 dB", -4},
                              GainCase{"1 kHz", 1000, "+3dB", 3}, GainCase{"2.5 kHz", 2500, "-6dB", -6},
                              GainCase{"5 kHz", 5000, "+8 dB", 8}, GainCase{"12 kHz", 12000, "-5dB", -5}}) {
        SCOPED_TRACE(std::string(c.band) + " " + c.gain);
        EXPECT_NEAR(measuredGainDb(folder, {std::string(c.band) + "=" + c.gain}, c.frequencyHz), c.gainDb, 0.1);
    }
}

TEST(ResponseCommand, AtAnotherModuleRateTheGainIsWhatTheFileGetsAtTheNamedFrequency) {
    // The module at 96 kHz on 44.1 kHz audio: its 80 Hz lands at 36.75 Hz in the file. Measured
    // in the module's time base, "+6dB" would give the file about +13 dB at 80 Hz.
    TempFolder folder;
    EXPECT_NEAR(measuredGainDb(folder, {"80 Hz=+6dB"}, 80, {"--rate", "96000"}), 6.0, 0.1);
    EXPECT_NEAR(measuredGainDb(folder, {"5 kHz=-4dB"}, 5000, {"--rate", "32000"}), -4.0, 0.1);
}

TEST(ResponseCommand, GainRequestsOnOverlappingBandsHoldTogether) {
    TempFolder folder;
    // 1 kHz and 2.5 kHz share 1.2 - 1.85 kHz: each setting moves the other's gain.
    const std::vector<std::string> settings{"1 KHZ =+6dB", "2.5 kHz=-6dB", "80 hz=+3dB"};
    EXPECT_NEAR(measuredGainDb(folder, settings, 1000), 6.0, 0.1);
    EXPECT_NEAR(measuredGainDb(folder, settings, 2500), -6.0, 0.1);
    EXPECT_NEAR(measuredGainDb(folder, settings, 80), 3.0, 0.1);
}

TEST(ResponseCommand, TheChosenValueIsPrintedBesideItsDisplayText) {
    TempFolder folder;
    const auto run = runSixband({"response", "--set", "80 Hz=+6dB"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The value chosen is not the nominal display scale's: that would show "6.000000".
    EXPECT_NE(run.out.find("+6.00 dB measured at 80 Hz"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("6.000000"), std::string::npos) << run.out;
}

TEST(ResponseCommand, AGainBeyondTheBandsReachNeedsAllowOutside) {
    TempFolder folder;
    const auto refused = runSixband({"response", "--set", "80 Hz=+18dB"}, folder.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--allow-outside"), std::string::npos) << refused.err;
    EXPECT_EQ(lineCount(refused.err), 1u);
    const auto allowed = runSixband({"response", "--set", "80 Hz=+18dB", "--allow-outside"}, folder.path());
    ASSERT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_NE(allowed.out.find("+18.00 dB measured at 80 Hz"), std::string::npos) << allowed.out;
}

TEST(ResponseCommand, NamesWithoutAFrequencyAreMatchedOnTheDisplayTextAndSaySo) {
    TempFolder folder;
    const auto left = noise(2000, 11);
    writeAudio(folder / "in.wav", {left, left}, kRate);
    const auto run = runSixband({"process", "in.wav", "-o", "out.wav", "--plugin", FAKE_GainPeer, "--set", "Gain=+6dB"},
                                folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("names no frequency"), std::string::npos) << run.out;
    const Audio out = readAudio(folder / "out.wav");
    // The fake's display is 20·log10(2·value), to three decimals.
    EXPECT_NEAR(20.0 * std::log10(out.channels[0][7] / left[7]), 6.0, 0.001);

    const auto wordy = runSixband({"process", "in.wav", "-o", "out2.wav", "--plugin", FAKE_GainPeer, "--set", "mode=+6dB"},
                                  folder.path());
    EXPECT_EQ(wordy.exitCode, 2) << "a display in words shows no dB to match";
    EXPECT_NE(wordy.err.find("shows \"soft\", not dB"), std::string::npos) << wordy.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "out2.wav"));
    // A band's percentage is a normalised value; the table gives every band's gain and marks the
    // ones a neighbour's request moved, with the request that holds them.
    const auto bands = runSixband({"process", "in.wav", "-o", "out3.wav", "--set", "80Hz=50%", "--set", "2.5k=-6dB"},
                                  folder.path());
    ASSERT_EQ(bands.exitCode, 0) << bands.err;
    EXPECT_NE(bands.out.find("0.5"), std::string::npos) << bands.out;
    EXPECT_NE(bands.out.find("-6.00 dB measured at 2.5 kHz"), std::string::npos) << bands.out;
    EXPECT_NE(bands.out.find("measured at 400 Hz; moved by the others (--set \"400 Hz=0dB\" holds it)"), std::string::npos)
        << bands.out;
    EXPECT_EQ(bands.out.find("at 12 kHz; moved"), std::string::npos) << bands.out;
}

TEST(ResponseCommand, PlotsAreWrittenAsPngOrSvgWithTheBandNames) {
    TempFolder folder;
    ASSERT_EQ(runSixband({"response", "--set", "2.5 kHz=-6dB", "-o", "plot.png"}, folder.path()).exitCode, 0);
    ASSERT_EQ(runSixband({"response", "--set", "2.5 kHz=-6dB", "-o", "plot.svg", "--rate", "48000"}, folder.path()).exitCode, 0);
    EXPECT_EQ(fileBytes(folder / "plot.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    const std::string svg = fileBytes(folder / "plot.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    for (const char* band : {"80 Hz", "400 Hz", "1 kHz", "2.5 kHz", "5 kHz", "12 kHz"})
        EXPECT_NE(svg.find(std::string(">") + band + "</text>"), std::string::npos) << band;
    EXPECT_NE(svg.find("2.5 kHz=-6dB (48000 Hz)</text>"), std::string::npos) << "the title";
    EXPECT_EQ(folder.listing(), (std::set<std::string>{"plot.png", "plot.svg"}));
}

TEST(ResponseCommand, AtOtherRatesTheBandsMoveAndTheProgramSaysBy) {
    TempFolder folder;
    const auto run = runSixband({"response", "--rate", "48000", "--set", "0=1"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("1.0884"), std::string::npos) << run.out;
    // Told by measuring: a module whose band follows the rate gets no such note.
    const auto following = runSixband({"response", "--rate", "48000", "--set", "1k=+3dB", "--plugin", FAKE_RateFollowingBand},
                                      folder.path());
    ASSERT_EQ(following.exitCode, 0) << following.err;
    EXPECT_NE(following.out.find("+3.00 dB measured at 1 kHz"), std::string::npos) << following.out;
    EXPECT_EQ(following.out.find("note:"), std::string::npos) << following.out;
    EXPECT_EQ(runSixband({"response", "--rate", "4000", "-o", "low.png"}, folder.path()).exitCode, 2);
}

}  // namespace
