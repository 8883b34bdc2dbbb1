// `sixband process IN... -o OUT`: audio files through fresh instances of a module.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace CLI {
class App;
}

void addProcessCommand(CLI::App& app, const std::string& defaultModule);

struct PlannedFile {
    std::filesystem::path input;
    std::filesystem::path output;
};

// Where each input's result goes: OUT itself for one input, OUT/<input's name> when OUT is a
// folder (an existing one, one written with a trailing slash, or any OUT for several inputs), with
// the extension of `type` when one is given. Throws UsageError when an output would overwrite an
// input, two outputs would share a name, or standard input would go into a folder. Creates
// nothing: the caller makes the folder once the inputs have been checked.
std::vector<PlannedFile> planOutputs(const std::vector<std::filesystem::path>& inputs,
                                     const std::filesystem::path& out, const std::string& type = "");
