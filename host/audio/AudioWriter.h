// Audio outputs through libsndfile: integer samples made and clipped by sixband itself, optional
// dither, and streams that cannot seek written front to back.
#pragma once

#include "AudioReader.h"
#include "OutputFormat.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

struct sf_private_tag;

// A sample scaled to an integer format of `bits` (full scale 2^(bits-1)), rounded to nearest with
// ties to even and clipped to the format's range; `clipped` tells whether it had to be.
std::int32_t toInteger(double scaled, int bits, bool& clipped);

class AudioWriter {
public:
    // Writes `path` ("-": standard output); messages name the file `name` (the user's output, not
    // the temporary file written first). With a dither seed, integer samples get TPDF dither of
    // ±1 LSB from a generator per channel. Throws std::runtime_error when the file cannot be created.
    AudioWriter(const std::filesystem::path& path, const std::string& name, const OutputFormat& format, int channels,
                int sampleRate, const MetadataStrings& strings = {}, const std::string* ditherSeed = nullptr);
    // Writes an open descriptor, which stays open.
    AudioWriter(int descriptor, const std::string& name, const OutputFormat& format, int channels, int sampleRate,
                const MetadataStrings& strings = {}, const std::string* ditherSeed = nullptr);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    // Flushes and closes; throws when the data could not be written completely.
    void close();
    // Samples beyond an integer format's range, clipped to it, or over full scale on their way into
    // a lossy encoder, which saturates them. Float formats hold them as they are.
    std::int64_t clippedSamples() const { return clipped_; }

    struct ForwardStream;

private:
    AudioWriter(const std::filesystem::path* path, int descriptor, const std::string& name, const OutputFormat& format,
                int channels, int sampleRate, const MetadataStrings& strings, const std::string* ditherSeed);

    // Why the last write failed, in the system's words where a stream knows them.
    std::string failure() const;

    std::string name_;
    std::unique_ptr<ForwardStream> stream_;
    sf_private_tag* file_ = nullptr;
    int channels_;
    int integerBits_;
    std::string typeName_;
    std::int64_t bytesPerFrame_;
    std::int64_t audioBytesLimit_;
    std::int64_t audioBytes_ = 0;
    bool lossy_;  // an encoder that saturates what is over full scale
    std::vector<std::int32_t> integers_;
    std::vector<std::mt19937> dither_;
    std::int64_t clipped_ = 0;
};

void writeAudioFile(const std::filesystem::path& path, const OutputFormat& format, const float* interleaved,
                    std::int64_t frames, int channels, int sampleRate);
