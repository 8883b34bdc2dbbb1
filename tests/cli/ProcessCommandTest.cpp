// `sixband process` end to end: the program on generated files, compared with the module driven
// directly through its record.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <csignal>
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
        const auto run = runSixband({"process", "in.wav", "-o", "out.wav", "--plugin", SIXBAND_MODULE_PATH, "--set",
                                     "0=0.9", "--set", "2.5 kHz=0.05", "--set", "5=0.7", "--block", block},
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
    const auto runInto = [&](const std::string& folderName, const std::string& jobs) {
        std::vector<std::string> args{"process"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"-o", folderName + "/", "--jobs", jobs, "--set", "80 Hz=+4dB", "--set", "5 kHz=0.1"});
        return runSixband(args, folder.path());
    };
    const auto serial = runInto("serial", "1");
    ASSERT_EQ(serial.exitCode, 0) << serial.err;
    const auto parallel = runInto("parallel", "4");
    ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
    for (const auto& name : inputs) {
        SCOPED_TRACE(name);
        const std::string bytes = fileBytes(folder / "serial" / name);
        EXPECT_GT(bytes.size(), 1000u);
        EXPECT_EQ(fileBytes(folder / "parallel" / name), bytes);
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

    const auto floatRun = runSixband({"process", "loud.wav", "-o", "float.wav"}, folder.path());
    ASSERT_EQ(floatRun.exitCode, 0) << floatRun.err;
    EXPECT_EQ(floatRun.err, "") << "float output never clips";
    EXPECT_GT(readAudio(folder / "float.wav").channels[0][103], 1.4f);
}

TEST(ProcessCommand, OtherSampleRatesAreNotedWithTheFactor) {
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
    // --rate runs the module at another rate; the file keeps its own.
    const auto overridden = runSixband({"process", "in441.wav", "-o", "as48.wav", "--rate", "48000"}, folder.path());
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_NE(overridden.out.find("1.0884"), std::string::npos) << overridden.out;
    EXPECT_EQ(readAudio(folder / "as48.wav").sampleRate, kRate);
}

TEST(ProcessCommand, AProgressBarAppearsOnlyWhenStderrIsATerminal) {
    TempFolder folder;
    writeAudio(folder / "in.wav", {noise(kRate, 12), noise(kRate, 13)}, kRate);
    const std::vector<std::string> slow{"process", "in.wav", "-o", "out.wav", "--block", "32", "--plugin", FAKE_SlowPassThrough};
    const std::string onTerminal = runSixbandWithTerminalStderr(slow, folder.path());
    EXPECT_NE(onTerminal.find("] "), std::string::npos) << onTerminal;
    EXPECT_NE(onTerminal.find("%"), std::string::npos) << onTerminal;
    auto quiet = slow;
    quiet.push_back("--quiet");
    EXPECT_EQ(runSixbandWithTerminalStderr(quiet, folder.path()), "");
    const auto redirected = runSixband(slow, folder.path());
    ASSERT_EQ(redirected.exitCode, 0);
    EXPECT_EQ(redirected.err, "");
}

TEST(ProcessCommand, ModulesWithoutReplacingAddIntoClearedOutputs) {
    TempFolder folder;
    const auto left = noise(5000, 6);
    const auto right = noise(5000, 7);
    writeAudio(folder / "in.wav", {left, right}, kRate);
    // Gain 2 × 0.25: exact in binary, so any residue in the outputs would show.
    const auto run = runSixband({"process", "in.wav", "-o", "out.wav", "--plugin", FAKE_GainPeer, "--set", "gain=0.25"},
                                folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio output = readAudio(folder / "out.wav");
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(output.channels[0][i], 0.5f * left[i]) << i;
        ASSERT_EQ(output.channels[1][i], 0.5f * right[i]) << i;
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
        writing = folder.listing().size() > before.size();
    }
    ASSERT_TRUE(writing) << "sixband never started writing";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(running.pid(), SIGINT);
    const auto result = running.finish();
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(folder.listing(), before);
}

}  // namespace
