// Processing with anything a host may hand over: any sample bits, any parameter values (NaN,
// infinities, huge), any frame count, the same buffers for input and output. Output buffers sit
// between guard zones that must come back untouched, a count of zero or less must leave the outputs
// as they were, and adding onto silence must give what replacing writes. Within a bounded range of
// samples and band values, the output is finite, also after a call that met a NaN or an infinity.
#include "FuzzHost.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr std::size_t kGuard = 16;
constexpr std::uint32_t kGuardBits = 0x7FA5A5A5;  // a NaN no arithmetic produces
constexpr std::int32_t kMaxFrames = 1024;

float guardValue() {
    float value;
    std::memcpy(&value, &kGuardBits, sizeof value);
    return value;
}

// One channel's samples with a guard zone on each side.
class GuardedChannel {
public:
    explicit GuardedChannel(std::int32_t frames)
        : samples_(kGuard + static_cast<std::size_t>(frames) + kGuard, guardValue()), frames_(frames) {}
    float* data() { return samples_.data() + kGuard; }
    float at(std::int32_t i) const { return samples_[kGuard + static_cast<std::size_t>(i)]; }
    void fill(float value) { std::fill_n(data(), frames_, value); }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (!sameBits(samples_[i], guardValue()) || !sameBits(samples_[samples_.size() - 1 - i], guardValue()))
                return false;
        return true;
    }

private:
    std::vector<float> samples_;
    std::int32_t frames_;
};

// What the chain can take without overflowing: its gain is bounded for band values within
// [-2, 3], and histories that stopped being finite are cleared after their call. Huge finite
// values are not cleared, only left to decay, so after one the bound says nothing for a while.
constexpr float kLargestTameSample = 0x1p20f;
bool tameSample(float x) { return std::abs(x) <= kLargestTameSample; }  // false for NaN
bool tameBandValue(float p) { return p >= -2.0f && p <= 3.0f; }

// Mostly any bits; now and then a sample or value from the tame range, which arbitrary bits
// seldom give.
float sampleFrom(FuzzedDataProvider& data) {
    return data.ConsumeBool() ? anyFloat(data) : data.ConsumeFloatingPointInRange(-kLargestTameSample, kLargestTameSample);
}
float bandValueFrom(FuzzedDataProvider& data) {
    return data.ConsumeBool() ? anyFloat(data) : data.ConsumeFloatingPointInRange(-2.0f, 3.0f);
}

// Adding onto +0 turns a -0 result into +0; otherwise the two modes give the same values.
bool sameResult(float replaced, float added) {
    return replaced == added || (std::isnan(replaced) && std::isnan(added));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    // Two effects fed the same: one replaces, the other adds onto silence.
    AEffect* replacing = openEffect();
    AEffect* adding = openEffect();

    float bandValue[6] = {0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f};
    // Whether the histories hold nothing but what tame calls left (or zeros).
    bool historiesTame = true;
    while (data.remaining_bytes() > 0) {
        while (data.ConsumeBool()) {
            const int band = data.ConsumeIntegralInRange<int>(0, 5);
            const float value = bandValueFrom(data);
            bandValue[band] = value;
            replacing->setParameter(replacing, band, value);
            adding->setParameter(adding, band, value);
        }
        const std::int32_t frames = data.ConsumeBool() ? data.ConsumeIntegral<std::int32_t>()
                                                       : data.ConsumeIntegralInRange<std::int32_t>(0, kMaxFrames);
        const std::int32_t allocated = std::clamp(frames, 0, kMaxFrames);
        const bool inPlace = data.ConsumeBool();

        GuardedChannel in[2] = {GuardedChannel(allocated), GuardedChannel(allocated)};
        for (std::int32_t i = 0; i < allocated; ++i) {
            in[0].data()[i] = sampleFrom(data);
            in[1].data()[i] = data.ConsumeBool() ? in[0].data()[i] : sampleFrom(data);
        }
        GuardedChannel sum[2] = {GuardedChannel(allocated), GuardedChannel(allocated)};
        for (GuardedChannel& channel : sum) channel.fill(0.0f);
        GuardedChannel copy[2] = {in[0], in[1]};
        GuardedChannel separate[2] = {GuardedChannel(allocated), GuardedChannel(allocated)};
        for (GuardedChannel& channel : separate) channel.fill(0.5f);
        GuardedChannel* replaced = inPlace ? in : separate;

        float* inputs[2] = {in[0].data(), in[1].data()};
        float* replacedOut[2] = {replaced[0].data(), replaced[1].data()};
        float* copyIn[2] = {copy[0].data(), copy[1].data()};
        float* sumOut[2] = {sum[0].data(), sum[1].data()};
        // A count beyond the buffers is the host's fault, not a case; the count itself is passed on.
        const std::int32_t count = frames > kMaxFrames ? allocated : frames;
        // A call is tame when everything it reads is in range; one that reads a huge finite value
        // may leave huge histories behind. NaNs and infinities leave cleared or untouched ones.
        bool tameCall = true, hugeFinite = false;
        auto look = [&](float value, bool tame) {
            tameCall = tameCall && tame;
            hugeFinite = hugeFinite || (!tame && std::isfinite(value));
        };
        for (float value : bandValue) look(value, tameBandValue(value));
        for (std::int32_t i = 0; i < std::max(count, 0); ++i)
            for (const GuardedChannel& channel : in) look(channel.at(i), tameSample(channel.at(i)));
        const bool mustBeFinite = tameCall && historiesTame && count > 0;
        if (hugeFinite && count > 0) historiesTame = false;
        replacing->processReplacing(replacing, inputs, replacedOut, count);
        adding->process(adding, copyIn, sumOut, count);

        for (int channel = 0; channel < 2; ++channel) {
            require(in[channel].guardsIntact() && separate[channel].guardsIntact() && sum[channel].guardsIntact() &&
                        copy[channel].guardsIntact(),
                    "nothing is written outside the buffers");
            for (std::int32_t i = 0; i < allocated; ++i) {
                if (count <= 0) {
                    require(sameBits(sum[channel].at(i), 0.0f), "a count of zero or less adds nothing");
                    require(inPlace ? sameBits(in[channel].at(i), copy[channel].at(i)) : separate[channel].at(i) == 0.5f,
                            "a count of zero or less writes nothing");
                } else {
                    require(sameResult(replaced[channel].at(i), sum[channel].at(i)),
                            "adding onto silence gives what replacing writes");
                    require(!mustBeFinite || std::isfinite(replaced[channel].at(i)),
                            "tame input gives finite output, also after a bad call");
                }
            }
        }
    }
    closeEffect(replacing);
    closeEffect(adding);
    return 0;
}
