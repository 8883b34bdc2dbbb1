// The LV2 plug-in as an LV2 host finds and runs it, through lilv and the bundle on LV2_PATH: its
// ports must be the module's parameters, and its output the module's processReplacing, to the bit,
// whatever the blocks and however the controls move between them.
#include "ModuleHarness.h"
#ifdef SIXBAND_PROGRAM
#include "cli/CliRun.h"
#endif
#include "support/Signals.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#ifdef SIXBAND_TEST_CAIRO
#include <cairo.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kUri[] = "urn:sixband:equaliser";
constexpr int kBands = 6;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

using Node = std::unique_ptr<LilvNode, decltype(&lilv_node_free)>;

// The plug-in as a host sees it: every bundle on LV2_PATH loaded, ours picked by its URI.
class Lv2Host {
public:
    Lv2Host() : world_(lilv_world_new(), &lilv_world_free) {
        lilv_world_load_all(world_.get());
        const Node uri(lilv_new_uri(world_.get(), kUri), &lilv_node_free);
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_.get()), uri.get());
        if (!plugin_) return;
        for (std::uint32_t index = 0; index < lilv_plugin_get_num_ports(plugin_); ++index) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, index);
            if (isA(port, LILV_URI_CONTROL_PORT))
                (isA(port, LILV_URI_INPUT_PORT) ? controls_ : readouts_).push_back(index);
            if (isA(port, LILV_URI_AUDIO_PORT))
                (isA(port, LILV_URI_INPUT_PORT) ? audioIn_ : audioOut_).push_back(index);
        }
    }

    const LilvPlugin* plugin() const { return plugin_; }
    bool isA(const LilvPort* port, const char* classUri) const {
        const Node node(lilv_new_uri(world_.get(), classUri), &lilv_node_free);
        return lilv_port_is_a(plugin_, port, node.get());
    }
    std::string name(std::uint32_t index) const {
        const Node node(lilv_port_get_name(plugin_, lilv_plugin_get_port_by_index(plugin_, index)), &lilv_node_free);
        return lilv_node_as_string(node.get());
    }
    std::string symbol(std::uint32_t index) const {
        return lilv_node_as_string(lilv_port_get_symbol(plugin_, lilv_plugin_get_port_by_index(plugin_, index)));
    }
    // The control input port a host shows under `name`, or -1.
    int controlNamed(const std::string& wanted) const { return named(controls_, wanted); }
    int readoutNamed(const std::string& wanted) const { return named(readouts_, wanted); }
    const std::vector<std::uint32_t>& controls() const { return controls_; }
    const std::vector<std::uint32_t>& readouts() const { return readouts_; }
    const std::vector<std::uint32_t>& audioIn() const { return audioIn_; }
    const std::vector<std::uint32_t>& audioOut() const { return audioOut_; }

    // The plug-in's first value of a property, as text, or "".
    std::string value(const char* predicate) const {
        const Node property(lilv_new_uri(world_.get(), predicate), &lilv_node_free);
        LilvNodes* values = lilv_plugin_get_value(plugin_, property.get());
        const std::string text = values && lilv_nodes_size(values) > 0 ? lilv_node_as_string(lilv_nodes_get_first(values)) : "";
        lilv_nodes_free(values);
        return text;
    }

private:
    int named(const std::vector<std::uint32_t>& ports, const std::string& wanted) const {
        for (std::uint32_t index : ports)
            if (name(index) == wanted) return static_cast<int>(index);
        return -1;
    }

    std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world_;
    const LilvPlugin* plugin_ = nullptr;
    std::vector<std::uint32_t> controls_, readouts_, audioIn_, audioOut_;
};

const Lv2Host& host() {
    static const Lv2Host instance;
    return instance;
}

// The module's parameter names as its dispatcher gives them, trimmed as LV2 shows them.
std::string moduleParamName(const ModuleInstance& module, int band) {
    return trimmed(module.text(effGetParamName, band));
}

