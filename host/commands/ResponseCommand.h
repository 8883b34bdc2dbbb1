// `sixband response`: the magnitude response of a module at given settings, as a plot, as CSV, or
// as the gains at its bands' frequencies.
#pragma once

#include "host/measuring/ResponseMeasurement.h"

#include <ostream>
#include <string>

namespace CLI {
class App;
}

void addResponseCommand(CLI::App& app, const std::string& defaultModule);

// One "frequency,dB" line per bin from the first above 0 Hz up to Nyquist, after a header line.
void writeResponseCsv(const MagnitudeResponse& response, std::ostream& out);
