// `sixband process` end to end: the program on generated files, compared with the module driven
// directly through its record.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <limits>
#include <random>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <thread>

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kFrames = 3 * kRate + 123;  // not a multiple of any block size used

void expectSameBits(const std::vector<float>& actual, const std::vector<float>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(actual[i]), std::bit_cast<std::uint32_t>(expected[i])) << "sample " << i;
}

TEST(ProcessCommand, StereoFloatFileEqualsTheModuleRunDirectlyBitForBit) {
    TempFolder folder;
    const Channels input{noise(kFrames, 1), noise(kFrames, 2)};
    writeAudio(folder / "in.wav", input, kRate);
    for (const char* block : {"1", "512", "4096"}) {
        SCOPED_TRACE(std::string("block ") + block);
        // A parameter set twice keeps the later value, whether the earlier was a gain or a value.
        const auto run = runSixband({"process", "in.wav", "-o", "out.wav", "--plugin", SIXBAND_MODULE_PATH, "--set",
                                     "80 Hz=+3dB", "--set", "0=0.9", "--set", "2.5 kHz=0.05", "--set", "5=0.1",
                                     "--set", "12 kHz=0.7", "--block", block},
                                    folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Audio output = readAudio(folder / "out.wav");
        EXPECT_EQ(output.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        const Channels expected = processDirectly(SIXBAND_MODULE_PATH, input, {{0, 0.9f}, {3, 0.05f}, {5, 0.7f}});
        ASSERT_EQ(output.channels.size(), 2u);
        expectSameBits(output.channels[0], expected[0]);
        expectSameBits(output.channels[1], expected[1]);
    }
}

TEST(ProcessCommand, MonoFileFeedsBothInputsAndIsWrittenAsMono) {
    TempFolder folder;
    const auto mono = noise(kFrames, 3);
    writeAudio(folder / "mono.wav", {mono}, kRate);
    const auto run = runSixband({"process", "mono.wav", "-o", "out.wav", "--set", "1=0.8"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio output = readAudio(folder / "out.wav");
    ASSERT_EQ(output.channels.size(), 1u);
    const Channels expected = processDirectly(SIXBAND_MODULE_PATH, {mono, mono}, {{1, 0.8f}});
    expectSameBits(output.channels[0], expected[0]);
    expectSameBits(expected[1], expected[0]);
}

TEST(ProcessCommand, ParallelJobsWriteTheSameBytesAsOneAtATime) {
    TempFolder folder;
    std::vector<std::string> inputs;
    for (unsigned i = 0; i < 5; ++i) {
        const std::string name = "in" + std::to_string(i) + ".wav";
        // Mixed shapes and rates, so that jobs differ in length and in their resolved settings.
        const int rate = i % 2 ? 48000 : kRate;
        if (i == 3) writeAudio(folder / name, {noise(kFrames / 2, 10 + i)}, rate);
        else writeAudio(folder / name, {noise(kFrames + i * 1000, 10 + i), noise(kFrames + i * 1000, 20 + i)}, rate);
        inputs.push_back(name);
    }
    // Into FLAC, 24-bit from float input, dithered: the dither too must not depend on the job.
    const auto runInto = [&](const std::string& folderName, const std::string& jobs) {
        std::vector<std::string> args{"process"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"-o", folderName + "/", "--jobs", jobs, "--type", "flac", "--dither", "--set",
                                 "80 Hz=+4dB", "--set", "5 kHz=0.1"});
        return runSixband(args, folder.path());
    };
    const auto serial = runInto("serial", "1");
    ASSERT_EQ(serial.exitCode, 0) << serial.err;
    const auto parallel = runInto("parallel", "4");
    ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
    for (const auto& input : inputs) {
        const std::string name = std::filesystem::path(input).replace_extension(".flac").string();
        SCOPED_TRACE(name);
        const std::string bytes = fileBytes(folder / "serial" / name);
        EXPECT_GT(bytes.size(), 1000u);
        EXPECT_EQ(fileBytes(folder / "parallel" / name), bytes);
        EXPECT_EQ(readAudio(folder / "serial" / name).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    }
}

TEST(ProcessCommand, IntegerOutputClipsAtFullScaleAndCountsTheClippedSamples) {
    TempFolder folder;
    std::vector<float> loud(1000, 0.25f);
    for (std::size_t i = 0; i < 7; ++i) loud[100 + i] = 1.5f;
    for (std::size_t i = 0; i < 5; ++i) loud[500 + i] = -1.75f;
    writeAudio(folder / "loud.wav", {loud}, kRate);
    const auto run = runSixband({"process", "loud.wav", "-o", "out.wav", "--format", "pcm16"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("12 samples clipped"), std::string::npos) << run.err;
    const Audio output = readAudio(folder / "out.wav");
    EXPECT_EQ(output.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(output.channels[0][103], 0.999f) << "a positive overload must saturate, not wrap negative";
    EXPECT_LE(output.channels[0][502], -1.0f);

    EXPECT_NE(run.err.find("--format float"), std::string::npos) << run.err;
    // FLAC holds no float samples: the hint must not offer one.
    const auto flac = runSixband({"process", "loud.wav", "-o", "out.flac"}, folder.path());
    EXPECT_NE(flac.err.find("12 samples clipped"), std::string::npos) << flac.err;
    EXPECT_NE(flac.err.find("hold no float samples"), std::string::npos) << flac.err;

    const auto floatRun = runSixband({"process", "loud.wav", "-o", "float.wav"}, folder.path());
    ASSERT_EQ(floatRun.exitCode, 0) << floatRun.err;
    EXPECT_EQ(floatRun.err, "") << "float output never clips";
    EXPECT_GT(readAudio(folder / "float.wav").channels[0][103], 1.4f);
}

TEST(ProcessCommand, NonFiniteSamplesAreSilencedAndReportedApartFromClippingWhichLossyTypesCountToo) {
    TempFolder folder;
    Channels input{noise(kFrames, 3), noise(kFrames, 4)};
    input[0][kRate] = std::numeric_limits<float>::quiet_NaN();
    input[1][2 * kRate + 5] = std::numeric_limits<float>::infinity();
    writeAudio(folder / "in.wav", input, kRate);
    // The module's mend keeps a NaN to the call it arrives in: the count is the module's to give.
    Channels expected = processDirectly(SIXBAND_MODULE_PATH, input, {{0, 0.9f}}, 512);
    std::size_t nonFinite = 0;
    for (auto& channel : expected)
        for (float& x : channel)
            if (!std::isfinite(x)) x = 0.0f, ++nonFinite;
    ASSERT_GT(nonFinite, 0u);
    const std::string report = "sixband: out.wav: " + std::to_string(nonFinite) +
                               " samples were not numbers after a NaN or infinity in the input at 0:01.000; "
                               "written as silence\n";
    const auto run = runSixband({"process", "in.wav", "-o", "out.wav", "--set", "0=0.9", "-q"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, report);
    const Audio output = readAudio(folder / "out.wav");
    expectSameBits(output.channels[0], expected[0]);
    expectSameBits(output.channels[1], expected[1]);
    const auto integer = runSixband({"process", "in.wav", "-o", "out.wav", "--set", "0=0.9", "--format", "pcm16", "-q"},
                                    folder.path());
    EXPECT_EQ(integer.err, report) << "a NaN is no clipping";

    // A lossy encoder saturates what is over full scale: counted before it gets there.
    const auto bass = sine(kFrames, 80.0, kRate, 0.9f);
    writeAudio(folder / "bass.wav", {bass, bass}, kRate);
    std::size_t over = 0;
    for (const auto& channel : processDirectly(SIXBAND_MODULE_PATH, {bass, bass}, {{0, 1.0f}}, 512))
        over += static_cast<std::size_t>(std::count_if(channel.begin(), channel.end(), [](float x) { return std::abs(x) > 1.0f; }));
    ASSERT_GT(over, 0u);
    const auto mp3 = runSixband({"process", "bass.wav", "-o", "bass.mp3", "--set", "0=1", "-q"}, folder.path());
    ASSERT_EQ(mp3.exitCode, 0) << mp3.err;
    EXPECT_EQ(mp3.err.rfind("sixband: bass.mp3: " + std::to_string(over) + " samples clipped at full scale", 0), 0u)
        << mp3.err;
}

TEST(ProcessCommand, IntegerFilesComeBackBitForBitWithTheirFormatAndStrings) {
    TempFolder folder;
    const auto codes = [](unsigned seed, int bits) {
        const std::int32_t top = (1 << (bits - 1)) - 1;
        std::mt19937 generator(seed);
        std::uniform_int_distribution<std::int32_t> uniform(-top - 1, top);
        std::vector<std::int32_t> samples(20000);
        for (auto& s : samples) s = uniform(generator);
        // Both full-scale codes, and the smallest steps around zero.
        samples[10] = top;
        samples[11] = -top - 1;
        samples[12] = 1;
        samples[13] = -1;
        for (auto& s : samples) s = static_cast<std::int32_t>(static_cast<std::uint32_t>(s) << (32 - bits));
        return samples;
    };
    const std::vector<std::pair<int, std::string>> strings{{SF_STR_TITLE, "Night Song"}, {SF_STR_ARTIST, "Ana"}};
    for (const auto& [name, format, bits] : std::vector<std::tuple<std::string, int, int>>{
             {"in16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16},
             {"in24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24},
             {"in16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16},
             {"in24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24}}) {
        SCOPED_TRACE(name);
        const IntegerChannels input{codes(1, bits), codes(2, bits)};
        writeIntegerAudio(folder / name, input, kRate, format, strings);
        const std::string out = "out-" + name;
        const auto run = runSixband({"process", name, "-o", out}, folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(readAudio(folder / out).format, format);
        EXPECT_EQ(readIntegerAudio(folder / out), input);
        EXPECT_EQ(stringField(folder / out, SF_STR_TITLE), "Night Song");
        EXPECT_EQ(stringField(folder / out, SF_STR_ARTIST), "Ana");
    }

    // Dither: within one step of the input, different in each channel, the same on every run.
    const IntegerChannels same{codes(3, 16), codes(3, 16)};
    writeIntegerAudio(folder / "same.wav", same, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(runSixband({"process", "same.wav", "-o", "d1.wav", "--dither"}, folder.path()).exitCode, 0);
    ASSERT_EQ(runSixband({"process", "same.wav", "-o", "d2.wav", "--dither"}, folder.path()).exitCode, 0);
    EXPECT_EQ(fileBytes(folder / "d1.wav"), fileBytes(folder / "d2.wav"));
    const auto dithered = readIntegerAudio(folder / "d1.wav");
    EXPECT_NE(dithered[0], dithered[1]) << "each channel has its own dither";
    std::size_t changed = 0;
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < same[c].size(); ++i) {
            const std::int64_t step = (std::int64_t{dithered[c][i]} - same[c][i]) / 65536;
            ASSERT_LE(std::abs(step), 1) << "sample " << i;
            changed += step != 0;
        }
    // TPDF of ±1 LSB moves a sample on an exact code in a quarter of the cases (each way 1/8).
    EXPECT_NEAR(static_cast<double>(changed) / (2.0 * same[0].size()), 0.25, 0.02);
}

// The table's values are the shortest text of the float set: typed back, they give the same run.
TEST(ProcessCommand, ATablesValuesTypedBackGiveTheSameBytes) {
    TempFolder folder;
    writeAudio(folder / "in.wav", {noise(4410, 8), noise(4410, 9)}, kRate);
    const auto byGain = runSixband({"process", "in.wav", "-o", "gain.wav", "--format", "float", "--set", "80 Hz=+6dB",
                                    "--set", "2.5k=-4dB"},
                                   folder.path());
    ASSERT_EQ(byGain.exitCode, 0) << byGain.err;
    std::vector<std::string> retyped = {"process", "in.wav", "-o", "typed.wav", "--format", "float"};
    std::istringstream rows(byGain.out);
    for (std::string row; std::getline(rows, row);) {
        std::smatch cells;
        if (std::regex_search(row, cells, std::regex(R"(^ +([03])  \S+ \S*  +(\S+) )")))
            retyped.insert(retyped.end(), {"--set", cells[1].str() + "=" + cells[2].str()});
    }
    ASSERT_EQ(retyped.size(), 10u) << byGain.out;
    ASSERT_EQ(runSixband(retyped, folder.path()).exitCode, 0);
    EXPECT_EQ(fileBytes(folder / "gain.wav"), fileBytes(folder / "typed.wav"));
}

// Lossy outputs are high by default, follow --quality and --bitrate-mode, and about keep the
// bitrate of a lossy input; an option a type has no use for is refused or named as ignored.
TEST(ProcessCommand, LossyOutputsFollowTheQualityAskedForOrTheInputs) {
    TempFolder folder;
    constexpr int kSeconds = 4;
    writeAudio(folder / "in.wav", {noise(kSeconds * kRate, 6), noise(kSeconds * kRate, 7)}, kRate);
    const auto kbps = [&](const char* name) { return fileBytes(folder / name).size() * 8.0 / kSeconds / 1000.0; };
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"process", "-q"});
        return runSixband(args, folder.path());
    };
    ASSERT_EQ(run({"in.wav", "-o", "default.mp3"}).exitCode, 0);
    EXPECT_GT(kbps("default.mp3"), 190.0);
    ASSERT_EQ(run({"in.wav", "-o", "best.mp3", "--quality", "0.1", "--bitrate-mode", "constant"}).exitCode, 0);
    ASSERT_EQ(run({"in.wav", "-o", "small.mp3", "--quality", "0.7", "--bitrate-mode", "constant"}).exitCode, 0);
    // libsndfile asks LAME for about 320 × (1 - quality) kbps, one of MP3's bitrates.
    EXPECT_GT(kbps("best.mp3"), 250.0);
    EXPECT_LT(kbps("small.mp3"), 130.0);
    ASSERT_EQ(run({"small.mp3", "-o", "again.mp3"}).exitCode, 0);
    EXPECT_NEAR(kbps("again.mp3"), kbps("small.mp3"), 0.3 * kbps("small.mp3")) << "a lossy input's bitrate is kept";
    ASSERT_EQ(run({"in.wav", "-o", "fast.flac", "--quality", "0"}).exitCode, 0);
    ASSERT_EQ(run({"in.wav", "-o", "tight.flac", "--quality", "1"}).exitCode, 0);
    EXPECT_LT(kbps("tight.flac"), kbps("fast.flac"));
    EXPECT_EQ(run({"in.wav", "-o", "x.wav", "--quality", "0.5"}).exitCode, 2);
    const auto vorbis = runSixband({"process", "in.wav", "-o", "x.ogg", "--bitrate-mode", "constant"}, folder.path());
    EXPECT_EQ(vorbis.exitCode, 0) << vorbis.err;
    EXPECT_NE(vorbis.out.find("--bitrate-mode is ignored"), std::string::npos) << vorbis.out;
}

TEST(ProcessCommand, OtherSampleRatesAreNotedWithTheFactorAndBothRates) {
    TempFolder folder;
    writeAudio(folder / "in48.wav", {noise(4800, 4), noise(4800, 5)}, 48000);
    writeAudio(folder / "in441.wav", {noise(4410, 4), noise(4410, 5)}, kRate);
    const auto at48 = runSixband({"process", "in48.wav", "-o", "out48.wav"}, folder.path());
    ASSERT_EQ(at48.exitCode, 0) << at48.err;
    EXPECT_NE(at48.out.find("48000 Hz"), std::string::npos) << at48.out;
    EXPECT_NE(at48.out.find("1.0884"), std::string::npos) << at48.out;
    EXPECT_EQ(readAudio(folder / "out48.wav").sampleRate, 48000);
    const auto at441 = runSixband({"process", "in441.wav", "-o", "out441.wav"}, folder.path());
    EXPECT_EQ(at441.out.find("note"), std::string::npos) << at441.out;
    const auto quiet = runSixband({"process", "in48.wav", "-o", "quiet.wav", "--quiet"}, folder.path());
    EXPECT_EQ(quiet.out, "");
    // --rate runs the module at another rate; the file keeps its own, and the note names both.
    const auto overridden = runSixband({"process", "in441.wav", "-o", "as48.wav", "--rate", "48000"}, folder.path());
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_NE(overridden.out.find("runs at 48000 Hz on audio at 44100 Hz"), std::string::npos) << overridden.out;
    EXPECT_NE(overridden.out.find("0.918"), std::string::npos) << overridden.out;
    EXPECT_EQ(readAudio(folder / "as48.wav").sampleRate, kRate);
    // The note explains an unreachable gain, also under --quiet.
    const auto unreachable = runSixband({"process", "in48.wav", "-o", "no.wav", "--set", "12 kHz=-30dB", "-q"}, folder.path());
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_NE(unreachable.err.find("1.0884"), std::string::npos) << unreachable.err;
    EXPECT_NE(unreachable.err.find("over its whole travel it gives from"), std::string::npos) << unreachable.err;
    EXPECT_EQ(lineCount(unreachable.err), 1u) << unreachable.err;
    // A request met says where its band now sits, and one that pulls a neighbour far says so.
    const auto met = runSixband({"process", "in48.wav", "-o", "met.wav", "--set", "80 Hz=+12dB"}, folder.path());
    ASSERT_EQ(met.exitCode, 0) << met.err;
    EXPECT_NE(met.out.find("+12.00 dB measured at 80 Hz; the band sits at 87.07 Hz at this rate"), std::string::npos)
        << met.out;
    EXPECT_NE(met.out.find("note: the requests move 400 Hz by -"), std::string::npos) << met.out;
}

TEST(ProcessCommand, AProgressBarAppearsOnlyWhenStderrIsATerminalAndFitsItsWidth) {
    TempFolder folder;
    const std::string name = "a-long-name-for-a-recording.wav";
    writeAudio(folder / name, {noise(kRate, 12), noise(kRate, 13)}, kRate);
    const std::vector<std::string> slow{"process", name, "-o", "out.wav", "--block", "32", "--plugin", FAKE_SlowPassThrough};
    const std::string onTerminal = runSixbandWithTerminalStderr(slow, folder.path());
    EXPECT_NE(onTerminal.find(name + " ["), std::string::npos) << onTerminal;
    EXPECT_NE(onTerminal.find(" left\033[K"), std::string::npos) << "no time left shown: " << onTerminal;
    // In 30 columns: every drawing shorter than the line, and the last thing written clears it.
    const std::string narrow = runSixbandWithTerminalStderr(slow, folder.path(), 30);
    ASSERT_NE(narrow.find("a-long-name"), std::string::npos) << narrow;
    std::size_t drawings = 0;
    for (std::size_t start = narrow.find('\r'); start != std::string::npos; start = narrow.find('\r', start + 1)) {
        const std::string drawing = narrow.substr(start + 1, narrow.find("\033[K", start) - start - 1);
        EXPECT_LE(drawing.size(), 29u) << drawing;
        EXPECT_EQ(drawing.find('\n'), std::string::npos);
        ++drawings;
    }
    EXPECT_GT(drawings, 2u);
    EXPECT_TRUE(narrow.ends_with("\r\033[K")) << narrow;
    auto quiet = slow;
    quiet.push_back("--quiet");
    EXPECT_EQ(runSixbandWithTerminalStderr(quiet, folder.path()), "");
    const auto redirected = runSixband(slow, folder.path());
    ASSERT_EQ(redirected.exitCode, 0);
    EXPECT_EQ(redirected.err, "");
    // Two jobs at once: both files named.
    writeAudio(folder / "b.wav", {noise(kRate, 14), noise(kRate, 15)}, kRate);
    const std::string both = runSixbandWithTerminalStderr(
        {"process", name, "b.wav", "-o", "outs/", "--jobs", "2", "--block", "32", "--plugin", FAKE_SlowPassThrough},
        folder.path(), 120);
    EXPECT_TRUE(both.find(name + ", b.wav [") != std::string::npos || both.find("b.wav, " + name + " [") != std::string::npos)
        << both;
}

TEST(ProcessCommand, ModulesAreHostedAsHostsDoWhateverTheirShape) {
    TempFolder folder;
    const auto left = noise(5000, 6);
    const auto right = noise(5000, 7);
    writeAudio(folder / "in.wav", {left, right}, kRate);
    // Gain 2 × 0.25: exact in binary, so any residue in the outputs would show.
    // Gain 2 × 0.25 (or a mono module's 0.5 per channel): exact in binary, so any residue or a
    // parameter the module never took would show.
    for (const auto& [module, setting] : std::vector<std::pair<std::string, std::string>>{
             {FAKE_GainPeer, "gain=0.25"}, {FAKE_OpenFirst, "gain=0.25"}, {FAKE_MonoOutput, ""}}) {
        SCOPED_TRACE(module);
        std::vector<std::string> args{"process", "in.wav", "-o", "out.wav", "--plugin", module};
        if (!setting.empty()) args.insert(args.end(), {"--set", setting});
        const auto run = runSixband(args, folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Audio output = readAudio(folder / "out.wav");
        for (std::size_t i = 0; i < left.size(); ++i) {
            ASSERT_EQ(output.channels[0][i], 0.5f * left[i]) << i;
            ASSERT_EQ(output.channels[1][i], 0.5f * right[i]) << i;
        }
    }
    // A module that does not keep a value as set: the user is told what it kept.
    const auto stepped = runSixband({"process", "in.wav", "-o", "out.wav", "--plugin", FAKE_OpenFirst, "--set", "steps=0.3", "-q"},
                                    folder.path());
    ASSERT_EQ(stepped.exitCode, 0) << stepped.err;
    EXPECT_NE(stepped.err.find("\"Steps\") was set to 0.3 but the module reads back 0.25"), std::string::npos) << stepped.err;
    const auto info = runSixband({"info", "--plugin", FAKE_OpenFirst}, folder.path());
    EXPECT_NE(info.out.find("\"Gain\""), std::string::npos) << info.out;
}

TEST(ProcessCommand, StandardInputAndOutputMakeAPipe) {
    TempFolder folder;
    const Channels input{noise(kFrames, 21), noise(kFrames, 22)};
    writeAudio(folder / "in.au", input, kRate, SF_FORMAT_AU | SF_FORMAT_FLOAT);
    for (const char* type : {"au", "flac"}) {
        SCOPED_TRACE(type);
        const auto run = runShell(std::string("$SIXBAND process - -o - --type ") + type +
                                      " --set 0=0.9 < in.au | cat > piped." + type,
                                  folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // Every message went to stderr: stdout carried the audio alone.
        EXPECT_NE(run.err.find("standard input -> standard output"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("  0.9  "), std::string::npos) << run.err;
        const Audio output = readAudio(folder / (std::string("piped.") + type));
        ASSERT_EQ(output.channels.size(), 2u);
        if (std::string(type) == "au") {
            const Channels expected = processDirectly(SIXBAND_MODULE_PATH, input, {{0, 0.9f}});
            expectSameBits(output.channels[0], expected[0]);
            expectSameBits(output.channels[1], expected[1]);
        } else {
            EXPECT_EQ(output.channels[0].size(), kFrames);
            // Only the header's totals, left unknown, may differ from a FLAC file written in place:
            // nothing may trail the last frame (libsndfile would append them there).
            ASSERT_EQ(runSixband({"process", "in.au", "-o", "direct.flac", "--set", "0=0.9"}, folder.path()).exitCode, 0);
            EXPECT_EQ(fileBytes(folder / "piped.flac").size(), fileBytes(folder / "direct.flac").size());
        }
    }
    // A type that cannot go into a pipe is refused before anything is read, naming one that can.
    const auto wav = runShell("{ $SIXBAND process - -o - --type wav < in.au; echo $? > status; } | cat > piped.wav",
                              folder.path());
    EXPECT_EQ(fileBytes(folder / "status"), "2\n");
    EXPECT_NE(wav.err.find("cannot be written to a pipe; use --type au"), std::string::npos) << wav.err;
    EXPECT_EQ(fileBytes(folder / "piped.wav"), "");
    // A device is no pipe: it takes any type.
    EXPECT_EQ(runShell("$SIXBAND process in.au -o - --type wav -q > /dev/null", folder.path()).exitCode, 0);
}

TEST(ProcessCommand, InputsThatCannotSeekAreOpenedOnceAndGiveTheBitsOfTheFile) {
    // Longer than the 1 MiB kept of a stream's start, so that the readers' looking back and ahead
    // (FLAC's block, WAV's chunks past the data) meets a stream that has moved on.
    TempFolder folder;
    constexpr std::size_t kLong = 8 * kRate;
    const Channels input{noise(kLong, 31), noise(kLong, 32)};
    // The same 24-bit samples in both, which sixband's own FLAC stream carries unchanged.
    writeAudio(folder / "in.wav", input, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    writeAudio(folder / "in.flac", input, kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    // Each way reads the input once: a second opening of the FIFO would wait for a writer that
    // has gone, until `timeout` ends it.
    const std::vector<std::pair<const char*, const char*>> ways{
        {"a pipe to standard input", "cat IN | timeout 20 $SIXBAND process - -o out.raw"},
        {"a FIFO", "rm -f fifo; mkfifo fifo; cat IN > fifo & timeout 20 $SIXBAND process fifo -o out.raw"},
        {"process substitution", "timeout 20 bash -c '$SIXBAND process <(cat IN) -o out.raw \"$@\"' -"},
        {"sixband's own FLAC stream", "$SIXBAND process IN -o - --type flac --format pcm24 -q | timeout 20 $SIXBAND process - -o out.raw"},
    };
    for (const char* name : {"in.wav", "in.flac"}) {
        const std::string options = " --format float --set 0=0.9 -q";
        ASSERT_EQ(runSixband({"process", name, "-o", "direct.raw", "--format", "float", "--set", "0=0.9", "-q"}, folder.path()).exitCode, 0);
        const std::string direct = fileBytes(folder / "direct.raw");
        ASSERT_EQ(direct.size(), kLong * 2 * sizeof(float));
        for (const auto& [way, pattern] : ways) {
            SCOPED_TRACE(std::string(name) + " through " + way);
            std::string script = pattern;
            script.replace(script.find("IN"), 2, name);
            std::filesystem::remove(folder / "out.raw");
            const auto run = runShell(script + options, folder.path());
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_TRUE(fileBytes(folder / "out.raw") == direct);
        }
    }
}

TEST(ProcessCommand, RawAudioIsReadAsItsOptionsDescribeItAndRefusedWithoutThem) {
    TempFolder folder;
    const Channels input{noise(kFrames, 41), noise(kFrames, 42)};
    const std::vector<std::string> options{"--format", "float", "--set", "0=0.9", "-q"};
    const auto processed = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "process");
        args.insert(args.end(), options.begin(), options.end());
        const auto run = runSixband(args, folder.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return fileBytes(folder / args[3]);
    };
    // The same samples as raw audio and in a WAV, whose header libsndfile reads: the same output.
    struct Encoding {
        const char* name;
        int raw;
        int wav;  // a WAV holds 8-bit samples unsigned only
    };
    for (const Encoding& encoding : {Encoding{"pcm8", SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8}, Encoding{"pcm16", SF_FORMAT_PCM_16, SF_FORMAT_PCM_16},
                                     Encoding{"pcm24", SF_FORMAT_PCM_24, SF_FORMAT_PCM_24}, Encoding{"pcm32", SF_FORMAT_PCM_32, SF_FORMAT_PCM_32},
                                     Encoding{"float", SF_FORMAT_FLOAT, SF_FORMAT_FLOAT}, Encoding{"double", SF_FORMAT_DOUBLE, SF_FORMAT_DOUBLE}})
        for (const char* endian : {"little", "big"}) {
            SCOPED_TRACE(std::string(encoding.name) + ", " + endian);
            writeAudio(folder / "in.pcm", input, kRate,
                       SF_FORMAT_RAW | encoding.raw | (endian == std::string("big") ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE));
            writeAudio(folder / "in.wav", input, kRate, SF_FORMAT_WAV | encoding.wav);
            const std::string fromRaw = processed({"in.pcm", "-o", "raw.raw", "--input-rate", std::to_string(kRate), "--input-channels", "2",
                                                   "--input-encoding", encoding.name, "--input-endian", endian});
            EXPECT_EQ(fromRaw.size(), kFrames * 2 * sizeof(float));
            EXPECT_TRUE(fromRaw == processed({"in.wav", "-o", "wav.raw"}));
        }
    // sixband's raw output read back from a pipe: with every parameter neutral, its own bits.
    writeAudio(folder / "in.wav", input, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    const auto piped = runShell("$SIXBAND process in.wav -o - --type raw -q | $SIXBAND process - -o back.raw -q "
                                "--input-rate 44100 --input-channels 2 --input-bits 24 && $SIXBAND process in.wav -o direct.raw -q",
                                folder.path());
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(fileBytes(folder / "back.raw").size(), kFrames * 2 * 3);
    EXPECT_TRUE(fileBytes(folder / "back.raw") == fileBytes(folder / "direct.raw"));

    // What is missing is named in one line, before anything is written.
    for (const auto& [script, message] : std::vector<std::pair<std::string, std::string>>{
             {"$SIXBAND process in.pcm -o out.wav", "sixband: in.pcm: raw audio: give --input-rate, --input-channels and --input-encoding\n"},
             {"$SIXBAND process - -o out.wav --input-rate 44100 --input-bits 16 < in.pcm",
              "sixband: standard input: raw audio: give --input-channels\n"}}) {
        SCOPED_TRACE(script);
        const auto run = runShell(script, folder.path());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, message);
        EXPECT_FALSE(std::filesystem::exists(folder / "out.wav"));
    }
}

TEST(ProcessCommand, MpegAudioWithoutAnInfoFrameIsReadToItsEnd) {
    // libsndfile writes an info frame with the exact length; without it (as `lame -t` and sox
    // write them) the length is an estimate from the first frame: too long for constant bit rate,
    // far too short for variable. Either way the whole audio must come through.
    TempFolder folder;
    constexpr std::size_t kMpegFrames = 3 * kRate;
    for (const int mode : {SF_BITRATE_MODE_CONSTANT, SF_BITRATE_MODE_VARIABLE}) {
        SCOPED_TRACE(mode);
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        SNDFILE* file = sf_open((folder / "tagged.mp3").c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        int bitrateMode = mode;
        sf_command(file, SFC_SET_BITRATE_MODE, &bitrateMode, sizeof bitrateMode);
        const auto left = sine(kMpegFrames, 440.0, kRate, 0.3f);
        std::vector<float> interleaved;
        for (float x : left) interleaved.insert(interleaved.end(), {x, x});
        sf_writef_float(file, interleaved.data(), kMpegFrames);
        sf_close(file);
        std::string bytes = fileBytes(folder / "tagged.mp3");
        for (const char* tag : {"Xing", "Info"})
            if (const auto at = bytes.find(tag); at != std::string::npos) bytes.replace(at, 4, "none");
        std::ofstream(folder / "untagged.mp3", std::ios::binary) << bytes;
        const auto run = runSixband({"process", "untagged.mp3", "-o", "out.wav"}, folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // The info frame, no longer one, decodes as a frame of silence, and nothing is trimmed.
        const std::size_t frames = readAudio(folder / "out.wav").channels[0].size();
        EXPECT_GE(frames, kMpegFrames);
        EXPECT_LE(frames, kMpegFrames + 4 * 1152);
        EXPECT_NE(run.out.find(std::to_string(frames) + " frames"), std::string::npos) << run.out;
        // Standard input, a file or a pipe, is no different: libmpg123 reads it to its end too.
        const auto piped = runShell("$SIXBAND process - -o redirected.wav < untagged.mp3 && "
                                    "cat untagged.mp3 | $SIXBAND process - -o piped.wav",
                                    folder.path());
        ASSERT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_EQ(readAudio(folder / "redirected.wav").channels[0].size(), frames);
        EXPECT_EQ(readAudio(folder / "piped.wav").channels[0].size(), frames);
    }
}

TEST(ProcessCommand, AnInterruptionLeavesNeitherOutputNorTemporaryFile) {
    TempFolder folder;
    writeAudio(folder / "long.wav", {noise(20 * kRate, 8), noise(20 * kRate, 9)}, kRate);
    const auto before = folder.listing();
    RunningSixband running({"process", "long.wav", "-o", "out.wav", "--block", "64", "--plugin", FAKE_SlowPassThrough},
                           folder.path());
    // Wait until the temporary output exists, so that the interruption lands mid-write.
    bool writing = false;
    for (int i = 0; i < 500 && !writing; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        writing = outputsInProgress(running.pid(), folder.path()) > 0;
    }
    ASSERT_TRUE(writing) << "sixband never started writing";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(running.pid(), SIGINT);
    const auto result = running.finish();
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(folder.listing(), before);
}

}  // namespace
