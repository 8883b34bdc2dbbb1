#include "SixBandEqualiser.h"

#include "ChainGains.h"
#include "ChainProcessor.h"
#include "plugin/CreateEffect.h"

#include <cstring>

namespace {

struct BandText {
    const char* name;
    double displayOffset;  // the parameter value that displays as 0 dB
    double displayScale;   // nominal dB per unit of parameter
    float defaultValue;
};

// The displayed figure is a nominal scale: the gain actually applied at a band's frequency is
// smaller (band 0 at 1.0 shows 25.6 dB and boosts 80 Hz by about 14 dB).
constexpr BandText kBands[SixBandEqualiser::kParamCount] = {
    {"80 Hz  ", 0.2, 32.0, 0.2f},       {"400 Hz  ", 0.25, 33.5, 0.25f},
    {"1 kHz  ", 0.333, 35.0, 0.333f},   {"2.5 kHz  ", 0.333, 35.0, 0.333f},
    {"5 kHz  ", 0.333, 35.0, 0.333f},   {"12 kHz  ", 0.333, 35.0, 0.333f},
};

constexpr char kLabel[] = "   dB ";

// Compared unsigned, so that negative indices are out of range too.
bool isBand(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(SixBandEqualiser::kParamCount);
}

}  // namespace

SixBandEqualiser::SixBandEqualiser(audioMasterCallback audioMaster)
    : EffectBase(audioMaster, 1, kParamCount) {
    for (int stage = 0; stage < kStageCount; ++stage)
        designStage(stage, kStageEdges[stage].wu, kStageEdges[stage].wl);
    for (int band = 0; band < kParamCount; ++band)
        bandParam[band].store(kBands[band].defaultValue, std::memory_order_relaxed);
    setInputCount(2);
    setOutputCount(2);
    setUniqueId(kUniqueId);
    setMonoFlag(true);
    setReplacingFlag(true);
    std::memcpy(programName, "Default", sizeof "Default");
}

SixBandEqualiser::~SixBandEqualiser() = default;

void SixBandEqualiser::designStage(int stage, double wu, double wl) {
    const StageCoeffs<double> c = designBandPass(designScratch, wu, wl);
    if (stage == 0) s1Coeffs = c;
    else stageCoeffs[stage - 1] = roundedToFloat(c);
    for (StageState& history : stageState[stage]) history = {};
}

ChainState SixBandEqualiser::chainState() { return {&s1Coeffs, stageCoeffs, stageState}; }

void SixBandEqualiser::setParam(std::int32_t index, float value) {
    if (isBand(index)) bandParam[index].store(value, std::memory_order_relaxed);
}

float SixBandEqualiser::getParam(std::int32_t index) {
    return isBand(index) ? bandParam[index].load(std::memory_order_relaxed) : 0.0f;
}

void SixBandEqualiser::processAdd(float** inputs, float** outputs, std::int32_t sampleFrames) {
    processChain(chainState(), chainGainsFor(bandParam), inputs, outputs, sampleFrames, OutputMode::add);
}

void SixBandEqualiser::processReplace(float** inputs, float** outputs, std::int32_t sampleFrames) {
    processChain(chainState(), chainGainsFor(bandParam), inputs, outputs, sampleFrames,
                 OutputMode::replace);
}

// The field holds 31 characters and the terminator; a longer name is cut rather than written past it.
void SixBandEqualiser::setProgramName(char* text) {
    const std::size_t length = strnlen(text, sizeof programName - 1);
    std::memcpy(programName, text, length);
    programName[length] = '\0';
}

void SixBandEqualiser::getProgramName(char* text) {
    std::memcpy(text, programName, std::strlen(programName) + 1);
}

void SixBandEqualiser::getParamLabel(std::int32_t index, char* text) {
    if (isBand(index)) std::memcpy(text, kLabel, sizeof kLabel);
}

void SixBandEqualiser::getParamDisplay(std::int32_t index, char* text) {
    if (!isBand(index)) return;
    const BandText& band = kBands[index];
    const double nominalDb =
        (static_cast<double>(bandParam[index].load(std::memory_order_relaxed)) - band.displayOffset) *
        band.displayScale;
    floatToText(static_cast<float>(nominalDb), text);
}

void SixBandEqualiser::getParamName(std::int32_t index, char* text) {
    if (isBand(index)) std::memcpy(text, kBands[index].name, std::strlen(kBands[index].name) + 1);
}

EffectBase* createEffect(audioMasterCallback audioMaster) { return new SixBandEqualiser(audioMaster); }
