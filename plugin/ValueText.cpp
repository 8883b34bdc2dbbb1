#include "ValueText.h"

#include "EffectBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kFieldWidth = 8;

// The digit of a value in [0, 10). A NaN has no digits and shows as 0.
char digitChar(double digitValue) {
    return digitValue > 0 ? static_cast<char>('0' + static_cast<int>(digitValue)) : '0';
}

}  // namespace

void formatFloatText(float value, char* text) {
    double v = value;
    int placed = 0;
    bool negative = false;
    // Written so that a NaN takes the negative branch and passes the range test.
    if (v >= 0) {
        if (v > 99999999.0) {
            std::memcpy(text, kHugeText, sizeof kHugeText);
            return;
        }
    } else {
        v = -v;
        negative = true;
        placed = 1;
        if (v > 9999999.0) {
            std::memcpy(text, kHugeText, sizeof kHugeText);
            return;
        }
    }

    char scratch[32];
    char* first = scratch + sizeof scratch;
    *--first = '\0';
    const double whole = std::floor(v);
    // An integer part that leaves no room for the point keeps all its digits and drops the point.
    const bool pointFits = !(whole >= (negative ? 1e6 : 1e7));
    if (pointFits) {
        *--first = '.';
        ++placed;
    }
    double q = whole;
    *--first = digitChar(std::fmod(q, 10.0));
    q /= 10.0;
    ++placed;
    while (q >= 1.0 && placed < kFieldWidth) {
        *--first = digitChar(std::fmod(q, 10.0));
        q /= 10.0;
        ++placed;
    }
    if (negative) *--first = '-';

    const std::size_t length = std::strlen(first);
    std::memcpy(text, first, length + 1);
    if (placed >= kFieldWidth) return;

    const int fractionDigits = kFieldWidth - placed;
    double m = std::fmod(v, 1.0) * std::pow(10.0, fractionDigits);
    char* fraction = text + length;
    for (int i = fractionDigits - 1; i >= 0; --i) {
        if (m > 0) {
            fraction[i] = digitChar(std::fmod(m, 10.0));
            m /= 10.0;
        } else {
            fraction[i] = '0';
        }
    }
    fraction[fractionDigits] = '\0';
}

void formatIntText(std::int32_t value, char* text) {
    // Below -9,999,999 "%7d" needs more than 8 characters; cutting it would drop the lowest digits
    // and show a wrong number.
    if (value >= 100000000 || value < -9999999) {
        std::memcpy(text, kHugeText, sizeof kHugeText);
        return;
    }
    char scratch[32];
    std::snprintf(scratch, sizeof scratch, "%7d", static_cast<int>(value));
    scratch[kFieldWidth] = '\0';
    std::memcpy(text, scratch, std::strlen(scratch) + 1);
}

void EffectBase::levelToDbText(float value, char* text) {
    if (value > 0) {
        const auto logarithm = static_cast<float>(std::log10(static_cast<double>(value)));
        floatToText(static_cast<float>(static_cast<double>(logarithm) * 20.0), text);
    } else {
        std::memcpy(text, kNoLevelText, sizeof kNoLevelText);
    }
}

void EffectBase::samplesToHzText(float samples, char* text) {
    const float rate = getSampleRate();
    if (samples != 0 && !std::isnan(samples)) {
        floatToText(static_cast<float>(static_cast<double>(rate) / static_cast<double>(samples)), text);
    } else {
        floatToText(0.0f, text);
    }
}

void EffectBase::samplesToMsText(float samples, char* text) {
    const float rate = getSampleRate();
    floatToText(static_cast<float>(static_cast<double>(samples) * 1000.0 / static_cast<double>(rate)),
                text);
}

void EffectBase::floatToText(float value, char* text) { formatFloatText(value, text); }

void EffectBase::intToText(std::int32_t value, char* text) { formatIntText(value, text); }
