#include "FileProcessor.h"

#include "AtomicOutputFile.h"
#include "host/commands/ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int kChunkFrames = 8192;

// A device or FIFO opened for this output, closed when done; a descriptor the process was given
// stays open.
struct OpenedStream {
    int descriptor = -1;
    bool owned = false;
    ~OpenedStream() {
        if (owned) close(descriptor);
    }
};

}  // namespace

FileReport processFile(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters, AudioReader& reader,
                       const std::filesystem::path& input, const std::filesystem::path& output,
                       const OutputTarget& target, const FileSettings& settings, ProgressBar* progress) {
    const int channels = reader.channels();
    const int blockSize = settings.blockSize;
    StereoProcessor processor(module, static_cast<float>(settings.moduleRate), blockSize, parameters);
    const std::string name = isStandardStream(output) ? "standard output" : output.string();
    const std::string seed = input.filename().string();
    const std::string* dither = settings.dither ? &seed : nullptr;
    std::unique_ptr<AtomicOutputFile> destination;
    std::unique_ptr<AudioWriter> writing;
    OpenedStream stream;
    if (target.kind == OutputTarget::Kind::File) {
        destination = std::make_unique<AtomicOutputFile>(target.path, name);
        writing = std::make_unique<AudioWriter>(destination->temporaryPath(), name, settings.format, channels,
                                                reader.sampleRate(), reader.strings(), dither);
    } else {
        stream.descriptor = openOutputStream(target, name);
        stream.owned = target.kind == OutputTarget::Kind::Node;
        writing = std::make_unique<AudioWriter>(stream.descriptor, name, settings.format, channels, reader.sampleRate(),
                                                reader.strings(), dither);
    }
    AudioWriter& writer = *writing;
    const std::string shown = isStandardStream(input) ? "stdin" : input.filename().string();
    if (progress) progress->startFile(shown);
    struct Finished {
        ProgressBar* progress;
        const std::string& name;
        ~Finished() {
            if (progress) progress->finishFile(name);
        }
    } finished{progress, shown};

    // Files are read and written in chunks of several blocks: libsndfile makes one system call per
    // read or write, which at a 512-frame block cost more time than the equaliser.
    const int chunkFrames = blockSize * std::max(1, kChunkFrames / blockSize);
    std::vector<float> interleaved(static_cast<std::size_t>(chunkFrames * channels));
    std::int64_t total = 0;
    std::int64_t nonFinite = 0;
    std::int64_t firstNonFiniteInput = -1;
    while (const auto got = reader.read(interleaved.data(), chunkFrames)) {
        const auto samples = static_cast<std::size_t>(got * channels);
        if (firstNonFiniteInput < 0) {
            const auto bad = std::find_if(interleaved.begin(), interleaved.begin() + static_cast<std::ptrdiff_t>(samples),
                                          [](float x) { return !std::isfinite(x); });
            if (bad != interleaved.begin() + static_cast<std::ptrdiff_t>(samples))
                firstNonFiniteInput = total + (bad - interleaved.begin()) / channels;
        }
        for (int start = 0; start < static_cast<int>(got); start += blockSize) {
            const int frames = std::min(blockSize, static_cast<int>(got) - start);
            float* chunk = interleaved.data() + static_cast<std::size_t>(start * channels);
            float* left = processor.input(0);
            float* right = processor.input(1);
            if (channels == 1) {
                std::copy_n(chunk, frames, left);
                std::copy_n(chunk, frames, right);
            } else {
                for (int i = 0; i < frames; ++i) {
                    left[i] = chunk[2 * i];
                    right[i] = chunk[2 * i + 1];
                }
            }
            processor.run(frames);
            if (channels == 1) {
                std::copy_n(processor.output(0), frames, chunk);
            } else {
                for (int i = 0; i < frames; ++i) {
                    chunk[2 * i] = processor.output(0)[i];
                    chunk[2 * i + 1] = processor.output(1)[i];
                }
            }
        }
        for (std::size_t i = 0; i < samples; ++i) {
            if (!std::isfinite(interleaved[i])) {
                interleaved[i] = 0.0f;
                ++nonFinite;
            }
        }
        writer.write(interleaved.data(), got);
        total += got;
        if (progress) progress->advance(got);
    }
    if (total == 0) throw std::runtime_error(reader.name() + ": holds no audio frames");
    writer.close();
    if (destination) destination->commit();
    return {total, channels, reader.sampleRate(), writer.clippedSamples(), nonFinite, firstNonFiniteInput};
}
