// Hosts create and close effects thousands of times in a session, and rescan their plug-in folders
// by loading and unloading every module. Whatever a cycle leaves behind accumulates in the host's
// process: here a cycle must leave nothing, not a byte of heap and not the binary itself. The
// module and the LV2 plug-in's binary are held to the same.
//
// The cycle counts can be lowered through SIXBAND_MAIN_CYCLES and SIXBAND_LOAD_CYCLES, so that the
// same tests run under valgrind in reasonable time.
#include "host/hosting/HostedEffect.h"
#include "host/hosting/ModuleLibrary.h"
#if defined(SIXBAND_LV2_BINARY)
#include "lv2/InlineDisplay.h"
#include "lv2/Lv2Binary.h"
#include "lv2/Lv2Ports.h"
#endif

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers replace the allocator and keep their own books; their leak checker covers this.
constexpr bool kHeapIsCountable = false;
#else
constexpr bool kHeapIsCountable = true;
#endif

long cyclesFromEnvironment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text ? std::strtol(text, nullptr, 10) : fallback;
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

bool isMapped(const std::string& path) {
    const std::string file = std::filesystem::canonical(path).string();
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.size() >= file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0)
            return true;
    return false;
}

// Creates `cycles` instances and closes each at once, then makes and uses a tenth as many: heap in
// use must come back to the byte.
void expectInstancesLeaveNoHeap(long cycles, const std::function<void()>& createAndClose,
                                const std::function<void()>& useOnce) {
    // The first cycles fill the allocator's per-thread cache of freed chunks (see below).
    for (int warmUp = 0; warmUp < 10; ++warmUp) useOnce();
    const std::size_t before = heapInUse();
    for (long cycle = 0; cycle < cycles; ++cycle) {
        createAndClose();
        if (testing::Test::HasFatalFailure()) return;
    }
    for (long cycle = 0; cycle < cycles / 10; ++cycle) {
        useOnce();
        if (testing::Test::HasFatalFailure()) return;
    }
    if (kHeapIsCountable) {
        EXPECT_EQ(heapInUse(), before) << "bytes in use grew over " << cycles << " + " << cycles / 10
                                       << " create/close cycles";
    }
}

// Loads the binary at `path`, uses it and unloads it, `cycles` times: it must really be unloaded
// each time and leave the heap as it found it.
void expectLoadCyclesLeaveNothing(const std::string& path, long cycles, const std::function<void()>& loadUseUnload) {
    ASSERT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr)
        << path << " is already loaded, so unloading cannot be observed";
    // A binary that registered an exit handler, a thread-local destructor or a unique symbol would
    // be kept loaded by the C runtime after dlclose.
    auto cycle = [&] {
        loadUseUnload();
        void* stillThere = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (stillThere) dlclose(stillThere);
        return stillThere == nullptr;
    };
    // The warm-up lets the C library allocate its once-only buffers (dlerror's among them) and
    // fill the allocator's per-thread cache, which keeps up to 7 freed chunks of each size counted
    // as in use: the first cycles grow the count by a few hundred bytes each, then never again.
    for (int warmUp = 0; warmUp < 10; ++warmUp) ASSERT_TRUE(cycle()) << path << " stayed loaded after dlclose";
    const std::size_t before = heapInUse();
    for (long n = 0; n < cycles; ++n) {
        const bool unloaded = cycle();
        if (testing::Test::HasFatalFailure()) return;
        ASSERT_TRUE(unloaded) << path << " stayed loaded after dlclose, cycle " << n;
    }
    const std::size_t after = heapInUse();
    EXPECT_FALSE(isMapped(path)) << "pages of " << path << " remain mapped after the last dlclose";
    if (kHeapIsCountable) {
        // A static C++ runtime with exception support would lose its 71 KB emergency pool here on
        // every cycle.
        EXPECT_EQ(after, before) << "bytes in use grew over " << cycles << " load cycles";
    }
}

// What a host does with a freshly loaded module: create an effect, ask its texts, run audio
// through it, close it.
void useOnce(const ModuleLibrary& module) {
    AEffect* effect = module.entry()(hostCallback);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->magic, kEffectMagic);
    char text[64];
    for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
        effect->dispatcher(effect, opcode, 2, 0, text, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    float left[64] = {1.0f}, right[64] = {-1.0f}, out[2][64];
    float* inputs[2] = {left, right};
    float* outputs[2] = {out[0], out[1]};
    effect->setParameter(effect, 0, 0.8f);
    effect->processReplacing(effect, inputs, outputs, 64);
    effect->process(effect, inputs, outputs, 64);
    ASSERT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(LoadCycles, MainAndCloseLeaveNoHeapBehind) {
    const ModuleLibrary module(SIXBAND_MODULE_PATH);
    expectInstancesLeaveNoHeap(
        cyclesFromEnvironment("SIXBAND_MAIN_CYCLES", 10000),
        [&] {
            AEffect* effect = module.entry()(hostCallback);
            ASSERT_NE(effect, nullptr);
            ASSERT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
        },
        [&] { useOnce(module); });
}

TEST(LoadCycles, LoadAndUnloadLeaveNothingBehind) {
    expectLoadCyclesLeaveNothing(SIXBAND_MODULE_PATH, cyclesFromEnvironment("SIXBAND_LOAD_CYCLES", 1000), [] {
        const ModuleLibrary module(SIXBAND_MODULE_PATH);
        useOnce(module);
    });
}

#if defined(SIXBAND_LV2_BINARY)

// What an LV2 host does: instantiate, connect every port, activate, run (a control moved, so that
// a glide runs), draw the inline display at two sizes, and activate again after a pause, as a host
// does when a track is switched off and on.
void useOnce(const Lv2Binary& binary) {
    Lv2Instance plugin(binary, 48000.0);
    float audio[kLv2AudioPortCount][64] = {{1.0f}, {-1.0f}};
    float controls[SixBandEqualiser::kParamCount] = {0.8f, 0.1f, 0.6f, 0.0f, 0.9f, 0.45f};
    float enabled = 1.0f, gains[SixBandEqualiser::kParamCount];
    for (std::uint32_t port = 0; port < kLv2AudioPortCount; ++port) plugin.connect(port, audio[port]);
    for (std::uint32_t band = 0; band < SixBandEqualiser::kParamCount; ++band) {
        plugin.connect(kFirstBand + band, &controls[band]);
        plugin.connect(kFirstGain + band, &gains[band]);
    }
    plugin.connect(kLv2Enabled, &enabled);
    plugin.activate();
    plugin.run(64);
    controls[0] = 0.2f;
    enabled = 0.0f;
    plugin.run(64);
    const auto* display = static_cast<const InlineDisplayInterface<LV2_Handle>*>(plugin.extension(kInlineDisplayInterfaceUri));
    ASSERT_NE(display, nullptr);
    for (std::uint32_t width : {40u, 200u}) ASSERT_NE(display->render(plugin.handle(), width, 100), nullptr);
    plugin.deactivate();
    plugin.activate();
    plugin.run(64);
}

TEST(LoadCycles, Lv2InstantiateAndCleanupLeaveNoHeapBehind) {
    const Lv2Binary binary(SIXBAND_LV2_BINARY, kLv2PluginUri);
    expectInstancesLeaveNoHeap(
        cyclesFromEnvironment("SIXBAND_MAIN_CYCLES", 10000), [&] { Lv2Instance plugin(binary, 44100.0); },
        [&] { useOnce(binary); });
}

TEST(LoadCycles, Lv2LoadAndUnloadLeaveNothingBehind) {
    expectLoadCyclesLeaveNothing(SIXBAND_LV2_BINARY, cyclesFromEnvironment("SIXBAND_LOAD_CYCLES", 1000), [] {
        const Lv2Binary binary(SIXBAND_LV2_BINARY, kLv2PluginUri);
        useOnce(binary);
    });
}

#endif

}  // namespace
