#include "AudioReader.h"

#include "InputHeaderChecks.h"
#include "OutputFormat.h"
#include "SoundFileFormats.h"
#include "host/commands/CommandLine.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

MetadataStrings stringsOf(SNDFILE* file) {
    MetadataStrings strings;
    for (int field = SF_STR_FIRST; field <= SF_STR_LAST; ++field)
        if (const char* text = sf_get_string(file, field); text && *text) strings.emplace_back(field, text);
    return strings;
}

}  // namespace

bool isStandardStream(const std::filesystem::path& path) { return path == "-"; }

bool isRawInput(const std::filesystem::path& path, const RawInput& raw) {
    const std::string extension = lowered(path.extension().string());
    if (extension == ".raw" || extension == ".pcm") return true;
    return raw.given() && !hasAudioExtension(path);
}

namespace {

// A regular file or a block device that seeks is read as a file; anything else (a pipe, a FIFO, a
// socket, a terminal, or /dev/stdin and /dev/fd/N standing for one) is read once, front to back.
bool canSeek(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0) return false;
    return (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) && lseek(descriptor, 0, SEEK_CUR) >= 0;
}

std::string listed(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return text;
}

// libsndfile's format for a raw input; UsageError naming whatever the options leave open.
int rawFormat(const RawInput& raw, const std::string& name) {
    std::vector<std::string> missing;
    if (raw.sampleRate <= 0) missing.push_back("--input-rate");
    if (raw.channels <= 0) missing.push_back("--input-channels");
    if (raw.encoding.empty() && raw.bits == 0) missing.push_back("--input-encoding");
    if (!missing.empty()) throw UsageError(name + ": raw audio: give " + listed(missing));
    const std::string fromBits = raw.bits > 0 ? "pcm" + std::to_string(raw.bits) : "";
    const std::string encoding = raw.encoding.empty() ? fromBits : lowered(raw.encoding);
    if (!fromBits.empty() && encoding != fromBits)
        throw UsageError("--input-bits " + std::to_string(raw.bits) + " and --input-encoding " + raw.encoding +
                         " disagree; give one of them");
    // The first of each name is the one sixband writes (signed 8-bit), so raw output reads back.
    const auto entry = std::find_if(kSubtypes.begin(), kSubtypes.end(),
                                    [&](const NamedSubtype& s) { return s.name == encoding && isLinear(s.subtype); });
    if (entry == kSubtypes.end())
        throw UsageError("--input-encoding " + raw.encoding + ": unknown; use pcm8, pcm16, pcm24, pcm32, float or double");
    const std::string endian = lowered(raw.endian);
    if (!endian.empty() && endian != "little" && endian != "big")
        throw UsageError("--input-endian " + raw.endian + ": unknown; use little or big");
    return SF_FORMAT_RAW | entry->subtype | (endian == "big" ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
}

constexpr std::size_t kMpegFeedBytes = 64 * 1024;

}  // namespace

// A descriptor that cannot seek, for libsndfile's virtual I/O. Its readers go back over what they
// have read (FLAC's a whole block, WAV's to the data after looking past it): the first kKept bytes,
// enough for any header, are kept to go back into; going back further fails. Ahead of what has
// come in, a reader may skip within those first bytes, as a header parser does; beyond them a read
// ahead, which libsndfile makes only to look past the audio for trailing chunks, finds nothing
// rather than swallowing the stream. No callback throws: the buffer is made before the first.
struct AudioReader::InputStream {
    static constexpr sf_count_t kKept = 1 << 20;

    int descriptor;
    bool owned;
    std::unique_ptr<char[]> kept = std::make_unique<char[]>(kKept);
    sf_count_t consumed = 0;  // bytes taken from the descriptor; the first min(consumed, kKept) are kept
    sf_count_t position = 0;
    int error = 0;      // errno of a read that failed
    bool lost = false;  // a reader came back for bytes that were not kept

    InputStream(int descriptor_, bool owned_) : descriptor(descriptor_), owned(owned_) {}
    ~InputStream() {
        if (owned) ::close(descriptor);
    }
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // MPEG audio, which libsndfile will not read through virtual I/O: a frame or an ID3v2 tag,
    // which other types do not start with. The stream is left at its start.
    bool startsAsMpeg() noexcept {
        char start[4] = {};
        const sf_count_t got = readAt(start, sizeof start);
        position = 0;
        const std::string_view bytes(start, static_cast<std::size_t>(got));
        return bytes.starts_with("ID3") || startsWithMpegFrame(bytes);
    }

