#include "BenchCommand.h"

#include "CommandLine.h"
#include "host/hosting/StereoProcessor.h"
#include "host/measuring/ParameterResolution.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>

namespace {

constexpr int kNoiseFrames = 1 << 16;
constexpr int kMinRounds = 5;
constexpr int kMaxRounds = 100000;

struct BenchOptions {
    std::vector<std::string> plugins;
    std::vector<std::string> settings;
    bool allowOutside = false;
    int blockSize = 512;
    double seconds = 3.0;
    double rate = kDesignRateHz;
};

// --set before any --plugin applies to every module; after one, to that module only.
std::vector<std::vector<std::string>> settingsPerModule(const CLI::App& command, const BenchOptions& options,
                                                        std::size_t modules) {
    std::vector<std::string> common;
    std::vector<std::vector<std::string>> own(modules);
    std::size_t setCount = 0;
    int plugin = -1;
    for (const CLI::Option* option : command.parse_order()) {
        if (option->get_name() == "--plugin") ++plugin;
        else if (option->get_name() == "--set") {
            const auto& text = options.settings[setCount++];
            if (plugin < 0) common.push_back(text);
            else own[static_cast<std::size_t>(plugin)].push_back(text);
        }
    }
    for (auto& list : own) list.insert(list.begin(), common.begin(), common.end());
    return own;
}

struct Contender {
    std::string path;
    std::unique_ptr<ModuleLibrary> module;
    std::unique_ptr<StereoProcessor> processor;
    std::vector<double> nsPerFrame;
};

void runThrough(Contender& c, const std::vector<float>& left, const std::vector<float>& right) {
    const int block = c.processor->blockSize();
    for (int done = 0; done < kNoiseFrames; done += block) {
        const int frames = std::min(block, kNoiseFrames - done);
        std::copy_n(left.data() + done, frames, c.processor->input(0));
        std::copy_n(right.data() + done, frames, c.processor->input(1));
        c.processor->run(frames);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

void runBench(const CLI::App& command, const BenchOptions& options, const std::string& defaultModule) {
    const std::vector<std::string> paths = options.plugins.empty() ? std::vector{defaultModule} : options.plugins;
    const auto settings = settingsPerModule(command, options, paths.size());

    std::vector<Contender> contenders;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Contender c;
        c.path = paths[i];
        c.module = std::make_unique<ModuleLibrary>(paths[i]);
        std::vector<ParameterRequest> requests;
        for (const auto& text : settings[i]) requests.push_back(parseParameterRequest(text));
        const auto resolved = resolveSettings(*c.module, requests, options.rate, options.rate, options.allowOutside);
        if (!requests.empty()) {
            std::cout << paths[i] << ":\n";
            printSettings(resolved, std::cout);
        }
        c.processor = std::make_unique<StereoProcessor>(*c.module, static_cast<float>(options.rate),
                                                        options.blockSize, resolved.values);
        if (c.processor->twoMonoInstances())
            std::cout << paths[i] << ": a mono module, timed as two instances (one per channel), as hosts run it\n";
        contenders.push_back(std::move(c));
    }

    // Fixed seed: every module and every run sees the same noise.
    std::mt19937 generator(20240601);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> left(kNoiseFrames), right(kNoiseFrames);
    for (int i = 0; i < kNoiseFrames; ++i) {
        left[static_cast<std::size_t>(i)] = noise(generator);
        right[static_cast<std::size_t>(i)] = noise(generator);
    }

    for (auto& c : contenders) runThrough(c, left, right);  // warm caches and lazy set-up
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int round = 0; round < kMaxRounds; ++round) {
        if (round >= kMinRounds && std::chrono::duration<double>(Clock::now() - start).count() >= options.seconds) break;
        // Each round starts with a different module, so none always runs right after another.
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            auto& c = contenders[(k + static_cast<std::size_t>(round)) % contenders.size()];
            const auto begin = Clock::now();
            runThrough(c, left, right);
            const std::chrono::duration<double, std::nano> took = Clock::now() - begin;
            c.nsPerFrame.push_back(took.count() / kNoiseFrames);
        }
    }

    std::printf("%zu rounds of %d stereo frames of noise, block %d, %g Hz\n", contenders.front().nsPerFrame.size(),
                kNoiseFrames, options.blockSize, options.rate);
    int width = 6;
    for (const auto& c : contenders) width = std::max(width, static_cast<int>(c.path.size()));
    std::printf("%-*s %12s %12s %12s %10s\n", width, "module", "ns/frame", "fastest", "realtime x", "relative");
    const double reference = median(contenders.front().nsPerFrame);
    for (const auto& c : contenders) {
        const double ns = median(c.nsPerFrame);
        std::printf("%-*s %12.2f %12.2f %12.0f %10.3f\n", width, c.path.c_str(), ns,
                    *std::min_element(c.nsPerFrame.begin(), c.nsPerFrame.end()), 1e9 / (ns * options.rate),
                    ns / reference);
    }
}

}  // namespace

void addBenchCommand(CLI::App& app, const std::string& defaultModule) {
    auto options = std::make_shared<BenchOptions>();
    auto* command = app.add_subcommand(
        "bench", "Time modules' processing (ns per stereo frame, realtime factor) side by side on the same noise");
    command->add_option("--plugin", options->plugins, "Module to time (repeat to compare; default: sixband's own)");
    command->add_option("--set", options->settings,
                        "NAME=VALUE or INDEX=VALUE; before any --plugin it applies to all, after one to that one")
        ->allow_extra_args(false);
    command->add_flag("--allow-outside", options->allowOutside, "Let a gain request search beyond 0..1");
    command->add_option("--block", options->blockSize, "Frames per processing call")
        ->check(wholeNumberCheck(1, 65536, "frames"))
        ->capture_default_str();
    command->add_option("--seconds", options->seconds, "How long to measure, in all")
        ->check(decimalNumberCheck(0.0, 3600.0, "seconds"))
        ->capture_default_str();
    command->add_option("--rate", options->rate, "Sample rate to run the modules at")
        ->check(sampleRateCheck())
        ->capture_default_str();
    command->callback([command, options, defaultModule] { runBench(*command, *options, defaultModule); });
}
