// `sixband demo`: the quickest way to hear and see what the equaliser does, with no files at hand.
#pragma once

#include <string>

namespace CLI {
class App;
}

void addDemoCommand(CLI::App& app, const std::string& defaultModule);
