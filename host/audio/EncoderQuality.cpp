#include "EncoderQuality.h"

#include "host/commands/CommandLine.h"

#include <sndfile.h>

#include <algorithm>
#include <iterator>

namespace {

// Bitrates libsndfile 1.2.0's encoders gave a 10 s stereo test signal at 48 kHz (tone and noise)
// at each compression level, variable bitrate: what turns an input's bitrate into a level.
struct LevelRate {
    double level, kbps;
};
constexpr LevelRate kMp3[] = {{0.0, 265}, {0.1, 212}, {0.2, 182}, {0.3, 171}, {0.5, 124}, {0.8, 99}, {1.0, 64}};
constexpr LevelRate kVorbis[] = {{0.0, 539}, {0.1, 344}, {0.2, 255}, {0.3, 220}, {0.5, 167}, {0.8, 102}, {1.0, 62}};
constexpr LevelRate kOpus[] = {{0.0, 514}, {0.1, 466}, {0.2, 416}, {0.3, 365}, {0.5, 264}, {0.8, 114}, {1.0, 12}};

// Without a lossy input to go by: an MP3 of 224 kbps on average (libsndfile's default gives about
// 90 from music), or LAME's best variable bitrate (V0) when a mode is asked for; Vorbis and Opus
// files of about 180 and 210 kbps.
constexpr double kHighMp3Kbps = 224.0;
constexpr double kHighMp3 = 0.0, kHighVorbis = 0.2, kHighOpus = 0.6;
// LAME's variable-bitrate scale ends before 10: libsndfile refuses a level of 1 for MP3.
constexpr double kSmallestMp3 = 0.999;

template <std::size_t N>
double levelFor(const LevelRate (&table)[N], double kbps) {
    if (kbps >= table[0].kbps) return table[0].level;
    for (std::size_t i = 1; i < N; ++i)
        if (kbps >= table[i].kbps) {
            const LevelRate& a = table[i - 1];
            const LevelRate& b = table[i];
            return a.level + (b.level - a.level) * (a.kbps - kbps) / (a.kbps - b.kbps);
        }
    return table[N - 1].level;
}

}  // namespace

EncoderSettings encoderSettings(int format, std::optional<double> quality, const std::string& bitrateMode,
                                std::optional<double> inputKbps) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    const bool mp3 = subtype == SF_FORMAT_MPEG_LAYER_III, vorbis = subtype == SF_FORMAT_VORBIS,
               opus = subtype == SF_FORMAT_OPUS, flac = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
    EncoderSettings settings;
    if (quality && !(mp3 || vorbis || opus || flac))
        throw UsageError("--quality applies to MP3, Ogg Vorbis, Opus and FLAC outputs only");
    if (quality && !(*quality >= 0.0 && *quality <= 1.0))
        throw UsageError("--quality: from 0 (best, largest) to 1 (smallest), not " + std::to_string(*quality));
    if (!bitrateMode.empty()) {
        static const std::pair<const char*, int> kModes[] = {{"constant", SF_BITRATE_MODE_CONSTANT},
                                                             {"average", SF_BITRATE_MODE_AVERAGE},
                                                             {"variable", SF_BITRATE_MODE_VARIABLE}};
        const auto mode = std::find_if(std::begin(kModes), std::end(kModes),
                                       [&](const auto& m) { return bitrateMode == m.first; });
        if (mode == std::end(kModes))
            throw UsageError("--bitrate-mode: constant, average or variable, not " + bitrateMode);
        // libsndfile 1.2.0 refuses a bitrate mode for Opus as for Vorbis, whatever the order.
        if (vorbis || opus)
            settings.note = std::string("note: libsndfile's ") + (vorbis ? "Vorbis" : "Opus") +
                            " encoder takes no bitrate mode; --bitrate-mode is ignored";
        else if (mp3) settings.bitrateMode = mode->second;
        else throw UsageError("--bitrate-mode applies to MP3 outputs (libsndfile's Ogg encoders take none)");
    }
    // A lossy input's bitrate and a little more: each encoding loses something of its own.
    const std::optional<double> wanted = inputKbps ? std::optional(*inputKbps * 1.15) : std::nullopt;
    if (quality) {
        settings.compressionLevel = *quality;
    } else if (mp3 && settings.bitrateMode < 0) {
        // At an average bitrate LAME hits the one asked for, whatever the music: libsndfile asks
        // for 320 × (1 − level) kbps. The input's, or 224 kbps.
        settings.bitrateMode = SF_BITRATE_MODE_AVERAGE;
        settings.compressionLevel = 1.0 - std::min(wanted.value_or(kHighMp3Kbps), 320.0) / 320.0;
    } else if (mp3) {
        settings.compressionLevel = wanted ? levelFor(kMp3, *wanted) : kHighMp3;
    } else if (vorbis) {
        settings.compressionLevel = wanted ? levelFor(kVorbis, *wanted) : kHighVorbis;
    } else if (opus) {
        settings.compressionLevel = wanted ? levelFor(kOpus, *wanted) : kHighOpus;
    }
    if (mp3) settings.compressionLevel = std::min(settings.compressionLevel, kSmallestMp3);
    return settings;
}
