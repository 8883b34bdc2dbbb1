#include "HostedEqualiser.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

std::uint32_t framesIn(double seconds, double rate) {
    return static_cast<std::uint32_t>(std::clamp(std::lround(seconds * rate), 1l, 1l << 20));
}

}  // namespace

HostedEqualiser::HostedEqualiser(double rate) : glideFrames_(framesIn(0.010, rate)), glided_(glideFrames_) {
    bypass_.setLength(framesIn(0.010, rate));
    readout_.design(design_, rate);
    for (int band = 0; band < kBands; ++band)
        defaults_[band] = target_[band] = start_[band] = current_[band] = equaliser_.getParam(band);
}

// The module's equaliser clears its histories only when it is made, so a new one is made in its
// place (not on the audio thread: hosts activate elsewhere).
void HostedEqualiser::reset() {
    std::destroy_at(&equaliser_);
    std::construct_at(&equaliser_, nullptr);
    std::copy_n(target_, kBands, current_);
    glided_ = glideFrames_;
    applyParams();
    fresh_ = true;
}

void HostedEqualiser::setControl(int band, float value) {
    value = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : defaults_[band];
    if (value == target_[band]) return;
    target_[band] = value;
    gainsStale_ = true;
    if (fresh_) {
        current_[band] = value;
        equaliser_.setParam(band, value);
        return;
    }
    // Every band sets out again from where it is: one that was still gliding arrives a little
    // later, and none changes direction.
    std::copy_n(current_, kBands, start_);
    glided_ = 0;
}

void HostedEqualiser::applyParams() {
    for (int band = 0; band < kBands; ++band) equaliser_.setParam(band, current_[band]);
}

// The chain in runs of a few frames while a glide lasts, its parameters moved a step before each
// run, to exactly the controls' values at the end; in one run otherwise.
void HostedEqualiser::equalise(float* const in[2], float* const out[2], std::uint32_t frames) {
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    while (frames > 0) {
        std::uint32_t run = std::min<std::uint32_t>(frames, std::numeric_limits<std::int32_t>::max());
        if (glided_ < glideFrames_) {
            run = std::min({run, kGlideStepFrames, glideFrames_ - glided_});
            glided_ += run;
            const float part = static_cast<float>(glided_) / static_cast<float>(glideFrames_);
            for (int band = 0; band < kBands; ++band)
                current_[band] = glided_ == glideFrames_ ? target_[band]
                                                         : start_[band] + (target_[band] - start_[band]) * part;
            applyParams();
        }
        equaliser_.processReplace(inputs, outputs, static_cast<std::int32_t>(run));
        for (float** channels : {inputs, outputs})
            for (int channel = 0; channel < 2; ++channel) channels[channel] += run;
        frames -= run;
    }
}

void HostedEqualiser::process(float* const in[2], float* const out[2], std::uint32_t frames) {
    if (frames == 0) return;
    if (fresh_) bypass_.settle(enabled_);
    fresh_ = false;
    if (enabled_ && bypass_.settled(true)) {
        equalise(in, out, frames);
        return;
    }
    // The filters keep running while bypassed, so that switching back is click-free too.
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    float* equalised[2] = {scratch_[0], scratch_[1]};
    while (frames > 0) {
        const std::uint32_t run = std::min(frames, kScratchFrames);
        equalise(inputs, equalised, run);
        bypass_.apply(enabled_, inputs, equalised, outputs, run);
        for (float** channels : {inputs, outputs})
            for (int channel = 0; channel < 2; ++channel) channels[channel] += run;
        frames -= run;
    }
}

const float (&HostedEqualiser::gainsDb())[kBands] {
    if (gainsStale_) readout_.read(target_, gainsDb_);
    gainsStale_ = false;
    return gainsDb_;
}
