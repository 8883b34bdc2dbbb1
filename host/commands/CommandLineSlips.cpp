#include "CommandLineSlips.h"

#include "CommandLine.h"

#include <cctype>
#include <regex>
#include <vector>

namespace {

std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

bool takesValue(const CLI::App& command, const std::string& name) {
    for (const CLI::Option* option : command.get_options())
        if (option->check_name(name)) return option->get_type_size_max() > 0;
    return false;
}

}  // namespace

void checkOptionsTyped(const CLI::App& app, int argc, char** argv) {
    const CLI::App* command = &app;
    int first = 1;
    if (argc > 1 && argv[1][0] != '-') {
        command = nullptr;
        for (const CLI::App* candidate : app.get_subcommands({}))
            if (candidate->get_name() == argv[1]) command = candidate;
        if (!command) return;
        first = 2;
    }
    const std::vector<std::string> names = optionNames(*command);
    bool valueNext = false;
    for (int i = first; i < argc; ++i) {
        const std::string token = argv[i];
        if (token == "--") return;
        // "-" is standard input; "-3" and "-.5" are numbers, a value as much as any other.
        const bool looksLikeOption = token.size() > 1 && token[0] == '-' &&
                                     !std::isdigit(static_cast<unsigned char>(token[1])) && token[1] != '.';
        if (valueNext || !looksLikeOption) {
            valueNext = false;
            continue;
        }
        const std::string name = token.substr(0, token.find('='));
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            valueNext = name == token && takesValue(*command, name);
            continue;
        }
        const std::string where = command == &app ? "" : " for " + command->get_name();
        const std::string nearest = nearestWord(name, names);
        throw UsageError("unknown option \"" + name + "\"" + where + "; " +
                         (nearest.empty() ? "see sixband " + (command == &app ? "" : command->get_name() + " ") + "--help"
                                          : "did you mean " + nearest + "?"));
    }
}

std::string parseErrorText(const CLI::ParseError& error) {
    const std::string text = error.what();
    std::smatch match;
    static const std::regex twice(R"(^(-[^:]+): At Most \d+ required but received \d+)");
    if (std::regex_search(text, match, twice)) return match[1].str() + " is given more than once; give it once";
    static const std::regex extras(R"(^The following arguments? (was|were) not expected: (.*)$)");
    if (std::regex_search(text, match, extras)) return "unexpected argument: " + match[2].str();
    if (text == "A subcommand is required") return "give a command: info, process, response, bench or demo";
    return text;
}
