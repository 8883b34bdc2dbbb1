// Exact frequency responses and pole radii from coefficients, for comparing what the equaliser does
// with what its design says it should do.
#pragma once

#include "eq/DesignedResponse.h"
#include "eq/Stage.h"

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

inline constexpr double kTestRate = 44100.0;

// Moduli of the roots of d0·z⁴ + d1·z³ + d2·z² + d3·z + d4, found by Durand–Kerner iteration.
template <typename Real>
std::array<double, 4> poleRadii(const StageCoeffs<Real>& c) {
    const double a[5] = {static_cast<double>(c.d0), static_cast<double>(c.d1), static_cast<double>(c.d2),
                         static_cast<double>(c.d3), static_cast<double>(c.d4)};
    auto monic = [&](std::complex<double> z) {
        std::complex<double> value = 1.0;
        for (int i = 1; i <= 4; ++i) value = value * z + a[i] / a[0];
        return value;
    };
    std::array<std::complex<double>, 4> roots;
    for (int i = 0; i < 4; ++i) roots[i] = std::pow(std::complex<double>(0.4, 0.9), i);
    for (int iteration = 0; iteration < 500; ++iteration) {
        for (int i = 0; i < 4; ++i) {
            std::complex<double> denominator = 1.0;
            for (int j = 0; j < 4; ++j)
                if (j != i) denominator *= roots[i] - roots[j];
            roots[i] -= monic(roots[i]) / denominator;
        }
    }
    std::array<double, 4> radii;
    for (int i = 0; i < 4; ++i) radii[i] = std::abs(roots[i]);
    return radii;
}
