// `sixband bench` compares modules side by side, including ones shaped like Debian's peer
// equalisers: only VSTPluginMain, no replacing entry, hundreds of parameters set by index.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(BenchCommand, ComparesTheEqualiserWithAPeerShapedModule) {
    TempFolder folder;
    const auto run = runSixband({"bench", "--seconds", "0.2", "--block", "256", "--plugin", SIXBAND_MODULE_PATH, "--set",
                                 "80 Hz=0.6", "--plugin", FAKE_GainPeer, "--set", "0=0.25", "--set", "299=0.9"},
                                folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // One row per module: path, ns per frame, fastest, realtime factor, relative to the first.
    const std::regex row(R"((\S+) +([0-9.]+) +([0-9.]+) +([0-9]+) +([0-9.]+)\n)");
    std::vector<std::smatch> rows;
    for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), row); it != std::sregex_iterator(); ++it)
        rows.push_back(*it);
    ASSERT_EQ(rows.size(), 2u) << run.out;
    EXPECT_EQ(rows[0][1], SIXBAND_MODULE_PATH);
    EXPECT_EQ(rows[1][1], FAKE_GainPeer);
    EXPECT_EQ(rows[0][5], "1.000");
    for (const auto& r : rows) EXPECT_GT(std::stod(r[2]), 0.0);
    // Each --set went to the module named before it.
    EXPECT_NE(run.out.find("80 Hz    0.6  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("299  Unused"), std::string::npos) << run.out;
}

TEST(BenchCommand, TimesAMonoModuleAsTwoInstances) {
    TempFolder folder;
    const auto run = runSixband({"bench", "--seconds", "0", "--plugin", FAKE_MonoOutput}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("a mono module, timed as two instances"), std::string::npos) << run.out;
}

TEST(BenchCommand, ParameterNamesThatRepeatMustBeGivenByIndex) {
    TempFolder folder;
    const auto run = runSixband({"bench", "--seconds", "0", "--plugin", FAKE_GainPeer, "--set", "unused=0.5"}, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("give the index"), std::string::npos) << run.err;
    EXPECT_EQ(lineCount(run.err), 1u);
}

}  // namespace
