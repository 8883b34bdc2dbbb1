// The stereo six-band equaliser: six fourth-order band-pass stages in series, each adding its
// output back to the running signal, scaled by a factor that its band parameter sets.
#pragma once

#include "BandDesign.h"
#include "ChainState.h"
#include "Stage.h"
#include "plugin/EffectBase.h"

#include <atomic>
#include <cstdint>

class SixBandEqualiser : public EffectBase {
public:
    static constexpr std::int32_t kParamCount = 6;
    static constexpr std::int32_t kUniqueId = fourCharCode("Sx6B");

    explicit SixBandEqualiser(audioMasterCallback audioMaster);
    ~SixBandEqualiser() override;

    void setParam(std::int32_t index, float value) override;
    float getParam(std::int32_t index) override;
    void processAdd(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    void processReplace(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    void setProgramName(char* text) override;
    void getProgramName(char* text) override;
    void getParamLabel(std::int32_t index, char* text) override;
    void getParamDisplay(std::int32_t index, char* text) override;
    void getParamName(std::int32_t index, char* text) override;

    // For inspection by tests and tools: the designed coefficients and the running histories.
    const StageCoeffs<double>& firstStageCoeffs() const { return s1Coeffs; }
    const StageCoeffs<float>& laterStageCoeffs(int stage) const { return stageCoeffs[stage - 1]; }
    const StageState& history(int stage, int channel) const { return stageState[stage][channel]; }
    const DesignScratch& lastDesign() const { return designScratch; }

private:
    void designStage(int stage, double wu, double wl);
    ChainState chainState();

    // Written by the host's thread and read once per block by the audio thread; relaxed atomics
    // are plain 32-bit stores and loads on x86, without the data race.
    std::atomic<float> bandParam[kParamCount];
    StageState stageState[kStageCount][kChannelCount];  // in double: see StageState
    DesignScratch designScratch;
    StageCoeffs<double> s1Coeffs;
    StageCoeffs<float> stageCoeffs[kStageCount - 1];
    char programName[32];
};
