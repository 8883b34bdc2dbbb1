#include "ParameterRequest.h"

#include "host/commands/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <regex>

namespace {

// The whole text as a finite number, or nothing. A leading '+' is allowed, as users write gains.
std::optional<double> wholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::string trimmed(std::string_view text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
}

ParameterRequest parseParameterRequest(std::string_view text) {
    ParameterRequest request;
    request.text = std::string(text);
    const auto equals = text.rfind('=');
    if (equals == std::string_view::npos)
        throw UsageError("--set " + request.text + ": expected NAME=VALUE, e.g. '80 Hz=+6dB' or 0=0.5");
    request.name = trimmed(text.substr(0, equals));
    if (request.name.empty()) throw UsageError("--set " + request.text + ": the parameter name is empty");
    if (std::all_of(request.name.begin(), request.name.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
        if (request.name.size() > 9) throw UsageError("--set " + request.text + ": no such parameter index");
        request.index = std::stoi(request.name);
    }

    const std::string value = trimmed(text.substr(equals + 1));
    // A number, then perhaps a unit: "+6dB", "-3 dB", "50%", "100 Hz", "20 ms".
    static const std::regex withUnit(R"(([+-]?(?:[0-9]*\.?[0-9]*(?:[eE][+-]?[0-9]+)?|inf|infinity|nan))\s*([A-Za-z%]*))",
                                     std::regex::icase);
    std::smatch parts;
    std::regex_match(value, parts, withUnit);
    const std::string numberText = parts[1].str();
    request.unit = parts[2].str();
    request.isGain = lowered(request.unit) == "db";
    if (request.isGain) request.unit = "dB";
    const std::string lower = lowered(numberText);
    if (lower.find("inf") != std::string::npos || lower.find("nan") != std::string::npos)
        throw UsageError("--set " + request.text + ": " + value + " cannot be met; give a finite " +
                         (request.isGain ? "gain, such as -40dB" : "value"));
    const auto number = wholeNumber(numberText);
    if (!number)
        throw UsageError("--set " + request.text +
                         ": the value is neither a normalised number (0.8), a gain (+6dB, -3 dB), a percentage "
                         "(50%) nor a number with the unit of the parameter's display (100 Hz, 20 ms)");
    // The module takes a 32-bit float; beyond its range the conversion is undefined, and in
    // practice an infinity that turns every output sample into NaN.
    if (!request.isGain && std::abs(*number) > std::numeric_limits<float>::max())
        throw UsageError("--set " + request.text + ": the value is beyond the range of the module's 32-bit parameters");
    request.value = *number;
    return request;
}

std::optional<double> frequencyTyped(std::string_view text) {
    static const std::regex frequency(R"(\s*([0-9]+(\.[0-9]+)?)\s*(k|khz|hz)\s*)", std::regex::icase);
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(text.begin(), text.end(), match, frequency)) return std::nullopt;
    const double value = std::stod(match[1].str());
    return lowered(match[3].str()) == "hz" ? value : value * 1000.0;
}

bool showsUnit(std::string_view display, std::string_view unit) {
    if (unit == "%") return display.find('%') != std::string_view::npos;
    static const std::regex word(R"([A-Za-z]+)");
    const std::string text(display), wanted = lowered(std::string(unit));
    for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it)
        if (lowered(it->str()) == wanted) return true;
    return false;
}

int findParameterIndex(const ParameterRequest& request, const std::vector<std::string>& names) {
    const int count = static_cast<int>(names.size());
    if (request.index) {
        if (*request.index >= count)
            throw UsageError("--set " + request.text + ": parameter index " + request.name +
                             " is out of range; the module has " + std::to_string(count) + " parameters");
        return *request.index;
    }
    const std::string wanted = lowered(request.name);
    std::vector<int> matches;
    for (int i = 0; i < count; ++i)
        if (lowered(trimmed(names[static_cast<std::size_t>(i)])) == wanted) matches.push_back(i);
    if (matches.empty())
        if (const auto typed = frequencyTyped(request.name))
            for (int i = 0; i < count; ++i)
                if (frequencyInName(names[static_cast<std::size_t>(i)]) == typed) matches.push_back(i);
    if (matches.size() == 1) return matches.front();
    if (matches.size() > 1) {
        std::string indices;
        for (int i : matches) indices += (indices.empty() ? "" : ", ") + std::to_string(i);
        throw UsageError("--set " + request.text + ": several parameters are called \"" + request.name +
                         "\" (indices " + indices + "); give the index instead");
    }
    // A slip of a letter or two is answered with the names it was nearest.
    std::vector<std::pair<std::size_t, int>> near;
    for (int i = 0; i < count; ++i) {
        const std::string name = lowered(trimmed(names[static_cast<std::size_t>(i)]));
        const std::size_t distance = editDistance(wanted, name);
        if (distance <= std::max<std::size_t>(2, name.size() / 3)) near.emplace_back(distance, i);
    }
    std::sort(near.begin(), near.end());
    if (!near.empty()) {
        std::string nearest;
        for (std::size_t k = 0; k < std::min<std::size_t>(near.size(), 3); ++k)
            nearest += (k ? ", \"" : "\"") + trimmed(names[static_cast<std::size_t>(near[k].second)]) + "\"";
        throw UsageError("--set " + request.text + ": the module has no parameter called \"" + request.name +
                         "\"; did you mean " + nearest + "?");
    }
    std::string known;
    constexpr int kNamesShown = 12;
    for (int i = 0; i < std::min(count, kNamesShown); ++i)
        known += (i ? ", \"" : "\"") + trimmed(names[static_cast<std::size_t>(i)]) + "\"";
    if (count > kNamesShown) known += ", ... (" + std::to_string(count) + " in all; see `sixband info`)";
    throw UsageError("--set " + request.text + ": the module has no parameter called \"" + request.name +
                     "\"" + (count ? "; it has " + known : std::string("; it has no parameters")));
}

