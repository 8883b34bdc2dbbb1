// The shortest decimal text that reads back as the same float, so that a value printed by one
// program and typed into another is the same value to the bit.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string shortestText(float value) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}
