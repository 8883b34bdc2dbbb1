// Test signals that are the same on every platform and build, and bitwise comparison of results.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

struct StereoBuffer {
    explicit StereoBuffer(std::size_t frames = 0) : left(frames), right(frames) {}
    std::vector<float> left, right;
};

// xorshift64*, spelled out so that the sequence never depends on a library's distributions.
class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [-1, 1), exactly representable: 24 random bits scaled by a power of two.
    float nextSample() { return static_cast<float>(static_cast<std::int32_t>(next() >> 40) - (1 << 23)) / (1 << 23); }
    std::int32_t nextBelow(std::int32_t bound) { return static_cast<std::int32_t>(next() % static_cast<std::uint64_t>(bound)); }

private:
    std::uint64_t state_;
};

inline StereoBuffer seededNoise(std::size_t frames, std::uint64_t seed, float amplitude = 0.5f) {
    SeededRandom random(seed);
    StereoBuffer buffer(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        buffer.left[i] = amplitude * random.nextSample();
        buffer.right[i] = amplitude * random.nextSample();
    }
    return buffer;
}

inline bool sameBits(const StereoBuffer& a, const StereoBuffer& b) {
    return a.left.size() == b.left.size() && a.right.size() == b.right.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}

// FNV-1a over the bits of the samples: a compact fingerprint of an output.
class BitHash {
public:
    void add(const float* samples, std::size_t count) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(samples);
        for (std::size_t i = 0; i < count * sizeof(float); ++i) hash_ = (hash_ ^ bytes[i]) * 0x100000001B3ull;
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};
