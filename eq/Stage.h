// One band-pass stage of the chain: its coefficients and one channel's history.
//
//              b0 · (1 − 2z⁻¹ + z⁻²)
//   H(z) = ─────────────────────────────────────
//           d0 + d1·z⁻¹ + d2·z⁻² + d3·z⁻³ + d4·z⁻⁴
//
//   y[n] = (b0·(x[n] − 2·x[n−1] + x[n−2]) − d1·y[n−1] − d2·y[n−2] − d3·y[n−3] − d4·y[n−4]) / d0
//
// The record is not normalised: d0 is kept and divided by, d4 is kept as 1 and multiplied.
#pragma once

inline constexpr int kStageCount = 6;
inline constexpr int kChannelCount = 2;

template <typename Real>
struct StageCoeffs {
    Real b0, d4, d3, d2, d1, d0;
};

// Inputs and outputs of the stage, most recent first.
//
// Every stage keeps its history in double, y as computed. The recursions have gains near DC of up
// to about 4e7 (S1) and poles close to z = 1 (S2 0.985, S6 0.961): an output rounded to float before
// it is fed back has that rounding amplified into the band's own signal, as distortion 50 to 65 dB
// below a tone, and into a memory of what passed long ago. The inputs are float values, held exactly.
struct StageState {
    double x1, x2;
    double y1, y2, y3, y4;
};
