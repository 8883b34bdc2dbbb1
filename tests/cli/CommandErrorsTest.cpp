// Bad input, bad modules and bad requests: each gives one clear line on stderr, the conventional
// exit status (1 for a failure, 2 for a command line to correct), and leaves no file behind.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

constexpr int kRate = 44100;

struct ErrorCase {
    std::string what;
    std::vector<std::string> args;
    int exitCode;
    std::string message;  // a part of the one line on stderr
};

void writeText(const std::filesystem::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class CommandErrors : public ::testing::Test {
protected:
    void SetUp() override {
        writeAudio(folder / "good.wav", {noise(4410, 1), noise(4410, 2)}, kRate);
        writeAudio(folder / "good2.wav", {noise(4410, 3)}, kRate);
        writeAudio(folder / "low.wav", {noise(2205, 4)}, 22050);
        const std::string good = fileBytes(folder / "good.wav");
        writeText(folder / "header-cut.wav", good.substr(0, 30));
        writeText(folder / "data-cut.wav", good.substr(0, good.size() / 2));
        std::string absurd = good;
        // The data chunk's length field, set far beyond the file.
        const auto data = absurd.find("data");
        absurd.replace(data + 4, 4, std::string("\xF0\xFF\xFF\x7F", 4));
        writeText(folder / "absurd.wav", absurd);
        writeAudio(folder / "empty.wav", {{}, {}}, kRate);
        writeText(folder / "text.wav", "this is not audio\n");
        writeAudio(folder / "three.wav", {noise(100, 1), noise(100, 2), noise(100, 3)}, kRate);
        std::filesystem::create_directory(folder / "folder.wav");
        writeText(folder / "not-a-module.so", "\x7f" "ELF but not really");
        writeText(folder / "plain-file", "x");
    }

    void expectClean(const ErrorCase& c) {
        SCOPED_TRACE(c.what);
        const auto before = folder.listing();
        const auto run = runSixband(c.args, folder.path());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(lineCount(run.err), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("sixband: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(folder.listing(), before) << "files left behind";
    }

    TempFolder folder;
};

TEST_F(CommandErrors, BadInputFilesAreRefusedBeforeAnythingIsWritten) {
    for (const ErrorCase& c : std::vector<ErrorCase>{
             {"missing input", {"process", "missing.wav", "-o", "out.wav"}, 1, "missing.wav: no such file"},
             {"a folder as input", {"process", "folder.wav", "-o", "out.wav"}, 1, "is a folder"},
             {"not audio", {"process", "text.wav", "-o", "out.wav"}, 1, "text.wav: cannot read audio"},
             {"truncated header", {"process", "header-cut.wav", "-o", "out.wav"}, 1, "header-cut.wav: cannot read audio"},
             {"truncated data", {"process", "data-cut.wav", "-o", "out.wav"}, 1, "truncated"},
             {"absurd data size", {"process", "absurd.wav", "-o", "out.wav"}, 1, "truncated or corrupt"},
             {"zero frames", {"process", "empty.wav", "-o", "out.wav"}, 1, "holds no audio frames"},
             {"three channels", {"process", "three.wav", "-o", "out.wav"}, 1, "has 3 channels"},
         })
        expectClean(c);
}

TEST_F(CommandErrors, ABatchNamesEveryBadInputAndStillProcessesTheGoodOnes) {
    // A FLAC file cut short passes the header check and fails only as it is read.
    writeAudio(folder / "whole.flac", {noise(44100, 5)}, kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string flac = fileBytes(folder / "whole.flac");
    writeText(folder / "cut.flac", flac.substr(0, flac.size() / 2));
    const auto run = runSixband({"process", "text.wav", "good.wav", "empty.wav", "cut.flac", "good2.wav", "data-cut.wav",
                                 "-o", "outs/", "--jobs", "2", "-q"},
                                folder.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    std::istringstream lines(run.err);
    std::vector<std::string> said;
    for (std::string line; std::getline(lines, line);) said.push_back(line);
    ASSERT_EQ(said.size(), 5u) << run.err;
    for (const char* bad : {"text.wav", "empty.wav", "data-cut.wav", "cut.flac"})
        EXPECT_EQ(std::count_if(said.begin(), said.end() - 1, [&](const std::string& line) {
                      return line.rfind(std::string("sixband: ") + bad + ": ", 0) == 0;
                  }),
                  1)
            << bad << " is not named on a line of its own:\n" << run.err;
    // Those found bad while reading come after those found bad before anything was written.
    EXPECT_EQ(said.back(), "sixband: 4 of 6 inputs were left out: text.wav, empty.wav, data-cut.wav, cut.flac");
    EXPECT_EQ(readAudio(folder / "outs" / "good.wav").channels[0].size(), 4410u);
    EXPECT_EQ(readAudio(folder / "outs" / "good2.wav").channels[0].size(), 4410u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "outs"), std::filesystem::directory_iterator()), 2);

    // A gain out of reach at one file's rate leaves out that file alone.
    const auto rates = runSixband({"process", "good.wav", "low.wav", "-o", "rates/", "--set", "2.5 kHz=-4dB", "-q"},
                                  folder.path());
    EXPECT_EQ(rates.exitCode, 1) << rates.err;
    EXPECT_NE(rates.err.find("cannot reach"), std::string::npos) << rates.err;
    EXPECT_NE(rates.err.find("sixband: 1 of 2 inputs was left out: low.wav\n"), std::string::npos) << rates.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "rates" / "good.wav"));
    EXPECT_FALSE(std::filesystem::exists(folder / "rates" / "low.wav"));
}

TEST_F(CommandErrors, OutputsThatCannotOrMustNotBeWrittenAreRefused) {
    for (const ErrorCase& c : std::vector<ErrorCase>{
             {"output inside a file", {"process", "good.wav", "-o", "plain-file/out.wav"}, 1, "cannot create the output"},
             {"output folder is a file", {"process", "good.wav", "good2.wav", "-o", "plain-file/"}, 1, "plain-file"},
             {"output is the input", {"process", "good.wav", "-o", "good.wav"}, 2, "refusing to overwrite the input"},
             {"output is the input by another path", {"process", "good.wav", "-o", "folder.wav/../good.wav"}, 2,
              "refusing to overwrite"},
             {"output into the inputs' folder", {"process", "good.wav", "-o", "./"}, 2, "refusing to overwrite"},
             {"unknown extension", {"process", "good.wav", "-o", "out.xyz"}, 2, "extension"},
             {"unknown type", {"process", "good.wav", "-o", "out.wav", "--type", "xyz"}, 2, "--type xyz: unknown"},
             {"empty output name", {"process", "good.wav", "-o", ""}, 2, "the output name is empty"},
             {"a rate the type cannot hold, named by the user's file", {"process", "good.wav", "-o", "out.opus"}, 2,
              "out.opus: Opus only supports sample rates of"},
             {"standard output without a type", {"process", "good.wav", "-o", "-"}, 2, "give --type"},
             {"standard input twice", {"process", "-", "-", "-o", "outs/"}, 2, "only once"},
             {"format the type cannot hold", {"process", "good.wav", "-o", "out.flac", "--format", "float"}, 2,
              "cannot hold"},
             {"unknown format", {"process", "good.wav", "-o", "out.wav", "--format", "pcm12"}, 2, "--format pcm12"},
             {"response to an unknown type", {"response", "-o", "plot.jpg"}, 2, ".png, .svg or .csv"},
             {"response into a file's folder", {"response", "-o", "plain-file/r.csv"}, 1, "cannot create the output"},
         })
        expectClean(c);
}

TEST_F(CommandErrors, ModulesThatCannotBeHostedAreRefused) {
    for (const ErrorCase& c : std::vector<ErrorCase>{
             {"not a shared object", {"process", "good.wav", "-o", "out.wav", "--plugin", "./not-a-module.so"}, 1,
              "cannot load module"},
             {"missing module", {"process", "good.wav", "-o", "out.wav", "--plugin", "nowhere.so"}, 1,
              "cannot load module nowhere.so: there is none of that name in $VST_PATH"},
             {"neither entry", {"process", "good.wav", "-o", "out.wav", "--plugin", FAKE_NoEntry}, 1,
              "exports neither main nor VSTPluginMain"},
             {"entry returns null", {"process", "good.wav", "-o", "out.wav", "--plugin", FAKE_NullEffect}, 1, "returned null"},
             {"wrong magic", {"process", "good.wav", "-o", "out.wav", "--plugin", FAKE_WrongMagic}, 1, "wrong magic"},
             {"no output", {"process", "good.wav", "-o", "out.wav", "--plugin", FAKE_NoOutputs}, 1,
              "has 0 outputs; stereo processing needs 2, or 1"},
             {"no output, response", {"response", "--plugin", FAKE_NoOutputs}, 1, "has 0 outputs"},
             {"no output, bench", {"bench", "--plugin", FAKE_NoOutputs}, 1, "has 0 outputs"},
             {"info on a module without entry", {"info", "--plugin", FAKE_NoEntry}, 1, "exports neither"},
         })
        expectClean(c);
}

// A name without a folder is looked for where hosts look, $VST_PATH first, and not in the current
// folder, which a module there would otherwise be loaded from by whoever runs the program there.
TEST_F(CommandErrors, ModulesNamedWithoutAFolderAreFoundWhereHostsLook) {
    std::filesystem::create_directories(folder / "vst" / "first");
    std::filesystem::copy_file(SIXBAND_MODULE_PATH, folder / "vst" / "first" / "found.so");
    std::filesystem::copy_file(SIXBAND_MODULE_PATH, folder / "here.so");
    const auto found = runShell("HOME=$PWD VST_PATH=/nowhere:$PWD/vst/first $SIXBAND info --plugin found.so", folder.path());
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_NE(found.out.find((folder / "vst" / "first" / "found.so").string()), std::string::npos) << found.out;
    const auto here = runShell("HOME=$PWD $SIXBAND info --plugin here.so", folder.path());
    EXPECT_EQ(here.exitCode, 1);
    EXPECT_NE(here.err.find("there is none of that name in $VST_PATH"), std::string::npos) << here.err;
    EXPECT_EQ(runShell("HOME=$PWD $SIXBAND info --plugin ./here.so", folder.path()).exitCode, 0);
}

TEST_F(CommandErrors, ParameterRequestsThatDoNotParseOrNameNothingAreUsageErrors) {
    for (const ErrorCase& c : std::vector<ErrorCase>{
             {"unknown name", {"process", "good.wav", "-o", "out.wav", "--set", "90 Hz=0.5"}, 2,
              "no parameter called \"90 Hz\""},
             {"index out of range", {"process", "good.wav", "-o", "out.wav", "--set", "6=0.5"}, 2, "out of range"},
             {"value that does not parse", {"process", "good.wav", "-o", "out.wav", "--set", "80 Hz=loud"}, 2,
              "neither a normalised number"},
             {"gain without a number", {"process", "good.wav", "-o", "out.wav", "--set", "80 Hz=dB"}, 2,
              "neither a normalised number"},
             {"no equals sign", {"process", "good.wav", "-o", "out.wav", "--set", "80 Hz"}, 2, "expected NAME=VALUE"},
             {"unreachable gain", {"process", "good.wav", "-o", "out.wav", "--set", "12 kHz=-20dB"}, 1, "cannot reach"},
             {"a gain without its dB", {"process", "good.wav", "-o", "out.wav", "--set", "80 Hz=6"}, 2,
              "outside the normalised range 0..1; for a gain write \"80 Hz=+6dB\""},
             {"a gain above the module rate's Nyquist frequency", {"response", "--rate", "20000", "--set", "12 kHz=+3dB"}, 2,
              "above the Nyquist frequency"},
             {"a gain above the file's Nyquist frequency, whatever the module's rate",
              {"process", "low.wav", "-o", "out.wav", "--rate", "96000", "--set", "12 kHz=+3dB"}, 2,
              "12 kHz is above the Nyquist frequency (11.025 kHz) of audio at 22050 Hz"},
             {"response, unknown name", {"response", "--set", "bass=+3dB"}, 2, "no parameter called"},
         })
        expectClean(c);
}

TEST_F(CommandErrors, CommandLinesCLI11RejectsAreUsageErrors) {
    for (const ErrorCase& c : std::vector<ErrorCase>{
             {"no command", {}, 2, "give a command: info, process, response, bench or demo"},
             {"mistyped option before a command", {"--versoin"}, 2, "unknown option \"--versoin\"; did you mean --version?"},
             {"mistyped option", {"info", "--plugn", "x"}, 2, "unknown option \"--plugn\" for info; did you mean --plugin?"},
             {"option given twice", {"info", "--plugin", "a", "--plugin", "b"}, 2, "--plugin is given more than once"},
             {"stray argument", {"info", "extra"}, 2, "unexpected argument: extra"},
             {"mistyped command", {"proces", "good.wav", "-o", "out.wav"}, 2, "did you mean process?"},
             {"unknown command", {"equalise", "good.wav"}, 2, "the commands are info, process"},
             {"block that is no number", {"process", "good.wav", "-o", "out.wav", "--block", "abc"}, 2,
              "--block: needs a whole number of frames"},
             {"a rate no audio has", {"process", "good.wav", "-o", "out.wav", "--rate", "1e12"}, 2, "1536000"},
             {"more jobs than outputs can be open", {"process", "good.wav", "-o", "out.wav", "--jobs", "1000"}, 2, "--jobs"},
             {"seconds that are no number", {"bench", "--seconds", "nan"}, 2, "--seconds"},
             {"unknown option", {"process", "good.wav", "-o", "out.wav", "--loud"}, 2, "--loud"},
             {"missing output", {"process", "good.wav"}, 2, "output"},
             {"block not a number", {"process", "good.wav", "-o", "out.wav", "--block", "many"}, 2, "many"},
             {"zero jobs", {"process", "good.wav", "-o", "out.wav", "--jobs", "0"}, 2, "jobs"},
         })
        expectClean(c);
}

TEST(CommandLine, HelpOnEveryCommandAndVersionSucceed) {
    TempFolder folder;
    for (const char* command : {"info", "process", "response", "bench", "demo"}) {
        SCOPED_TRACE(command);
        const auto run = runSixband({command, "--help"}, folder.path());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(command), std::string::npos);
        EXPECT_FALSE(std::regex_search(run.out, std::regex("(TEXT|INT|FLOAT)[:= ]"))) << "CLI11's type labels: " << run.out;
    }
    const auto version = runSixband({"--version"}, folder.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "sixband " SIXBAND_VERSION "\n");
}

