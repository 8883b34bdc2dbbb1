#include "OutputFormat.h"

#include "SoundFileFormats.h"
#include "host/commands/CommandLine.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The most precise sample formats first: float keeps everything the module computes; among
// integers the widest. Lossy codecs last, for the types that hold nothing else.
constexpr std::array kPrecisionOrder{SF_FORMAT_FLOAT,  SF_FORMAT_PCM_32, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16,
                                     SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8, SF_FORMAT_VORBIS, SF_FORMAT_MPEG_LAYER_III};

}  // namespace

std::string extensionForType(const std::string& type) { return lowered(type); }

bool hasAudioExtension(const std::filesystem::path& path) {
    const std::string extension = lowered(path.extension().string());
    return extension.size() > 1 && majorFormatFor(extension.substr(1)).has_value();
}

OutputFormat chooseOutputFormat(const std::filesystem::path& out, const std::string& type, const std::string& requested,
                                int channels, int sampleRate, int inputFormat) {
    std::string typeName = lowered(type);
    if (typeName.empty()) {
        typeName = lowered(out.extension().string());
        if (!typeName.empty()) typeName.erase(0, 1);
    }
    const auto major = majorFormatFor(typeName);
    if (!major) {
        if (!type.empty())
            throw UsageError("--type " + type + ": unknown; use wav, flac, aiff, au, ogg, opus, mp3, raw, ...");
        throw UsageError(out.string() + ": cannot tell the audio type from the extension \"" + typeName +
                         "\"; use .wav, .flac, .aiff, .ogg, ... or --type");
    }

    const auto fits = [&](int subtype) {
        SF_INFO info{};
        info.format = major->first | subtype;
        info.channels = channels;
        info.samplerate = sampleRate;
        return sf_format_check(&info) != 0;
    };
    int subtype = 0;
    if (!requested.empty()) {
        std::vector<const NamedSubtype*> named;
        for (const auto& s : kSubtypes)
            if (s.name == lowered(requested)) named.push_back(&s);
        if (named.empty())
            throw UsageError("--format " + requested + ": unknown; use pcm8, pcm16, pcm24, pcm32, float, double, vorbis, opus or mp3");
        const auto fitting = std::find_if(named.begin(), named.end(), [&](const NamedSubtype* s) { return fits(s->subtype); });
        if (fitting == named.end())
            throw UsageError("--format " + requested + ": " + major->second + " files cannot hold " + named.front()->description +
                             " samples");
        subtype = (*fitting)->subtype;
    } else {
        std::vector<int> candidates;
        const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
        if (isLinear(inputSubtype)) {
            candidates.push_back(inputSubtype);
            // Signed or unsigned is the type's business, not the samples'.
            if (inputSubtype == SF_FORMAT_PCM_S8) candidates.push_back(SF_FORMAT_PCM_U8);
            if (inputSubtype == SF_FORMAT_PCM_U8) candidates.push_back(SF_FORMAT_PCM_S8);
        }
        // An Ogg file named .opus holds Opus; one named .ogg holds Vorbis.
        if (typeName == "opus") candidates.push_back(SF_FORMAT_OPUS);
        else candidates.insert(candidates.end(), kPrecisionOrder.begin(), kPrecisionOrder.end());
        const auto fitting = std::find_if(candidates.begin(), candidates.end(), fits);
        if (fitting == candidates.end())
            throw UsageError(out.string() + ": sixband cannot write " + major->second + " files");
        subtype = *fitting;
    }

    OutputFormat format;
    format.sndfileFormat = major->first | subtype;
    format.integerBits = integerBits(subtype);
    format.typeHoldsFloat = fits(SF_FORMAT_FLOAT);
    format.typeName = major->second;
    format.description = major->second + ", " + subtypeEntry(subtype)->description;
    return format;
}