// One running instance, its controls connected to values the test sets by the module's parameter
// index, through the port that bears that parameter's name.
class Lv2Equaliser {
public:
    explicit Lv2Equaliser(double sampleRate = 48000.0, const LV2_Feature* const* features = nullptr)
        : instance_(lilv_plugin_instantiate(host().plugin(), sampleRate, features), &lilv_instance_free) {
        const ModuleInstance names;
        for (int band = 0; band < kBands; ++band) {
            const int port = host().controlNamed(moduleParamName(names, band));
            if (port < 0) throw std::runtime_error("no control named as parameter " + std::to_string(band));
            controls_[band] = names.getParameter(band);  // as a host starts: at the defaults
            lilv_instance_connect_port(instance_.get(), static_cast<std::uint32_t>(port), &controls_[band]);
            const int readout = host().readoutNamed(moduleParamName(names, band) + " gain");
            if (readout >= 0) lilv_instance_connect_port(instance_.get(), static_cast<std::uint32_t>(readout), &gains_[band]);
        }
    }
    void activate() { lilv_instance_activate(instance_.get()); }
    void deactivate() { lilv_instance_deactivate(instance_.get()); }
    void set(int band, float value) { controls_[band] = value; }
    // What the band's readout showed after the last run(); NaN until one has written it.
    float gain(int band) const { return gains_[band]; }
    // The bypass switch, which stays unconnected (on) until this is called.
    void setEnabled(float value) {
        enabled_ = value;
        for (std::uint32_t port : host().controls())
            if (host().symbol(port) == "enabled") lilv_instance_connect_port(instance_.get(), port, &enabled_);
    }
    void run(float* const inputs[2], float* const outputs[2], std::uint32_t frames) {
        for (int channel = 0; channel < 2; ++channel) {
            lilv_instance_connect_port(instance_.get(), host().audioIn()[channel], inputs[channel]);
            lilv_instance_connect_port(instance_.get(), host().audioOut()[channel], outputs[channel]);
        }
        lilv_instance_run(instance_.get(), frames);
    }
    LilvInstance* instance() const { return instance_.get(); }

private:
    std::unique_ptr<LilvInstance, decltype(&lilv_instance_free)> instance_;
    float controls_[kBands] = {};
    float gains_[kBands] = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    float enabled_ = 1.0f;
};

std::string lv2Path() {
    const char* path = std::getenv("LV2_PATH");
    return path ? path : "unset";
}

class Lv2Plugin : public testing::Test {
protected:
    void SetUp() override {
        RecordingHost::reset();
        ASSERT_NE(host().plugin(), nullptr) << kUri << " is not on LV2_PATH (" << lv2Path() << ")";
    }
};

TEST_F(Lv2Plugin, PortsAreTheModulesParametersWithItsDefaults) {
    const ModuleInstance module;
    const std::uint32_t ports = lilv_plugin_get_num_ports(host().plugin());
    std::vector<float> minimum(ports), maximum(ports), fallback(ports);
    lilv_plugin_get_port_ranges_float(host().plugin(), minimum.data(), maximum.data(), fallback.data());
    EXPECT_EQ(host().audioIn().size(), 2u);
    EXPECT_EQ(host().audioOut().size(), 2u);
    // A control per parameter, and the bypass switch, which a host may leave unconnected.
    ASSERT_EQ(host().controls().size(), static_cast<std::size_t>(module.record()->numParams) + 1);
    std::set<std::string> symbols;
    for (int band = 0; band < kBands; ++band) {
        const std::string name = moduleParamName(module, band);
        SCOPED_TRACE(name);
        const int port = host().controlNamed(name);
        ASSERT_GE(port, 0) << "no control input named as the module's parameter " << band;
        EXPECT_EQ(fallback[port], module.getParameter(band)) << "a fresh module's value is the default";
        EXPECT_EQ(minimum[port], 0.0f);
        EXPECT_EQ(maximum[port], 1.0f);
        const std::string symbol = host().symbol(static_cast<std::uint32_t>(port));
        EXPECT_TRUE(std::regex_match(symbol, std::regex("[a-z_][a-z0-9_]*"))) << symbol;
        EXPECT_TRUE(symbols.insert(symbol).second) << symbol << " repeats";
    }
    EXPECT_EQ(host().value("http://usefulinc.com/ns/doap#license"), "http://opensource.org/licenses/mit");
    // Hosts cache a plug-in's data by its version; LV2 releases have even minor versions.
    const std::string minor = host().value("http://lv2plug.in/ns/lv2core#minorVersion");
    ASSERT_FALSE(minor.empty());
    EXPECT_EQ(std::stoi(minor) % 2, 0) << minor;
    EXPECT_GT(std::stoi(minor), 0);
}

