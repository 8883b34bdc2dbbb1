// The output format: the type from --type or the extension, the sample format kept from the input
// where the type holds it; the writer's own conversion to integers; what libsndfile would refuse.
#include "host/audio/AudioReader.h"
#include "host/audio/AudioWriter.h"
#include "host/audio/OutputFormat.h"
#include "host/commands/CommandLine.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

int formatFor(const char* path, int input, const char* requested = "", const char* type = "") {
    return chooseOutputFormat(path, type, requested, 2, 44100, input).sndfileFormat;
}

TEST(OutputFormat, KeepsTheInputsSampleFormatWhereTheTypeHoldsItElseTheMostPrecise) {
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatFor("OUT.AIF", SF_FORMAT_WAV | SF_FORMAT_PCM_24), SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    EXPECT_EQ(formatFor("out.flac", SF_FORMAT_WAV | SF_FORMAT_PCM_16), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE), SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
    // Signedness of 8-bit samples is the type's choice.
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8), SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    // The type cannot hold the input's format, or the input's is lossy or companded.
    EXPECT_EQ(formatFor("out.flac", SF_FORMAT_WAV | SF_FORMAT_FLOAT), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatFor("out.flac", SF_FORMAT_OGG | SF_FORMAT_VORBIS), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatFor("out.ogg", SF_FORMAT_WAV | SF_FORMAT_PCM_16), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(formatFor("out.opus", SF_FORMAT_WAV | SF_FORMAT_FLOAT), SF_FORMAT_OGG | SF_FORMAT_OPUS);
    // --type wins over the extension; --format over the input.
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "", "au"), SF_FORMAT_AU | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatFor("-", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "pcm16", "FLAC"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatFor("out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "double"), SF_FORMAT_WAV | SF_FORMAT_DOUBLE);

    const auto flac = chooseOutputFormat("out.flac", "", "", 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.integerBits, 16);
    EXPECT_FALSE(flac.typeHoldsFloat);
    EXPECT_EQ(chooseOutputFormat("out.wav", "", "pcm24", 1, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT).integerBits, 24);
    EXPECT_EQ(chooseOutputFormat("out.wav", "", "", 1, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT).integerBits, 0);
}

TEST(OutputFormat, RefusesWhatCannotBeWritten) {
    const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    EXPECT_THROW(formatFor("out", pcm16), UsageError);
    EXPECT_THROW(formatFor("out.mp4", pcm16), UsageError);
    EXPECT_THROW(formatFor("out.wav", pcm16, "", "mp4"), UsageError);
    EXPECT_THROW(formatFor("out.flac", pcm16, "float"), UsageError);
    EXPECT_THROW(formatFor("out.wav", pcm16, "pcm20"), UsageError);

    const auto opus = chooseOutputFormat("out.opus", "", "", 2, 44100, pcm16);
    EXPECT_NE(writeProblem(opus, 2, 44100, false).find("48000"), std::string::npos);
    EXPECT_EQ(writeProblem(opus, 2, 48000, false), "");
    const auto wav = chooseOutputFormat("-", "wav", "", 2, 44100, pcm16);
    EXPECT_EQ(writeProblem(wav, 2, 44100, false), "");
    EXPECT_NE(writeProblem(wav, 2, 44100, true), "") << "WAV cannot be written to a pipe";
    EXPECT_EQ(writeProblem(chooseOutputFormat("-", "au", "", 2, 44100, pcm16), 2, 44100, true), "");
}

TEST(IntegerSamples, RoundToNearestWithTiesToEvenAndClipAtTheFormatsRange) {
    bool clipped = true;
    EXPECT_EQ(toInteger(2.5, 16, clipped), 2);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(toInteger(3.5, 16, clipped), 4);
    EXPECT_EQ(toInteger(-2.5, 16, clipped), -2);
    EXPECT_EQ(toInteger(-0.49, 16, clipped), 0);
    EXPECT_EQ(toInteger(0.51, 16, clipped), 1);
    // Both full-scale codes, and one step beyond each.
    EXPECT_EQ(toInteger(32767.0, 16, clipped), 32767);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(toInteger(-32768.0, 16, clipped), -32768);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(toInteger(32768.0, 16, clipped), 32767);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(toInteger(-32769.0, 16, clipped), -32768);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(toInteger(8388607.4, 24, clipped), 8388607);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(toInteger(2147483647.6, 32, clipped), 2147483647);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(toInteger(std::nan(""), 8, clipped), 0);
    EXPECT_TRUE(clipped);
}

}  // namespace
