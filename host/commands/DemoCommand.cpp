#include "DemoCommand.h"

#include "CommandLine.h"
#include "DemoSignal.h"
#include "host/audio/AtomicOutputFile.h"
#include "host/audio/AudioReader.h"
#include "host/audio/AudioWriter.h"
#include "host/audio/FileProcessor.h"
#include "host/audio/OutputFormat.h"
#include "host/hosting/HostedEffect.h"
#include "host/measuring/ParameterResolution.h"
#include "host/measuring/ResponsePlot.h"

#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <iostream>
#include <memory>

namespace {

// A setting that visibly shapes the signal: warmer lows, a softer presence region.
const std::vector<std::string> kDemoSettings{"80 Hz=+6dB", "2.5 kHz=-6dB"};
constexpr double kDemoSeconds = 8.0;
constexpr int kDemoBlock = 512;

struct DemoOptions {
    std::string modulePath;
    std::string folder = ".";
    bool quiet = false;
};

void runDemo(const DemoOptions& options) {
    const std::filesystem::path folder = options.folder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::runtime_error(folder.string() + ": cannot create the folder: " + error.message());
    const auto inPath = folder / "demo-in.wav";
    const auto outPath = folder / "demo-out.wav";
    const auto plotPath = folder / "demo-response.png";

    const ModuleLibrary module(options.modulePath);
    // Another module may have no such parameters: the user typed no --set, so nothing to refuse;
    // the demo leaves out what the module does not have, and says so.
    std::vector<std::string> names;
    {
        HostedEffect probe(module, static_cast<float>(kDesignRateHz), kDemoBlock);
        for (int i = 0; i < probe.paramCount(); ++i) names.push_back(probe.paramName(i));
    }
    std::vector<ParameterRequest> requests;
    std::vector<std::string> leftOut;
    for (const auto& text : kDemoSettings) {
        auto request = parseParameterRequest(text);
        try {
            findParameterIndex(request, names);
            requests.push_back(std::move(request));
        } catch (const UsageError&) {
            leftOut.push_back("note: the module has no parameter called \"" + request.name + "\"; the demo leaves out " + text);
        }
    }
    const auto settings = resolveSettings(module, requests, kDesignRateHz, kDesignRateHz, false);

    const auto signal = demoSignal(kDesignRateHz, kDemoSeconds);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < signal.left.size(); ++i) {
        interleaved.push_back(signal.left[i]);
        interleaved.push_back(signal.right[i]);
    }
    const auto format = chooseOutputFormat(inPath, "", "", 2, static_cast<int>(kDesignRateHz), SF_FORMAT_FLOAT);
    {
        AtomicOutputFile input(inPath);
        writeAudioFile(input.temporaryPath(), format, interleaved.data(), static_cast<std::int64_t>(signal.left.size()), 2,
                       static_cast<int>(kDesignRateHz));
        input.commit();
    }
    {
        AudioReader reader(inPath);
        processFile(module, settings.values, reader, inPath, outPath, resolveOutputTarget(outPath),
                    {format, kDemoBlock, kDesignRateHz, false}, nullptr);
    }

    std::vector<BandMark> marks;
    for (const auto& row : settings.table)
        if (const auto hz = frequencyInName(row.name)) marks.push_back({*hz, row.name});
    {
        AtomicOutputFile plot(plotPath);
        std::string title = "sixband demo:";
        for (std::size_t i = 0; i < requests.size(); ++i) title += (i ? ", " : " ") + requests[i].text;
        if (requests.empty()) title += " the module at its defaults";
        plotResponse(measureResponse(module, settings.values, kDesignRateHz), marks, title, plot.temporaryPath(), "png",
                     plotPath.string());
        plot.commit();
    }

    auto& out = info(options.quiet);
    out << "sixband demo: " << kDemoSeconds << " s of pink noise and a 20 Hz - 20 kHz sweep through "
        << options.modulePath << "\n\n";
    for (const auto& line : leftOut) out << line << "\n";
    printSettings(settings, out);
    const auto absolute = [](const std::filesystem::path& p) { return std::filesystem::absolute(p).lexically_normal().string(); };
    out << "\ninput     " << absolute(inPath) << "\n"
        << "output    " << absolute(outPath) << "\n"
        << "response  " << absolute(plotPath) << "\n";
}

}  // namespace

void addDemoCommand(CLI::App& app, const std::string& defaultModule) {
    auto options = std::make_shared<DemoOptions>();
    options->modulePath = defaultModule;
    auto* command = app.add_subcommand(
        "demo", "Synthesise a test signal, equalise it (+6 dB at 80 Hz, -6 dB at 2.5 kHz), write the audio and a plot");
    command->add_option("-o,--output", options->folder, "Folder for demo-in.wav, demo-out.wav, demo-response.png")
        ->capture_default_str();
    command->add_option("--plugin", options->modulePath, "Module to load")->capture_default_str();
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->callback([options] { runDemo(*options); });
}
