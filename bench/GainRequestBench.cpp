// What six gain requests cost beside the same settings given as numbers: the measured search,
// jointly and one parameter at a time, for the built module at 44.1 kHz.
#include "BenchSetup.h"

#if defined(SIXBAND_BENCH_CLI)
#include "host/measuring/ParameterResolution.h"

#include <benchmark/benchmark.h>

namespace {

const char* const kGainRequests[] = {"80 Hz=+6dB", "400 Hz=-3dB", "1 kHz=+2dB",
                                     "2.5 kHz=-6dB", "5 kHz=+4dB", "12 kHz=-2dB"};
// About what the gain requests come to, as numbers.
const char* const kNumberRequests[] = {"80 Hz=0.3956", "400 Hz=0.2078", "1 kHz=0.3895",
                                       "2.5 kHz=0.1393", "5 kHz=0.4908", "12 kHz=0.1987"};

void resolve(benchmark::State& state, bool gains, GainSearch search) {
    const ModuleLibrary module(SIXBAND_MODULE_PATH);
    std::vector<ParameterRequest> requests;
    for (const char* text : gains ? kGainRequests : kNumberRequests) requests.push_back(parseParameterRequest(text));
    for (auto _ : state) benchmark::DoNotOptimize(resolveSettings(module, requests, 44100.0, 44100.0, false, search));
}

}  // namespace

void registerGainRequestBenchmarks() {
    benchmark::RegisterBenchmark("requests/six-numbers", resolve, false, GainSearch::jointly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("requests/six-gains-jointly", resolve, true, GainSearch::jointly)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("requests/six-gains-one-at-a-time", resolve, true, GainSearch::oneAtATime)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);  // seconds each
}

#else

void registerGainRequestBenchmarks() {}

#endif
