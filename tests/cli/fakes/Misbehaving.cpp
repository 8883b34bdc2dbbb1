// A module that fails as badly as a module can, as the environment asks, so that the host's
// handling of each failure can be tested: SIXBAND_FAKE_FAULT is segv, overflow, abort or exit, and
// SIXBAND_FAKE_FAULT_IN the call it happens in (load, open or process; process by default).
// SIXBAND_FAKE_RECORD=huge-params or huge-inputs gives an absurd record instead, odd-flags one with
// a flag bit the interface does not define; otherwise the record is a silent stereo one with one
// parameter whose name holds control characters.
#include "FakeRecord.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

volatile int sink;
volatile long deeper = 1;  // never 0: the recursion ends only when the stack does

[[gnu::noinline]] int recurse(long depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (deeper == 0) return frame[0];
    return recurse(depth + deeper) + frame[0];
}

// A real invalid access, which the sanitizer builds must not turn into a report of their own.
__attribute__((no_sanitize("address", "undefined"))) void readNull() { sink = *static_cast<volatile int*>(nullptr); }

void failIf(const char* call) {
    const std::string where = setting("SIXBAND_FAKE_FAULT_IN");
    if (where != call && !(where.empty() && std::string(call) == "process")) return;
    const std::string fault = setting("SIXBAND_FAKE_FAULT");
    if (fault == "segv") readNull();
    if (fault == "overflow") sink = recurse(0);
    if (fault == "abort") std::abort();
    if (fault == "exit") std::exit(0);
}

[[maybe_unused]] const int loaded = (failIf("load"), 0);

VstIntPtr dispatch(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void* ptr, float) {
    if (opcode == effOpen) failIf("open");
    if (opcode == effGetParamName) std::snprintf(static_cast<char*>(ptr), 64, "Gain\n\x1b[2J");
    return 0;
}

void process(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
    failIf("process");
    fake::silence(e, inputs, outputs, frames);
}

}  // namespace

FAKE_ENTRY(audioMasterCallback) {
    static AEffect effect;
    effect = fake::record(2, 2, 1);
    effect.dispatcher = dispatch;
    effect.processReplacing = process;
    const std::string record = setting("SIXBAND_FAKE_RECORD");
    if (record == "huge-params") effect.numParams = 0x7FFFFFFF;
    if (record == "huge-inputs") effect.numInputs = 100000000;
    if (record == "odd-flags") effect.flags = 0x112;
    return &effect;
}