std::optional<double> frequencyInName(std::string_view name) {
    static const std::regex frequency(R"(([0-9]+(\.[0-9]+)?)\s*([kK]?)[hH][zZ])");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_search(name.begin(), name.end(), match, frequency)) return std::nullopt;
    const double value = std::stod(match[1].str());
    return match[3].length() ? value * 1000.0 : value;
}

std::optional<double> numberInText(std::string_view text) {
    const std::string t = trimmed(text);
    std::string_view view = t;
    if (!view.empty() && view.front() == '+') view.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {

// Where neither end of [a, b] reaches the target, the point in between that comes closest: the
// lowest for a target below both ends, the highest for one above. Golden-section search, which
// assumes a single dip or peak in between, as a band's cut has around its null.
float closestApproach(const Measure& measure, double target, float a, float b, bool targetBelow) {
    const auto distance = [&](float v) {
        const double m = measure(v);
        return targetBelow ? m - target : target - m;
    };
    constexpr float kInverseGolden = 0.618034f;
    float x1 = b - kInverseGolden * (b - a);
    float x2 = a + kInverseGolden * (b - a);
    double d1 = distance(x1);
    double d2 = distance(x2);
    for (int i = 0; i < 40 && d1 > 0.0 && d2 > 0.0; ++i) {
        if (d1 < d2) {
            b = x2;
            x2 = x1;
            d2 = d1;
            x1 = b - kInverseGolden * (b - a);
            d1 = distance(x1);
        } else {
            a = x1;
            x1 = x2;
            d1 = d2;
            x2 = a + kInverseGolden * (b - a);
            d2 = distance(x2);
        }
    }
    return d1 < d2 ? x1 : x2;
}

// A sub-interval of [a, b] over which the measure crosses the target, the one next to `near` when
// the crossing lies inside a dip or peak.
std::optional<std::pair<float, float>> crossingIn(const Measure& measure, double target, float a, float b, float near) {
    const bool aBelow = measure(a) < target;
    if (aBelow != (measure(b) < target)) return std::pair{a, b};
    const float x = closestApproach(measure, target, a, b, !aBelow);
    if ((measure(x) < target) == aBelow) return std::nullopt;
    return near == a ? std::pair{a, x} : std::pair{x, b};
}

}  // namespace

std::optional<std::pair<float, float>> findBracket(const Measure& measure, double target, float lo,
                                                   float hi, bool widen, float limit) {
    if (const auto inside = crossingIn(measure, target, lo, hi, lo)) return inside;
    if (!widen) return std::nullopt;
    // Steps double outwards from both ends, nearest first, so the value found is the one closest
    // to the ordinary range.
    const float originalHi = hi;
    for (float step = 1.0f / 16.0f; hi - originalHi < limit; step *= 2.0f) {
        if (const auto above = crossingIn(measure, target, hi, hi + step, hi)) return above;
        if (const auto below = crossingIn(measure, target, lo - step, lo, lo)) return below;
        hi += step;
        lo -= step;
    }
    return std::nullopt;
}

float bisectToTarget(const Measure& measure, double target, std::pair<float, float> bracket, double tolerance) {
    auto [lo, hi] = bracket;
    double errorLo = measure(lo) - target;
    double errorHi = measure(hi) - target;
    while (true) {
        const float mid = lo + (hi - lo) / 2.0f;
        if (mid <= lo || mid >= hi) break;
        const double errorMid = measure(mid) - target;
        if (std::abs(errorMid) <= tolerance) return mid;
        if ((errorMid < 0.0) == (errorLo < 0.0)) {
            lo = mid;
            errorLo = errorMid;
        } else {
            hi = mid;
            errorHi = errorMid;
        }
    }
    return std::abs(errorLo) <= std::abs(errorHi) ? lo : hi;
}
