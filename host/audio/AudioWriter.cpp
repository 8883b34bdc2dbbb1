#include "AudioWriter.h"

#include "SoundFileFormats.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

// FNV-1a: a hash that is the same on every platform and every run, unlike std::hash.
std::uint64_t stableHash(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

}  // namespace

namespace {

// Adding and subtracting 1.5·2^52 leaves a double of magnitude below 2^51 rounded to an integer in
// the current rounding mode, to nearest with ties to even by default: one addition and one
// subtraction where std::nearbyint is a library call on baseline x86-64.
constexpr double kRoundingShift = 0x1.8p52;

struct IntegerRange {
    double lowest;
    double highest;
    explicit IntegerRange(int bits) : lowest(-std::ldexp(1.0, bits - 1)), highest(std::ldexp(1.0, bits - 1) - 1.0) {}

    std::int32_t convert(double scaled, bool& clipped) const {
        if (!(scaled > lowest - 1.0 && scaled < highest + 1.0)) {
            clipped = true;
            return std::isnan(scaled) ? 0 : static_cast<std::int32_t>(scaled > 0.0 ? highest : lowest);
        }
        const double rounded = (scaled + kRoundingShift) - kRoundingShift;
        clipped = rounded > highest || rounded < lowest;
        return static_cast<std::int32_t>(std::clamp(rounded, lowest, highest));
    }
};

}  // namespace

std::int32_t toInteger(double scaled, int bits, bool& clipped) { return IntegerRange(bits).convert(scaled, clipped); }

// A descriptor that cannot seek (a pipe, a FIFO, a device). libsndfile writes some types' final lengths back into their
// headers when it closes them; on a pipe its FLAC writer would append those bytes to the end of
// the stream instead, where decoders take them for a broken frame. Here bytes for a place already
// sent are dropped, as a pipe cannot take them back: the header keeps its "length unknown".
struct AudioWriter::ForwardStream {
    int descriptor;
    int error = 0;  // why a write failed: libsndfile keeps only that it did
    sf_count_t position = 0;
    sf_count_t sent = 0;

    static ForwardStream& of(void* user) { return *static_cast<ForwardStream*>(user); }
    static sf_count_t length(void* user) { return of(user).sent; }
    static sf_count_t tell(void* user) { return of(user).position; }
    static sf_count_t read(void*, sf_count_t, void*) { return 0; }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        auto& s = of(user);
        s.position = whence == SEEK_SET ? offset : whence == SEEK_CUR ? s.position + offset : s.sent + offset;
        return s.position;
    }
    static sf_count_t write(const void* data, sf_count_t count, void* user) {
        auto& s = of(user);
        const sf_count_t behind = std::clamp<sf_count_t>(s.sent - s.position, 0, count);
        // Ahead of what was sent there is nothing to fill a gap with; libsndfile never leaves one.
        const auto* bytes = static_cast<const char*>(data) + behind;
        for (sf_count_t left = count - behind; left > 0;) {
            const ssize_t n = ::write(s.descriptor, bytes, static_cast<std::size_t>(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                s.error = n < 0 ? errno : EIO;
                return count - left;
            }
            bytes += n;
            left -= n;
            s.sent += n;
        }
        s.position += count;
        return count;
    }
};

AudioWriter::AudioWriter(const std::filesystem::path& path, const std::string& name, const OutputFormat& format,
                         int channels, int sampleRate, const MetadataStrings& strings, const std::string* ditherSeed)
    : AudioWriter(isStandardStream(path) ? nullptr : &path, STDOUT_FILENO, name, format, channels, sampleRate, strings,
                  ditherSeed) {}

AudioWriter::AudioWriter(int descriptor, const std::string& name, const OutputFormat& format, int channels,
                         int sampleRate, const MetadataStrings& strings, const std::string* ditherSeed)
    : AudioWriter(nullptr, descriptor, name, format, channels, sampleRate, strings, ditherSeed) {}

