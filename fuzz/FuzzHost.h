// What the fuzz targets share: a host that creates effects through the module's own factory and
// reads arbitrary bit patterns as floats.
#pragma once

#include "plugin/AEffect.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>

// A host that accepts the module: it answers the version query and nothing else.
AEffect* openEffect();
void closeEffect(AEffect* effect);

// Any 32 bits as a float: NaNs with payloads, infinities, denormals, huge values.
inline float anyFloat(FuzzedDataProvider& data) {
    const auto bits = data.ConsumeIntegral<std::uint32_t>();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A broken property is a finding: say which, and abort so that libFuzzer keeps the input.
[[noreturn]] void reportFinding(const char* property);
inline void require(bool holds, const char* property) {
    if (!holds) reportFinding(property);
}
