// The output format follows the file's extension; --format picks the samples where the type allows.
#include "host/AudioFile.h"
#include "host/CommandLine.h"

#include <sndfile.h>

#include <gtest/gtest.h>

namespace {

int formatFor(const char* path, const char* requested = "", int channels = 2) {
    return chooseOutputFormat(path, requested, channels, 44100).sndfileFormat;
}

TEST(OutputFormat, FollowsTheExtensionWithFloatWhereTheTypeHoldsIt) {
    EXPECT_EQ(formatFor("out.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatFor("OUT.WAV"), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatFor("out.aif"), SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    EXPECT_EQ(formatFor("out.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(formatFor("out.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
}

TEST(OutputFormat, RequestedSampleFormatsAndWhetherTheyClip) {
    const auto pcm16 = chooseOutputFormat("out.wav", "pcm16", 1, 44100);
    EXPECT_EQ(pcm16.sndfileFormat, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_TRUE(pcm16.clips);
    EXPECT_EQ(formatFor("out.flac", "PCM16"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(formatFor("out.wav", "double"), SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
    EXPECT_FALSE(chooseOutputFormat("out.wav", "float", 2, 44100).clips);
    EXPECT_FALSE(chooseOutputFormat("out.wav", "", 2, 44100).clips);
}

TEST(OutputFormat, RefusesWhatCannotBeWritten) {
    EXPECT_THROW(formatFor("out"), UsageError);
    EXPECT_THROW(formatFor("out.mp4"), UsageError);
    EXPECT_THROW(formatFor("out.flac", "float"), UsageError);
    EXPECT_THROW(formatFor("out.wav", "pcm20"), UsageError);
}

}  // namespace
