#include "AudioFile.h"

#include "CommandLine.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

// Rates no audio file carries; a header claiming one is corrupt.
constexpr int kHighestSampleRate = 1536000;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct NamedSubtype {
    const char* name;
    int subtype;
    const char* description;
};
constexpr std::array kSubtypes{
    NamedSubtype{"pcm16", SF_FORMAT_PCM_16, "16-bit integer"},
    NamedSubtype{"pcm24", SF_FORMAT_PCM_24, "24-bit integer"},
    NamedSubtype{"pcm32", SF_FORMAT_PCM_32, "32-bit integer"},
    NamedSubtype{"float", SF_FORMAT_FLOAT, "32-bit float"},
    NamedSubtype{"double", SF_FORMAT_DOUBLE, "64-bit float"},
    NamedSubtype{"vorbis", SF_FORMAT_VORBIS, "Vorbis"},
    NamedSubtype{"opus", SF_FORMAT_OPUS, "Opus"},
    NamedSubtype{"mp3", SF_FORMAT_MPEG_LAYER_III, "MPEG layer III"},
};

// The major format libsndfile associates with an extension, from its own table.
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

bool isInteger(int subtype) {
    return subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_16 ||
           subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32 || subtype == SF_FORMAT_ALAW ||
           subtype == SF_FORMAT_ULAW;
}

// libsndfile reads a file whose header announces more audio than the file holds (a copy cut
// short) as if it were shorter, and says so only in its log, on the audio chunk's line.
bool headerOverstatesAudio(SNDFILE* file) {
    std::string log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    std::size_t start = 0;
    while (start < log.size() && log[start] != '\0') {
        const std::size_t end = std::min(log.find('\n', start), log.size());
        const std::string_view line(log.data() + start, end - start);
        if ((line.starts_with("data :") || line.starts_with("SSND :")) && line.find("(should be") != line.npos)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

AudioReader::AudioReader(const std::filesystem::path& path) : path_(path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw std::runtime_error(path.string() + ": no such file");
    if (std::filesystem::is_directory(path, error)) throw std::runtime_error(path.string() + ": is a folder, not an audio file");
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_) throw std::runtime_error(path.string() + ": cannot read audio: " + sf_strerror(nullptr));
    frames_ = info.frames;
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    std::string problem;
    if (channels_ > 2)
        problem = "has " + std::to_string(channels_) + " channels; sixband processes mono or stereo";
    else if (channels_ < 1)
        problem = "has no channels";
    else if (sampleRate_ <= 0 || sampleRate_ > kHighestSampleRate)
        problem = "claims an impossible sample rate of " + std::to_string(sampleRate_) + " Hz";
    else if (frames_ <= 0)
        problem = "holds no audio frames";
    else if (headerOverstatesAudio(file_))
        problem = "is truncated or corrupt: its header announces more audio than the file holds";
    if (!problem.empty()) {
        sf_close(file_);
        file_ = nullptr;
        throw std::runtime_error(path.string() + ": " + problem);
    }
}

AudioReader::~AudioReader() {
    if (file_) sf_close(file_);
}

std::int64_t AudioReader::read(float* interleaved, std::int64_t frames) {
    const std::int64_t wanted = std::min(frames, frames_ - framesRead_);
    if (wanted <= 0) return 0;
    const sf_count_t got = sf_readf_float(file_, interleaved, wanted);
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        throw std::runtime_error(path_.string() + ": cannot read audio: " + sf_strerror(file_));
    if (got < wanted)
        throw std::runtime_error(path_.string() + ": the file ends after " + std::to_string(framesRead_ + got) +
                                 " of the " + std::to_string(frames_) + " frames its header announces");
    framesRead_ += got;
    return got;
}

OutputFormat chooseOutputFormat(const std::filesystem::path& out, const std::string& requested, int channels,
                                int sampleRate) {
    std::string extension = lowered(out.extension().string());
    if (!extension.empty()) extension.erase(0, 1);
    const auto major = majorFormatFor(extension);
    if (!major)
        throw UsageError(out.string() + ": cannot tell the audio format from the extension \"" + extension +
                         "\"; use .wav, .flac, .aiff, .ogg, ...");

    const auto fits = [&](int subtype) {
        SF_INFO info{};
        info.format = major->first | subtype;
        info.channels = channels;
        info.samplerate = sampleRate;
        return sf_format_check(&info) != 0;
    };
    OutputFormat format;
    if (!requested.empty()) {
        const auto named = std::find_if(kSubtypes.begin(), kSubtypes.end(),
                                        [&](const NamedSubtype& s) { return s.name == lowered(requested); });
        if (named == kSubtypes.end())
            throw UsageError("--format " + requested + ": unknown; use pcm16, pcm24, pcm32, float, double, vorbis, opus or mp3");
        if (!fits(named->subtype))
            throw UsageError("--format " + requested + ": " + major->second + " files cannot hold " + named->description +
                             " samples");
        format.sndfileFormat = major->first | named->subtype;
        format.description = major->second + ", " + named->description;
    } else {
        // Float where the file type holds it, so that nothing clips; otherwise the first that fits.
        const NamedSubtype* subtype = nullptr;
        const auto preferred = extension == "opus" ? std::vector<std::string>{"opus"}
                                                   : std::vector<std::string>{"float", "pcm24", "pcm16", "vorbis", "mp3"};
        for (const auto& name : preferred) {
            const auto& candidate = *std::find_if(kSubtypes.begin(), kSubtypes.end(),
                                                  [&](const NamedSubtype& s) { return s.name == name; });
            if (fits(candidate.subtype)) {
                subtype = &candidate;
                break;
            }
        }
        if (!subtype) throw UsageError(out.string() + ": sixband cannot write " + major->second + " files");
        format.sndfileFormat = major->first | subtype->subtype;
        format.description = major->second + ", " + subtype->description;
    }
    format.clips = isInteger(format.sndfileFormat & SF_FORMAT_SUBMASK);
    return format;
}

AudioWriter::AudioWriter(const std::filesystem::path& path, const OutputFormat& format, int channels, int sampleRate)
    : path_(path), channels_(channels), clips_(format.clips) {
    SF_INFO info{};
    info.format = format.sndfileFormat;
    info.channels = channels;
    info.samplerate = sampleRate;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) throw std::runtime_error(path.string() + ": cannot write audio: " + sf_strerror(nullptr));
    // Integer output saturates at full scale instead of wrapping round to the opposite sign.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk carries the time of writing: without it, the same audio gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioWriter::~AudioWriter() {
    if (file_) sf_close(file_);
}

void AudioWriter::write(const float* interleaved, std::int64_t frames) {
    if (clips_)
        clipped_ += std::count_if(interleaved, interleaved + frames * channels_,
                                  [](float x) { return !(std::abs(x) <= 1.0f); });
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw std::runtime_error(path_.string() + ": cannot write audio: " + sf_strerror(file_));
}

void AudioWriter::close() {
    sf_write_sync(file_);
    const int error = sf_error(file_);
    const int closeError = sf_close(file_);
    file_ = nullptr;
    if (error != SF_ERR_NO_ERROR || closeError != 0)
        throw std::runtime_error(path_.string() + ": cannot finish writing audio: " +
                                 sf_error_number(error != SF_ERR_NO_ERROR ? error : closeError));
}

void writeAudioFile(const std::filesystem::path& path, const OutputFormat& format, const float* interleaved,
                    std::int64_t frames, int channels, int sampleRate) {
    AudioWriter writer(path, format, channels, sampleRate);
    writer.write(interleaved, frames);
    writer.close();
}
