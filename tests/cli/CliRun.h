// Running the built sixband program on files a test generates, and the audio helpers around it.
#pragma once

#include <sndfile.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;        // -1 when a signal ended the program
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs `sixband args...` in `folder` and waits for it.
RunResult runSixband(const std::vector<std::string>& args, const std::filesystem::path& folder);

// Runs any program, found on PATH unless `command[0]` holds a slash, in `folder` and waits for it.
RunResult runProgram(const std::vector<std::string>& command, const std::filesystem::path& folder);

// Runs `sixband args...` in `folder` with stderr on a pseudo-terminal of that many columns; returns
// what it wrote there.
std::string runSixbandWithTerminalStderr(const std::vector<std::string>& args, const std::filesystem::path& folder,
                                         int columns = 80);

// Runs a /bin/sh script in `folder`, where $SIXBAND names the program: for pipes, umask and ulimit.
RunResult runShell(const std::string& script, const std::filesystem::path& folder);

// Starts `command` in `folder` without waiting; finish() waits and collects the result.
class RunningProgram {
public:
    RunningProgram(const std::vector<std::string>& command, const std::filesystem::path& folder);
    pid_t pid() const { return pid_; }
    RunResult finish();

private:
    pid_t pid_;
    std::filesystem::path outPath_, errPath_;
};

// Starts `sixband args...`.
class RunningSixband : public RunningProgram {
public:
    RunningSixband(const std::vector<std::string>& args, const std::filesystem::path& folder);
};

// Outputs the process `pid` has open in `folder`: nameless ones (O_TMPFILE) and hidden temporary
// files; `nameless` counts the first kind.
std::size_t outputsInProgress(pid_t pid, const std::filesystem::path& folder, std::size_t* nameless = nullptr);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Every file and folder below, relative to it.
    std::set<std::string> listing() const;

private:
    std::filesystem::path path_;
};

using Channels = std::vector<std::vector<float>>;

struct Audio {
    int sampleRate = 0;
    int format = 0;
    Channels channels;
};

void writeAudio(const std::filesystem::path& path, const Channels& channels, int sampleRate,
                int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);
Audio readAudio(const std::filesystem::path& path);

// Integer samples, left-justified in 32 bits as libsndfile passes them (a 16-bit code c is c << 16),
// written and read without any conversion through floats; with string fields (SF_STR_TITLE, ...).
using IntegerChannels = std::vector<std::vector<std::int32_t>>;
void writeIntegerAudio(const std::filesystem::path& path, const IntegerChannels& channels, int sampleRate, int format,
                       const std::vector<std::pair<int, std::string>>& strings = {});
IntegerChannels readIntegerAudio(const std::filesystem::path& path);
std::string stringField(const std::filesystem::path& path, int field);
std::string fileBytes(const std::filesystem::path& path);

// Uniform noise in [-amplitude, amplitude) from a seed.
std::vector<float> noise(std::size_t frames, unsigned seed, float amplitude = 0.5f);
std::vector<float> sine(std::size_t frames, double frequencyHz, double sampleRate, float amplitude);

// The module driven straight through its record, without the host tool's code: opened, started at
// 44.1 kHz, the parameters set, then the signal in processReplacing calls of `blockSize` frames
// (0: the whole signal in one call).
Channels processDirectly(const std::string& modulePath, const Channels& stereoInput,
                         const std::vector<std::pair<int, float>>& parameters, std::int32_t blockSize = 0);

std::size_t lineCount(const std::string& text);
