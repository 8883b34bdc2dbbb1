#include "CliRun.h"

#include "host/hosting/ModuleLibrary.h"
#include "plugin/AEffect.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>

namespace {
std::vector<std::string> sixbandCommand(const std::vector<std::string>& args) {
    std::vector<std::string> command{SIXBAND_PROGRAM};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}
}  // namespace

RunningProgram::RunningProgram(const std::vector<std::string>& command, const std::filesystem::path& folder)
    : outPath_(folder.parent_path() / (folder.filename().string() + ".stdout")),
      errPath_(folder.parent_path() / (folder.filename().string() + ".stderr")) {
    std::vector<std::string> argv = command;
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(127);
        std::vector<char*> pointers;
        for (auto& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
}

RunningSixband::RunningSixband(const std::vector<std::string>& args, const std::filesystem::path& folder)
    : RunningProgram(sixbandCommand(args), folder) {}

RunResult RunningProgram::finish() {
    int status = 0;
    waitpid(pid_, &status, 0);
    RunResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = fileBytes(outPath_);
    result.err = fileBytes(errPath_);
    std::filesystem::remove(outPath_);
    std::filesystem::remove(errPath_);
    return result;
}

RunResult runSixband(const std::vector<std::string>& args, const std::filesystem::path& folder) {
    return RunningSixband(args, folder).finish();
}

RunResult runProgram(const std::vector<std::string>& command, const std::filesystem::path& folder) {
    return RunningProgram(command, folder).finish();
}

std::string runSixbandWithTerminalStderr(const std::vector<std::string>& args, const std::filesystem::path& folder,
                                         int columns) {
    int terminal = -1;
    int program = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    if (openpty(&terminal, &program, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
    std::vector<std::string> argv{SIXBAND_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        if (dup2(devNull, 1) < 0 || dup2(program, 2) < 0 || chdir(folder.c_str()) != 0) _exit(127);
        close(terminal);
        std::vector<char*> pointers;
        for (auto& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    close(program);
    std::string written;
    char buffer[4096];
    // Reading ends with EIO once the program, the terminal's last user, has exited.
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) written.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    return written;
}

RunResult runShell(const std::string& script, const std::filesystem::path& folder) {
    setenv("SIXBAND", SIXBAND_PROGRAM, 1);
    const std::filesystem::path scriptPath = folder.parent_path() / (folder.filename().string() + ".sh");
    std::ofstream(scriptPath) << script << "\n";
    auto result = runProgram({"/bin/sh", scriptPath.string()}, folder);
    std::filesystem::remove(scriptPath);
    return result;
}

std::size_t outputsInProgress(pid_t pid, const std::filesystem::path& folder, std::size_t* nameless) {
    const std::string under = std::filesystem::canonical(folder).string() + "/";
    // A file may be open more than once (its descriptor and libsndfile's): each counts once.
    std::set<std::string> files;
    std::size_t withoutName = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (error || !target.starts_with(under)) continue;
        const bool deleted = target.ends_with(" (deleted)");
        const bool hidden = target.find("/.") != std::string::npos && target.find(".sixband-") != std::string::npos;
        if ((deleted || hidden) && files.insert(target).second) withoutName += deleted;
    }
    if (nameless) *nameless = withoutName;
    return files.size();
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sixband-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::set<std::string> TempFolder::listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_))
        names.insert(std::filesystem::relative(entry.path(), path_).string());
    return names;
}

namespace {

// Writes channels of equal length through libsndfile's writer for their sample type.
template <typename Sample, typename Write>
void writeChannels(const std::filesystem::path& path, const std::vector<std::vector<Sample>>& channels,
                   int sampleRate, int format, const std::vector<std::pair<int, std::string>>& strings,
                   Write write) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path.string());
    for (const auto& [field, text] : strings) sf_set_string(file, field, text.c_str());
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<Sample> interleaved;
    for (std::size_t i = 0; i < frames; ++i)
        for (const auto& channel : channels) interleaved.push_back(channel[i]);
    write(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

}  // namespace

void writeAudio(const std::filesystem::path& path, const Channels& channels, int sampleRate, int format) {
    writeChannels(path, channels, sampleRate, format, {}, sf_writef_float);
}

Audio readAudio(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    // Read to the end: a stream written to a pipe does not record its length.
    std::vector<float> interleaved;
    std::vector<float> block(static_cast<std::size_t>(4096 * info.channels));
    for (sf_count_t n; (n = sf_readf_float(file, block.data(), 4096)) > 0;)
        interleaved.insert(interleaved.end(), block.begin(), block.begin() + n * info.channels);
    sf_close(file);
    Audio audio{info.samplerate, info.format, Channels(static_cast<std::size_t>(info.channels))};
    for (std::size_t i = 0; i < interleaved.size(); ++i)
        audio.channels[i % audio.channels.size()].push_back(interleaved[i]);
    return audio;
}

void writeIntegerAudio(const std::filesystem::path& path, const IntegerChannels& channels, int sampleRate, int format,
                       const std::vector<std::pair<int, std::string>>& strings) {
    writeChannels(path, channels, sampleRate, format, strings, sf_writef_int);
}

IntegerChannels readIntegerAudio(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    std::vector<std::int32_t> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_int(file, interleaved.data(), info.frames);
    sf_close(file);
    IntegerChannels channels(static_cast<std::size_t>(info.channels));
    for (std::size_t i = 0; i < interleaved.size(); ++i) channels[i % channels.size()].push_back(interleaved[i]);
    return channels;
}

std::string stringField(const std::filesystem::path& path, int field) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    const char* text = sf_get_string(file, field);
    std::string result = text ? text : "";
    sf_close(file);
    return result;
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<float> noise(std::size_t frames, unsigned seed, float amplitude) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> samples(frames);
    for (auto& s : samples) s = uniform(generator);
    return samples;
}

std::vector<float> sine(std::size_t frames, double frequencyHz, double sampleRate, float amplitude) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz *
                                                             static_cast<double>(i) / sampleRate));
    return samples;
}

namespace {
VstIntPtr SIXBAND_CDECL answerVersion(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

Channels processDirectly(const std::string& modulePath, const Channels& stereoInput,
                         const std::vector<std::pair<int, float>>& parameters, std::int32_t blockSize) {
    const ModuleLibrary module(modulePath);
    AEffect* effect = module.entry()(answerVersion);
    const auto frames = static_cast<std::int32_t>(stereoInput[0].size());
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    const std::int32_t block = blockSize > 0 ? blockSize : frames;
    effect->dispatcher(effect, effSetBlockSize, 0, block, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    for (const auto& [index, value] : parameters) effect->setParameter(effect, index, value);
    Channels input = stereoInput;
    Channels output(2, std::vector<float>(static_cast<std::size_t>(frames)));
    for (std::int32_t start = 0; start < frames; start += block) {
        float* inputs[] = {input[0].data() + start, input[1].data() + start};
        float* outputs[] = {output[0].data() + start, output[1].data() + start};
        effect->processReplacing(effect, inputs, outputs, std::min(block, frames - start));
    }
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return output;
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }
