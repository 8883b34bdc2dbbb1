// The module's processing as a host calls it: processReplacing through the record, on noise, at
// the block sizes hosts commonly use.
#include "BenchSetup.h"
#include "host/hosting/ModuleLibrary.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

VstIntPtr SIXBAND_CDECL benchHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

const ModuleLibrary& module() {
    static const ModuleLibrary library(SIXBAND_MODULE_PATH);
    return library;
}

void processReplacingThroughTheRecord(benchmark::State& state) {
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    AEffect* effect = module().entry()(benchHost);
    // Every band away from its neutral setting, so no stage is transparent.
    const float settings[6] = {0.8f, 0.1f, 0.6f, 0.9f, 0.2f, 0.7f};
    for (int band = 0; band < 6; ++band) effect->setParameter(effect, band, settings[band]);

    StereoNoiseBlock block(blockSize, 0.5f);
    for (auto _ : state) {
        effect->processReplacing(effect, block.inputs, block.outputs, blockSize);
        benchmark::DoNotOptimize(block.outLeft.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * blockSize);
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations() * blockSize),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

BENCHMARK(processReplacingThroughTheRecord)->Arg(64)->Arg(512)->Arg(4096);

}  // namespace