TEST(CommandLine, DemoWritesItsThreeFilesAndSaysWhere) {
    TempFolder folder;
    // Another module has no such bands: the demo leaves them out rather than refuse a --set the
    // user never typed.
    const auto other = runSixband({"demo", "-o", "other", "--plugin", FAKE_GainPeer}, folder.path());
    EXPECT_EQ(other.exitCode, 0) << other.err;
    EXPECT_EQ(other.err.find("sixband:"), std::string::npos) << other.err;
    EXPECT_NE(other.out.find("no parameter called \"80 Hz\"; the demo leaves out"), std::string::npos) << other.out;
    std::filesystem::remove_all(folder / "other");

    const auto run = runSixband({"demo", "-o", "show"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.listing(),
              (std::set<std::string>{"show", "show/demo-in.wav", "show/demo-out.wav", "show/demo-response.png"}));
    EXPECT_NE(run.out.find((folder / "show" / "demo-out.wav").string()), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("+6.00 dB measured at 80 Hz"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("-6.00 dB measured at 2.5 kHz"), std::string::npos) << run.out;
    const Audio in = readAudio(folder / "show" / "demo-in.wav");
    const Audio out = readAudio(folder / "show" / "demo-out.wav");
    ASSERT_EQ(in.channels.size(), 2u);
    EXPECT_EQ(out.channels[0].size(), in.channels[0].size());
    EXPECT_NE(out.channels[0], in.channels[0]);
}

}  // namespace