namespace {

// The most bytes of audio a type's header can count, for the types that count them in 32 bits.
std::int64_t headerCountLimit(int major) {
    switch (major) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX: return 0xFFFFFFFFll;
        case SF_FORMAT_AU: return 0xFFFFFFFEll;  // 0xFFFFFFFF stands for "unknown"
        case SF_FORMAT_AIFF:
        case SF_FORMAT_SVX: return 0x7FFFFFFFll;  // chunk sizes are signed
        default: return 0;
    }
}

}  // namespace

void fitOutputToLength(OutputFormat& format, const std::string& outputName, int channels, std::int64_t frames,
                       const MetadataStrings& strings) {
    const int major = format.sndfileFormat & SF_FORMAT_TYPEMASK;
    const int subtype = format.sndfileFormat & SF_FORMAT_SUBMASK;
    const std::int64_t limit = headerCountLimit(major);
    if (limit == 0) return;
    // The header's other chunks count too: the format's own, the strings', and room to spare.
    std::int64_t other = 64 * 1024;
    for (const auto& [field, text] : strings) other += static_cast<std::int64_t>(text.size()) + 16;
    const std::int64_t room = limit - other;
    const std::int64_t needed = frames < 0 ? -1 : frames * channels * bytesPerSample(subtype);
    if (major == SF_FORMAT_WAV && (needed < 0 || needed > room)) {
        format.sndfileFormat = SF_FORMAT_RF64 | subtype;
        format.wavWhenItFits = needed < 0;
        format.description = needed < 0 ? format.description + " (RF64 if it outgrows 4 GiB)"
                                        : "RF64 (WAV over 4 GiB), " + format.description.substr(format.description.find(", ") + 2);
        return;
    }
    if (major == SF_FORMAT_WAV) return;
    format.audioBytesLimit = room;
    if (needed > room)
        throw UsageError(outputName + ": " + format.typeName + " files hold at most " + gibibytes(room) +
                         " of audio and this output needs " + gibibytes(needed) + "; write .w64, .rf64 or .caf" +
                         (format.integerBits > 0 ? " (or .flac)" : "") + " instead");
}

std::string writeProblem(const OutputFormat& format, int channels, int sampleRate, bool toPipe) {
    SF_INFO info{};
    info.format = format.sndfileFormat;
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* file = nullptr;
    int pipeEnds[2] = {-1, -1};
    if (toPipe) {
        // libsndfile refuses to write some types to a pipe only once it finds it is one.
        if (pipe(pipeEnds) != 0) return "";
        file = sf_open_fd(pipeEnds[1], SFM_WRITE, &info, SF_FALSE);
    } else {
        // A sink that takes every byte: libsndfile checks rate and channels against the type as it
        // writes the header, which is all it gets to do here.
        static constexpr SF_VIRTUAL_IO sink{
            [](void*) -> sf_count_t { return 0; },
            [](sf_count_t offset, int, void*) -> sf_count_t { return offset; },
            [](void*, sf_count_t, void*) -> sf_count_t { return 0; },
            [](const void*, sf_count_t count, void*) -> sf_count_t { return count; },
            [](void*) -> sf_count_t { return 0; },
        };
        SF_VIRTUAL_IO io = sink;
        file = sf_open_virtual(&io, SFM_WRITE, &info, nullptr);
    }
    std::string problem;
    if (!file) {
        problem = sf_strerror(nullptr);
        if (problem.starts_with("Error : ")) problem.erase(0, 8);
    } else {
        sf_close(file);
    }
    if (toPipe) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
    } else if (!problem.empty()) {
        // A few writers refuse a virtual file where they would write a real one (PAF, 24-bit):
        // only a real file, made and removed in the system's temporary folder, says for sure.
        std::string probe = (std::filesystem::temp_directory_path() / "sixband-probe-XXXXXX").string();
        const int fd = mkstemp(probe.data());
        if (fd >= 0) {
            if (SNDFILE* real = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE)) {
                sf_close(real);
                problem.clear();
            } else {
                close(fd);
            }
            unlink(probe.c_str());
        }
    }
    return problem;
}
