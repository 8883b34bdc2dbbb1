#include "DesignRateProbe.h"

#include "ParameterRequest.h"
#include "ResponseMeasurement.h"
#include "host/commands/CommandLine.h"
#include "host/hosting/HostedEffect.h"

#include <algorithm>
#include <cmath>

namespace {

// Differences below this are the same response; a band that moves shows dBs.
constexpr double kSameDb = 0.05;

}  // namespace

bool bandsFixedToDesignRate(const ModuleLibrary& module, const std::vector<std::string>& names,
                            const std::vector<ParameterValue>& settings, double moduleRate) {
    try {
        HostedEffect probe(module, static_cast<float>(moduleRate), 512);
        if (probe.record().numInputs == 0) return false;
        std::vector<ParameterValue> moved = settings;
        std::vector<double> frequencies;
        for (int index = 0; index < static_cast<int>(names.size()); ++index) {
            const auto hz = frequencyInName(names[static_cast<std::size_t>(index)]);
            if (!hz) continue;
            frequencies.push_back(*hz);
            const float value = probe.parameter(index);
            moved.erase(std::remove_if(moved.begin(), moved.end(), [&](const ParameterValue& v) { return v.index == index; }),
                        moved.end());
            moved.push_back({index, value > 0.5f ? value - 0.4f : value + 0.4f});
        }
        if (frequencies.empty()) frequencies = {100.0, 1000.0, 5000.0};
        const double scale = moduleRate / kDesignRateHz;
        std::vector<double> here;
        for (double hz : frequencies)
            if (hz < kDesignRateHz / 2.0 && hz * scale < moduleRate / 2.0) here.push_back(hz);
        std::vector<double> probes = here;
        for (double hz : here) probes.push_back(hz * scale);
        const std::vector<double> atDesign = measureGainsDb(module, moved, kDesignRateHz, here);
        const std::vector<double> atRate = measureGainsDb(module, moved, moduleRate, probes);
        double inHertz = 0.0, inFractions = 0.0;
        for (std::size_t i = 0; i < here.size(); ++i) {
            inHertz = std::max(inHertz, std::abs(atRate[i] - atDesign[i]));
            inFractions = std::max(inFractions, std::abs(atRate[here.size() + i] - atDesign[i]));
        }
        return inFractions < kSameDb && inHertz > kSameDb;
    } catch (const std::exception&) {
        return false;
    }
}
