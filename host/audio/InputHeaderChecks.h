// What an input's header claims, checked against what the file holds, before libsndfile or its
// MPEG decoder is trusted with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sf_private_tag;

enum class HeaderLength { Consistent, Overstated, Streamed };

// From libsndfile's log of an opened file of major type `type`, in which it found `frames` frames:
// whether the header announced more (a copy cut short), or no length at all (a stream saved as a
// file, which is then read to its end).
HeaderLength lengthFromLog(sf_private_tag* file, int type, std::int64_t frames);

// Whether a SPHERE (NIST) file's own sample_count is more than the `frames` it holds.
bool sphereOverstates(const std::filesystem::path& path, std::int64_t frames);

// The sample rate a WAV or AU header announces, read from its first bytes.
std::optional<std::uint32_t> announcedSampleRate(const std::filesystem::path& path);

// Whether the bytes begin with an MPEG audio frame's sync word.
bool startsWithMpegFrame(std::string_view bytes);

// Why a file named .mp3 is not MPEG audio ("is empty", "is not MPEG audio"), or "".
std::string mpegProblem(const std::filesystem::path& path);
