// One audio file through one fresh instance of a module, into an output that appears only when
// complete.
#pragma once

#include "AudioFile.h"
#include "ModuleLibrary.h"
#include "StereoProcessor.h"

#include <cstdint>
#include <filesystem>
#include <vector>

class ProgressBar;

struct FileReport {
    std::int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t clippedSamples = 0;
};

// Mono input feeds both of the module's inputs and is written as mono (the left output). The
// module runs at `moduleRate` (the file's own rate unless the user said otherwise). Throws
// std::runtime_error or ModuleError; the output then does not exist.
FileReport processFile(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                       const std::filesystem::path& input, const std::filesystem::path& output,
                       const OutputFormat& format, int blockSize, double moduleRate, ProgressBar* progress);
