#include "ProcessCommand.h"

#include "CommandLine.h"
#include "ProgressBar.h"
#include "host/audio/AtomicOutputFile.h"
#include "host/audio/AudioReader.h"
#include "host/audio/AudioWriter.h"
#include "host/audio/EncoderQuality.h"
#include "host/audio/FileProcessor.h"
#include "host/audio/OutputFormat.h"
#include "host/audio/OutputTarget.h"
#include "host/hosting/HostedEffect.h"
#include "host/measuring/ParameterResolution.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
    std::string type;
    RawInput raw;
    int blockSize = 512;
    double rate = 0.0;  // 0: each file's own
    int jobs = 0;       // 0: one per core
    bool dither = false;
    bool quiet = false;
    std::optional<double> quality;
    std::string bitrateMode;
};

constexpr int kLargestBlock = 65536;

std::string channelText(int channels) { return channels == 1 ? "mono" : "stereo"; }

std::string shownName(const std::filesystem::path& path, bool output) {
    if (!isStandardStream(path)) return path.string();
    return output ? "standard output" : "standard input";
}

// A position in the audio as m:ss.mmm.
std::string timeText(std::int64_t frame, int sampleRate) {
    const std::int64_t milliseconds = frame * 1000 / sampleRate;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(milliseconds / 60000),
                  static_cast<long long>(milliseconds / 1000 % 60), static_cast<long long>(milliseconds % 1000));
    return text;
}

// What to say after clipping: a format that would have kept the samples, if this type has one.
std::string clippingHint(const OutputFormat& format) {
    if (format.typeHoldsFloat) return "a float format (--format float) keeps them";
    // "FLAC (Free Lossless Audio Codec)": the name before the explanation is the one users know.
    return format.typeName.substr(0, format.typeName.find(" (")) +
           " files hold no float samples: lower the level, or write a type that does (.wav, .aiff, .caf) with "
           "--format float";
}