// Blocks of every size from none to 1,500 frames, some run in place (an LV2 host may hand the same
// buffer as input and output), with controls that hold still: the module's processReplacing to the
// bit. Each round moves every control and re-activates, so that its first run() must take them as
// they are, without a glide.
TEST_F(Lv2Plugin, SteadyControlsGiveTheModulesBitsOverRandomBlocks) {
    constexpr std::size_t kFrames = 1 << 15;
    const StereoBuffer in = seededNoise(kFrames, 41);
    Lv2Equaliser plugin;
    SeededRandom random(42);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const ModuleInstance module;
        for (int band = 0; band < kBands; ++band) {
            const float value = 0.5f + 0.5f * random.nextSample();
            module.setParameter(band, value);
            plugin.set(band, value);
        }
        plugin.activate();
        StereoBuffer fromModule(kFrames), fromPlugin(kFrames);
        std::size_t done = 0;
        for (int block = 0; done < kFrames; ++block) {
            const std::size_t frames = std::min<std::size_t>(random.nextBelow(1501), kFrames - done);
            float* inputs[2] = {const_cast<float*>(in.left.data()) + done, const_cast<float*>(in.right.data()) + done};
            float* moduleOut[2] = {fromModule.left.data() + done, fromModule.right.data() + done};
            float* pluginOut[2] = {fromPlugin.left.data() + done, fromPlugin.right.data() + done};
            module.processReplacing(inputs, moduleOut, static_cast<std::int32_t>(frames));
            if (block % 3 == 2) {
                std::copy_n(inputs[0], frames, pluginOut[0]);
                std::copy_n(inputs[1], frames, pluginOut[1]);
                plugin.run(pluginOut, pluginOut, static_cast<std::uint32_t>(frames));
            } else {
                plugin.run(inputs, pluginOut, static_cast<std::uint32_t>(frames));
            }
            done += frames;
        }
        EXPECT_TRUE(sameBits(fromPlugin, fromModule));
        plugin.deactivate();
    }
}

