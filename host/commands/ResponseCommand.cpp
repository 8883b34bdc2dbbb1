#include "ResponseCommand.h"

#include "CommandLine.h"
#include "ProgressBar.h"
#include "host/audio/AtomicOutputFile.h"
#include "host/hosting/HostedEffect.h"
#include "host/measuring/ParameterResolution.h"
#include "host/measuring/ResponsePlot.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

constexpr int kLowestResponseRate = 8000;

struct ResponseOptions {
    ModuleOptions module;
    std::string output;
    double rate = kDesignRateHz;
    bool quiet = false;
};

std::vector<BandMark> bandMarks(const ModuleLibrary& module, double sampleRate) {
    HostedEffect effect(module, static_cast<float>(sampleRate), 512);
    std::vector<BandMark> marks;
    for (int i = 0; i < effect.paramCount(); ++i) {
        const std::string name = trimmed(effect.paramName(i));
        if (const auto hz = frequencyInName(name)) marks.push_back({*hz, name});
    }
    return marks;
}

void printBandGains(const MagnitudeResponse& response, const std::vector<BandMark>& marks, std::ostream& out) {
    out << "frequency   gain\n";
    for (const auto& mark : marks) {
        if (mark.frequencyHz >= response.nyquistHz()) continue;
        char line[128];
        std::snprintf(line, sizeof line, "%-10s  %+.2f dB\n", mark.name.c_str(), response.gainDbAt(mark.frequencyHz));
        out << line;
    }
}

std::string titleFor(const ResponseOptions& options) {
    std::string title = std::filesystem::path(options.module.modulePath).filename().string();
    for (std::size_t i = 0; i < options.module.settings.size(); ++i)
        title += (i ? ", " : ": ") + options.module.settings[i];
    char rate[32];
    std::snprintf(rate, sizeof rate, " (%g Hz)", options.rate);
    return title + rate;
}

void runResponse(const ResponseOptions& options) {
    const std::string kind = options.output.empty() ? "" : responseFileKind(options.output);
    if (!options.output.empty() && kind != "png" && kind != "svg" && kind != "csv")
        throw UsageError(options.output + ": the response is written as .png, .svg or .csv");
    // Below that, the plot's frequency axis from 20 Hz to Nyquist has next to nothing on it.
    if (options.rate < kLowestResponseRate)
        throw UsageError("--rate: a response is measured at " + std::to_string(kLowestResponseRate) +
                         " Hz or more, not " + CLI::detail::to_string(options.rate));
    std::vector<ParameterRequest> requests;
    for (const auto& text : options.module.settings) requests.push_back(parseParameterRequest(text));

    const ModuleLibrary module(options.module.modulePath);
    const auto settings =
        resolvedWithProgress(module, requests, options.rate, options.rate, options.module.allowOutside, !options.quiet);
    if (!requests.empty()) printSettings(settings, info(options.quiet));
    const std::string note = sampleRateNote(options.rate, options.rate, settings.bandsFixedToDesignRate);
    if (!note.empty()) info(options.quiet) << note << "\n";

    const auto response = measureResponse(module, settings.values, options.rate);
    const auto marks = bandMarks(module, options.rate);
    if (options.output.empty()) {
        printBandGains(response, marks, std::cout);
        return;
    }
    AtomicOutputFile destination(options.output);
    if (kind == "csv") {
        std::ofstream csv(destination.temporaryPath());
        writeResponseCsv(response, csv);
        csv.close();
        if (!csv) throw std::runtime_error(options.output + ": cannot write the response");
    } else {
        plotResponse(response, marks, titleFor(options), destination.temporaryPath(), kind, options.output);
    }
    destination.commit();
    info(options.quiet) << "response written to " << options.output << "\n";
}

}  // namespace

void writeResponseCsv(const MagnitudeResponse& response, std::ostream& out) {
    out << "frequency_hz,gain_db\n";
    char line[64];
    for (std::size_t bin = 1; bin < response.binCount(); ++bin) {
        std::snprintf(line, sizeof line, "%.4f,%.6f\n", response.frequencyHz(bin), response.gainDb(bin));
        out << line;
    }
}

void addResponseCommand(CLI::App& app, const std::string& defaultModule) {
    auto options = std::make_shared<ResponseOptions>();
    auto* command = app.add_subcommand(
        "response", "Measure a module's magnitude response (full-scale impulse, FFT) and plot it or list it");
    addModuleOptions(*command, options->module, defaultModule);
    command->add_option("-o,--output", options->output,
                        "FILE.png or FILE.svg for a plot, FILE.csv for frequency,dB; without it, the gain at each band");
    command->add_option("--rate", options->rate, "Sample rate to measure at")->check(sampleRateCheck())->capture_default_str();
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->callback([options] { runResponse(*options); });
}
