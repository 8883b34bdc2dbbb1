// The parts of the benchmark program, registered and run by its main.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

inline constexpr std::int64_t kBenchBlockSizes[] = {64, 512, 4096};

// The fastest repetition, beside the median: on a shared machine the other jobs only ever add
// time, so the minimum is the steadier estimate of what the code itself costs.
inline double fastestRepetition(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// Each form of the chain driven directly: plain, SSE2, AVX2.
void registerChainPathBenchmarks();
// The built module and the peer equalisers, loaded and driven as a host drives them.
void registerHostedBenchmarks();
// Runs every fast path the processor supports against the plain form for this many frames;
// returns false after reporting the first difference.
bool verifyChainPaths(std::int64_t frames);
