// The LV2 plug-in's URI and port layout, shared by its binary and by the program that writes its
// Turtle, so that the description and the code cannot disagree on an index.
#pragma once

#include "eq/SixBandEqualiser.h"

#include <cstdint>

inline constexpr char kLv2PluginUri[] = "urn:sixband:equaliser";

// The audio ports, then one control per band in the module's parameter order.
enum Lv2Port : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kFirstBand };
inline constexpr std::uint32_t kLv2AudioPortCount = kFirstBand;
inline constexpr std::uint32_t kLv2PortCount = kFirstBand + SixBandEqualiser::kParamCount;
