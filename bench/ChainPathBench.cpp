// Each form of the chain on the same noise and the same settings, called as the equaliser calls it.
#include "BenchSetup.h"
#include "DesignedChain.h"
#include "eq/ChainProcessor.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

namespace {

void runChainPath(benchmark::State& state, ChainPath path) {
    const ChainFunction chain = chainFunction(path);
    if (!chain) {
        state.SkipWithError((std::string("this processor or build has no ") + chainPathName(path) + " path").c_str());
        return;
    }
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    DesignedChain designed;
    // Every band away from its neutral setting, so no stage is transparent.
    const std::atomic<float> bandParam[kStageCount] = {0.8f, 0.1f, 0.6f, 0.9f, 0.2f, 0.7f};
    const ChainGains gains = chainGainsFor(bandParam);

    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> left(blockSize), right(blockSize), outLeft(blockSize), outRight(blockSize);
    for (std::int32_t i = 0; i < blockSize; ++i) {
        left[i] = noise(random);
        right[i] = noise(random);
    }
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        chain(designed.state(), gains, inputs, outputs, blockSize, OutputMode::replace);
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations() * blockSize),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

void registerChainPathBenchmarks() {
    for (ChainPath path : kChainPaths) {
        auto* bench = benchmark::RegisterBenchmark((std::string("chain/") + chainPathName(path)).c_str(),
                                                   runChainPath, path);
        for (std::int64_t block : kBenchBlockSizes) bench->Arg(block);
    }
}
