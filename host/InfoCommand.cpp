#include "InfoCommand.h"

#include "HostedEffect.h"
#include "ModuleLibrary.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

namespace {

std::string fourCharText(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string flagNames(std::int32_t flags) {
    static constexpr struct {
        std::int32_t bit;
        const char* name;
    } kFlags[] = {{0x01, "editor"},     {effFlagsHasClip, "clip"},  {effFlagsHasVu, "vu"},
                  {effFlagsCanMono, "mono"}, {effFlagsCanReplacing, "replacing"}};
    std::string names;
    for (const auto& flag : kFlags)
        if (flags & flag.bit) names += (names.empty() ? "" : ", ") + std::string(flag.name);
    return names.empty() ? "none" : names;
}

// Texts are shown between quotes: the trailing spaces of this interface's names are significant.
std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

void printModuleInfo(const std::string& modulePath, std::ostream& out) {
    ModuleLibrary module(modulePath);
    // Opened and resumed as a host would before showing its parameters: some modules have no
    // names or values to show until then.
    HostedEffect effect(module, 44100.0f, 512);
    const AEffect& r = effect.record();
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(r.uniqueID));

    out << "module        " << module.path() << " (entry " << module.entryName() << ")\n"
        << "unique id     " << fourCharText(r.uniqueID) << " (" << hex << ")\n"
        << "version       " << r.version << "\n"
        << "inputs        " << r.numInputs << "\n"
        << "outputs       " << r.numOutputs << "\n"
        << "flags         0x" << std::hex << r.flags << std::dec << " (" << flagNames(r.flags) << ")\n"
        << "programs      " << r.numPrograms << "\n"
        << "parameters    " << r.numParams << "\n"
        << "initial delay " << r.initialDelay << "\n"
        << "program name  " << quoted(effect.programName()) << "\n\n";

    out << "index  name          value      display     label\n";
    for (int i = 0; i < r.numParams; ++i) {
        char line[256];
        std::snprintf(line, sizeof line, "%5d  %-12s  %-9.6f  %-10s  %s\n", i,
                      quoted(effect.paramName(i)).c_str(), static_cast<double>(effect.parameter(i)),
                      quoted(effect.paramDisplay(i)).c_str(), quoted(effect.paramLabel(i)).c_str());
        out << line;
    }
}

void addInfoCommand(CLI::App& app, const std::string& defaultModule) {
    auto* command = app.add_subcommand("info", "Show what a host sees of a module: record, flags, parameters");
    auto modulePath = std::make_shared<std::string>(defaultModule);
    command->add_option("--plugin", *modulePath, "Module to load")->capture_default_str();
    command->callback([modulePath] { printModuleInfo(*modulePath, std::cout); });
}
