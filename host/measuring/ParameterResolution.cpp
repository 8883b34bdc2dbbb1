#include "ParameterResolution.h"

#include "DesignRateProbe.h"
#include "JointGainSearch.h"
#include "ResponseMeasurement.h"
#include "host/commands/CommandLine.h"
#include "host/commands/TextTable.h"
#include "host/hosting/HostedEffect.h"
#include "plugin/ShortestText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <map>
#include <ostream>
#include <stdexcept>

namespace {

// Parameters are few enough to list whole up to this count; peers have hundreds.
constexpr int kWholeTableLimit = 16;
// Bands overlap, so meeting one gain moves its neighbours: rounds repeat until all hold together.
constexpr int kMaxRounds = 12;
constexpr double kRoundToleranceDb = 0.002;
constexpr double kBisectionToleranceDb = 0.0002;
// A band whose gain the others move by more than this is marked in the table; by more than the
// second, the requests that moved it are said to have done so.
constexpr double kMovedDb = 0.5, kMovedFarDb = 3.0;
// Points of a parameter's travel looked at to say what gains it can give.
constexpr int kTravelSteps = 32;

struct GainTarget {
    int index;
    double gainDb;
    double frequencyHz;  // 0 when matched on the display text
};

std::string formatDb(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f dB", db);
    return text;
}

std::string formatHz(double hz, int digits = 6) {
    char text[32];
    if (hz >= 1000.0) std::snprintf(text, sizeof text, "%.*g kHz", digits, hz / 1000.0);
    else std::snprintf(text, sizeof text, "%.*g Hz", digits, hz);
    return text;
}

std::string formatRate(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", hz);
    return text;
}

std::vector<ParameterValue> withValue(std::vector<ParameterValue> values, int index, float value) {
    for (auto& v : values)
        if (v.index == index) v.value = value;
    return values;
}

float valueIn(const std::vector<ParameterValue>& values, int index) {
    for (const auto& v : values)
        if (v.index == index) return v.value;
    return 0.0f;
}

void setValue(std::vector<ParameterValue>& values, int index, float value) {
    for (auto& v : values)
        if (v.index == index) {
            v.value = value;
            return;
        }
    values.push_back({index, value});
}

std::string reachError(const std::string& name, const GainTarget& target, const Measure& measure, bool allowOutside,
                       const std::string& rateNote) {
    const std::string where = target.frequencyHz > 0.0 ? " at " + formatHz(target.frequencyHz) : " on its display";
    // The whole travel, not its ends: a band's response need not be monotonic (a notch inside it).
    double lowest = measure(0.0f), highest = lowest;
    for (int step = 1; step <= kTravelSteps; ++step) {
        const double gain = measure(static_cast<float>(step) / kTravelSteps);
        lowest = std::min(lowest, gain);
        highest = std::max(highest, gain);
    }
    const std::string span = "from " + formatDb(lowest) + " to " + formatDb(highest);
    // Where the bands have moved with the rate, that is often why: the note belongs with the error.
    return "parameter \"" + name + "\" cannot reach " + formatDb(target.gainDb) + where +
           (allowOutside ? " even beyond 0..1"
                         : " within 0..1 (over its whole travel it gives " + span +
                               " there); --allow-outside lets the search go beyond") +
           (rateNote.empty() ? "" : "; " + rateNote);
}

// The block size the probing instances are given; they never process audio.
constexpr std::int32_t kProbeBlock = 512;

}  // namespace

