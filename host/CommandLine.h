// What the commands share: the error that means "the command line is wrong" (exit status 2), the
// options that name a module and its settings, and the informational output that --quiet silences.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// A request the user has to change on the command line: bad syntax, an unknown parameter, a value
// that does not parse, an output that would overwrite an input.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by a command that has reported its failures itself and only needs the status passed on.
struct ExitStatus {
    int code;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct ModuleOptions {
    std::string modulePath;
    std::vector<std::string> settings;  // NAME=VALUE, in the order given
    bool allowOutside = false;
};

// --plugin, --set and --allow-outside on a command.
void addModuleOptions(CLI::App& command, ModuleOptions& options, const std::string& defaultModule);

// Informational output: stdout, or nothing under --quiet. Errors go to stderr regardless.
std::ostream& info(bool quiet);

// The one-line note for audio at a rate other than the equaliser's design rate, or "" at 44,100 Hz.
std::string sampleRateNote(double sampleRate);
inline constexpr double kDesignRateHz = 44100.0;
