// Number-to-text conversions for parameter displays: fixed 8-character fields that cut digits off
// instead of rounding, as hosts of this interface show them. Each writes at most 8 characters and a
// terminating NUL, so the caller's buffer must hold 9 bytes.
#pragma once

#include <cstdint>

inline constexpr char kHugeText[] = " Huge!  ";
// Shown for a level of zero or less; the fourth byte is the degree sign of Latin-1 and Windows-1252.
inline constexpr char kNoLevelText[] = "   -\xB0   ";

// The value in exactly 8 characters, or kHugeText when it does not fit.
void formatFloatText(float value, char* text);

// The value right-aligned in 7 characters ("%7d"), 8 for negative values of 7 digits, or kHugeText.
void formatIntText(std::int32_t value, char* text);
