// The LV2 form, loaded through its descriptor and driven as an LV2 host drives it, at the module's
// settings and on the module's noise, so that the adapter's cost shows beside hosted/sixband; and
// with a control that moves at every block, as under a fast automation ramp, so that the glide
// never ends and the chain runs a frame at a time.
#include "BenchSetup.h"

#if defined(SIXBAND_LV2_BINARY)
#include "lv2/Lv2Binary.h"
#include "lv2/Lv2Ports.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

namespace {

void runLv2(benchmark::State& state, bool gliding) {
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    static std::unique_ptr<Lv2Binary> binary;
    std::unique_ptr<Lv2Instance> plugin;
    try {
        if (!binary) binary = std::make_unique<Lv2Binary>(SIXBAND_LV2_BINARY, kLv2PluginUri);
        plugin = std::make_unique<Lv2Instance>(*binary, 44100.0);
    } catch (const std::runtime_error& error) {
        state.SkipWithError(error.what());
        return;
    }
    StereoNoiseBlock block(blockSize, 0.1f);
    float controls[SixBandEqualiser::kParamCount];
    std::copy(std::begin(kBenchBandSettings), std::end(kBenchBandSettings), controls);
    plugin->connect(kInLeft, block.inputs[0]);
    plugin->connect(kInRight, block.inputs[1]);
    plugin->connect(kOutLeft, block.outputs[0]);
    plugin->connect(kOutRight, block.outputs[1]);
    for (std::uint32_t band = 0; band < SixBandEqualiser::kParamCount; ++band)
        plugin->connect(kFirstBand + band, &controls[band]);
    plugin->activate();
    for (auto _ : state) {
        if (gliding) controls[0] = controls[0] == kBenchBandSettings[0] ? 0.5f : kBenchBandSettings[0];
        plugin->run(static_cast<std::uint32_t>(blockSize));
        benchmark::DoNotOptimize(block.outLeft.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * blockSize),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

void registerLv2Benchmarks() {
    for (const bool gliding : {false, true}) {
        auto* bench = benchmark::RegisterBenchmark(gliding ? "hosted/sixband-lv2-gliding" : "hosted/sixband-lv2",
                                                   runLv2, gliding);
        bench->ComputeStatistics("min", fastestRepetition);
        for (std::int64_t block : kBenchBlockSizes) bench->Arg(block);
    }
}

#else

void registerLv2Benchmarks() {}

#endif