    sf_count_t keptBytes() const { return std::min(consumed, kKept); }

    sf_count_t fetch(char* into, sf_count_t count) noexcept {
        for (;;) {
            const ssize_t n = ::read(descriptor, into, static_cast<std::size_t>(count));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error = errno;
            return std::max<sf_count_t>(n, 0);
        }
    }

    // Reads at `position` until `count` bytes or the end.
    sf_count_t readAt(void* data, sf_count_t count) noexcept {
        auto* out = static_cast<char*>(data);
        sf_count_t done = 0;
        if (position < consumed) {
            const sf_count_t n = std::min(count, keptBytes() - position);
            std::copy_n(kept.get() + position, n, out);
            done += n;
            position += n;
            if (done < count && position < consumed) {
                lost = true;
                return done;
            }
        }
        if (position > consumed) {
            if (position > kKept) return done;
            while (consumed < position) {
                const sf_count_t n = fetch(kept.get() + consumed, position - consumed);
                if (n == 0) return done;
                consumed += n;
            }
        }
        while (done < count) {
            sf_count_t n = 0;
            if (consumed < kKept) {
                n = fetch(kept.get() + consumed, std::min(count - done, kKept - consumed));
                std::copy_n(kept.get() + consumed, n, out + done);
            } else {
                n = fetch(out + done, count - done);
            }
            if (n == 0) break;
            consumed += n;
            position += n;
            done += n;
        }
        return done;
    }

    static InputStream& of(void* user) noexcept { return *static_cast<InputStream*>(user); }
    // What libsndfile itself takes for a pipe's length: unknown, so any length in a header fits.
    static sf_count_t length(void*) noexcept { return SF_COUNT_MAX; }
    static sf_count_t tell(void* user) noexcept { return of(user).position; }
    static sf_count_t read(void* data, sf_count_t count, void* user) noexcept { return of(user).readAt(data, count); }
    static sf_count_t write(const void*, sf_count_t, void*) noexcept { return 0; }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) noexcept {
        auto& s = of(user);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s.position : SF_COUNT_MAX;
        if (offset > 0 && base > SF_COUNT_MAX - offset) return -1;
        const sf_count_t target = base + offset;
        if (target < 0 || (target > s.keptBytes() && target < s.consumed)) return -1;
        s.position = target;
        return target;
    }
};

AudioReader::AudioReader(const std::filesystem::path& path, const RawInput& raw)
    : name_(isStandardStream(path) ? "standard input" : path.string()) {
    try {
        open(path, raw);
        std::error_code error;
        const bool lossy = !isLinear(format_ & SF_FORMAT_SUBMASK) && (format_ & SF_FORMAT_SUBMASK) != SF_FORMAT_ULAW &&
                           (format_ & SF_FORMAT_SUBMASK) != SF_FORMAT_ALAW;
        if (lossy && !isStandardStream(path) && std::filesystem::is_regular_file(path, error) && frames_ > 0 && sampleRate_ > 0)
            lossyKbps_ = static_cast<double>(std::filesystem::file_size(path, error)) * 8.0 /
                         (static_cast<double>(frames_) / sampleRate_) / 1000.0;
    } catch (...) {
        if (file_) sf_close(file_);
        if (mpeg_) mpg123_delete(mpeg_);
        throw;
    }
}