// LV2 asks a re-activated instance to forget what it heard: its next block is a new module's.
TEST_F(Lv2Plugin, ReactivationGivesANewInstancesBits) {
    constexpr std::size_t kFrames = 4096;
    const float settings[kBands] = {1.0f, 0.9f, 0.0f, 0.8f, 0.1f, 1.0f};
    const StereoBuffer loud = seededNoise(kFrames, 43, 0.9f), next = seededNoise(kFrames, 44);
    Lv2Equaliser reactivated, continued;
    for (Lv2Equaliser* plugin : {&reactivated, &continued}) {
        for (int band = 0; band < kBands; ++band) plugin->set(band, settings[band]);
        plugin->activate();
        StereoBuffer out(kFrames);
        float* inputs[2] = {const_cast<float*>(loud.left.data()), const_cast<float*>(loud.right.data())};
        float* outputs[2] = {out.left.data(), out.right.data()};
        plugin->run(inputs, outputs, kFrames);
    }
    reactivated.deactivate();
    reactivated.activate();

    const ModuleInstance fresh;
    for (int band = 0; band < kBands; ++band) fresh.setParameter(band, settings[band]);
    StereoBuffer fromFresh(kFrames), fromReactivated(kFrames), fromContinued(kFrames);
    float* inputs[2] = {const_cast<float*>(next.left.data()), const_cast<float*>(next.right.data())};
    float* freshOut[2] = {fromFresh.left.data(), fromFresh.right.data()};
    float* reactivatedOut[2] = {fromReactivated.left.data(), fromReactivated.right.data()};
    float* continuedOut[2] = {fromContinued.left.data(), fromContinued.right.data()};
    fresh.processReplacing(inputs, freshOut, kFrames);
    reactivated.run(inputs, reactivatedOut, kFrames);
    continued.run(inputs, continuedOut, kFrames);
    EXPECT_TRUE(sameBits(fromReactivated, fromFresh));
    EXPECT_FALSE(sameBits(fromContinued, fromFresh)) << "the loud block left no trace, so this proves nothing";
}

// A bad sample costs its channel that block only: from the next block on it gives a fresh module's
// bits, and the other channel is not touched. (A bad control value never reaches the equaliser
// here: see the next test.)
TEST_F(Lv2Plugin, ABadSampleIsForgottenAfterItsBlock) {
    constexpr std::size_t kBlock = 512;
    const float kInf = std::numeric_limits<float>::infinity();
    const float settings[kBands] = {0.9f, 0.1f, 0.7f, 0.05f, 0.6f, 0.95f};
    const StereoBuffer in = seededNoise(3 * kBlock, 45);
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf}) {
        SCOPED_TRACE(bad);
        StereoBuffer hitIn = in, out(3 * kBlock), continuous(3 * kBlock), fresh(3 * kBlock);
        hitIn.left[kBlock + 7] = bad;
        Lv2Equaliser plugin;
        const ModuleInstance clean, restarted;
        for (int band = 0; band < kBands; ++band) {
            plugin.set(band, settings[band]);
            clean.setParameter(band, settings[band]);
            restarted.setParameter(band, settings[band]);
        }
        plugin.activate();
        for (std::size_t block = 0; block < 3; ++block) {
            const std::size_t at = block * kBlock;
            float* hitInputs[2] = {hitIn.left.data() + at, hitIn.right.data() + at};
            float* inputs[2] = {const_cast<float*>(in.left.data()) + at, const_cast<float*>(in.right.data()) + at};
            float* outputs[2] = {out.left.data() + at, out.right.data() + at};
            float* continuousOut[2] = {continuous.left.data() + at, continuous.right.data() + at};
            float* freshOut[2] = {fresh.left.data() + at, fresh.right.data() + at};
            plugin.run(hitInputs, outputs, kBlock);
            clean.processReplacing(inputs, continuousOut, kBlock);
            if (block == 2) restarted.processReplacing(inputs, freshOut, kBlock);
        }
        const std::size_t last = 2 * kBlock;
        EXPECT_FALSE(std::isfinite(out.left[2 * kBlock - 1])) << "the bad block itself is as computed";
        EXPECT_EQ(std::memcmp(&out.left[last], &fresh.left[last], kBlock * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(out.right.data(), continuous.right.data(), 3 * kBlock * sizeof(float)), 0);
    }
}

