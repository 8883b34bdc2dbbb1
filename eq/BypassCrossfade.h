// Switching between the equalised and the dry signal without a click: the two are crossfaded
// over a fixed number of frames, about 10 ms. At either end the output is one signal or the
// other, selected rather than mixed, so that a bypassed plug-in passes its input bit for bit
// (and 0 times a NaN never turns the dry signal into a NaN).
#pragma once

#include <algorithm>
#include <cstdint>

class BypassCrossfade {
public:
    void setLength(std::uint32_t frames) {
        length_ = std::max<std::uint32_t>(frames, 1);
        step_ = 1.0f / static_cast<float>(length_);
    }
    // Straight to one end, as after activation.
    void settle(bool enabled) { position_ = enabled ? length_ : 0; }
    bool settled(bool enabled) const { return position_ == (enabled ? length_ : 0); }

    // One step toward `enabled` each frame; `dry` may be `out`.
    void apply(bool enabled, const float* const dry[2], const float* const equalised[2], float* const out[2],
               std::uint32_t frames) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            if (enabled && position_ < length_) ++position_;
            if (!enabled && position_ > 0) --position_;
            const float wet = static_cast<float>(position_) * step_;
            for (int channel = 0; channel < 2; ++channel) {
                const float d = dry[channel][i], e = equalised[channel][i];
                out[channel][i] = position_ == length_ ? e : position_ == 0 ? d : wet * e + (1.0f - wet) * d;
            }
        }
    }

private:
    std::uint32_t length_ = 1;
    std::uint32_t position_ = 1;
    float step_ = 1.0f;  // the weight of one frame of the fade, so that the loop multiplies
};
