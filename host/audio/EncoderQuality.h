// How compressed outputs are encoded: libsndfile's compression level (0 the best quality and the
// largest file of a lossy type, 1 the smallest; for FLAC 0 the fastest and 1 the smallest) and the
// bitrate mode of MP3 and Opus. libsndfile's own defaults make MP3s of about 90 kbps from music;
// here a lossy output is, by default, about as good as a lossy input, and otherwise high.
#pragma once

#include <optional>
#include <string>

struct EncoderSettings {
    double compressionLevel = -1.0;  // -1: libsndfile's default
    int bitrateMode = -1;            // SF_BITRATE_MODE_*; -1: the encoder's default
    std::string note;                // for the user, when an option does nothing for this type
};

// `format` is the output's libsndfile format; `quality` and `bitrateMode` (constant, average,
// variable) are what the user asked; `inputKbps` a lossy input's bitrate, when known. Throws
// UsageError for an option the type has no use for.
EncoderSettings encoderSettings(int format, std::optional<double> quality, const std::string& bitrateMode,
                                std::optional<double> inputKbps);
