// `--set NAME=VALUE`: which parameter (by index or by the name the module reports) and what value
// (normalised, or a gain in dB), and the bisection that turns a gain into a value.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ParameterRequest {
    std::string text;          // as given, for messages
    std::string name;          // the part before '=', trimmed
    std::optional<int> index;  // when that part is a number
    bool isGain = false;       // "+6dB": a gain; otherwise a normalised value, or a display value
    std::string unit;          // as written after the number ("dB", "%", "Hz", "ms"); empty for none
    double value = 0.0;        // the number before the unit
};

// Throws UsageError when the text is not NAME=VALUE or the value does not parse.
ParameterRequest parseParameterRequest(std::string_view text);

// The index of the parameter a request names, among the names a module reports; names compare
// trimmed and case-insensitively, and a frequency written as people write them ("80Hz", "1k",
// "1000 Hz", "2.5 kHz") names the one parameter whose name holds that frequency. Throws UsageError
// for an unknown (with the nearest names), ambiguous or out-of-range one.
int findParameterIndex(const ParameterRequest& request, const std::vector<std::string>& names);

// "80 Hz" → 80, "2.5 kHz" → 2500; nothing when the name holds no frequency.
std::optional<double> frequencyInName(std::string_view name);

// The whole text as a frequency: "80Hz", "80 hz", "1k", "1kHz", "2.5k", "12 kHz"; nothing else.
std::optional<double> frequencyTyped(std::string_view text);

// Whether a display text and label show this unit ("dB" in "-6.0 dB"; "%" in "50 %").
bool showsUnit(std::string_view display, std::string_view unit);

// A number at the start of a display text ("-6.40000", " 12.5 dB"); nothing otherwise.
std::optional<double> numberInText(std::string_view text);

std::string trimmed(std::string_view text);

using Measure = std::function<double(float value)>;

// An interval [first, second] over which measure(value) - target changes sign: [lo, hi] itself,
// or when `widen` is set, the nearest such interval beyond it, up to `limit` away on either side.
std::optional<std::pair<float, float>> findBracket(const Measure& measure, double target, float lo,
                                                   float hi, bool widen, float limit = 64.0f);

// The value in a bracket whose measure comes closest to target: bisection down to adjacent floats,
// or until the measure is within `tolerance` of the target.
float bisectToTarget(const Measure& measure, double target, std::pair<float, float> bracket,
                     double tolerance = 0.0);
