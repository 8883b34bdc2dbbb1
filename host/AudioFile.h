// Audio files through libsndfile: a reader that refuses what it cannot stream whole, the choice of
// output format from a file's extension, and a writer that clips integer formats and counts it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct sf_private_tag;

class AudioReader {
public:
    // Throws std::runtime_error with a one-line reason for a missing, unreadable or unsupported
    // file, one without frames, or one with more than two channels.
    explicit AudioReader(const std::filesystem::path& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    std::int64_t frames() const { return frames_; }
    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }

    // Reads up to `frames` interleaved frames; returns how many. Throws when the file ends before
    // the frames its header promised or libsndfile reports an error.
    std::int64_t read(float* interleaved, std::int64_t frames);

private:
    std::filesystem::path path_;
    sf_private_tag* file_ = nullptr;
    std::int64_t frames_ = 0;
    std::int64_t framesRead_ = 0;
    int channels_ = 0;
    int sampleRate_ = 0;
};

struct OutputFormat {
    int sndfileFormat = 0;
    bool clips = false;        // integer samples: values beyond full scale are clipped
    std::string description;  // "WAV, 32-bit float"
};

// From OUT's extension and an optional --format (pcm16, pcm24, pcm32, float, double); throws
// UsageError for an unknown extension or a format that file type cannot hold.
OutputFormat chooseOutputFormat(const std::filesystem::path& out, const std::string& requested, int channels,
                                int sampleRate);

class AudioWriter {
public:
    // Throws std::runtime_error when the file cannot be created.
    AudioWriter(const std::filesystem::path& path, const OutputFormat& format, int channels, int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    // Flushes and closes; throws when the data could not be written completely.
    void close();
    // Samples beyond full scale that an integer format clipped.
    std::int64_t clippedSamples() const { return clipped_; }

private:
    std::filesystem::path path_;
    sf_private_tag* file_ = nullptr;
    int channels_;
    bool clips_;
    std::int64_t clipped_ = 0;
};

void writeAudioFile(const std::filesystem::path& path, const OutputFormat& format, const float* interleaved,
                    std::int64_t frames, int channels, int sampleRate);