// A control beyond its declared range is taken at the nearer end, one that is not a number as its
// default: the output is the module's at those values, bit for bit, and nothing needs forgetting.
TEST_F(Lv2Plugin, ControlsOutOfRangeAreClampedAndOnesThatAreNotNumbersTakeTheirDefault) {
    constexpr std::size_t kBlock = 300;
    const float kInf = std::numeric_limits<float>::infinity();
    const float sent[][kBands] = {{5.0f, -1.0f, kNaN, kInf, -kInf, std::numeric_limits<float>::max()},
                                  {0.9f, 0.1f, 0.7f, 0.05f, 0.6f, 0.95f},
                                  {kNaN, 2.0f, -0.5f, 1.0f, 0.0f, kNaN}};
    const ModuleInstance defaults;
    const StereoBuffer in = seededNoise(kBlock, 46);
    float* inputs[2] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    Lv2Equaliser plugin;
    for (const auto& values : sent) {
        const ModuleInstance module;
        for (int band = 0; band < kBands; ++band) {
            plugin.set(band, values[band]);
            const float used = std::isfinite(values[band]) ? std::clamp(values[band], 0.0f, 1.0f) : defaults.getParameter(band);
            module.setParameter(band, used);
        }
        plugin.activate();
        StereoBuffer fromPlugin(kBlock), fromModule(kBlock);
        float* pluginOut[2] = {fromPlugin.left.data(), fromPlugin.right.data()};
        float* moduleOut[2] = {fromModule.left.data(), fromModule.right.data()};
        plugin.run(inputs, pluginOut, kBlock);
        module.processReplacing(inputs, moduleOut, kBlock);
        EXPECT_TRUE(sameBits(fromPlugin, fromModule));
        EXPECT_TRUE(std::all_of(fromPlugin.left.begin(), fromPlugin.left.end(), [](float x) { return std::isfinite(x); }));
        plugin.deactivate();
    }
}

// Bypass crossfades to the dry input over 10 ms and back, in place as a host may run it; the
// filters keep running, so that once switched back the output is that of a run never bypassed.
TEST_F(Lv2Plugin, BypassCrossfadesToTheInputAndBackWhileTheFiltersKeepRunning) {
    constexpr double kRate = 48000.0;
    constexpr std::size_t kFade = 480, kBlock = 256, kBlocks = 40, kOff = 10 * kBlock + 37, kOn = 25 * kBlock + 11;
    const StereoBuffer in = seededNoise(kBlocks * kBlock, 47);
    StereoBuffer out = in, reference(kBlocks * kBlock);
    const float settings[kBands] = {1.0f, 0.1f, 0.7f, 0.05f, 0.6f, 0.95f};
    Lv2Equaliser plugin(kRate);
    const ModuleInstance module;
    for (int band = 0; band < kBands; ++band) {
        plugin.set(band, settings[band]);
        module.setParameter(band, settings[band]);
    }
    plugin.activate();
    // Switched at odd frames: a block is split there, as Ardour splits run() at each event.
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; at < kBlocks * kBlock; at += kBlock) cuts.push_back(at);
    cuts.push_back(kOff);
    cuts.push_back(kOn);
    cuts.push_back(kBlocks * kBlock);
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        const std::size_t at = cuts[k], frames = cuts[k + 1] - at;
        plugin.setEnabled(at >= kOff && at < kOn ? 0.0f : 1.0f);
        float* inPlace[2] = {out.left.data() + at, out.right.data() + at};
        plugin.run(inPlace, inPlace, static_cast<std::uint32_t>(frames));
        float* inputs[2] = {const_cast<float*>(in.left.data()) + at, const_cast<float*>(in.right.data()) + at};
        float* moduleOut[2] = {reference.left.data() + at, reference.right.data() + at};
        module.processReplacing(inputs, moduleOut, static_cast<std::int32_t>(frames));
    }
    const auto same = [](const std::vector<float>& a, const std::vector<float>& b, std::size_t from, std::size_t to) {
        return std::memcmp(a.data() + from, b.data() + from, (to - from) * sizeof(float)) == 0;
    };
    for (const auto channel : {&StereoBuffer::left, &StereoBuffer::right}) {
        const auto& got = out.*channel;
        EXPECT_TRUE(same(got, reference.*channel, 0, kOff)) << "before the switch: the module's bits";
        // A fade takes kFade frames, the last of them the first of the other signal alone.
        EXPECT_FALSE(same(got, in.*channel, kOff + kFade - 2, kOff + kFade - 1)) << "the fade ends early";
        EXPECT_TRUE(same(got, in.*channel, kOff + kFade - 1, kOn)) << "bypassed: the input, bit for bit";
        EXPECT_FALSE(same(got, reference.*channel, kOn + kFade - 2, kOn + kFade - 1)) << "the fade back ends early";
        EXPECT_TRUE(same(got, reference.*channel, kOn + kFade - 1, kBlocks * kBlock)) << "back: as if never bypassed";
        // No step in the fades larger than the signals' own.
        double steepest = 0.0, fadeSteepest = 0.0;
        for (std::size_t i = 1; i < got.size(); ++i) {
            const double step = std::abs(double(got[i]) - got[i - 1]);
            const bool fading = (i >= kOff && i <= kOff + kFade) || (i >= kOn && i <= kOn + kFade);
            (fading ? fadeSteepest : steepest) = std::max(fading ? fadeSteepest : steepest, step);
        }
        EXPECT_LE(fadeSteepest, steepest);
    }
}

}  // namespace

namespace {

// The largest change from one sample to the next within [from, to).
double steepest(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double largest = 0.0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i)
        largest = std::max(largest, std::abs(static_cast<double>(x[i]) - x[i - 1]));
    return largest;
}

// A loud 60 Hz tone while the 80 Hz band jumps at a block boundary: the module steps, the plug-in
// glides. Near the jump the plug-in's steepest change stays near the tone's own (the larger of its
// steepest before and after), the module's does not; and the glide ends where the module is.
TEST_F(Lv2Plugin, AControlChangeGlidesInsteadOfStepping) {
    constexpr std::size_t kBlock = 256;
    for (const double rate : {48000.0, 96000.0})
        for (const auto& [from, to] : {std::pair{0.2f, 1.0f}, std::pair{1.0f, 0.0f}}) {
            const std::size_t frames = static_cast<std::size_t>(rate) / kBlock * kBlock, jump = frames / 2 / kBlock * kBlock;
            const std::size_t glide = static_cast<std::size_t>(0.010 * rate), near = jump + 3 * glide;
            SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to) + " at " + std::to_string(rate) + " Hz");
            StereoBuffer in(frames), fromPlugin(frames), fromModule(frames);
            for (std::size_t n = 0; n < frames; ++n)
                in.left[n] = in.right[n] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 60.0 * n / rate));
            Lv2Equaliser plugin(rate);
            const ModuleInstance module;
            plugin.set(0, from);
            module.setParameter(0, from);
            plugin.activate();
            for (std::size_t at = 0; at < frames; at += kBlock) {
                if (at == jump) {
                    plugin.set(0, to);
                    module.setParameter(0, to);
                }
                float* inputs[2] = {in.left.data() + at, in.right.data() + at};
                float* pluginOut[2] = {fromPlugin.left.data() + at, fromPlugin.right.data() + at};
                float* moduleOut[2] = {fromModule.left.data() + at, fromModule.right.data() + at};
                plugin.run(inputs, pluginOut, kBlock);
                module.processReplacing(inputs, moduleOut, kBlock);
            }
            const double own = std::max(steepest(fromModule.left, jump - frames / 8, jump),
                                        steepest(fromModule.left, frames - frames / 8, frames));
            const double glided = steepest(fromPlugin.left, jump - 1, near);
            const double stepped = steepest(fromModule.left, jump - 1, near);
            std::printf("    %g Hz, 80 Hz band %.1f -> %.1f: steepest change near the jump %.5f glided, %.5f "
                        "stepped; the tone's own %.5f\n", rate, from, to, glided, stepped, own);
            EXPECT_LT(glided, 1.25 * own);
            EXPECT_GT(stepped, 4.0 * own) << "the jump is no click: this proves nothing";
            double apart = 0.0;
            for (std::size_t n = frames - frames / 8; n < frames; ++n)
                apart = std::max(apart, std::abs(static_cast<double>(fromPlugin.left[n]) - fromModule.left[n]));
            EXPECT_LT(apart, 1e-4) << "the glide does not end at the control's value";
        }
}

#ifdef SIXBAND_PROGRAM
// The gain `sixband response` measures at `hz`, read off its CSV between the two nearest bins.
double responseAt(const std::string& csv, double hz) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    double lastHz = 0.0, lastDb = 0.0;
    while (std::getline(lines, line)) {
        const double f = std::stod(line), db = std::stod(line.substr(line.find(',') + 1));
        if (f >= hz) return lastDb + (db - lastDb) * (hz - lastHz) / (f - lastHz);
        lastHz = f;
        lastDb = db;
    }
    return kNaN;
}

// Each readout is the chain's gain at its band's frequency at the host's rate, as `sixband
// response` measures it at that rate, and follows every control.
TEST_F(Lv2Plugin, GainReadoutsAreWhatSixbandResponseMeasuresAtTheHostsRate) {
    constexpr double kFrequencies[kBands] = {80, 400, 1000, 2500, 5000, 12000};
    const float settings[][kBands] = {{0.2f, 0.25f, 0.333f, 0.333f, 0.333f, 0.333f},
                                      {0.7f, 0.1f, 0.5f, 0.2f, 0.45f, 0.9f},
                                      {1.0f, 0.6f, 0.0f, 0.8f, 0.1f, 0.25f}};
    const TempFolder folder;
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        Lv2Equaliser plugin(rate);
        plugin.activate();
        for (const auto& values : settings) {
            std::vector<std::string> command = {"response", "--rate", std::to_string(static_cast<int>(rate)),
                                                "-o", "response.csv", "--plugin", SIXBAND_MODULE_PATH};
            for (int band = 0; band < kBands; ++band) {
                plugin.set(band, values[band]);
                command.insert(command.end(), {"--set", std::to_string(band) + "=" + std::to_string(values[band])});
            }
            float silence[64] = {}, out[2][64];
            float* inputs[2] = {silence, silence};
            float* outputs[2] = {out[0], out[1]};
            plugin.run(inputs, outputs, 64);
            const RunResult run = runSixband(command, folder.path());
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const std::string csv = fileBytes(folder / "response.csv");
            for (int band = 0; band < kBands; ++band)
                EXPECT_NEAR(plugin.gain(band), responseAt(csv, kFrequencies[band]), 0.01)
                    << kFrequencies[band] << " Hz at " << rate << " Hz, setting " << (&values - settings);
        }
    }
}
#endif

}  // namespace

namespace {

// Ardour's inline display as Ardour declares it.
struct InlineImage;
void writePng(const InlineImage& image, const char* path);
struct InlineImage {
    unsigned char* data;
    int width, height, stride;
};
struct InlineDisplay {
    InlineImage* (*render)(LV2_Handle, std::uint32_t width, std::uint32_t maxHeight);
};
struct QueueDraw {
    void* handle;
    void (*queueDraw)(void*);
};

// The picture as a file, for the README: SIXBAND_INLINE_DISPLAY_PNG=FILE.
#ifdef SIXBAND_TEST_CAIRO
void writePng(const InlineImage& image, const char* path) {
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(image.data, CAIRO_FORMAT_ARGB32, image.width, image.height, image.stride);
    EXPECT_EQ(cairo_surface_write_to_png(surface, path), CAIRO_STATUS_SUCCESS) << path;
    cairo_surface_destroy(surface);
}
#else
void writePng(const InlineImage&, const char* path) { ADD_FAILURE() << "built without cairo: " << path << " not written"; }
#endif

// Ardour draws on its GUI thread while run() goes on in the audio thread; the plug-in only asks
// for a draw when a control has moved. Then the picture: opaque, as large as asked, and its curve
// (the brightest red in each column) at each band's frequency on the row of that band's readout,
// on a log axis from 20 Hz to the Nyquist frequency or 20 kHz.
TEST_F(Lv2Plugin, InlineDisplayDrawsTheResponseTheReadoutsGiveWhileRunInAnotherThread) {
    constexpr double kFrequencies[kBands] = {80, 400, 1000, 2500, 5000, 12000};
    const float settings[kBands] = {0.6f, 0.2f, 0.45f, 0.25f, 0.4f, 0.3f};
    for (const double rate : {96000.0, 32000.0}) {
        SCOPED_TRACE(rate);
        std::atomic<int> draws{0};
        QueueDraw queue{&draws, [](void* handle) { ++*static_cast<std::atomic<int>*>(handle); }};
        const LV2_Feature queueFeature{"http://harrisonconsoles.com/lv2/inlinedisplay#queue_draw", &queue};
        const LV2_Feature* features[] = {&queueFeature, nullptr};
        Lv2Equaliser plugin(rate, features);
        const auto* display = static_cast<const InlineDisplay*>(
            lilv_instance_get_extension_data(plugin.instance(), "http://harrisonconsoles.com/lv2/inlinedisplay#interface"));
        ASSERT_NE(display, nullptr);
        LV2_Handle handle = lilv_instance_get_handle(plugin.instance());
        plugin.activate();
        float block[2][256] = {}, out[2][256];
        float* inputs[2] = {block[0], block[1]};
        float* outputs[2] = {out[0], out[1]};
        plugin.run(inputs, outputs, 256);
        const int before = draws.load();
        plugin.run(inputs, outputs, 256);
        EXPECT_EQ(draws.load(), before) << "a draw asked for with nothing moved";

        std::atomic<bool> running{true};
        std::thread gui([&] {
            while (running.load()) display->render(handle, 120, 60);
        });
        SeededRandom random(48);
        for (int cycle = 0; cycle < 200; ++cycle) {
            plugin.set(random.nextBelow(kBands), 0.5f + 0.5f * random.nextSample());
            plugin.run(inputs, outputs, 256);
        }
        for (int band = 0; band < kBands; ++band) plugin.set(band, settings[band]);
        plugin.run(inputs, outputs, 256);
        running = false;
        gui.join();
        EXPECT_GT(draws.load(), before + 100);

        const InlineImage* image = display->render(handle, 300, 200);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->width, 300);
        ASSERT_LE(image->height, 200);
        ASSERT_GE(image->stride, 4 * image->width);
        auto pixel = [&](int x, int y) {
            std::uint32_t value;
            std::memcpy(&value, image->data + static_cast<std::size_t>(y) * image->stride + 4 * x, 4);
            return value;
        };
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) ASSERT_EQ(pixel(x, y) >> 24, 0xffu) << x << "," << y;
        const double top = std::min(rate / 2.0, 20000.0);
        for (int band = 0; band < kBands; ++band) {
            if (kFrequencies[band] > top) continue;
            SCOPED_TRACE(kFrequencies[band]);
            const int x = static_cast<int>(std::lround(std::log(kFrequencies[band] / 20.0) / std::log(top / 20.0) * (image->width - 1)));
            int brightest = -1, first = 0, last = 0;
            for (int y = 0; y < image->height; ++y) {
                const int red = static_cast<int>((pixel(x, y) >> 16) & 0xff);
                if (red > brightest) brightest = red, first = last = y;
                else if (red == brightest) last = y;
            }
            const double expected = (24.0 - plugin.gain(band)) / 48.0 * (image->height - 1);
            EXPECT_GE(expected, first - 1.5);
            EXPECT_LE(expected, last + 1.5);
        }
        if (const char* png = std::getenv("SIXBAND_INLINE_DISPLAY_PNG"); png && rate == 96000.0) writePng(*image, png);
    }
}

}  // namespace
