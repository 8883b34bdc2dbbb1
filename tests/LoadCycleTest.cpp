// Hosts create and close effects thousands of times in a session, and rescan their plug-in folders
// by loading and unloading every module. Whatever a cycle leaves behind accumulates in the host's
// process: here a cycle must leave nothing, not a byte of heap and not the module itself.
//
// The cycle counts can be lowered through SIXBAND_MAIN_CYCLES and SIXBAND_LOAD_CYCLES, so that the
// same tests run under valgrind in reasonable time.
#include "host/HostedEffect.h"
#include "host/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>
#include <fstream>
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

bool moduleIsMapped() {
    std::ifstream maps("/proc/self/maps");
    const std::string file = std::string(SIXBAND_MODULE_PATH).substr(std::string(SIXBAND_MODULE_PATH).rfind('/'));
    for (std::string line; std::getline(maps, line);)
        if (line.size() >= file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0)
            return true;
    return false;
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
    const long cycles = cyclesFromEnvironment("SIXBAND_MAIN_CYCLES", 10000);
    const ModuleLibrary module(SIXBAND_MODULE_PATH);
    // The first cycles fill the allocator's per-thread cache of freed chunks (see below).
    for (int warmUp = 0; warmUp < 10; ++warmUp) useOnce(module);
    const std::size_t before = heapInUse();
    for (long cycle = 0; cycle < cycles; ++cycle) {
        AEffect* effect = module.entry()(hostCallback);
        ASSERT_NE(effect, nullptr) << "cycle " << cycle;
        ASSERT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1) << "cycle " << cycle;
    }
    for (long cycle = 0; cycle < cycles / 10; ++cycle) {
        useOnce(module);
        if (testing::Test::HasFatalFailure()) return;
    }
    if (kHeapIsCountable) {
        EXPECT_EQ(heapInUse(), before) << "bytes in use grew over " << cycles << " + " << cycles / 10
                                       << " main/close cycles";
    }
}

TEST(LoadCycles, LoadAndUnloadLeaveNothingBehind) {
    const long cycles = cyclesFromEnvironment("SIXBAND_LOAD_CYCLES", 1000);
    ASSERT_EQ(dlopen(SIXBAND_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "the module is already loaded, so unloading cannot be observed";
    // A module that registered an exit handler, a thread-local destructor or a unique symbol would
    // be kept loaded by the C runtime after dlclose.
    auto cycle = [] {
        {
            ModuleLibrary module(SIXBAND_MODULE_PATH);
            useOnce(module);
        }
        void* stillThere = dlopen(SIXBAND_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (stillThere) dlclose(stillThere);
        return stillThere == nullptr;
    };
    // The warm-up lets the C library allocate its once-only buffers (dlerror's among them) and
    // fill the allocator's per-thread cache, which keeps up to 7 freed chunks of each size counted
    // as in use: the first cycles grow the count by a few hundred bytes each, then never again.
    for (int warmUp = 0; warmUp < 10; ++warmUp) ASSERT_TRUE(cycle()) << "the module stayed loaded after dlclose";
    const std::size_t before = heapInUse();
    for (long n = 0; n < cycles; ++n) {
        const bool unloaded = cycle();
        if (testing::Test::HasFatalFailure()) return;
        ASSERT_TRUE(unloaded) << "the module stayed loaded after dlclose, cycle " << n;
    }
    const std::size_t after = heapInUse();
    EXPECT_FALSE(moduleIsMapped()) << "pages of the module remain mapped after the last dlclose";
    if (kHeapIsCountable) {
        // A static C++ runtime with exception support would lose its 71 KB emergency pool here on
        // every cycle.
        EXPECT_EQ(after, before) << "bytes in use grew over " << cycles << " load cycles";
    }
}

}  // namespace
