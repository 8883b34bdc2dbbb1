#include "FileProcessor.h"

#include "AtomicOutputFile.h"
#include "ProgressBar.h"

#include <algorithm>

FileReport processFile(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                       const std::filesystem::path& input, const std::filesystem::path& output,
                       const OutputFormat& format, int blockSize, double moduleRate, ProgressBar* progress) {
    AudioReader reader(input);
    const int channels = reader.channels();
    StereoProcessor processor(module, static_cast<float>(moduleRate), blockSize, parameters);
    AtomicOutputFile destination(output);
    AudioWriter writer(destination.temporaryPath(), format, channels, reader.sampleRate());

    std::vector<float> interleaved(static_cast<std::size_t>(blockSize * channels));
    std::int64_t remaining = reader.frames();
    while (remaining > 0) {
        const int frames = static_cast<int>(std::min<std::int64_t>(blockSize, remaining));
        reader.read(interleaved.data(), frames);
        float* left = processor.input(0);
        float* right = processor.input(1);
        if (channels == 1) {
            std::copy_n(interleaved.data(), frames, left);
            std::copy_n(interleaved.data(), frames, right);
        } else {
            for (int i = 0; i < frames; ++i) {
                left[i] = interleaved[static_cast<std::size_t>(2 * i)];
                right[i] = interleaved[static_cast<std::size_t>(2 * i + 1)];
            }
        }
        processor.run(frames);
        if (channels == 1) {
            std::copy_n(processor.output(0), frames, interleaved.data());
        } else {
            for (int i = 0; i < frames; ++i) {
                interleaved[static_cast<std::size_t>(2 * i)] = processor.output(0)[i];
                interleaved[static_cast<std::size_t>(2 * i + 1)] = processor.output(1)[i];
            }
        }
        writer.write(interleaved.data(), frames);
        remaining -= frames;
        if (progress) progress->advance(frames);
    }
    writer.close();
    destination.commit();
    return {reader.frames(), channels, reader.sampleRate(), writer.clippedSamples()};
}
