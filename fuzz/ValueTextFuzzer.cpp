// The five value-to-text conversions on any float and integer, at any sample rate: every text fits
// the 8-character field with its terminator, and floatToText shows exactly the digits that the
// truncation rule gives, computed here a second, slow way: in integers, from the float's bits.
#include "FuzzHost.h"

#include "plugin/EffectBase.h"
#include "tests/support/TruncatedText.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 32;
constexpr char kUnwritten = '\x7e';
constexpr std::size_t kField = 8;

bool withinRange(float value) {
    const double v = value;
    return v >= 0.0 ? v <= 99999999.0 : -v <= 9999999.0;
}

// Calls one conversion on a buffer full of marks; returns the text and checks the field.
template <typename Convert>
std::string convert(Convert&& conversion) {
    char buffer[kBufferSize];
    std::memset(buffer, kUnwritten, sizeof buffer);
    conversion(buffer);
    const std::size_t length = strnlen(buffer, sizeof buffer);
    require(length <= kField, "a text has at most 8 characters and its terminator");
    for (std::size_t i = length + 1; i < sizeof buffer; ++i)
        require(buffer[i] == kUnwritten, "nothing is written after the terminator");
    return std::string(buffer, length);
}

void checkFloatText(EffectBase& effect, float value) {
    const std::string text = convert([&](char* t) { effect.floatToText(value, t); });
    require(text.size() == kField, "floatToText always writes 8 characters");
    if (std::isnan(value)) {
        require(text == "-0.00000", "a NaN shows as negative zero");
    } else if (!withinRange(value)) {
        require(text == " Huge!  ", "a value beyond the field shows Huge");
    } else {
        require(text == truncatedText(value), "floatToText cuts the exact decimal value to the field");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    AEffect* record = openEffect();
    auto* effect = static_cast<EffectBase*>(record->object);
    effect->setSampleRate(data.ConsumeBool() ? anyFloat(data) : 44100.0f);

    while (data.remaining_bytes() > 0) {
        const float value = anyFloat(data);
        const auto integer = data.ConsumeIntegral<std::int32_t>();

        checkFloatText(*effect, value);
        // Raw bits are mostly far outside the field; an integer scaled down lands inside it.
        const int shift = data.ConsumeIntegralInRange<int>(0, 9);
        checkFloatText(*effect, static_cast<float>(static_cast<double>(integer) / std::pow(10.0, shift)));

        const std::string level = convert([&](char* t) { effect->levelToDbText(value, t); });
        if (!(value > 0.0f)) require(level == "   -\xB0   ", "no level for zero, negatives and NaN");
        else require(level.size() == kField, "a level in decibels has 8 characters");

        convert([&](char* t) { effect->samplesToHzText(value, t); });
        convert([&](char* t) { effect->samplesToMsText(value, t); });

        const std::string integerText = convert([&](char* t) { effect->intToText(integer, t); });
        if (integer >= 100000000 || integer < -9999999) {
            require(integerText == " Huge!  ", "an integer beyond the field shows Huge");
        } else {
            char expected[16];
            std::snprintf(expected, sizeof expected, "%7d", static_cast<int>(integer));
            require(integerText == expected, "an integer is right-aligned in 7 characters");
        }
    }
    closeEffect(record);
    return 0;
}
