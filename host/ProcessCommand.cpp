#include "ProcessCommand.h"

#include "AtomicOutputFile.h"
#include "AudioFile.h"
#include "CommandLine.h"
#include "FileProcessor.h"
#include "ParameterResolution.h"
#include "ProgressBar.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

namespace {

struct ProcessOptions {
    ModuleOptions module;
    std::vector<std::string> inputs;
    std::string output;
    std::string format;
    int blockSize = 512;
    double rate = 0.0;  // 0: each file's own
    int jobs = 0;       // 0: one per core
    bool quiet = false;
};

std::string channelText(int channels) { return channels == 1 ? "mono" : "stereo"; }

int runProcess(const ProcessOptions& options) {
    std::vector<std::filesystem::path> inputs(options.inputs.begin(), options.inputs.end());
    const auto plan = planOutputs(inputs, options.output);

    // Every input is checked and every format chosen before the first output is written, so a
    // bad file among many stops the run before it leaves anything behind.
    struct Prepared {
        int channels;
        double rate;
        OutputFormat format;
        std::int64_t frames;
    };
    std::vector<Prepared> prepared;
    std::int64_t totalFrames = 0;
    for (const auto& file : plan) {
        AudioReader header(file.input);
        const double rate = options.rate > 0.0 ? options.rate : header.sampleRate();
        prepared.push_back({header.channels(), rate,
                            chooseOutputFormat(file.output, options.format, header.channels(), header.sampleRate()),
                            header.frames()});
        totalFrames += header.frames();
    }

    const std::filesystem::path folder = options.output;
    const bool toFolder = plan.size() > 1 || plan.front().output != folder;
    if (toFolder && !std::filesystem::is_directory(folder)) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) throw std::runtime_error(folder.string() + ": cannot create the output folder: " + error.message());
    }

    const ModuleLibrary module(options.module.modulePath);
    std::vector<ParameterRequest> requests;
    for (const auto& text : options.module.settings) requests.push_back(parseParameterRequest(text));
    // A gain is measured at a frequency, which moves with the rate: one resolution per rate.
    std::set<double> rates;
    for (const auto& file : prepared) rates.insert(file.rate);
    std::map<double, ResolvedSettings> settingsByRate;
    for (double rate : rates) {
        auto settings = resolveSettings(module, requests, rate, options.module.allowOutside);
        if (rates.size() > 1) info(options.quiet) << "at " << rate << " Hz:\n";
        if (!requests.empty()) printSettings(settings, info(options.quiet));
        const std::string note = sampleRateNote(rate);
        if (!note.empty()) info(options.quiet) << note << "\n";
        settingsByRate.emplace(rate, std::move(settings));
    }

    const int jobs = std::clamp(options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency()),
                                1, static_cast<int>(plan.size()));
    std::vector<std::optional<FileReport>> reports(plan.size());
    std::vector<std::string> errors(plan.size());
    std::atomic<std::size_t> next{0};
    {
        ProgressBar progress(totalFrames, !options.quiet);
        const auto work = [&] {
            for (std::size_t i = next++; i < plan.size(); i = next++) {
                try {
                    reports[i] = processFile(module, settingsByRate.at(prepared[i].rate).values, plan[i].input,
                                             plan[i].output, prepared[i].format, options.blockSize,
                                             prepared[i].rate, &progress);
                } catch (const std::exception& e) {
                    errors[i] = e.what();
                }
            }
        };
        std::vector<std::thread> workers;
        for (int j = 1; j < jobs; ++j) workers.emplace_back(work);
        work();
        for (auto& worker : workers) worker.join();
    }

    int status = kExitSuccess;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!reports[i]) {
            std::cerr << "sixband: " << errors[i] << "\n";
            status = kExitFailure;
            continue;
        }
        const auto& report = *reports[i];
        info(options.quiet) << plan[i].input.string() << " -> " << plan[i].output.string() << ": " << report.frames
                            << " frames, " << channelText(report.channels) << ", " << report.sampleRate << " Hz, "
                            << prepared[i].format.description << "\n";
        // Clipping changes the audio, so it is reported even under --quiet.
        if (report.clippedSamples > 0)
            std::cerr << "sixband: " << plan[i].output.string() << ": " << report.clippedSamples
                      << " samples clipped at full scale; a float format (--format float) keeps them\n";
    }
    return status;
}

}  // namespace

std::vector<PlannedFile> planOutputs(const std::vector<std::filesystem::path>& inputs,
                                     const std::filesystem::path& out) {
    std::error_code error;
    const std::string outText = out.string();
    const bool toFolder = inputs.size() > 1 || (!outText.empty() && outText.back() == '/') ||
                          std::filesystem::is_directory(out, error);
    std::vector<PlannedFile> plan;
    std::set<std::filesystem::path> names;
    for (const auto& input : inputs) {
        const auto output = toFolder ? out / input.filename() : out;
        if (toFolder && !names.insert(input.filename()).second)
            throw UsageError("two inputs are called " + input.filename().string() + "; their outputs in " + outText +
                             " would collide");
        plan.push_back({input, output});
    }
    for (const auto& file : plan)
        for (const auto& input : inputs)
            if (sameFile(file.output, input))
                throw UsageError("refusing to overwrite the input " + input.string() + " with the output");
    return plan;
}

void addProcessCommand(CLI::App& app, const std::string& defaultModule) {
    auto options = std::make_shared<ProcessOptions>();
    auto* command = app.add_subcommand("process", "Run audio files through a module and write the results");
    command->add_option("inputs", options->inputs, "Audio files to process (any format libsndfile reads)")
        ->required();
    command->add_option("-o,--output", options->output,
                        "Output file, or folder (DIR/) for several inputs; the type follows the extension")
        ->required();
    addModuleOptions(*command, options->module, defaultModule);
    command->add_option("--format", options->format,
                        "Sample format: pcm16, pcm24, pcm32, float, double (default float where the type holds it)");
    command->add_option("--block", options->blockSize, "Frames per processing call")
        ->check(CLI::Range(1, 1 << 20))
        ->capture_default_str();
    command->add_option("--rate", options->rate, "Sample rate to run the module at (default: each file's own)")
        ->check(CLI::PositiveNumber);
    command->add_option("--jobs", options->jobs, "Files processed in parallel (default: one per core)")
        ->check(CLI::Range(1, 1024));
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and clipping");
    command->callback([options] {
        const int status = runProcess(*options);
        if (status != kExitSuccess) throw ExitStatus{status};
    });
}
