// The parts of the benchmark program, registered and run by its main.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

inline constexpr std::int64_t kBenchBlockSizes[] = {64, 512, 4096};

// The equaliser's band parameters in every benchmark of the module and its LV2 form: every band
// away from neutral, so that no stage's contribution is a near-zero.
inline constexpr float kBenchBandSettings[6] = {0.8f, 0.1f, 0.6f, 0.9f, 0.2f, 0.7f};

// The fastest repetition, beside the median: on a shared machine the other jobs only ever add
// time, so the minimum is the steadier estimate of what the code itself costs.
inline double fastestRepetition(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// One block of stereo noise and room for its result, the same for every benchmark.
struct StereoNoiseBlock {
    StereoNoiseBlock(std::int32_t frames, float amplitude)
        : left(frames), right(frames), outLeft(frames), outRight(frames) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> noise(-amplitude, amplitude);
        for (std::int32_t i = 0; i < frames; ++i) {
            left[i] = noise(random);
            right[i] = noise(random);
        }
    }
    std::vector<float> left, right, outLeft, outRight;
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
};

// Each form of the chain driven directly: plain, SSE2, AVX2.
void registerChainPathBenchmarks();
// The built module and the peer equalisers, loaded and driven as a host drives them.
void registerHostedBenchmarks();
// The LV2 form, loaded through its descriptor (nothing where the build has no LV2 form).
void registerLv2Benchmarks();
// Gain requests resolved on the built module (nothing where the build has no command-line host).
void registerGainRequestBenchmarks();
// Runs every fast path the processor supports against the plain form for this many frames;
// returns false after reporting the first difference.
bool verifyChainPaths(std::int64_t frames);
