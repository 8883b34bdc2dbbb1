// Turning the --set requests into parameter values for one module at one sample rate: gains are
// found on the module's own measured response, with the other parameters as set.
#pragma once

#include "ParameterRequest.h"
#include "host/hosting/ModuleLibrary.h"
#include "host/hosting/StereoProcessor.h"

#include <iosfwd>
#include <string>
#include <vector>

struct ResolvedParameter {
    int index;
    float value;
    std::string name;     // as the module reports it, trimmed
    std::string display;  // the module's display text and label at the final settings
    std::string request;  // the VALUE part of --set; empty for a parameter left alone
    std::string outcome;  // how a gain was met: "+6.00 dB measured at 80 Hz", "display matched"
};

struct ResolvedSettings {
    std::vector<ParameterValue> values;      // what to set on every instance, in order
    std::vector<ResolvedParameter> table;    // every parameter of a small module, else those set
    std::vector<std::string> notes;          // one line each, e.g. a gain matched on display text
    std::vector<std::string> warnings;       // one line each, e.g. a value the module did not keep
    bool bandsFixedToDesignRate = false;     // measured, at a module rate other than 44,100 Hz
};

// The module runs at `moduleRate` on audio whose frames are `audioRate` apart (the same, unless
// --rate says otherwise): a gain is what the audio gets at the named frequency, so it is measured
// where that frequency lands in the module's time base. Throws UsageError for a request that names
// no parameter, a normalised value outside 0..1 without allowOutside, or a frequency above the
// audio's Nyquist frequency; std::runtime_error for a gain the parameter cannot reach;
// ModuleError for a module that fails.
// Measured gains are searched together unless `search` says one at a time, the way that is
// otherwise left for what the joint search cannot meet (the benchmark sets the two side by side).
enum class GainSearch { jointly, oneAtATime };
ResolvedSettings resolveSettings(const ModuleLibrary& module, const std::vector<ParameterRequest>& requests,
                                 double moduleRate, double audioRate, bool allowOutside,
                                 GainSearch search = GainSearch::jointly);

// Notes and the table on `out`; warnings on stderr, which --quiet does not silence.
void printSettings(const ResolvedSettings& settings, std::ostream& out);
