#include "InfoCommand.h"

#include "TextTable.h"
#include "host/hosting/HostedEffect.h"
#include "host/hosting/ModuleLibrary.h"
#include "plugin/ShortestText.h"

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

// The bits this interface's record defines, by the names of their meaning ("can mono" is a
// module that can be fed one input, not a mono module); any other bit in hex, not dropped.
std::string flagNames(std::int32_t flags) {
    static constexpr struct {
        std::int32_t bit;
        const char* name;
    } kFlags[] = {{0x01, "has editor"},         {effFlagsHasClip, "has clip"},  {effFlagsHasVu, "has vu"},
                  {effFlagsCanMono, "can mono"}, {effFlagsCanReplacing, "can replace"}};
    std::string names;
    std::uint32_t known = 0;
    for (const auto& flag : kFlags) {
        known |= static_cast<std::uint32_t>(flag.bit);
        if (flags & flag.bit) names += (names.empty() ? "" : ", ") + std::string(flag.name);
    }
    if (const std::uint32_t other = static_cast<std::uint32_t>(flags) & ~known) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%x", other);
        names += (names.empty() ? "other bits " : ", other bits ") + std::string(text);
    }
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

    // The texts exactly as the module gives them, padding and all, between quotes.
    TextTable table({"index", "name", "value", "display", "label"});
    for (int i = 0; i < r.numParams; ++i)
        table.add({std::to_string(i), quoted(effect.paramName(i)), shortestText(effect.parameter(i)),
                   quoted(effect.paramDisplay(i)), quoted(effect.paramLabel(i))});
    table.print(out);
}

void addInfoCommand(CLI::App& app, const std::string& defaultModule) {
    auto* command = app.add_subcommand("info", "Show what a host sees of a module: record, flags, parameters");
    auto modulePath = std::make_shared<std::string>(defaultModule);
    command->add_option("--plugin", *modulePath, "Module to load")->capture_default_str();
    command->callback([modulePath] { printModuleInfo(*modulePath, std::cout); });
}
