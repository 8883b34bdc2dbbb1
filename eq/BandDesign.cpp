#include "BandDesign.h"

double intPower(double x, int n) {
    double result = 1.0;
    unsigned m = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    for (;;) {
        if (m & 1u) result *= x;
        m /= 2;
        if (m == 0) break;
        x *= x;
    }
    return n < 0 ? 1.0 / result : result;
}

// The evaluation order below is part of the result: the coefficients are specified to the last
// bit, so every sum is grouped left to right exactly as written and nothing is simplified.
StageCoeffs<double> designBandPass(DesignScratch& scratch, double wu, double wl) {
    constexpr double fs2 = 1944810000.0;  // 44100², exact
    const double fs3 = intPower(44100.0, 3);
    const double fs4 = intPower(44100.0, 4);

    scratch.wu = wu;
    scratch.wl = wl;
    scratch.bw2 = intPower(wu - wl, 2);
    // The prototype's damping is 1.4142, not √2.
    scratch.c3 = (wu - wl) * 1.4142;
    const double centreSquared = wu * wl;
    scratch.c2 = centreSquared * 2 + scratch.bw2;
    scratch.c1 = scratch.c3 * centreSquared;
    scratch.c0 = ((wu * wu) * wl) * wl;
    scratch.one = 1.0;

    const double c3 = scratch.c3, c2 = scratch.c2, c1 = scratch.c1, c0 = scratch.c0;
    StageCoeffs<double> coeffs;
    coeffs.b0 = scratch.bw2 / fs2;
    coeffs.d4 = 1;
    coeffs.d3 = c3 / (-44100.0) - 4;
    coeffs.d2 = (c2 / fs2 + (c3 * 3) / 44100.0) + 6;
    coeffs.d1 = (((c3 * (-3)) / 44100.0 - c1 / fs3) - (c2 * 2) / fs2) - 4;
    coeffs.d0 = (((c0 / fs4 + c1 / fs3) + c3 / 44100.0) + c2 / fs2) + scratch.one;
    return coeffs;
}
