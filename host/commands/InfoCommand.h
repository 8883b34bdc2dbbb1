// `sixband info`: what a host sees of a module.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

void addInfoCommand(CLI::App& app, const std::string& defaultModule);

// Prints the record, the flags, every parameter and the program name of a new instance.
void printModuleInfo(const std::string& modulePath, std::ostream& out);
