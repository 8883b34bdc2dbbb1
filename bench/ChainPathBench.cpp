// Each form of the chain on the same noise and the same settings, called as the equaliser calls it.
#include "BenchSetup.h"
#include "DesignedChain.h"
#include "eq/ChainProcessor.h"
#include "eq/StageStep.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

namespace {

void runChainPath(benchmark::State& state, ChainPath path) {
    const ChainFunction chain = chainFunction(path);
    if (!chain) {
        state.SkipWithError(
            (std::string("this processor or build has no ") + chainPathName(path) + " path").c_str());
        return;
    }
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    DesignedChain designed;
    // Every band away from its neutral setting, so no stage is transparent.
    const std::atomic<float> bandParam[kStageCount] = {0.8f, 0.1f, 0.6f, 0.9f, 0.2f, 0.7f};
    const ChainGains gains = chainGainsFor(bandParam);

    StereoNoiseBlock block(blockSize, 0.5f);
    for (auto _ : state) {
        chain(designed.state(), gains, block.inputs, block.outputs, blockSize, OutputMode::replace);
        benchmark::DoNotOptimize(block.outLeft.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * blockSize),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One stage of one channel alone, as the plain form runs it: the other terms of a frame overlap
// with the previous frame's, so what is left is the recursion, y of one frame to y of the next (a
// multiply, a subtraction, the division and the 1e-12 addition; the history keeps y unrounded).
// No schedule that keeps the arithmetic can run a stage faster than this on this processor.
void oneStageRecursion(benchmark::State& state) {
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    DesignedChain designed;
    const StageCoeffs<float>& c = designed.state().stageCoeffs[0];
    StageState s{};
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> input(blockSize), output(blockSize);
    for (float& x : input) x = noise(random);
    for (auto _ : state) {
        for (std::int32_t i = 0; i < blockSize; ++i) {
            output[i] = runStage(c, s, input[i]);
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * blockSize),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

void registerChainPathBenchmarks() {
    benchmark::RegisterBenchmark("bound/one-stage-recursion", oneStageRecursion)
        ->ComputeStatistics("min", fastestRepetition)
        ->Arg(512);
    for (ChainPath path : kChainPaths) {
        auto* bench = benchmark::RegisterBenchmark((std::string("chain/") + chainPathName(path)).c_str(),
                                                   runChainPath, path);
        bench->ComputeStatistics("min", fastestRepetition);
        for (std::int64_t block : kBenchBlockSizes) bench->Arg(block);
    }
}
