#include "SoundFileFormats.h"

#include "host/commands/CommandLine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

const NamedSubtype* subtypeEntry(int subtype) {
    const auto entry = std::find_if(kSubtypes.begin(), kSubtypes.end(), [&](const NamedSubtype& s) { return s.subtype == subtype; });
    return entry == kSubtypes.end() ? nullptr : &*entry;
}

std::optional<std::pair<int, std::string>> majorFormatFor(std::string extension) {
    // libsndfile knows each type by one extension; these are the other common ones.
    if (extension == "aif") extension = "aiff";
    if (extension == "ogg" || extension == "opus") extension = "oga";
    if (extension == "mp3") extension = "m1a";
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && lowered(info.extension) == extension) return std::pair{info.format, std::string(info.name)};
    }
    return std::nullopt;
}

int integerBits(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 8;
        case SF_FORMAT_PCM_16: return 16;
        case SF_FORMAT_PCM_24: return 24;
        case SF_FORMAT_PCM_32: return 32;
        default: return 0;
    }
}

bool isLinear(int subtype) { return integerBits(subtype) > 0 || subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE; }

int bytesPerSample(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        default: return 8;
    }
}

std::string gibibytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GiB", static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0));
    return text;
}

bool isRegularFile(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}
