// The LV2 plug-in's URI and port layout, shared by its binary and by the program that writes its
// Turtle, so that the description and the code cannot disagree on an index.
#pragma once

#include "eq/SixBandEqualiser.h"

#include <cstdint>

inline constexpr char kLv2PluginUri[] = "urn:sixband:equaliser";

// The audio ports, one control per band in the module's parameter order, then the ports added
// since the first release, each of which a host may leave unconnected: the bypass switch, and an
// output per band that reads the chain's gain at the band's frequency.
enum Lv2Port : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kFirstBand };
inline constexpr std::uint32_t kLv2AudioPortCount = kFirstBand;
inline constexpr std::uint32_t kLv2Enabled = kFirstBand + SixBandEqualiser::kParamCount;
inline constexpr std::uint32_t kFirstGain = kLv2Enabled + 1;
inline constexpr std::uint32_t kLv2PortCount = kFirstGain + SixBandEqualiser::kParamCount;

// The readouts' declared range; the chain's gain at a band's frequency lies within it at any
// settings and rate, and is held there should a notch go deeper.
inline constexpr float kLv2GainFloorDb = -90.0f, kLv2GainCeilingDb = 40.0f;
