// sixband: a command-line host for modules of the VST 1.0 plug-in interface.
#include "host/commands/BenchCommand.h"
#include "host/commands/CommandLine.h"
#include "host/commands/CommandLineSlips.h"
#include "host/commands/DemoCommand.h"
#include "host/commands/InfoCommand.h"
#include "host/commands/ProcessCommand.h"
#include "host/commands/ResponseCommand.h"
#include "host/hosting/AbnormalEnd.h"
#include "host/hosting/ModuleLibrary.h"
#include "host/hosting/ModuleSearch.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace {

// The module built beside this program, or the one installed with it, so that every command works
// straight from the build tree and after `cmake --install`.
std::string defaultModulePath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return SIXBAND_MODULE_FILE;
    const auto beside = self.parent_path() / SIXBAND_MODULE_FILE;
    if (std::filesystem::exists(beside)) return beside.string();
    const auto installed = self.parent_path().parent_path() / "lib" / "vst" / SIXBAND_MODULE_FILE;
    if (std::filesystem::exists(installed)) return installed.string();
    // A copy of the program elsewhere still finds the installed module where hosts look.
    return locatedModule(SIXBAND_MODULE_FILE).value_or(beside.string());
}

}  // namespace

int main(int argc, char** argv) {
    installCleanupOnAbnormalEnd();
    CLI::App app{"sixband: run audio through plug-in modules of the VST 1.0 interface"};
    app.set_version_flag("--version", "sixband " SIXBAND_VERSION);
    app.require_subcommand(1);
    const std::string defaultModule = defaultModulePath();
    addInfoCommand(app, defaultModule);
    addProcessCommand(app, defaultModule);
    addResponseCommand(app, defaultModule);
    addBenchCommand(app, defaultModule);
    addDemoCommand(app, defaultModule);
    nameOptionValues(app);

    // CLI11 would take a mistyped command for an unexpected argument and say only that.
    if (argc > 1 && argv[1][0] != '-') {
        std::vector<std::string> commands;
        for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
        const std::string typed = argv[1];
        if (std::find(commands.begin(), commands.end(), typed) == commands.end()) {
            const std::string nearest = nearestWord(typed, commands);
            std::string all;
            for (const auto& command : commands) all += (all.empty() ? "" : ", ") + command;
            std::cerr << "sixband: unknown command \"" << typed << "\"; "
                      << (nearest.empty() ? "the commands are " + all : "did you mean " + nearest + "?")
                      << " (see --help)\n";
            return kExitUsage;
        }
    }

    try {
        checkOptionsTyped(app, argc, argv);
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end parsing with status 0; every other parse error is a usage error,
        // whatever status CLI11 assigns it.
        if (e.get_exit_code() == 0) return app.exit(e);
        std::cerr << "sixband: " << parseErrorText(e) << " (see --help)\n";
        return kExitUsage;
    } catch (const UsageError& e) {
        std::cerr << "sixband: " << e.what() << "\n";
        return kExitUsage;
    } catch (const ExitStatus& status) {
        return status.code;
    } catch (const std::exception& e) {
        std::cerr << "sixband: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitSuccess;
}
