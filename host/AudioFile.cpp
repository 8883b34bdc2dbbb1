#include "AudioFile.h"

#include "CommandLine.h"

#include <mpg123.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

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
    NamedSubtype{"pcm8", SF_FORMAT_PCM_S8, "8-bit signed integer"},
    NamedSubtype{"pcm8", SF_FORMAT_PCM_U8, "8-bit unsigned integer"},
};

const NamedSubtype* subtypeEntry(int subtype) {
    const auto entry = std::find_if(kSubtypes.begin(), kSubtypes.end(), [&](const NamedSubtype& s) { return s.subtype == subtype; });
    return entry == kSubtypes.end() ? nullptr : &*entry;
}

// The most precise sample formats first: float keeps everything the module computes; among
// integers the widest. Lossy codecs last, for the types that hold nothing else.
constexpr std::array kPrecisionOrder{SF_FORMAT_FLOAT,  SF_FORMAT_PCM_32, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16,
                                     SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8, SF_FORMAT_VORBIS, SF_FORMAT_MPEG_LAYER_III};

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

// Sample formats that carry their values exactly, as opposed to lossy or companded ones.
bool isLinear(int subtype) { return integerBits(subtype) > 0 || subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE; }

// libsndfile reads a file whose header announces more audio than the file holds (a copy cut
// short) as if it were shorter, and says so only in its log, in words of its own for each type.
// These are the lines of libsndfile 1.2 that carry a header's length, by type. IRCAM and PAF
// headers give no length; SPHERE's sample_count is not checked by libsndfile: see sphereOverstates.
struct LengthLines {
    int type;
    // "KEY : announced (should be held)", in bytes, or WVE's "KEY announced should be held".
    std::array<std::string_view, 2> sizeKeys;
    // "Frames : n": the header's own frame count, which libsndfile does not trust either.
    bool framesKey;
    // A line of its own about a file that ends too soon.
    std::string_view truncated;
    // The size on sizeKeys[0] of a file written by one that could not go back to its header to
    // fill in the length (ffmpeg to a pipe: WAV's 0xFFFFFFFF, W64's riff size of -1).
    std::optional<std::int64_t> streamed;
};
constexpr std::array kLengthLines{
    LengthLines{SF_FORMAT_WAV, {"data"}, false, {}, 0xFFFFFFFF},
    LengthLines{SF_FORMAT_WAVEX, {"data"}, false, {}, 0xFFFFFFFF},
    LengthLines{SF_FORMAT_W64, {"riff", "data"}, false, {}, -1},
    LengthLines{SF_FORMAT_RF64, {"Riff size"}, true, {}, std::nullopt},
    LengthLines{SF_FORMAT_AIFF, {"SSND"}, true, {}, std::nullopt},
    LengthLines{SF_FORMAT_AU, {"Data Size"}, false, {}, std::nullopt},
    LengthLines{SF_FORMAT_SVX, {"BODY"}, false, {}, std::nullopt},
    LengthLines{SF_FORMAT_WVE, {"Data length"}, false, {}, std::nullopt},
    LengthLines{SF_FORMAT_AVR, {}, true, {}, std::nullopt},
    LengthLines{SF_FORMAT_MPC2K, {}, true, {}, std::nullopt},
    LengthLines{SF_FORMAT_VOC, {}, false, "Seems to be a truncated file.", std::nullopt},
    LengthLines{SF_FORMAT_MAT4, {}, false, "File seems to be truncated.", std::nullopt},
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::optional<std::int64_t> leadingNumber(std::string_view text) {
    text = trimmed(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

enum class HeaderLength { Consistent, Overstated, Streamed };

// `frames` is what libsndfile found the file to hold.
HeaderLength lengthFromLog(SNDFILE* file, int type, std::int64_t frames) {
    const auto lines = std::find_if(kLengthLines.begin(), kLengthLines.end(), [&](const LengthLines& l) { return l.type == type; });
    if (lines == kLengthLines.end()) return HeaderLength::Consistent;
    std::string log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    log.resize(std::min(log.find('\0'), log.size()));
    HeaderLength found = HeaderLength::Consistent;
    std::int64_t blockAlign = 0;
    std::optional<std::int64_t> w64Data;
    for (std::size_t start = 0; start < log.size();) {
        const std::size_t end = std::min(log.find('\n', start), log.size());
        const std::string_view line = trimmed(std::string_view(log).substr(start, end - start));
        start = end + 1;
        if (!lines->truncated.empty() && line.find(lines->truncated) != line.npos) return HeaderLength::Overstated;
        const std::size_t keyEnd = std::min(line.find(':'), line.find_first_of("0123456789-"));
        if (keyEnd == line.npos) continue;
        const std::string_view key = trimmed(line.substr(0, keyEnd));
        const std::string_view rest = line.substr(line[keyEnd] == ':' ? keyEnd + 1 : keyEnd);
        const auto announced = leadingNumber(rest);
        if (!announced) continue;
        if (key == "Block Align") blockAlign = *announced;
        if (lines->framesKey && lowered(std::string(key)) == "frames" && *announced > frames)
            return HeaderLength::Overstated;
        const auto sizeKey = std::find(lines->sizeKeys.begin(), lines->sizeKeys.end(), key);
        if (key.empty() || sizeKey == lines->sizeKeys.end()) continue;
        if (sizeKey == lines->sizeKeys.begin() && *announced == lines->streamed) {
            found = HeaderLength::Streamed;
            continue;
        }
        const std::size_t should = rest.find("should be ");
        if (should != rest.npos) {
            const auto held = leadingNumber(rest.substr(should + 10));
            if (held && *announced > *held) return HeaderLength::Overstated;
        } else if (type == SF_FORMAT_W64 && key == "data") {
            w64Data = *announced;
        }
    }
    // W64's data line is never marked: its size, which counts its own 24-byte chunk header,
    // is weighed against the frames found, at the bytes a frame takes.
    if (found != HeaderLength::Streamed && w64Data && blockAlign > 0 && *w64Data - 24 > frames * blockAlign)
        return HeaderLength::Overstated;
    return found;
}

// A SPHERE (NIST) header is text: "NIST_1A", its own size, then "KEY -TYPE VALUE" lines, among
// them "sample_count -i N", frames per channel. libsndfile goes by the file's size alone.
bool sphereOverstates(const std::filesystem::path& path, std::int64_t frames) {
    std::ifstream in(path, std::ios::binary);
    std::string header(4096, '\0');
    in.read(header.data(), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<std::size_t>(in.gcount()));
    const std::size_t ends = header.find("end_head");
    const std::size_t count = header.find("\nsample_count -i ");
    if (count == header.npos || count > ends) return false;
    const auto announced = leadingNumber(std::string_view(header).substr(count + 17, 24));
    return announced && *announced > frames;
}

// Why libsndfile could not open a WAV or AU file that announces a sample rate of 0 it tells only
// as an internal error: the rate is read here, from the first chunks.
std::optional<std::uint32_t> announcedSampleRate(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(4096, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const auto word = [&](std::size_t at, bool little) -> std::optional<std::uint32_t> {
        if (at + 4 > bytes.size()) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]))
                     << (little ? 8 * i : 24 - 8 * i);
        return value;
    };
    if (bytes.starts_with(".snd")) return word(16, false);
    if (bytes.starts_with("dns.")) return word(16, true);
    const bool little = bytes.starts_with("RIFF");
    if ((!little && !bytes.starts_with("RIFX")) || bytes.size() < 12 || bytes.compare(8, 4, "WAVE") != 0) return std::nullopt;
    for (std::size_t chunk = 12; chunk + 8 <= bytes.size();) {
        const auto size = word(chunk + 4, little);
        if (bytes.compare(chunk, 4, "fmt ") == 0) return word(chunk + 12, little);
        chunk += 8 + *size + (*size & 1);
    }
    return std::nullopt;
}

// Eleven set bits, then a layer other than the reserved 00.
bool startsWithMpegFrame(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    return byte(0) == 0xFF && (byte(1) & 0xE0) == 0xE0 && (byte(1) & 0x06) != 0;
}

// libsndfile takes any file named .mp3 for MPEG audio and hands it to its decoder, whose notes
// on what it could not find go straight to standard error. A file that starts as MPEG audio
// does (a frame sync, after any ID3v2 tag) is left to it; any other is refused here.
std::string mpegProblem(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    const auto readAt = [&](std::uint64_t offset) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        bytes.assign(16, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    };
    readAt(0);
    if (bytes.empty()) return "is empty";
    std::uint64_t offset = 0;
    while (bytes.size() == 16 && bytes.starts_with("ID3")) {
        // The size is 28 bits, 7 to a byte; a footer flag adds 10 bytes.
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < 10; ++i) size = (size << 7) | (static_cast<unsigned char>(bytes[i]) & 0x7F);
        offset += 10 + size + ((static_cast<unsigned char>(bytes[5]) & 0x10) ? 10 : 0);
        readAt(offset);
    }
    return startsWithMpegFrame(bytes) ? "" : "is not MPEG audio";
}

bool isRegularFile(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

MetadataStrings stringsOf(SNDFILE* file) {
    MetadataStrings strings;
    for (int field = SF_STR_FIRST; field <= SF_STR_LAST; ++field)
        if (const char* text = sf_get_string(file, field); text && *text) strings.emplace_back(field, text);
    return strings;
}

// FNV-1a: a hash that is the same on every platform and every run, unlike std::hash.
std::uint64_t stableHash(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
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
        default: return 8;  // the widest: an estimate must not let an output outgrow its header
    }
}

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

std::string gibibytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GiB", static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0));
    return text;
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
            if (n <= 0) return count - left;
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
    if (written != frames) throw std::runtime_error(name_ + ": cannot write audio: " + sf_strerror(file_));
}

void AudioWriter::close() {
    sf_write_sync(file_);
    const int error = sf_error(file_);
    const int closeError = sf_close(file_);
    file_ = nullptr;
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
