#include "InputHeaderChecks.h"

#include "SoundFileFormats.h"
#include "host/commands/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <fstream>

namespace {

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

// `frames` is what libsndfile found the file to hold.
}  // namespace

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