int runProcess(const ProcessOptions& options) {
    if (options.output.empty()) throw UsageError("-o: the output name is empty");
    const bool toStdout = isStandardStream(options.output);
    if (toStdout) {
        if (options.type.empty())
            throw UsageError("-o - writes to standard output, which has no extension to go by: give --type "
                             "(au, flac or raw can go into a pipe)");
        if (isatty(STDOUT_FILENO))
            throw UsageError("-o -: refusing to write audio to a terminal; redirect standard output or name a file");
        if (options.inputs.size() > 1) throw UsageError("-o - takes one input; several inputs go to a folder (-o DIR/)");
        sendInfoToStderr();
    }
    if (std::count(options.inputs.begin(), options.inputs.end(), "-") > 1)
        throw UsageError("standard input (-) can be read only once");
    if (std::count(options.inputs.begin(), options.inputs.end(), "-") == 1 && isatty(STDIN_FILENO))
        throw UsageError("-: standard input is a terminal, not audio; pipe audio into it or name a file");

    std::vector<std::filesystem::path> inputs(options.inputs.begin(), options.inputs.end());
    const auto plan = planOutputs(inputs, options.output, options.type);

    // Every input is checked and every format chosen before the first output is written, and every
    // bad one is named, so that one run shows them all. Of several inputs the good ones are then
    // processed, as flac and lame do, and the run ends with status 1 naming those left out.
    // A stream (standard input, a pipe, a FIFO) can be read only once: its reader is kept for the
    // processing.
    struct Prepared {
        int channels;
        int fileRate;
        double moduleRate;
        OutputFormat format;
        std::int64_t frames;
        OutputTarget target;
    };
    std::vector<std::optional<Prepared>> prepared(plan.size());
    std::vector<std::string> leftOut;
    bool usageProblemsOnly = true;
    std::vector<std::unique_ptr<AudioReader>> streams(plan.size());
    std::int64_t totalFrames = 0;
    bool totalKnown = true;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const auto& file = plan[i];
        try {
            const OutputTarget target = resolveOutputTarget(file.output);
            if (target.kind == OutputTarget::Kind::Descriptor && target.descriptor == STDOUT_FILENO) sendInfoToStderr();
            const bool toPipe = target.pipe;
            std::unique_ptr<AudioReader> header = std::make_unique<AudioReader>(file.input, options.raw);
            if (!header->note().empty() && !options.quiet) std::cerr << "sixband: " << header->note() << "\n";
            const int fileRate = header->sampleRate();
            auto format = chooseOutputFormat(file.output, options.type, options.format, header->channels(), fileRate,
                                             header->format());
            format.encoder = encoderSettings(format.sndfileFormat, options.quality, options.bitrateMode, header->lossyKbps());
            if (!format.encoder.note.empty() && i == 0) info(options.quiet) << format.encoder.note << "\n";
            fitOutputToLength(format, shownName(file.output, true), header->channels(),
                              header->framesExact() ? header->frames() : -1, header->strings());
            if (const std::string problem = writeProblem(format, header->channels(), fileRate, toPipe); !problem.empty()) {
                if (toPipe)
                    throw UsageError((options.type.empty() ? shownName(file.output, true) : "--type " + options.type) +
                                     ": " + format.typeName + " files cannot be written to a pipe; use --type au, flac or raw");
                throw UsageError(shownName(file.output, true) + ": " + problem);
            }
            prepared[i] = Prepared{header->channels(), fileRate, options.rate > 0.0 ? options.rate : fileRate, format,
                                   header->frames(), target};
            totalFrames += header->frames();
            totalKnown = totalKnown && header->frames() > 0;
            if (!header->canReopen()) streams[i] = std::move(header);
        } catch (const std::exception& e) {
            if (plan.size() == 1) throw;
            usageProblemsOnly = usageProblemsOnly && dynamic_cast<const UsageError*>(&e);
            std::cerr << "sixband: " << e.what() << "\n";
            leftOut.push_back(shownName(file.input, false));
        }
    }
    const auto leftOutLine = [&] {
        std::string names;
        for (const auto& name : leftOut) names += (names.empty() ? "" : ", ") + name;
        return "sixband: " + std::to_string(leftOut.size()) + " of " + std::to_string(plan.size()) + " inputs " +
               (leftOut.size() == 1 ? "was" : "were") + " left out: " + names + "\n";
    };
    if (leftOut.size() == plan.size()) {
        std::cerr << leftOutLine();
        return usageProblemsOnly ? kExitUsage : kExitFailure;
    }
    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < plan.size(); ++i)
        if (prepared[i]) todo.push_back(i);

    const ModuleLibrary module(options.module.modulePath);
    if (HostedEffect(module, 44100.0f, 512).record().numInputs == 0)
        std::cerr << "sixband: warning: module " << module.path()
                  << " has no inputs: its output does not follow the audio (an instrument or a generator?)\n";
    std::vector<ParameterRequest> requests;
    for (const auto& text : options.module.settings) requests.push_back(parseParameterRequest(text));
    // A gain is measured at a frequency of the audio, which moves with the module's rate and the
    // file's: one resolution for each pair of them.
    using Rates = std::pair<double, double>;
    std::set<Rates> rates;
    for (const std::size_t i : todo) rates.insert({prepared[i]->moduleRate, prepared[i]->fileRate});
    std::map<Rates, ResolvedSettings> settingsByRates;
    for (const auto& [moduleRate, fileRate] : rates) {
        try {
            auto settings = resolvedWithProgress(module, requests, moduleRate, fileRate, options.module.allowOutside,
                                                 !options.quiet);
            if (rates.size() > 1) info(options.quiet) << "for audio at " << fileRate << " Hz:\n";
            if (!requests.empty()) printSettings(settings, info(options.quiet));
            const std::string note = sampleRateNote(moduleRate, fileRate, settings.bandsFixedToDesignRate);
            if (!note.empty()) info(options.quiet) << note << "\n";
            settingsByRates.emplace(Rates{moduleRate, fileRate}, std::move(settings));
        } catch (const std::runtime_error& e) {
            // A gain out of reach at one rate leaves out the files at that rate, not the others.
            if (plan.size() == 1) throw;
            usageProblemsOnly = usageProblemsOnly && dynamic_cast<const UsageError*>(&e);
            std::cerr << "sixband: " << e.what() << "\n";
        }
    }
    std::erase_if(todo, [&](std::size_t i) {
        if (settingsByRates.contains({prepared[i]->moduleRate, prepared[i]->fileRate})) return false;
        leftOut.push_back(shownName(plan[i].input, false));
        return true;
    });
    if (todo.empty()) {
        std::cerr << leftOutLine();
        return usageProblemsOnly ? kExitUsage : kExitFailure;
    }

    const std::filesystem::path folder = options.output;
    const bool toFolder = plan.size() > 1 || plan.front().output != folder;
    if (toFolder && !std::filesystem::is_directory(folder)) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) throw std::runtime_error(folder.string() + ": cannot create the output folder: " + error.message());
    }


    // One per core by default, but never more outputs at once than the interrupt handler can track.
    const int cores = std::min(static_cast<int>(std::thread::hardware_concurrency()), kMaxOutputsAtOnce);
    const int jobs = std::clamp(options.jobs > 0 ? options.jobs : cores, 1, static_cast<int>(todo.size()));
    std::vector<std::optional<FileReport>> reports(plan.size());
    std::vector<std::string> errors(plan.size());
    std::atomic<std::size_t> next{0};
    {
        ProgressBar progress(totalKnown ? totalFrames : 0, !options.quiet);
        const auto work = [&] {
            for (std::size_t n = next++; n < todo.size(); n = next++) {
                const std::size_t i = todo[n];
                try {
                    const auto& file = *prepared[i];
                    std::unique_ptr<AudioReader> opened;
                    AudioReader& reader = streams[i] ? *streams[i]
                                                     : *(opened = std::make_unique<AudioReader>(plan[i].input, options.raw));
                    const FileSettings settings{file.format, options.blockSize, file.moduleRate, options.dither};
                    reports[i] = processFile(module, settingsByRates.at({file.moduleRate, file.fileRate}).values, reader,
                                             plan[i].input, plan[i].output, file.target, settings, &progress);
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
    for (const std::size_t i : todo) {
        if (!reports[i]) {
            std::cerr << "sixband: " << errors[i] << "\n";
            status = kExitFailure;
            if (plan.size() > 1) leftOut.push_back(shownName(plan[i].input, false));
            continue;
        }
        const auto& report = *reports[i];
        const std::string outputName = shownName(plan[i].output, true);
        info(options.quiet) << shownName(plan[i].input, false) << " -> " << outputName << ": " << report.frames
                            << " frames, " << channelText(report.channels) << ", " << report.sampleRate << " Hz, "
                            << prepared[i]->format.description << (options.dither && prepared[i]->format.integerBits ? ", dithered" : "")
                            << "\n";
        // Silenced and clipped samples change the audio, so they are reported even under --quiet.
        if (report.nonFiniteSamples > 0)
            std::cerr << "sixband: " << outputName << ": " << report.nonFiniteSamples << " samples were not numbers"
                      << (report.firstNonFiniteInputFrame >= 0
                              ? " after a NaN or infinity in the input at " +
                                    timeText(report.firstNonFiniteInputFrame, report.sampleRate)
                              : std::string(" (the module made them)"))
                      << "; written as silence\n";
        // Clipping changes the audio, so it is reported even under --quiet.
        if (report.clippedSamples > 0)
            std::cerr << "sixband: " << outputName << ": " << report.clippedSamples
                      << " samples clipped at full scale; " << clippingHint(prepared[i]->format) << "\n";
    }
    if (!leftOut.empty()) {
        std::cerr << leftOutLine();
        status = kExitFailure;
    }
    return status;
}

}  // namespace

std::vector<PlannedFile> planOutputs(const std::vector<std::filesystem::path>& inputs,
                                     const std::filesystem::path& out, const std::string& type) {
    std::error_code error;
    const std::string outText = out.string();
    const bool toFolder = !isStandardStream(out) && (inputs.size() > 1 || (!outText.empty() && outText.back() == '/') ||
                                                     std::filesystem::is_directory(out, error));
    // `-o mix.wav` with two inputs is a mistake, not a folder to make; one ending in / is a folder.
    if (toFolder && inputs.size() > 1 && !outText.empty() && outText.back() != '/' && !std::filesystem::is_directory(out, error) &&
        (std::filesystem::exists(out, error) || hasAudioExtension(out)))
        throw UsageError("several inputs go to a folder, but " + outText +
                         " names a file; give a folder (-o DIR/) or one input");
    std::vector<PlannedFile> plan;
    std::set<std::filesystem::path> names;
    for (const auto& input : inputs) {
        if (toFolder && isStandardStream(input))
            throw UsageError("standard input has no name for its output in " + outText + "; name the output file with -o");
        auto output = toFolder ? out / input.filename() : out;
        if (toFolder && !type.empty()) output.replace_extension(extensionForType(type));
        if (toFolder && !names.insert(output.filename()).second)
            throw UsageError("two inputs would both be written as " + output.filename().string() + " in " + outText);
        plan.push_back({input, output});
    }
    for (const auto& file : plan)
        for (const auto& input : inputs)
            if (!isStandardStream(file.output) && !isStandardStream(input) && sameFile(file.output, input))
                throw UsageError("refusing to overwrite the input " + input.string() + " with the output");
    return plan;
}

void addProcessCommand(CLI::App& app, const std::string& defaultModule) {
    auto options = std::make_shared<ProcessOptions>();
    auto* command = app.add_subcommand("process", "Run audio files through a module and write the results");
    command->add_option("inputs", options->inputs, "Audio files to process (any type libsndfile reads; - for standard input)")
        ->required();
    command->add_option("-o,--output", options->output,
                        "Output file, folder (DIR/) for several inputs, or - for standard output (with --type); "
                        "the type follows the extension. A WAV over 4 GiB, or of a length unknown in advance, is "
                        "written as RF64 (a WAV again if it ends up smaller); AIFF and AU outputs that cannot hold "
                        "the audio are refused")
        ->required();
    addModuleOptions(*command, options->module, defaultModule);
    command->add_option("--format", options->format,
                        "Sample format: pcm8, pcm16, pcm24, pcm32, float, double (default: the input's where the type "
                        "holds it, else the most precise it holds)");
    command->add_option("--type", options->type,
                        "Output type, whatever the output's extension: wav, flac, aiff, au, ogg, opus, mp3, raw, ... "
                        "(files into a folder get its extension)");
    command->add_option("--input-rate", options->raw.sampleRate,
                        "Raw input (named .raw or .pcm, or any input without an audio extension, such as -, once "
                        "an --input- option is given): its sample rate in Hz")
        ->check(wholeNumberCheck(1, kHighestSampleRate, "Hz"));
    command->add_option("--input-channels", options->raw.channels, "Raw input: channels, 1 or 2")
        ->check(wholeNumberCheck(1, 2, "channels"));
    command->add_option("--input-encoding", options->raw.encoding,
                        "Raw input: sample format, pcm8 (signed), pcm16, pcm24, pcm32, float or double")
        ->check(CLI::IsMember({"pcm8", "pcm16", "pcm24", "pcm32", "float", "double"}, CLI::ignore_case));
    command->add_option("--input-bits", options->raw.bits, "Raw input: integer samples of 8, 16, 24 or 32 bits (for --input-encoding pcmN)")
        ->check(CLI::IsMember({8, 16, 24, 32}));
    command->add_option("--input-endian", options->raw.endian, "Raw input: byte order, little (default) or big")
        ->check(CLI::IsMember({"little", "big"}, CLI::ignore_case));
    command->add_flag("--dither", options->dither, "Add TPDF dither of ±1 LSB to integer samples before rounding");
    command->add_option("--quality", options->quality,
                        "MP3, Ogg, Opus: 0 (best, largest) to 1 (smallest); FLAC: 0 (fastest) to 1 (smallest). "
                        "Default for a lossy output: about the lossy input's bitrate, else high (MP3 224 kbps on average)");
    command->add_option("--bitrate-mode", options->bitrateMode, "MP3: constant, average or variable (libsndfile's Ogg encoders take none)");
    command->add_option("--block", options->blockSize, "Frames per processing call")
        ->check(wholeNumberCheck(1, kLargestBlock, "frames"))
        ->capture_default_str();
    command->add_option("--rate", options->rate, "Sample rate to run the module at (default: each file's own)")
        ->check(sampleRateCheck());
    command->add_option("--jobs", options->jobs, "Files processed in parallel (default: one per core)")
        ->check(wholeNumberCheck(1, kMaxOutputsAtOnce, "jobs"));
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors, warnings and clipping");
    command->callback([options] {
        const int status = runProcess(*options);
        if (status != kExitSuccess) throw ExitStatus{status};
    });
}
