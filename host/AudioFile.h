// Audio files through libsndfile, and MPEG audio through libmpg123: a reader that refuses what it
// cannot stream whole, the choice of output format, and a writer that makes integer samples itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
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
    MetadataStrings strings_;
};

struct OutputFormat {
    int sndfileFormat = 0;
    int integerBits = 0;      // 8, 16, 24 or 32: integer samples, made and clipped by the writer
    bool typeHoldsFloat = false;
    bool wavWhenItFits = false;  // RF64 that libsndfile writes as a WAV if it closes under 4 GiB
    std::int64_t audioBytesLimit = 0;  // what the header can count, with room for the rest; 0: no limit
    std::string typeName;     // "WAV (Microsoft)"
    std::string description;  // "WAV (Microsoft), 16-bit integer"
};

// The output's type comes from `type` (--type) or else from OUT's extension. Without --format the
// input's sample format is kept where the type holds it (16-bit in, 16-bit out); otherwise, and
// from lossy or companded input, the most precise the type holds: float, else its widest integer.
// Throws UsageError for an unknown type or a format the type cannot hold.
OutputFormat chooseOutputFormat(const std::filesystem::path& out, const std::string& type, const std::string& requested,
                                int channels, int sampleRate, int inputFormat);

// Fits the format to an output of `frames` frames (-1: not known before the end). A WAV that is
// known to fit stays a plain WAV; one that is known not to, or whose length is unknown, is written
// as RF64, which libsndfile turns back into a WAV if it ends up fitting. Other types whose headers
// count in 32 bits (AIFF, AU, 8SVX) get their limit, checked here when the length is known (a
// UsageError naming types that can hold it) and by the writer otherwise.
void fitOutputToLength(OutputFormat& format, const std::string& outputName, int channels, std::int64_t frames,
                       const MetadataStrings& strings);

// Why libsndfile would refuse to write this format, rate and channel count (to a pipe, when
// `toPipe`), or "" when it would not. Nothing is written anywhere.
std::string writeProblem(const OutputFormat& format, int channels, int sampleRate, bool toPipe);

// The extension that --type gives a file in a folder: the type's name as the user wrote it.
std::string extensionForType(const std::string& type);

// Whether the name ends in an extension of an audio type sixband can write (.wav, .flac, ...).
bool hasAudioExtension(const std::filesystem::path& path);

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
