// Outputs larger than a 32-bit header can count. Slow (it writes over 6 GB) and kept out of the
// sanitizer runs; it skips, saying why, where the temporary folder has too little room.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kRate = 192000;
// Eight bytes a frame (mono, 64-bit float) take the audio 2 MiB past 4 GiB.
constexpr sf_count_t kFrames = (sf_count_t{1} << 29) + (sf_count_t{1} << 18);
constexpr sf_count_t kToneFrames = 4096;

// Silence and then a tone, as 16-bit FLAC, which keeps the silence to a few bytes a block.
void writeCompactInput(const std::filesystem::path& path) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<short> block(1 << 20, 0);
    for (sf_count_t left = kFrames - kToneFrames; left > 0; left -= static_cast<sf_count_t>(block.size()))
        sf_writef_short(file, block.data(), std::min<sf_count_t>(left, static_cast<sf_count_t>(block.size())));
    const auto tone = sine(kToneFrames, 1000.0, kRate, 0.5f);
    std::vector<short> codes(tone.size());
    for (std::size_t i = 0; i < tone.size(); ++i) codes[i] = static_cast<short>(std::lround(tone[i] * 32768.0f));
    sf_writef_short(file, codes.data(), kToneFrames);
    ASSERT_EQ(sf_close(file), 0);
}

TEST(LargeOutput, AWavPast4GiBIsRF64ReadWholeAndTypesThatCannotHoldItAreRefused) {
    TempFolder folder;
    const auto space = std::filesystem::space(folder.path());
    if (space.available < 10'000'000'000ull)
        GTEST_SKIP() << "needs 10 GB free in " << folder.path().parent_path() << ", which has "
                     << space.available / 1'000'000 << " MB";
    writeCompactInput(folder / "in.flac");

    // Known not to fit: refused before anything is written, naming types that can hold it.
    const auto before = folder.listing();
    const RunResult aiff = runSixband({"process", "in.flac", "-o", "big.aiff", "--format", "double"}, folder.path());
    EXPECT_EQ(aiff.exitCode, 2) << aiff.err;
    EXPECT_NE(aiff.err.find("AIFF"), std::string::npos) << aiff.err;
    EXPECT_NE(aiff.err.find(".w64"), std::string::npos) << aiff.err;
    EXPECT_EQ(folder.listing(), before);
    // Of unknown length, from a pipe: stopped at the limit, with nothing left behind.
    const RunResult piped = runShell("$SIXBAND process in.flac -o - --type au -q | "
                                     "$SIXBAND process - -o big.aiff --format double -q",
                                     folder.path());
    EXPECT_EQ(piped.exitCode, 1) << piped.err;
    EXPECT_NE(piped.err.find("hold at most"), std::string::npos) << piped.err;
    EXPECT_EQ(folder.listing(), before);

    const RunResult run = runSixband({"process", "in.flac", "-o", "big.wav", "--format", "double", "-q"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    SF_INFO info{};
    SNDFILE* file = sf_open((folder / "big.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_EQ(info.frames, kFrames);
    // The end is where it belongs: neutral settings give back the tone.
    ASSERT_EQ(sf_seek(file, kFrames - kToneFrames, SEEK_SET), kFrames - kToneFrames);
    std::vector<double> end(kToneFrames);
    EXPECT_EQ(sf_readf_double(file, end.data(), kToneFrames), kToneFrames);
    sf_close(file);
    const auto tone = sine(kToneFrames, 1000.0, kRate, 0.5f);
    double worst = 0.0;
    for (std::size_t i = 0; i < end.size(); ++i) worst = std::max(worst, std::abs(end[i] - tone[i]));
    EXPECT_LT(worst, 1e-4);

    const RunResult sox = runProgram({"soxi", "-s", "big.wav"}, folder.path());
    if (sox.exitCode == 127) GTEST_SKIP() << "sox is not installed: the read-back by sox was left out";
    EXPECT_EQ(sox.out, std::to_string(kFrames) + "\n") << sox.err;
}

}  // namespace
