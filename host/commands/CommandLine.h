// What the commands share: the error that means "the command line is wrong" (exit status 2), the
// options that name a module and its settings, and the informational output that --quiet silences.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
class Validator;
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

// The text in lower case (ASCII letters), for names and words typed in any case.
std::string lowered(std::string text);

// Edits (a letter added, dropped or changed) that turn one text into the other.
std::size_t editDistance(const std::string& a, const std::string& b);

// The word among `known` closest to `typed` in edits (a letter added, dropped or changed), when it
// is close enough to be what was meant; "" otherwise.
std::string nearestWord(const std::string& typed, const std::vector<std::string>& known);

// Informational output: stdout, or nothing under --quiet. Errors go to stderr regardless.
std::ostream& info(bool quiet);

// Rates no audio file carries: the highest libsndfile reads, and so the highest --rate.
inline constexpr int kHighestSampleRate = 1536000;

// The check on --rate: a finite number of hertz above zero, up to kHighestSampleRate. CLI11's
// PositiveNumber lets NaN through (every comparison with it is false), and words its refusal as a
// range up to 1.8e308.
CLI::Validator sampleRateCheck();

// Every option's value named for what to give (MODULE, HZ, FRAMES), not by CLI11's types (TEXT,
// INT, FLOAT), in --help and so in the manual page.
void nameOptionValues(CLI::App& app);

// A whole number within [lowest, highest], with a message that says a number is needed and which;
// CLI11's own says only that the text "could not be converted".
CLI::Validator wholeNumberCheck(long long lowest, long long highest, const std::string& what);
// The same for a finite decimal number (CLI11's Range lets NaN through).
CLI::Validator decimalNumberCheck(double lowest, double highest, const std::string& what);

// The one-line note for a module whose bands are fixed to the design rate (bandsFixed, as
// measured) running at another rate, or for any module on audio of another rate than its own
// (--rate); "" when there is nothing to say.
std::string sampleRateNote(double moduleRate, double audioRate, bool bandsFixed);
inline constexpr double kDesignRateHz = 44100.0;

// Informational output (tables, notes, the summary) goes to stderr from here on: standard output
// carries audio.
void sendInfoToStderr();
