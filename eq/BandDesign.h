// Design of the band-pass stages: a second-order Butterworth low-pass prototype, turned into a
// band-pass by p = (s² + wu·wl) / (BW·s), made digital by the backward difference s = fs·(1 − z⁻¹)
// at a fixed design rate of 44,100 Hz. Everything here is double precision; the caller decides
// how each stage is stored.
#pragma once

#include "Stage.h"

// The analog values of the stage designed last, kept where the design leaves them.
struct DesignScratch {
    double wu, wl;  // band edges, rad/s
    double bw2;     // (wu − wl)²
    double one;     // s⁴ coefficient of the analog denominator
    double c3, c2, c1, c0;
};

// Band edges in rad/s, in chain order S1..S6. They are 2·3.1415926·f, not 2π·f: the stored
// decimals are what the coefficients were designed from.
struct BandEdges {
    double wl, wu;
};
inline constexpr BandEdges kStageEdges[kStageCount] = {
    {251.327408, 1256.63704},    // S1, band 0:    40 –   200 Hz
    {1256.63704, 5026.54816},    // S2, band 1:   200 –   800 Hz
    {7539.82224, 31415.926},     // S3, band 3:  1200 –  5000 Hz
    {18849.5556, 56548.6668},    // S4, band 4:  3000 –  9000 Hz
    {75398.2224, 113097.3336},   // S5, band 5: 12000 – 18000 Hz
    {3769.91112, 11623.89262},   // S6, band 2:   600 –  1850 Hz
};

inline constexpr double kDesignRate = 44100.0;

// x to the integer power n by repeated squaring.
double intPower(double x, int n);

StageCoeffs<double> designBandPass(DesignScratch& scratch, double wu, double wl);

// How S2..S6 are stored: each coefficient rounded once from its double result. (S1 stays in double:
// rounded, one of its poles would lie outside the unit circle.)
inline StageCoeffs<float> roundedToFloat(const StageCoeffs<double>& c) {
    return {static_cast<float>(c.b0), static_cast<float>(c.d4), static_cast<float>(c.d3),
            static_cast<float>(c.d2), static_cast<float>(c.d1), static_cast<float>(c.d0)};
}
