// The equaliser as a plug-in face (LV2, CLAP) runs it for a host: controls kept within their range,
// every change glided over about 10 ms instead of stepped, a bypass crossfaded, and the chain's
// gain at each band's frequency read out. While the controls stay where they are, the output is
// the module's, bit for bit: the glide only ever changes the band parameters between short runs
// of the one chain.
#pragma once

#include "BypassCrossfade.h"
#include "DesignedResponse.h"
#include "SixBandEqualiser.h"

#include <cstdint>

class HostedEqualiser {
public:
    static constexpr int kBands = SixBandEqualiser::kParamCount;

    // The bands are designed for 44,100 Hz whatever the rate, as in the module: the rate sets the
    // length of glides and crossfades and the frequencies the readouts are taken at.
    explicit HostedEqualiser(double rate);

    // As a host's activation: the histories are forgotten, and the next frames take the controls
    // and the bypass as they are, without a glide or a crossfade.
    void reset();

    // A value beyond 0..1 is taken at the nearer end, one that is not a number as the default.
    void setControl(int band, float value);
    float control(int band) const { return target_[band]; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // `in` may be `out`. Any number of frames.
    void process(float* const in[2], float* const out[2], std::uint32_t frames);

    // The chain's gain in dB at each band's named frequency at the controls' values (where a
    // glide ends), worked out again only after a control has changed.
    const float (&gainsDb())[kBands];
    // The designed stages, fixed once made: safe to read from any thread.
    const DesignedResponse& design() const { return design_; }

    // Frames between the steps of a glide: one, because even four (a 4/960 part of the jump at
    // 96 kHz) make a low tone's steepest change twice its own. Run a frame at a time, the chain
    // costs about four times as much per frame while a glide lasts.
    static constexpr std::uint32_t kGlideStepFrames = 1;

private:
    void equalise(float* const in[2], float* const out[2], std::uint32_t frames);
    void applyParams();

    SixBandEqualiser equaliser_{nullptr};
    DesignedResponse design_{equaliser_};
    BandGainReadout readout_;
    float defaults_[kBands];
    float target_[kBands];   // the controls, within range
    float start_[kBands];    // where the glide under way set out from
    float current_[kBands];  // what the equaliser has now
    float gainsDb_[kBands] = {};
    bool gainsStale_ = true;
    std::uint32_t glideFrames_;
    std::uint32_t glided_;   // frames of the glide done; glideFrames_ when there is none
    bool fresh_ = true;      // nothing processed since reset()
    bool enabled_ = true;
    BypassCrossfade bypass_;

    // While bypassed or crossfading, the equalised signal goes here, piece by piece, so that the
    // dry one is still in the input (which may be the output) to pass or mix.
    static constexpr std::uint32_t kScratchFrames = 1024;
    float scratch_[2][kScratchFrames] = {};
};
