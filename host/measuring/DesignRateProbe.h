// Whether a module's bands stay where a design for 44,100 Hz put them, in fractions of the sample
// rate, rather than following the rate in hertz, as most equalisers' do. Decided by measuring, not
// by knowing the module: the same settings at 44,100 Hz and at the module's rate, compared at each
// band's frequency (in hertz) and at where that frequency moves to (in fractions of the rate).
#pragma once

#include "host/hosting/ModuleLibrary.h"
#include "host/hosting/StereoProcessor.h"

#include <string>
#include <vector>

// With `names` the module's parameter names: the bands (names holding a frequency) are moved away
// from their values in `settings` for the measurement, so that a neutral setting still shows
// where they sit. False for a module without inputs or one that cannot be measured.
bool bandsFixedToDesignRate(const ModuleLibrary& module, const std::vector<std::string>& names,
                            const std::vector<ParameterValue>& settings, double moduleRate);