void AudioReader::open(const std::filesystem::path& path, const RawInput& raw) {
    const bool standard = isStandardStream(path);
    canReopen_ = !standard;
    SF_INFO info{};
    if (isRawInput(path, raw)) {
        info.format = rawFormat(raw, name_);
        info.channels = raw.channels;
        info.samplerate = raw.sampleRate;
    }
    if (!standard) {
        std::error_code error;
        if (!std::filesystem::exists(path, error)) throw std::runtime_error(name_ + ": no such file");
        if (std::filesystem::is_directory(path, error)) throw std::runtime_error(name_ + ": is a folder, not an audio file");
        if (std::filesystem::is_regular_file(path, error) && std::filesystem::file_size(path, error) == 0)
            throw std::runtime_error(name_ + ": is empty");
    }
    // Whether the input can seek is asked of what was opened: a name does not tell what /dev/stdin
    // or /dev/fd/63 is, and a pipe or FIFO would give a second opening nothing, or hang it.
    const int descriptor = standard ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) throw std::runtime_error(name_ + ": cannot open: " + std::strerror(errno));
    if (!canSeek(descriptor)) {
        stream_ = std::make_unique<InputStream>(descriptor, !standard);
        canReopen_ = false;
        if (info.format == 0 && stream_->startsAsMpeg()) {
            throwIfStreamFailed();
            format_ = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
            openMpeg(nullptr, -1);
            return;
        }
        SF_VIRTUAL_IO io{InputStream::length, InputStream::seek, InputStream::read, InputStream::write,
                         InputStream::tell};
        file_ = sf_open_virtual(&io, SFM_READ, &info, stream_.get());
        if (!file_) {
            throwIfStreamFailed();
            throw std::runtime_error(name_ + ": cannot read audio: " + sf_strerror(nullptr));
        }
        // What counts is where the stream ends, not what its header says (often a placeholder).
        framesExact_ = false;
    } else if (standard) {
        const off_t start = lseek(descriptor, 0, SEEK_CUR);
        file_ = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
        if (!file_) throw std::runtime_error(name_ + ": cannot read audio: " + sf_strerror(nullptr));
        if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) lseek(descriptor, start, SEEK_SET);
    } else {
        ::close(descriptor);
        if (lowered(path.extension().string()) == ".mp3")
            if (const std::string problem = mpegProblem(path); !problem.empty())
                throw std::runtime_error(name_ + ": " + problem);
        file_ = sf_open(path.c_str(), SFM_READ, &info);
        if (!file_) {
            if (announcedSampleRate(path) == 0u)
                throw std::runtime_error(name_ + ": claims an impossible sample rate of 0 Hz");
            throw std::runtime_error(name_ + ": cannot read audio: " + sf_strerror(nullptr));
        }
    }
    frames_ = info.frames == SF_COUNT_MAX || stream_ ? 0 : info.frames;
    if (info.frames == SF_COUNT_MAX) framesExact_ = false;
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    format_ = info.format;
    strings_ = stringsOf(file_);

    std::string problem;
    if (channels_ > 2)
        problem = "has " + std::to_string(channels_) + " channels; sixband processes mono or stereo";
    else if (channels_ < 1)
        problem = "has no channels";
    else if (sampleRate_ <= 0 || sampleRate_ > kHighestSampleRate)
        problem = "claims an impossible sample rate of " + std::to_string(sampleRate_) + " Hz";
    else if (framesExact_ && frames_ <= 0)
        problem = "holds no audio frames";
    else if (framesExact_) {
        const int type = format_ & SF_FORMAT_TYPEMASK;
        const HeaderLength length = lengthFromLog(file_, type, frames_);
        if (length == HeaderLength::Overstated ||
            (type == SF_FORMAT_NIST && !standard && sphereOverstates(path, frames_)))
            problem = "is truncated or corrupt: its header announces more audio than the file holds";
        if (length == HeaderLength::Streamed) {
            // What libsndfile found the file to hold is all there is to go by.
            framesExact_ = false;
            note_ = name_ + ": its header gives no length (a stream saved as a file); read to its end";
        }
    }
    if (!problem.empty()) throw std::runtime_error(name_ + ": " + problem);

    // libsndfile only estimates an MPEG file's length from its first frame, unless an info frame
    // tells it, and never reads past that estimate: a file without one (`lame -t`, sox) would be
    // cut short or taken for truncated. libmpg123 decodes it to the end, from standard input too.
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        if (stream_) openMpeg(nullptr, -1);
        else if (standard) openMpeg(nullptr, STDIN_FILENO);
        else openMpeg(&path, -1);
    }
}

