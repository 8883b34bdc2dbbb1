// What libsndfile's format codes mean to sixband: the sample formats by the names --format gives
// them, the types by their extensions, and the sizes of samples. Shared by the reader, the writer
// and the choice of output format.
#pragma once

#include <sndfile.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

struct NamedSubtype {
    const char* name;
    int subtype;
    const char* description;
};
inline constexpr std::array kSubtypes{
    NamedSubtype{"pcm16", SF_FORMAT_PCM_16, "16-bit integer"},
    NamedSubtype{"pcm24", SF_FORMAT_PCM_24, "24-bit integer"},
    NamedSubtype{"pcm32", SF_FORMAT_PCM_32, "32-bit integer"},
    NamedSubtype{"float", SF_FORMAT_FLOAT, "32-bit float"},
    NamedSubtype{"double", SF_FORMAT_DOUBLE, "64-bit float"},
    NamedSubtype{"vorbis", SF_FORMAT_VORBIS, "Vorbis"},
    NamedSubtype{"opus", SF_FORMAT_OPUS, "Opus"},
    NamedSubtype{"mp3", SF_FORMAT_MPEG_LAYER_III, "MPEG layer III"},
    NamedSubtype{"pcm8", SF_FORMAT_PCM_S8, "8-bit signed integer"},
    NamedSubtype{"pcm8", SF_FORMAT_PCM_U8, "8-bit unsigned integer"},
};

const NamedSubtype* subtypeEntry(int subtype);

// The major format libsndfile associates with an extension (without its dot), from its own table,
// and the type's name.
std::optional<std::pair<int, std::string>> majorFormatFor(std::string extension);

// 8, 16, 24 or 32 for integer sample formats, 0 for any other.
int integerBits(int subtype);

// Sample formats that carry their values exactly, as opposed to lossy or companded ones.
bool isLinear(int subtype);

// Bytes a sample takes in a file, at most: the widest for codecs, so that an estimate never lets an
// output outgrow its header.
int bytesPerSample(int subtype);

// "4.50 GiB".
std::string gibibytes(std::int64_t bytes);

bool isRegularFile(int fd);
