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
template <typename Real>
struct StageState {
    Real x1, x2;
    Real y1, y2, y3, y4;
};
