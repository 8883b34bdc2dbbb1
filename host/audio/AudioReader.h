// Audio inputs through libsndfile, and MPEG audio through libmpg123: a reader that refuses what it
// cannot read whole, reads a stream once from front to back, and reads headerless (raw) audio as
// its options describe it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sf_private_tag;
struct mpg123_handle_struct;

// "-" names standard input as an input and standard output as an output.
bool isStandardStream(const std::filesystem::path& path);

// How headerless (raw) inputs are read: --input-rate, --input-channels, --input-encoding (or
// --input-bits for integers) and --input-endian. 0 and "" are "not given".
struct RawInput {
    int sampleRate = 0;
    int channels = 0;
    std::string encoding;  // pcm8, pcm16, pcm24, pcm32, float, double, as --format names them
    int bits = 0;          // 8, 16, 24 or 32: integer samples of that width
    std::string endian;    // little (the default) or big
    bool given() const { return sampleRate > 0 || channels > 0 || !encoding.empty() || bits > 0 || !endian.empty(); }
};

// An input is raw when it is named .raw or .pcm, or, once any --input-* option is given, when its
// name is not that of a type with a header (standard input, a pipe, a FIFO, a file without an
// audio extension): a .wav keeps being read by its header whatever the options say.
bool isRawInput(const std::filesystem::path& path, const RawInput& raw);

// libsndfile's string fields (title, artist, comment, ...): its field number and the text.
using MetadataStrings = std::vector<std::pair<int, std::string>>;

class AudioReader {
public:
    // Throws std::runtime_error with a one-line reason for a missing, unreadable or unsupported
    // file, one that announces no frames, or one with more than two channels; UsageError for a raw
    // input without the options that describe it. An input that cannot seek (a pipe, a FIFO,
    // /dev/fd/N) is opened here once and read as a stream: open it once per run.
    explicit AudioReader(const std::filesystem::path& path, const RawInput& raw = {});
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // What the header announces: exact for a file of a type that records its length; otherwise
    // (MPEG audio, a pipe) an estimate, or 0 when nothing is known, and the audio is read to its end.
    std::int64_t frames() const { return frames_; }
    bool framesExact() const { return framesExact_; }
    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }
    // libsndfile's format code (major type | sample format).
    int format() const { return format_; }
    const MetadataStrings& strings() const { return strings_; }
    // A lossy file's average bitrate in kbit/s (its size over its length), when both are known.
    std::optional<double> lossyKbps() const { return lossyKbps_; }
    // The path as given, or "standard input".
    const std::string& name() const { return name_; }
    // A line for the user about how the file is read, or "": a header without a length.
    const std::string& note() const { return note_; }
    // Whether another reader of the same input would start at its beginning: not for a stream,
    // which would give it nothing (or hang it), nor for standard input, which this one has moved on.
    bool canReopen() const { return canReopen_; }

    // Reads up to `frames` interleaved frames; returns how many, 0 at the end. Throws when a file
    // of exact length ends before the frames its header promised or the decoder reports an error.
    std::int64_t read(float* interleaved, std::int64_t frames);

    struct InputStream;

private:
    void open(const std::filesystem::path& path, const RawInput& raw);
    std::int64_t readMpeg(float* interleaved, std::int64_t frames);
    // From the path, else from the descriptor, else (-1) fed from stream_.
    void openMpeg(const std::filesystem::path* path, int descriptor);
    bool feedMpeg();
    void throwIfStreamFailed() const;

    std::string name_;
    std::string note_;
    sf_private_tag* file_ = nullptr;
    mpg123_handle_struct* mpeg_ = nullptr;
    std::unique_ptr<InputStream> stream_;
    std::vector<unsigned char> feed_;  // bytes on their way from a stream into libmpg123
    std::int64_t frames_ = 0;
    std::int64_t framesRead_ = 0;
    bool framesExact_ = true;
    bool canReopen_ = true;
    int channels_ = 0;
    int sampleRate_ = 0;
    int format_ = 0;
    std::optional<double> lossyKbps_;
    MetadataStrings strings_;
};