ResolvedSettings resolveSettings(const ModuleLibrary& module, const std::vector<ParameterRequest>& requests,
                                 double moduleRate, double audioRate, bool allowOutside, GainSearch search) {
    ResolvedSettings settings;
    HostedEffect probe(module, static_cast<float>(moduleRate), kProbeBlock);
    const int count = probe.paramCount();
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(probe.paramName(i));

    // Later requests for the same parameter replace earlier ones, as on most command lines.
    std::map<int, const ParameterRequest*> byIndex;
    for (const auto& request : requests) byIndex[findParameterIndex(request, names)] = &request;

    // A frequency in the audio lands at this multiple of itself in the module's time base.
    const double toModule = moduleRate / audioRate;
    std::vector<GainTarget> gains;
    for (const auto& [index, request] : byIndex) {
        const std::string name = trimmed(names[static_cast<std::size_t>(index)]);
        const auto frequency = frequencyInName(name);
        // On a band, "%" is a normalised value: "50%" is 0.5.
        if (request->unit.empty() || (request->unit == "%" && frequency)) {
            const double value = request->unit.empty() ? request->value : request->value / 100.0;
            // A forgotten "dB" turns a gain into a huge normalised value, which the module takes.
            if (!allowOutside && (value < 0.0 || value > 1.0)) {
                char gain[32];
                std::snprintf(gain, sizeof gain, "%+gdB", request->value);
                const std::string given = trimmed(request->text.substr(request->text.rfind('=') + 1));
                throw UsageError("--set " + request->text + ": " + given +
                                 (request->unit.empty() ? " is outside the normalised range 0..1; for a gain write \"" +
                                                              request->name + "=" + gain + "\","
                                                        : " is outside 0..100%;") +
                                 (request->unit.empty() ? " or add" : " add") + " --allow-outside to set it as it is");
            }
            setValue(settings.values, index, static_cast<float>(value));
            continue;
        }
        setValue(settings.values, index, probe.parameter(index));
        if (request->isGain && frequency) {
            if (*frequency >= audioRate / 2.0)
                throw UsageError("--set " + request->text + ": " + formatHz(*frequency) +
                                 " is above the Nyquist frequency (" + formatHz(audioRate / 2.0) + ") of audio at " +
                                 std::to_string(static_cast<int>(audioRate)) + " Hz");
            gains.push_back({index, request->value, *frequency});
            continue;
        }
        // Any other value with a unit is what the parameter's display should read, in that unit.
        const std::string shown = trimmed(trimmed(probe.paramDisplay(index)) + " " + trimmed(probe.paramLabel(index)));
        if (!showsUnit(shown, request->unit))
            throw UsageError("--set " + request->text + ": parameter \"" + name + "\" shows \"" + shown + "\", not " +
                             request->unit + "; give a value in its unit or a normalised value 0..1");
        settings.notes.push_back("note: parameter \"" + name + "\" " +
                                 (frequency ? "is a band, but " + request->unit + " is not a gain, so the value"
                                            : "names no frequency, so " + trimmed(request->text.substr(request->text.rfind('=') + 1))) +
                                 " is matched on its display text, not measured");
        gains.push_back({index, request->value, 0.0});
    }

    const auto measureFor = [&](const GainTarget& target) -> Measure {
        if (target.frequencyHz > 0.0)
            return [&, target](float value) {
                return measureGainsDb(module, withValue(settings.values, target.index, value), moduleRate,
                                      {target.frequencyHz * toModule})[0];
            };
        return [&, target](float value) {
            probe.setParameter(target.index, value);
            const std::string display = probe.paramDisplay(target.index);
            // A display that reads "-inf" at one end is a number for the search, not a failure.
            const std::string word = lowered(trimmed(display));
            if (word == "-inf" || word == "inf" || word == "+inf")
                return word == "-inf" ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
            const auto number = numberInText(display);
            if (!number)
                throw std::runtime_error("parameter \"" + trimmed(names[static_cast<std::size_t>(target.index)]) +
                                         "\" names no frequency and its display \"" + trimmed(display) +
                                         "\" is not a number; give a normalised value instead");
            return *number;
        };
    };

    // The measured requests together, within 0..1; only what that cannot meet is searched one
    // parameter at a time, in rounds, which also says which request is out of reach.
    std::vector<GainTarget> measured, oneByOne;
    for (const auto& target : gains) (target.frequencyHz > 0.0 ? measured : oneByOne).push_back(target);
    if (!measured.empty() && search == GainSearch::oneAtATime) {
        oneByOne = gains;
    } else if (!measured.empty()) {
        std::vector<double> frequencies, targets;
        std::vector<float> start;
        for (const auto& target : measured) {
            frequencies.push_back(target.frequencyHz * toModule);
            targets.push_back(target.gainDb);
            start.push_back(valueIn(settings.values, target.index));
        }
        const GainsAt gainsAt = [&](const std::vector<float>& values) {
            std::vector<ParameterValue> trial = settings.values;
            for (std::size_t i = 0; i < measured.size(); ++i) setValue(trial, measured[i].index, values[i]);
            return measureGainsDb(module, trial, moduleRate, frequencies);
        };
        if (const auto values = searchGainsJointly(gainsAt, targets, start, 0.0f, 1.0f, kBisectionToleranceDb))
            for (std::size_t i = 0; i < measured.size(); ++i) setValue(settings.values, measured[i].index, (*values)[i]);
        else
            oneByOne = gains;
    }

    if (moduleRate != kDesignRateHz)
        settings.bandsFixedToDesignRate = bandsFixedToDesignRate(module, names, settings.values, moduleRate);
    const std::string rateNote = sampleRateNote(moduleRate, audioRate, settings.bandsFixedToDesignRate);
    // A display matched on may read a word at an end of its travel ("off"): the search keeps to the
    // part of the travel where it reads a number.
    std::map<int, std::pair<float, float>> travel;
    for (const auto& target : oneByOne) {
        if (target.frequencyHz > 0.0) continue;
        const auto readsNumber = [&](float value) {
            probe.setParameter(target.index, value);
            const std::string word = lowered(trimmed(probe.paramDisplay(target.index)));
            return numberInText(word) || word == "-inf" || word == "inf" || word == "+inf";
        };
        int lowest = 0, highest = kTravelSteps;
        while (lowest <= kTravelSteps && !readsNumber(static_cast<float>(lowest) / kTravelSteps)) ++lowest;
        while (highest > lowest && !readsNumber(static_cast<float>(highest) / kTravelSteps)) --highest;
        travel[target.index] = lowest > kTravelSteps ? std::pair{0.0f, 1.0f}  // words only: the measure says so
                                                     : std::pair{static_cast<float>(lowest) / kTravelSteps,
                                                                 static_cast<float>(highest) / kTravelSteps};
    }
    bool allMet = oneByOne.empty();
    for (int round = 0; round < kMaxRounds && !allMet; ++round) {
        allMet = true;
        for (const auto& target : oneByOne) {
            const Measure measure = measureFor(target);
            const auto [lo, hi] = travel.count(target.index) ? travel[target.index] : std::pair{0.0f, 1.0f};
            const auto bracket = findBracket(measure, target.gainDb, lo, hi, allowOutside);
            if (!bracket)
                throw std::runtime_error(reachError(trimmed(names[static_cast<std::size_t>(target.index)]), target,
                                                    measure, allowOutside, rateNote));
            setValue(settings.values, target.index, bisectToTarget(measure, target.gainDb, *bracket, kBisectionToleranceDb));
        }
        for (const auto& target : oneByOne) {
            const auto value = std::find_if(settings.values.begin(), settings.values.end(),
                                            [&](const ParameterValue& v) { return v.index == target.index; });
            if (std::abs(measureFor(target)(value->value) - target.gainDb) > kRoundToleranceDb) allMet = false;
        }
    }
    if (!allMet)
        settings.notes.push_back("note: the requested gains pull against each other and were not all met; "
                                 "the results below are what the module gives");

    HostedEffect shown(module, static_cast<float>(moduleRate), kProbeBlock);
    for (const auto& v : settings.values) shown.setParameter(v.index, v.value);
    for (const auto& v : settings.values) {
        const float kept = shown.parameter(v.index);
        if (kept != v.value) {
            char line[256];
            std::snprintf(line, sizeof line, "parameter %d (\"%s\") was set to %.6g but the module reads back %.6g",
                          v.index, trimmed(names[static_cast<std::size_t>(v.index)]).c_str(),
                          static_cast<double>(v.value), static_cast<double>(kept));
            settings.warnings.push_back(line);
        }
    }
    std::vector<int> rows;
    if (count <= kWholeTableLimit)
        for (int i = 0; i < count; ++i) rows.push_back(i);
    else
        for (const auto& [index, request] : byIndex) rows.push_back(index);
    // Every band shown gets its measured gain at its own frequency, the untouched ones too: bands
    // overlap, and a neighbour's request moves them. One run at these settings, one at the
    // module's own, to tell which were moved.
    std::map<int, std::string> outcomes;
    for (const auto& target : gains)
        if (target.frequencyHz <= 0.0) outcomes[target.index] = "matched on the display text";
    std::vector<int> bands;
    std::vector<double> frequencies;
    for (int index : rows)
        if (const auto hz = frequencyInName(names[static_cast<std::size_t>(index)]); hz && *hz < audioRate / 2.0) {
            bands.push_back(index);
            frequencies.push_back(*hz * toModule);
        }
    if (!bands.empty() && probe.record().numOutputs == 2 && probe.record().numInputs > 0) {
        const std::vector<double> measuredDb = measureGainsDb(module, settings.values, moduleRate, frequencies);
        const std::vector<double> ownDb = measureGainsDb(module, {}, moduleRate, frequencies);
        for (std::size_t i = 0; i < bands.size(); ++i) {
            const int index = bands[i];
            const double hz = frequencies[i] / toModule;
            std::string outcome = formatDb(measuredDb[i]) + " measured at " + formatHz(hz);
            if (toModule != 1.0)
                outcome += " of the " + formatRate(audioRate) + " audio (" + formatHz(frequencies[i]) +
                           " for the module at " + formatRate(moduleRate) + ")";
            const bool requested = byIndex.count(index) != 0;
            if (requested && settings.bandsFixedToDesignRate)
                outcome += "; the band sits at " + formatHz(hz * moduleRate / kDesignRateHz, 4) + " at this rate";
            if (!requested && !byIndex.empty() && std::abs(measuredDb[i] - ownDb[i]) > kMovedFarDb)
                settings.notes.push_back("note: the requests move " + trimmed(names[static_cast<std::size_t>(index)]) +
                                         " by " + formatDb(measuredDb[i] - ownDb[i]) + "; see its row");
            if (!requested && std::abs(measuredDb[i] - ownDb[i]) > kMovedDb) {
                char pin[32];
                std::snprintf(pin, sizeof pin, "%+.2fdB", ownDb[i]);
                if (std::abs(ownDb[i]) < 0.005) std::snprintf(pin, sizeof pin, "0dB");
                outcome += "; moved by the others (--set \"" + trimmed(names[static_cast<std::size_t>(index)]) + "=" +
                           pin + "\" holds it)";
            }
            outcomes[index] = outcome;
        }
    }
    for (int index : rows) {
        const auto requested = byIndex.find(index);
        settings.table.push_back({index, shown.parameter(index), trimmed(names[static_cast<std::size_t>(index)]),
                                  trimmed(shown.paramDisplay(index) + " " + trimmed(shown.paramLabel(index))),
                                  requested == byIndex.end()
                                      ? ""
                                      : trimmed(requested->second->text.substr(requested->second->text.rfind('=') + 1)),
                                  outcomes.count(index) ? outcomes[index] : ""});
    }
    return settings;
}

void printSettings(const ResolvedSettings& settings, std::ostream& out) {
    for (const auto& warning : settings.warnings) std::cerr << "sixband: warning: " << warning << "\n";
    for (const auto& note : settings.notes) out << note << "\n";
    TextTable table({"index", "name", "value", "display", "request", "result"});
    for (const auto& row : settings.table)
        table.add({std::to_string(row.index), row.name, shortestText(row.value), row.display, row.request, row.outcome});
    table.print(out);
}
