// The built module and peer equalisers from Debian's packages, each loaded and driven through the
// same hosting code, with its bands active, on stereo noise. The peers are black boxes: their
// parameters are found by name and set by what their own display texts read back.
#include "BenchSetup.h"
#include "host/hosting/HostedEffect.h"
#include "host/hosting/ModuleLibrary.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

int paramIndex(HostedEffect& effect, const std::string& name) {
    for (int index = 0; index < effect.paramCount(); ++index)
        if (effect.paramName(index) == name) return index;
    throw ModuleError("no parameter named " + name);
}

// The normalised value whose display reads `target`, for displays that grow with the value.
void setByDisplay(HostedEffect& effect, int index, double target) {
    float low = 0.0f, high = 1.0f;
    for (int i = 0; i < 40; ++i) {
        const float middle = 0.5f * (low + high);
        effect.setParameter(index, middle);
        (std::strtod(effect.paramDisplay(index).c_str(), nullptr) < target ? low : high) = middle;
    }
    effect.setParameter(index, high);
}

void setByDisplayText(HostedEffect& effect, int index, const std::string& text) {
    for (int step = 0; step <= 256; ++step) {
        effect.setParameter(index, static_cast<float>(step) / 256.0f);
        if (effect.paramDisplay(index) == text) return;
    }
    throw ModuleError("no value of parameter " + std::to_string(index) + " shows " + text);
}

// One instance per channel for mono effects.
struct Peer {
    const char* name;
    const char* path;
    std::function<void(HostedEffect&)> configure;
};

const double kBandCentresHz[6] = {80.0, 400.0, 1000.0, 2500.0, 5000.0, 12000.0};

const Peer kPeers[] = {
    {"sixband", SIXBAND_MODULE_PATH,
     [](HostedEffect& effect) {
         for (int band = 0; band < 6; ++band) effect.setParameter(band, kBenchBandSettings[band]);
     }},
    // LSP's parametric equaliser, 16 bands, stereo: six bell bands at +7 dB, the others off.
    {"lsp-para-x16-stereo", "/usr/lib/vst/lsp-plugins/para-equalizer-x16-stereo.so",
     [](HostedEffect& effect) {
         for (int band = 0; band < 6; ++band) {
             const std::string n = std::to_string(band);
             setByDisplayText(effect, paramIndex(effect, "ft_" + n), "Bell");
             setByDisplay(effect, paramIndex(effect, "f_" + n), kBandCentresHz[band]);
             setByDisplay(effect, paramIndex(effect, "g_" + n), 7.0);
         }
     }},
    // ZamEQ2 (mono, one instance per channel): both peaks and both shelves boosted.
    {"zameq2-two-mono", "/usr/lib/vst/ZamEQ2-vst.so",
     [](HostedEffect& effect) {
         for (const char* gain : {"Boost/Cut 1", "Boost/Cut 2", "Boost/Cut L", "Boost/Cut H"})
             effect.setParameter(paramIndex(effect, gain), 0.8f);
         effect.setParameter(paramIndex(effect, "Frequency 1"), 0.3f);
         effect.setParameter(paramIndex(effect, "Frequency 2"), 0.6f);
         effect.setParameter(paramIndex(effect, "Bandwidth 1"), 0.5f);
         effect.setParameter(paramIndex(effect, "Bandwidth 2"), 0.5f);
     }},
};

// Each module is loaded once for the whole run: repetitions create and close instances only.
const ModuleLibrary* loaded(const std::string& path) {
    static std::map<std::string, std::unique_ptr<ModuleLibrary>> modules;
    auto [entry, added] = modules.try_emplace(path);
    if (added) {
        try {
            entry->second = std::make_unique<ModuleLibrary>(path);
        } catch (const ModuleError&) {
        }
    }
    return entry->second.get();
}

double rms(const std::vector<float>& samples) {
    double sum = 0.0;
    for (float s : samples) sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

void runHosted(benchmark::State& state, const Peer& peer) {
    const auto blockSize = static_cast<std::int32_t>(state.range(0));
    const ModuleLibrary* module = loaded(peer.path);
    if (!module) {
        state.SkipWithError((std::string("cannot load ") + peer.path +
                             " (scripts/install-peer-equalisers.sh installs the peers)")
                                .c_str());
        return;
    }
    std::vector<std::unique_ptr<HostedEffect>> instances;
    try {
        // Configured once running, as hosts do: framework-built peers ignore parameters until then.
        instances.push_back(std::make_unique<HostedEffect>(*module, 44100.0f, blockSize));
        if (instances[0]->record().numInputs == 1)
            instances.push_back(std::make_unique<HostedEffect>(*module, 44100.0f, blockSize));
        for (auto& instance : instances) peer.configure(*instance);
    } catch (const ModuleError& error) {
        state.SkipWithError(error.what());
        return;
    }

    StereoNoiseBlock block(blockSize, 0.1f);
    float** inputs = block.inputs;
    float** outputs = block.outputs;
    for (auto _ : state) {
        if (instances.size() == 1) {
            instances[0]->process(inputs, outputs, blockSize);
        } else {
            for (int channel = 0; channel < 2; ++channel)
                instances[channel]->process(&inputs[channel], &outputs[channel], blockSize);
        }
        benchmark::DoNotOptimize(block.outLeft.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * blockSize),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    // Shows that the bands act: the level of the last output block over that of the input.
    state.counters["rms_gain"] = (rms(block.outLeft) + rms(block.outRight)) / (rms(block.left) + rms(block.right));
}

}  // namespace

void registerHostedBenchmarks() {
    for (const Peer& peer : kPeers) {
        auto* bench =
            benchmark::RegisterBenchmark((std::string("hosted/") + peer.name).c_str(), runHosted, peer);
        bench->ComputeStatistics("min", fastestRepetition);
        for (std::int64_t block : kBenchBlockSizes) bench->Arg(block);
    }
}
