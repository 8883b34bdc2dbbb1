// Least-squares fit of a sine of known frequency and a constant to a stretch of samples: what a
// linear filter does to a tone (the fit) and whatever it adds (the residual).
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

struct SineFit {
    double amplitude;
    double offset;
    double residualRms;  // of the samples minus the fitted sine and constant
};

// Fits a·sin(ωn) + b·cos(ωn) + c to samples first .. first + count − 1 of any signal; the basis is
// computed once for all of them.
class SineFitter {
public:
    SineFitter(double frequencyHz, double rate, std::size_t first, std::size_t count)
        : first_(first), sin_(count), cos_(count) {
        const double w = 2.0 * std::numbers::pi * frequencyHz / rate;
        double m[3][3] = {};
        for (std::size_t i = 0; i < count; ++i) {
            const double n = static_cast<double>(first + i);
            sin_[i] = std::sin(w * n);
            cos_[i] = std::cos(w * n);
            const double basis[3] = {sin_[i], cos_[i], 1.0};
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 3; ++column) m[row][column] += basis[row] * basis[column];
        }
        // The inverse of the normal equations' matrix, by cofactors.
        const double determinant = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                                   m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                                   m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column) {
                const int r0 = (column + 1) % 3, r1 = (column + 2) % 3, c0 = (row + 1) % 3, c1 = (row + 2) % 3;
                inverse_[row][column] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / determinant;
            }
    }

    template <typename Samples>
    SineFit operator()(const Samples& samples) const {
        double r[3] = {};
        for (std::size_t i = 0; i < sin_.size(); ++i) {
            const double value = samples[first_ + i];
            r[0] += sin_[i] * value;
            r[1] += cos_[i] * value;
            r[2] += value;
        }
        double k[3];
        for (int row = 0; row < 3; ++row) k[row] = inverse_[row][0] * r[0] + inverse_[row][1] * r[1] + inverse_[row][2] * r[2];
        double squares = 0.0;
        for (std::size_t i = 0; i < sin_.size(); ++i) {
            const double error = samples[first_ + i] - (k[0] * sin_[i] + k[1] * cos_[i] + k[2]);
            squares += error * error;
        }
        return {std::hypot(k[0], k[1]), k[2], std::sqrt(squares / static_cast<double>(sin_.size()))};
    }

private:
    std::size_t first_;
    std::vector<double> sin_, cos_;
    double inverse_[3][3];
};
