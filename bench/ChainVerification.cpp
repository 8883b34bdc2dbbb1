// The long verification run: every fast path the processor supports against the plain form, on
// random blocks, parameter changes, both output modes and in-place buffers, comparing outputs and
// every history after every call. It stops at the first differing bit.
#include "BenchSetup.h"
#include "DesignedChain.h"
#include "eq/ChainProcessor.h"
#include "eq/PlainChain.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::int32_t kLongestBlock = 4096;

struct Buffers {
    std::vector<float> channels[4];  // left in, right in, left out, right out
    Buffers() {
        for (auto& channel : channels) channel.resize(kLongestBlock);
    }
};

void call(ChainFunction chain, DesignedChain& designed, Buffers& buffers, const ChainGains& gains,
          std::int32_t frames, OutputMode mode, bool inPlace) {
    float* inputs[2] = {buffers.channels[0].data(), buffers.channels[1].data()};
    float* outputs[2] = {buffers.channels[2].data(), buffers.channels[3].data()};
    chain(designed.state(), gains, inputs, inPlace ? inputs : outputs, frames, mode);
}

bool verifyPath(ChainPath path, std::int64_t frames) {
    const ChainFunction fast = chainFunction(path);
    DesignedChain plainChain, fastChain;
    std::atomic<float> bandParam[kStageCount] = {0.8f, 0.1f, 0.6f, 0.9f, 0.2f, 0.7f};
    Buffers plainBuffers, fastBuffers;
    std::mt19937_64 random(static_cast<std::uint64_t>(path) * 1000003u + 17u);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<std::int32_t> shortBlock(1, 40);
    std::uniform_int_distribution<std::int32_t> longBlock(41, kLongestBlock);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_real_distribution<float> parameter(-0.5f, 1.5f);

    const auto start = std::chrono::steady_clock::now();
    std::int64_t done = 0;
    for (std::int64_t callIndex = 0; done < frames; ++callIndex) {
        const int kind = percent(random);
        const std::int32_t count = kind < 3    ? 0
                                   : kind < 5  ? -kind
                                   : kind < 30 ? shortBlock(random)
                                               : longBlock(random);
        const OutputMode mode = percent(random) < 50 ? OutputMode::add : OutputMode::replace;
        const bool inPlace = percent(random) < 25;
        if (percent(random) < 20) bandParam[random() % kStageCount] = parameter(random);
        const std::int32_t used = std::max(count, 0);
        for (int b = 0; b < 4; ++b) {
            std::generate_n(plainBuffers.channels[b].begin(), used, [&] { return sample(random); });
            std::copy_n(plainBuffers.channels[b].begin(), used, fastBuffers.channels[b].begin());
        }
        const ChainGains gains = chainGainsFor(bandParam);
        call(processPlainChain, plainChain, plainBuffers, gains, count, mode, inPlace);
        call(fast, fastChain, fastBuffers, gains, count, mode, inPlace);
        for (int b = 0; b < 4; ++b)
            if (std::memcmp(plainBuffers.channels[b].data(), fastBuffers.channels[b].data(),
                            used * sizeof(float))) {
                std::fprintf(
                    stderr,
                    "MISMATCH: %s path, call %lld (%d frames, %s%s), buffer %d differs from the plain form\n",
                    chainPathName(path), static_cast<long long>(callIndex), count,
                    mode == OutputMode::add ? "add" : "replace", inPlace ? ", in place" : "", b);
                return false;
            }
        if (!plainChain.sameHistories(fastChain)) {
            std::fprintf(stderr,
                         "MISMATCH: %s path, call %lld (%d frames): histories differ from the plain form\n",
                         chainPathName(path), static_cast<long long>(callIndex), count);
            return false;
        }
        done += used;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %lld frames identical to the plain form, outputs and histories (%.1f s)\n",
                chainPathName(path), static_cast<long long>(done), seconds);
    return true;
}

}  // namespace

bool verifyChainPaths(std::int64_t frames) {
    bool identical = true;
    for (ChainPath path : kChainPaths) {
        if (path == ChainPath::plain) continue;
        if (!chainFunction(path)) {
            std::printf("%s: not verified, this processor or build has no such path\n", chainPathName(path));
            continue;
        }
        identical = verifyPath(path, frames) && identical;
    }
    return identical;
}
