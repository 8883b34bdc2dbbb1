// Least-squares fit of a sine of known frequency and a constant to a stretch of samples: what a
// linear filter does to a tone (the fit) and whatever it adds (the residual).
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>

struct SineFit {
    double amplitude;
    double offset;
    double residualRms;  // of the samples minus the fitted sine and constant
};

// Fits a·sin(ωn) + b·cos(ωn) + c, n counted from the stretch's first sample at index `first`.
template <typename Samples>
SineFit fitSine(const Samples& samples, std::size_t first, std::size_t count, double frequencyHz,
                double rate) {
    const double w = 2.0 * std::numbers::pi * frequencyHz / rate;
    // Normal equations of the three basis functions, solved by Cramer's rule.
    double m[3][3] = {}, r[3] = {};
    for (std::size_t i = 0; i < count; ++i) {
        const double n = static_cast<double>(first + i);
        const double basis[3] = {std::sin(w * n), std::cos(w * n), 1.0};
        const double value = samples[first + i];
        for (int row = 0; row < 3; ++row) {
            r[row] += basis[row] * value;
            for (int column = 0; column < 3; ++column) m[row][column] += basis[row] * basis[column];
        }
    }
    auto determinant = [](const double (&a)[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    double coefficient[3];
    for (int k = 0; k < 3; ++k) {
        double replaced[3][3];
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column) replaced[row][column] = column == k ? r[row] : m[row][column];
        coefficient[k] = determinant(replaced) / determinant(m);
    }
    double squares = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double n = static_cast<double>(first + i);
        const double fitted = coefficient[0] * std::sin(w * n) + coefficient[1] * std::cos(w * n) + coefficient[2];
        const double error = samples[first + i] - fitted;
        squares += error * error;
    }
    return {std::hypot(coefficient[0], coefficient[1]), coefficient[2],
            std::sqrt(squares / static_cast<double>(count))};
}
