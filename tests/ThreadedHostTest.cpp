// A host's threads: audio threads each processing their own effects while a user interface and an
// automation thread write and read parameters of the same effects at any moment, and effects created
// and closed on whatever thread the host likes. Effects share nothing, so none of this may crash,
// race (the ThreadSanitizer build runs these tests) or change a single output bit.
#include "ModuleHarness.h"

#include "host/hosting/HostedEffect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <latch>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kInstances = 16;
constexpr int kAudioThreads = 8;
constexpr int kParameterThreads = 3;
constexpr std::int32_t kMaxBlock = 512;

AEffect* newEffect() {
    AEffect* effect = builtModule().entry()(hostCallback);
    EXPECT_NE(effect, nullptr);
    return effect;
}

void closeEffect(AEffect* effect) { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }

struct StereoBlock {
    std::vector<float> left, right, outLeft, outRight;
    explicit StereoBlock(std::int32_t frames)
        : left(frames), right(frames), outLeft(frames), outRight(frames) {}
    float* inputs[2];
    float* outputs[2];
    void point() {
        inputs[0] = left.data();
        inputs[1] = right.data();
        outputs[0] = outLeft.data();
        outputs[1] = outRight.data();
    }
};

// Finite, full-scale audio: noise with a sine under it, so every band has something to do.
void fillAudio(StereoBlock& block, std::mt19937& random, std::int32_t frames, double& phase) {
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (std::int32_t i = 0; i < frames; ++i) {
        const auto tone = static_cast<float>(0.5 * std::sin(phase));
        phase += 0.031;
        block.left[i] = tone + noise(random);
        block.right[i] = noise(random) - tone;
    }
}

TEST(ThreadedHost, AudioThreadsStayFiniteWhileOtherThreadsWriteParameters) {
    std::vector<AEffect*> effects;
    for (int i = 0; i < kInstances; ++i) effects.push_back(newEffect());
    ASSERT_FALSE(HasFailure());

    std::atomic<bool> audioRunning{true};
    std::atomic<long> nonFinite{0};
    std::atomic<long> framesChecked{0};
    std::latch start(kAudioThreads + kParameterThreads);

    // Each audio thread owns two effects: the host calls processing on one effect at a time.
    auto audioThread = [&](int thread) {
        std::mt19937 random(100 + thread);
        std::uniform_int_distribution<std::int32_t> blockSize(1, kMaxBlock);
        StereoBlock block(kMaxBlock);
        double phase = thread;
        start.arrive_and_wait();
        for (int round = 0; round < 150; ++round) {
            for (int own = thread; own < kInstances; own += kAudioThreads) {
                AEffect* effect = effects[own];
                const std::int32_t frames = blockSize(random);
                fillAudio(block, random, frames, phase);
                block.point();
                if (round % 2 == 0) {
                    effect->processReplacing(effect, block.inputs, block.outputs, frames);
                } else {
                    std::fill_n(block.outLeft.begin(), frames, 0.0f);
                    std::fill_n(block.outRight.begin(), frames, 0.0f);
                    effect->process(effect, block.inputs, block.outputs, frames);
                }
                for (std::int32_t i = 0; i < frames; ++i)
                    if (!std::isfinite(block.outLeft[i]) || !std::isfinite(block.outRight[i])) ++nonFinite;
                framesChecked += frames;
            }
        }
    };

    // Parameter threads write every effect's bands as fast as they can and read them back with
    // their texts, as an interface redrawing its sliders does.
    std::atomic<long> parameterWrites{0};
    auto parameterThread = [&](int thread) {
        std::mt19937 random(900 + thread);
        std::uniform_real_distribution<float> setting(0.0f, 1.0f);
        char text[64];
        long writes = 0;
        start.arrive_and_wait();
        while (audioRunning.load(std::memory_order_relaxed)) {
            for (AEffect* effect : effects) {
                const int band = static_cast<int>(random() % 6);
                effect->setParameter(effect, band, setting(random));
                const float back = effect->getParameter(effect, band);
                EXPECT_TRUE(back >= 0.0f && back <= 1.0f);
                effect->dispatcher(effect, effGetParamDisplay, band, 0, text, 0.0f);
                EXPECT_EQ(std::strlen(text), 8u);
                ++writes;
            }
        }
        parameterWrites += writes;
    };

    std::vector<std::thread> parameterThreads;
    for (int t = 0; t < kParameterThreads; ++t) parameterThreads.emplace_back(parameterThread, t);
    {
        std::vector<std::jthread> audioThreads;
        for (int t = 0; t < kAudioThreads; ++t) audioThreads.emplace_back(audioThread, t);
    }
    audioRunning = false;
    for (std::thread& thread : parameterThreads) thread.join();
    for (AEffect* effect : effects) closeEffect(effect);

    EXPECT_EQ(nonFinite.load(), 0) << "of " << framesChecked.load() << " frames checked";
    EXPECT_GT(parameterWrites.load(), kInstances) << "the parameter threads never got to run";
}

// One effect's life as a seeded script: parameter changes between blocks of varying size, in both
// processing modes. Returns every output sample.
std::vector<float> runScript(unsigned seed) {
    AEffect* effect = newEffect();
    if (!effect) return {};
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int32_t> blockSize(1, kMaxBlock);
    std::uniform_real_distribution<float> setting(-0.2f, 1.2f);
    StereoBlock block(kMaxBlock);
    std::vector<float> result;
    double phase = seed;
    for (int round = 0; round < 120; ++round) {
        effect->setParameter(effect, static_cast<int>(random() % 6), setting(random));
        const std::int32_t frames = blockSize(random);
        fillAudio(block, random, frames, phase);
        block.point();
        if (round % 3 == 0) {
            std::fill_n(block.outLeft.begin(), frames, 0.25f);
            std::fill_n(block.outRight.begin(), frames, -0.25f);
            effect->process(effect, block.inputs, block.outputs, frames);
        } else {
            effect->processReplacing(effect, block.inputs, block.outputs, frames);
        }
        result.insert(result.end(), block.outLeft.begin(), block.outLeft.begin() + frames);
        result.insert(result.end(), block.outRight.begin(), block.outRight.begin() + frames);
    }
    closeEffect(effect);
    return result;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(ThreadedHost, ConcurrentEffectsGiveTheBitsOfTheSameRunsMadeOneAfterAnother) {
    std::vector<std::vector<float>> alone;
    for (int i = 0; i < kInstances; ++i) alone.push_back(runScript(7000 + i));

    std::vector<std::vector<float>> together(kInstances);
    std::latch start(kInstances);
    {
        // Each thread creates, drives and closes its own effect, all at the same moment.
        std::vector<std::jthread> threads;
        for (int i = 0; i < kInstances; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                together[i] = runScript(7000 + i);
            });
    }
    for (int i = 0; i < kInstances; ++i) {
        ASSERT_FALSE(alone[i].empty());
        EXPECT_TRUE(sameBits(alone[i], together[i])) << "effect " << i << " differs when run beside others";
    }
}

}  // namespace
