// `sixband bench`: processing speed of one or more modules on the same noise, measured in
// interleaved rounds within one run so that the machine's state affects them alike.
#pragma once

#include <string>

namespace CLI {
class App;
}

void addBenchCommand(CLI::App& app, const std::string& defaultModule);
