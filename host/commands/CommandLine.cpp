#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

CLI::Validator sampleRateCheck() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            const double rate = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !std::isfinite(rate) || rate <= 0.0 || rate > kHighestSampleRate)
                return "expected a sample rate in hertz from 1 to " + std::to_string(kHighestSampleRate) +
                       " (e.g. 48000), not " + text;
            return "";
        },
        "");
}

CLI::Validator wholeNumberCheck(long long lowest, long long highest, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            long long value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > highest)
                return "needs a whole number of " + what + " from " + std::to_string(lowest) + " to " +
                       std::to_string(highest) + ", not \"" + text + "\"";
            return "";
        },
        "");
}

CLI::Validator decimalNumberCheck(double lowest, double highest, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(value) || value < lowest || value > highest) {
                char range[64];
                std::snprintf(range, sizeof range, "from %g to %g", lowest, highest);
                return "needs a number of " + what + " " + range + ", not \"" + text + "\"";
            }
            return "";
        },
        "");
}

namespace {
bool infoToStderr = false;
}  // namespace

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string nearestWord(const std::string& typed, const std::vector<std::string>& known) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const auto& word : known) {
        const std::size_t distance = editDistance(typed, word);
        if (best.empty() || distance < bestDistance) {
            best = word;
            bestDistance = distance;
        }
    }
    // Two slips in a word of five or more, one in a shorter one: beyond that it is another word.
    const std::size_t allowed = typed.size() >= 5 ? 2 : 1;
    return bestDistance <= allowed ? best : "";
}

void sendInfoToStderr() { infoToStderr = true; }

std::ostream& info(bool quiet) {
    struct NullBuffer : std::streambuf {
        int overflow(int c) override { return c; }
    };
    static NullBuffer nullBuffer;
    static std::ostream nowhere(&nullBuffer);
    if (quiet) return nowhere;
    return infoToStderr ? std::cerr : std::cout;
}

std::string sampleRateNote(double moduleRate, double audioRate, bool bandsFixed) {
    char line[400];
    if (moduleRate == audioRate) {
        if (moduleRate == kDesignRateHz || !bandsFixed) return "";
        std::snprintf(line, sizeof line,
                      "note: the audio runs at %g Hz, not %g Hz: the module's bands, designed for "
                      "%g Hz, sit at %.4f times their named frequencies",
                      moduleRate, kDesignRateHz, kDesignRateHz, moduleRate / kDesignRateHz);
        return line;
    }
    // The module counts time in its own rate; the listener hears it in the audio's.
    const int length = std::snprintf(line, sizeof line,
                                     "note: the module runs at %g Hz on audio at %g Hz, so what it does at a frequency "
                                     "lands at %.4f times that frequency in the output",
                                     moduleRate, audioRate, audioRate / moduleRate);
    if (bandsFixed)
        std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                      "; its bands, designed for %g Hz, sit at %.4f times their named frequencies there", kDesignRateHz,
                      audioRate / kDesignRateHz);
    return line;
}

void nameOptionValues(CLI::App& app) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"plugin", "MODULE"},      {"set", "NAME=VALUE"},      {"output", "OUT"},        {"format", "FORMAT"},
        {"type", "TYPE"},          {"input-rate", "HZ"},       {"rate", "HZ"},           {"input-channels", "1|2"},
        {"input-encoding", "ENC"}, {"input-bits", "BITS"},     {"input-endian", "ORDER"}, {"block", "FRAMES"},
        {"jobs", "N"},             {"seconds", "SECONDS"},     {"quality", "Q"},         {"bitrate-mode", "MODE"},
        {"inputs", "IN"}};
    for (CLI::App* command : app.get_subcommands({})) {
        for (CLI::Option* option : command->get_options()) {
            if (option->get_type_size_max() == 0) continue;  // a flag
            const std::string name = option->get_lnames().empty() ? option->get_name() : option->get_lnames().front();
            for (const auto& [known, shown] : kNames)
                if (name == known) option->type_name(shown);
        }
    }
}
