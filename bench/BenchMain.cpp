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

// The recursion of one stage, y of one frame to y of the next, in cycles: the bound of any
// schedule that keeps the arithmetic as it is.
constexpr double kRecursionBoundCycles = 30.0;

// Collects the median of every benchmark's repetitions (or its single run) in ns per frame.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const auto counter = run.counters.find("ns_per_frame");
            if ((median || single) && !run.error_occurred && counter != run.counters.end())
                nsPerFrame[run.run_name.function_name][run.run_name.args] = counter->second.value * 1e9;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // benchmark name → block size ("512") → ns per stereo frame
    std::map<std::string, std::map<std::string, double>> nsPerFrame;
};

void printSummary(const SummaryReporter& reporter, double cpuGHz) {
    const auto& ns = reporter.nsPerFrame;
    const auto find = [&](const std::string& name, const std::string& block) -> double {
        const auto entry = ns.find(name);
        if (entry == ns.end()) return 0.0;
        const auto value = entry->second.find(block);
        return value == entry->second.end() ? 0.0 : value->second;
    };
    std::printf("\nMedians, ns per stereo frame (ratio: plain form / this; cycles at %.2f GHz)\n", cpuGHz);
    std::printf("%-28s %7s %22s %22s %22s\n", "", "", "64", "512", "4096");
    for (const auto& [name, blocks] : ns) {
        std::printf("%-36s", name.c_str());
        for (const char* block : {"64", "512", "4096"}) {
            const double value = find(name, block);
            const double plain = find("chain/plain", block);
            if (value == 0.0)
                std::printf(" %22s", "-");
            else if (plain != 0.0)
                std::printf("  %6.1f ns %5.1fx %4.0fc", value, plain / value, value * cpuGHz);
            else
                std::printf("  %6.1f ns        %4.0fc", value, value * cpuGHz);
        }
        std::printf("\n");
    }
    const double chosen = find(std::string("chain/") + chainPathName(chosenChainPath()), "512");
    const double plain = find("chain/plain", "512");
    const double lsp = find("hosted/lsp-para-x16-stereo", "512");
    if (chosen == 0.0) return;
    std::printf("\nAt 512-frame blocks, the %s path the module runs here:\n", chainPathName(chosenChainPath()));
    if (plain != 0.0) std::printf("  %.1fx the plain form (target: at least 8x)\n", plain / chosen);
    const double boundNs = kRecursionBoundCycles / cpuGHz;
    std::printf("  %.2fx the %g-cycle recursion bound of %.1f ns (target: within 1.5x)\n", chosen / boundNs,
                kRecursionBoundCycles, boundNs);
    if (lsp != 0.0)
        std::printf("  %.2fx the cost of LSP's six-bell stereo equaliser (target: below 1)\n", chosen / lsp);
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
    static char repetitions[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    static char minTime[] = "--benchmark_min_time=0.2";
    args.insert(args.begin() + 1, {repetitions, interleave, aggregatesOnly, minTime});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    registerChainPathBenchmarks();
    registerHostedBenchmarks();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter, benchmark::CPUInfo::Get().cycles_per_second / 1e9);
    benchmark::Shutdown();
    return 0;
}
