// The decimal text that the 8-character number fields show for a float, computed a second, slow
// way: in integers, from the float's bits, so that no floating-point formatting is involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The decimal text of a finite float within the field's range, cut (never rounded) to 8 characters:
// sign, the integer digits, the point, then as many fraction digits as fit. Integer parts too long
// for the point to fit (8 digits, or 7 with a sign) show all their digits and no point.
inline std::string truncatedText(float value) {
    constexpr std::size_t kField = 8;
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 31) != 0 && value != 0.0f;
    const int biasedExponent = static_cast<int>((bits >> 23) & 0xFF);
    // value = mantissa * 2^exponent exactly
    const std::uint64_t mantissa = biasedExponent == 0 ? (bits & 0x7FFFFF) : ((bits & 0x7FFFFF) | 0x800000);
    const int exponent = (biasedExponent == 0 ? 1 : biasedExponent) - 150;

    std::uint64_t whole = 0;
    std::uint64_t fraction = 0;  // fraction / 2^fractionBits
    int fractionBits = 0;
    if (exponent >= 0) {
        whole = mantissa << exponent;  // in range, at most 27 bits
    } else {
        fractionBits = -exponent;
        whole = fractionBits >= 64 ? 0 : mantissa >> fractionBits;
        fraction = fractionBits >= 64 ? mantissa : mantissa & ((std::uint64_t{1} << fractionBits) - 1);
    }

    std::string text = negative ? "-" : "";
    text += std::to_string(whole);
    if (text.size() + 1 > kField) return text;
    text += '.';
    const std::size_t places = kField - text.size();
    if (places == 0) return text;
    // floor(fraction * 10^places / 2^fractionBits): fraction < 2^24 and 10^7 < 2^24, no overflow.
    std::uint64_t scaled = fraction;
    for (std::size_t i = 0; i < places; ++i) scaled *= 10;
    const std::uint64_t digits = fractionBits == 0 ? 0 : fractionBits >= 64 ? 0 : scaled >> fractionBits;
    std::string fractionText = std::to_string(digits);
    text += std::string(places - fractionText.size(), '0') + fractionText;
    return text;
}