AudioWriter::AudioWriter(const std::filesystem::path* path, int descriptor, const std::string& name,
                         const OutputFormat& format, int channels, int sampleRate, const MetadataStrings& strings,
                         const std::string* ditherSeed)
    : name_(name), channels_(channels), integerBits_(format.integerBits), typeName_(format.typeName),
      bytesPerFrame_(channels * bytesPerSample(format.sndfileFormat & SF_FORMAT_SUBMASK)),
      audioBytesLimit_(format.audioBytesLimit), lossy_(!isLinear(format.sndfileFormat & SF_FORMAT_SUBMASK)) {
    SF_INFO info{};
    info.format = format.sndfileFormat;
    info.channels = channels;
    info.samplerate = sampleRate;
    if (path) {
        file_ = sf_open(path->c_str(), SFM_WRITE, &info);
    } else if (isRegularFile(descriptor)) {
        file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    } else {
        stream_ = std::make_unique<ForwardStream>(ForwardStream{descriptor});
        SF_VIRTUAL_IO io{ForwardStream::length, ForwardStream::seek, ForwardStream::read, ForwardStream::write,
                         ForwardStream::tell};
        file_ = sf_open_virtual(&io, SFM_WRITE, &info, stream_.get());
    }
    if (!file_) throw std::runtime_error(name_ + ": cannot write audio: " + sf_strerror(nullptr));
    if (format.wavWhenItFits) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Before the first sample, which fixes the encoder's settings; the level first, as libsndfile's
    // MP3 encoder refuses a bitrate mode before it.
    EncoderSettings encoder = format.encoder;
    const bool levelTaken = encoder.compressionLevel < 0.0 ||
                            sf_command(file_, SFC_SET_COMPRESSION_LEVEL, &encoder.compressionLevel,
                                       sizeof encoder.compressionLevel) == SF_TRUE;
    const bool modeTaken = encoder.bitrateMode < 0 ||
                           sf_command(file_, SFC_SET_BITRATE_MODE, &encoder.bitrateMode, sizeof encoder.bitrateMode) == SF_TRUE;
    if (!levelTaken || !modeTaken) {
        sf_close(file_);
        throw std::runtime_error(name_ + ": libsndfile's " + typeName_ + " encoder refuses that " +
                                 (levelTaken ? "bitrate mode" : "quality"));
    }
    // The peak chunk carries the time of writing: without it, the same audio gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Lossy encoders take floats and saturate what they cannot hold instead of wrapping round.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // Before the first sample: some types write their strings into the header. A type that holds
    // no strings, or not this one, refuses it; that is no reason to refuse the audio.
    for (const auto& [field, text] : strings) sf_set_string(file_, field, text.c_str());
    if (ditherSeed && integerBits_ > 0) {
        const std::uint64_t hash = stableHash(*ditherSeed);
        for (int channel = 0; channel < channels; ++channel) {
            std::seed_seq seed{static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(hash >> 32),
                               static_cast<std::uint32_t>(channel)};
            dither_.emplace_back(seed);
        }
    }
}

AudioWriter::~AudioWriter() {
    if (file_) sf_close(file_);
}

void AudioWriter::write(const float* interleaved, std::int64_t frames) {
    // Past what the header can count, its sizes would wrap round and readers would see a fraction.
    audioBytes_ += frames * bytesPerFrame_;
    if (audioBytesLimit_ > 0 && audioBytes_ > audioBytesLimit_)
        throw std::runtime_error(name_ + ": " + typeName_ + " files hold at most " + gibibytes(audioBytesLimit_) +
                                 " of audio; write .w64, .rf64 or .caf instead");
    const auto samples = static_cast<std::size_t>(frames * channels_);
    sf_count_t written = 0;
    if (integerBits_ == 0) {
        if (lossy_)
            clipped_ += std::count_if(interleaved, interleaved + samples, [](float x) { return std::abs(x) > 1.0f; });
        written = sf_writef_float(file_, interleaved, frames);
    } else {
        // libsndfile's own conversion floors when it clips, and without clipping scales by
        // 2^(n-1) - 1, so full scale would come back one code low: the samples are made here and
        // handed over as 32-bit integers, which it narrows by dropping the low bits it knows are 0.
        integers_.resize(samples);
        const IntegerRange range(integerBits_);
        const double scale = std::ldexp(1.0, integerBits_ - 1);
        const int shift = 32 - integerBits_;
        // The top 24 bits of the generator's word make an exact float fraction in [0, 1).
        const auto uniform = [](std::mt19937& g) { return static_cast<double>(g() >> 8) * 0x1p-24; };
        for (std::size_t i = 0; i < samples; ++i) {
            double scaled = static_cast<double>(interleaved[i]) * scale;
            if (!dither_.empty()) {
                auto& generator = dither_[i % static_cast<std::size_t>(channels_)];
                scaled += uniform(generator) - uniform(generator);
            }
            bool clipped = false;
            const std::int32_t value = range.convert(scaled, clipped);
            clipped_ += clipped;
            integers_[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift);
        }
        written = sf_writef_int(file_, integers_.data(), frames);
    }
    if (written != frames) throw std::runtime_error(name_ + ": cannot write audio: " + failure());
}

std::string AudioWriter::failure() const {
    if (stream_ && stream_->error != 0) return std::strerror(stream_->error);
    return sf_strerror(file_);
}

void AudioWriter::close() {
    sf_write_sync(file_);
    const int error = sf_error(file_);
    const int closeError = sf_close(file_);
    file_ = nullptr;
    // Bytes libsndfile still held went out as it closed.
    if (stream_ && stream_->error != 0)
        throw std::runtime_error(name_ + ": cannot finish writing audio: " + std::strerror(stream_->error));
    if (error != SF_ERR_NO_ERROR || closeError != 0)
        throw std::runtime_error(name_ + ": cannot finish writing audio: " +
                                 sf_error_number(error != SF_ERR_NO_ERROR ? error : closeError));
}

void writeAudioFile(const std::filesystem::path& path, const OutputFormat& format, const float* interleaved,
                    std::int64_t frames, int channels, int sampleRate) {
    AudioWriter writer(path, path.string(), format, channels, sampleRate);
    writer.write(interleaved, frames);
    writer.close();
}
