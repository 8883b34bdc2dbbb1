// The output's type and sample format: from the user's words, the output's name and the input's
// format, fitted to what the type's header can count.
#pragma once

#include "AudioReader.h"
#include "EncoderQuality.h"

#include <cstdint>
#include <filesystem>
#include <string>

struct OutputFormat {
    int sndfileFormat = 0;
    int integerBits = 0;      // 8, 16, 24 or 32: integer samples, made and clipped by the writer
    bool typeHoldsFloat = false;
    bool wavWhenItFits = false;  // RF64 that libsndfile writes as a WAV if it closes under 4 GiB
    std::int64_t audioBytesLimit = 0;  // what the header can count, with room for the rest; 0: no limit
    std::string typeName;     // "WAV (Microsoft)"
    std::string description;  // "WAV (Microsoft), 16-bit integer"
    EncoderSettings encoder;  // compression level and bitrate mode of MP3, Ogg, Opus and FLAC
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
