// Meeting several measured gain requests at once. Bands overlap, so setting one moves its
// neighbours; searching one band at a time goes round and round. Newton's method on all of them
// together, each step measuring every requested frequency in one run of the module, settles in a
// few steps from the module's own settings, and so finds the solution nearest them.
#pragma once

#include <functional>
#include <optional>
#include <vector>

// The gains in dB at the requested frequencies, for the requested parameters at these values.
using GainsAt = std::function<std::vector<double>(const std::vector<float>& values)>;

// Values within [lo, hi] at which every gain is within `toleranceDb` of its target, starting from
// `start`; nothing where the search cannot get there (a gain out of reach, or one that does not
// move), which the caller then searches one parameter at a time to say which.
std::optional<std::vector<float>> searchGainsJointly(const GainsAt& gainsAt, const std::vector<double>& targetsDb,
                                                     std::vector<float> start, float lo, float hi,
                                                     double toleranceDb);
