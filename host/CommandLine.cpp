#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <ostream>
#include <streambuf>

void addModuleOptions(CLI::App& command, ModuleOptions& options, const std::string& defaultModule) {
    options.modulePath = defaultModule;
    command.add_option("--plugin", options.modulePath, "Module to load")->capture_default_str();
    command
        .add_option("--set", options.settings,
                    "Parameter by index or name, as a normalised value or a measured gain: "
                    "--set '80 Hz=+6dB', --set 2=0.5 (repeatable)")
        ->allow_extra_args(false);
    command.add_flag("--allow-outside", options.allowOutside,
                     "Let a gain request search beyond the parameter range 0..1");
}

std::ostream& info(bool quiet) {
    struct NullBuffer : std::streambuf {
        int overflow(int c) override { return c; }
    };
    static NullBuffer nullBuffer;
    static std::ostream nowhere(&nullBuffer);
    return quiet ? nowhere : std::cout;
}

std::string sampleRateNote(double sampleRate) {
    if (sampleRate == kDesignRateHz) return "";
    char line[200];
    std::snprintf(line, sizeof line,
                  "note: the audio runs at %g Hz, not %g Hz: the equaliser's bands, designed for "
                  "%g Hz, sit at %.4f times their named frequencies",
                  sampleRate, kDesignRateHz, kDesignRateHz, sampleRate / kDesignRateHz);
    return line;
}
