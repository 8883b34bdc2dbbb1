// The picture of a magnitude response: log frequency from 20 Hz to Nyquist, gain in dB, each band
// marked at the frequency its name gives. Drawn with cairo, as PNG or SVG by the file's extension.
#pragma once

#include "ResponseMeasurement.h"

#include <filesystem>
#include <string>
#include <vector>

struct BandMark {
    double frequencyHz;
    std::string name;
};

// Throws UsageError for an extension other than .png or .svg, std::runtime_error when cairo cannot
// write the file. Writes `path` directly: callers wanting it atomic pass a temporary path, and
// the name messages give it, the user's.
void plotResponse(const MagnitudeResponse& response, const std::vector<BandMark>& marks, const std::string& title,
                  const std::filesystem::path& path, const std::string& kind, const std::string& name);

// "png", "svg", "csv" or "" from a path's extension, lower-cased.
std::string responseFileKind(const std::filesystem::path& path);
