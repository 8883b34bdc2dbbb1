// The benchmark program. By default it runs every benchmark with interleaved repetitions, so that
// the forms of the chain and the peers are measured side by side under the same conditions, and
// ends with a summary of the medians. With --verify-frames=N it instead checks every fast path
// against the plain form over N frames and exits non-zero on any difference.
#include "BenchSetup.h"
#include "eq/ChainProcessor.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The recursion of one stage, y of one frame to y of the next, as the project's machines (AMD Zen 3)
// take it: about 30 cycles, about 15 ns there. The bound/one-stage-recursion benchmark measures
// the same on the machine at hand.
constexpr double kStatedBoundNs = 15.0;

// Collects the median and the minimum of every benchmark's repetitions (or its single run), in ns
// per frame.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto counter = run.counters.find("ns_per_frame");
            if (run.error_occurred || counter == run.counters.end()) continue;
            const double ns = counter->second.value * 1e9;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                median[name][run.run_name.args] = ns;
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                fastest[name][run.run_name.args] = ns;
            else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1)
                median[name][run.run_name.args] = fastest[name][run.run_name.args] = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // benchmark name → block size ("512") → ns per stereo frame
    using Table = std::map<std::string, std::map<std::string, double>>;
    Table median, fastest;
};

double lookUp(const SummaryReporter::Table& table, const std::string& name, const std::string& block) {
    const auto entry = table.find(name);
    if (entry == table.end()) return 0.0;
    const auto value = entry->second.find(block);
    return value == entry->second.end() ? 0.0 : value->second;
}

void printTable(const char* title, const SummaryReporter::Table& table) {
    std::printf("\n%s: ns per stereo frame, and the plain form's time over this one\n", title);
    std::printf("%-34s %16s %16s %16s\n", "block size", "64", "512", "4096");
    for (const auto& [name, blocks] : table) {
        std::printf("%-34s", name.c_str());
        for (const char* block : {"64", "512", "4096"}) {
            const double value = lookUp(table, name, block);
            const double plain = lookUp(table, "chain/plain", block);
            if (value == 0.0)
                std::printf(" %16s", "-");
            else if (plain != 0.0)
                std::printf("  %6.1f ns %5.2fx", value, plain / value);
            else
                std::printf("  %6.1f ns       ", value);
        }
        std::printf("\n");
    }
}

void printTargets(const char* title, const SummaryReporter::Table& table) {
    const char* path = chainPathName(chosenChainPath());
    const double chosen = lookUp(table, std::string("chain/") + path, "512");
    const double plain = lookUp(table, "chain/plain", "512");
    const double bound = lookUp(table, "bound/one-stage-recursion", "512");
    const double lsp = lookUp(table, "hosted/lsp-para-x16-stereo", "512");
    if (chosen == 0.0) return;
    std::printf("\n%s, 512-frame blocks: the %s path (the module's here), %.1f ns per stereo frame, is\n",
                title, path, chosen);
    if (plain != 0.0) std::printf("  %.2fx as fast as the plain form (target: 8x or more)\n", plain / chosen);
    std::printf("  %.2fx the recursion bound of %.0f ns stated for 30 cycles (target: 1.5x or less)\n",
                chosen / kStatedBoundNs, kStatedBoundNs);
    if (bound != 0.0)
        std::printf("  %.2fx one stage's recursion as measured here, %.1f ns\n", chosen / bound, bound);
    if (lsp != 0.0) std::printf("  %.2fx LSP's six-bell stereo equaliser (target: below 1)\n", chosen / lsp);
    const double module = lookUp(table, "hosted/sixband", "512");
    const double lv2 = lookUp(table, "hosted/sixband-lv2", "512");
    if (module != 0.0 && lv2 != 0.0)
        std::printf("The LV2 form, %.1f ns per stereo frame, takes %.2fx the hosted module's time\n", lv2, lv2 / module);
}

void printSummary(const SummaryReporter& reporter) {
    printTable("Medians", reporter.median);
    printTable("Fastest repetitions", reporter.fastest);
    printTargets("Medians", reporter.median);
    printTargets("Fastest repetitions", reporter.fastest);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    for (auto arg = args.begin() + 1; arg != args.end(); ++arg) {
        static constexpr char kVerify[] = "--verify-frames=";
        if (std::strncmp(*arg, kVerify, sizeof kVerify - 1) == 0) {
            const long long frames = std::atoll(*arg + sizeof kVerify - 1);
            if (frames <= 0) {
                std::fprintf(stderr, "--verify-frames needs a positive count\n");
                return 2;
            }
            return verifyChainPaths(frames) ? 0 : 1;
        }
    }

    // Defaults that command-line flags, coming after them, override.
    static char repetitions[] = "--benchmark_repetitions=15";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    static char minTime[] = "--benchmark_min_time=0.05";
    args.insert(args.begin() + 1, {repetitions, interleave, aggregatesOnly, minTime});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    registerChainPathBenchmarks();
    registerHostedBenchmarks();
    registerLv2Benchmarks();
    registerGainRequestBenchmarks();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
