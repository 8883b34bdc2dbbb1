// sixband: a command-line host for modules of the VST 1.0 plug-in interface.
#include "InfoCommand.h"
#include "ModuleLibrary.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

namespace {

// The module built beside this program, so that `sixband info` works straight from the build tree.
std::string defaultModulePath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return SIXBAND_MODULE_FILE;
    const auto beside = self.parent_path() / SIXBAND_MODULE_FILE;
    if (std::filesystem::exists(beside)) return beside.string();
    const auto installed = self.parent_path().parent_path() / "lib" / "vst" / SIXBAND_MODULE_FILE;
    return std::filesystem::exists(installed) ? installed.string() : beside.string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"sixband: run audio through plug-in modules of the VST 1.0 interface"};
    app.set_version_flag("--version", "sixband " SIXBAND_VERSION);
    app.require_subcommand(1);
    addInfoCommand(app, defaultModulePath());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const ModuleError& e) {
        std::cerr << "sixband: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "sixband: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