void AudioReader::openMpeg(const std::filesystem::path* path, int descriptor) {
    if (file_) sf_close(file_);
    file_ = nullptr;
    framesExact_ = false;
    int error = MPG123_OK;
    mpeg_ = mpg123_new(nullptr, &error);
    if (!mpeg_) throw std::runtime_error(name_ + ": cannot decode MPEG audio: " + mpg123_plain_strerror(error));
    mpg123_param(mpeg_, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(mpeg_);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i) mpg123_format(mpeg_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // A stream is fed, not opened with mpg123_open_fd: the bytes looked at to tell the type have
    // already left the pipe, and only the kept copy can give them back.
    int status = path         ? mpg123_open(mpeg_, path->c_str())
                 : descriptor >= 0 ? mpg123_open_fd(mpeg_, descriptor)
                                   : mpg123_open_feed(mpeg_);
    if (status == MPG123_OK) status = mpg123_getformat(mpeg_, &rate, &channels, &encoding);
    while (status == MPG123_NEED_MORE && stream_ && feedMpeg()) status = mpg123_getformat(mpeg_, &rate, &channels, &encoding);
    if (status != MPG123_OK) throw std::runtime_error(name_ + ": cannot decode MPEG audio: " + mpg123_strerror(mpeg_));
    // No format change from here on: the one found is the only one allowed.
    mpg123_format_none(mpeg_);
    mpg123_format(mpeg_, rate, channels, encoding);
    channels_ = channels;
    sampleRate_ = static_cast<int>(rate);
    // A scan of every frame's header: the exact length for the progress bar, cheaply. A stream
    // cannot be scanned ahead.
    if (!stream_ && mpg123_scan(mpeg_) == MPG123_OK) frames_ = std::max<std::int64_t>(0, mpg123_length(mpeg_));
}

bool AudioReader::feedMpeg() {
    feed_.resize(kMpegFeedBytes);
    const sf_count_t got = stream_->readAt(feed_.data(), static_cast<sf_count_t>(feed_.size()));
    throwIfStreamFailed();
    if (got == 0) return false;
    if (mpg123_feed(mpeg_, feed_.data(), static_cast<std::size_t>(got)) != MPG123_OK)
        throw std::runtime_error(name_ + ": cannot decode MPEG audio: " + mpg123_strerror(mpeg_));
    return true;
}

void AudioReader::throwIfStreamFailed() const {
    if (!stream_) return;
    if (stream_->error != 0) throw std::runtime_error(name_ + ": cannot read audio: " + std::strerror(stream_->error));
    if (stream_->lost)
        throw std::runtime_error(name_ + ": cannot read audio: its decoder went back further than the first " +
                                 std::to_string(InputStream::kKept >> 20) + " MiB, which is all that is kept of a stream");
}

AudioReader::~AudioReader() {
    if (file_) sf_close(file_);
    if (mpeg_) mpg123_delete(mpeg_);
}

std::int64_t AudioReader::read(float* interleaved, std::int64_t frames) {
    if (mpeg_) return readMpeg(interleaved, frames);
    const std::int64_t wanted = framesExact_ ? std::min(frames, frames_ - framesRead_) : frames;
    if (wanted <= 0) return 0;
    const sf_count_t got = sf_readf_float(file_, interleaved, wanted);
    throwIfStreamFailed();
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        throw std::runtime_error(name_ + ": cannot read audio: " + sf_strerror(file_));
    if (framesExact_ && got < wanted)
        throw std::runtime_error(name_ + ": the file ends after " + std::to_string(framesRead_ + got) + " of the " +
                                 std::to_string(frames_) + " frames its header announces");
    framesRead_ += got;
    return got;
}

std::int64_t AudioReader::readMpeg(float* interleaved, std::int64_t frames) {
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(channels_);
    auto* bytes = reinterpret_cast<unsigned char*>(interleaved);
    const std::size_t wanted = frameBytes * static_cast<std::size_t>(frames);
    std::size_t filled = 0;
    while (filled < wanted) {
        std::size_t done = 0;
        const int status = mpg123_read(mpeg_, bytes + filled, wanted - filled, &done);
        filled += done;
        if (status == MPG123_NEED_MORE && stream_) {
            if (feedMpeg()) continue;
            break;
        }
        if (status == MPG123_DONE) break;
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
            throw std::runtime_error(name_ + ": cannot decode MPEG audio: " + mpg123_strerror(mpeg_));
    }
    const auto got = static_cast<std::int64_t>(filled / frameBytes);
    framesRead_ += got;
    return got;
}
