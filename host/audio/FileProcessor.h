// One audio file through one fresh instance of a module, into an output that appears only when
// complete (standard output excepted: what is written to a pipe cannot be taken back).
#pragma once

#include "AudioReader.h"
#include "AudioWriter.h"
#include "OutputFormat.h"
#include "OutputTarget.h"
#include "host/hosting/ModuleLibrary.h"
#include "host/hosting/StereoProcessor.h"

#include <cstdint>
#include <filesystem>
#include <vector>

class ProgressBar;

struct FileReport {
    std::int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t clippedSamples = 0;
    // Output samples that were NaN or infinite, written as 0, and the first input frame that held
    // such a sample (-1: none did; the module made them itself).
    std::int64_t nonFiniteSamples = 0;
    std::int64_t firstNonFiniteInputFrame = -1;
};

struct FileSettings {
    OutputFormat format;
    int blockSize = 512;
    double moduleRate = 0.0;  // the file's own rate unless the user said otherwise
    bool dither = false;
};

// Mono input feeds both of the module's inputs and is written as mono (the left output). Output
// samples that are not numbers are written as silence: 0 in every type, where a float file would
// keep a NaN that stops every later plug-in and an integer one would take it for clipping. The
// output keeps the input's metadata strings where its type holds them; dither, when asked for, is
// seeded by the input's file name and the channel, so that the same run gives the same bytes.
// Throws std::runtime_error or ModuleError; the output then does not exist.
// `output` is the name as the user gave it, `target` what it resolved to.
FileReport processFile(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters, AudioReader& reader,
                       const std::filesystem::path& input, const std::filesystem::path& output,
                       const OutputTarget& target, const FileSettings& settings, ProgressBar* progress);
