#include "JointGainSearch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kMaxSteps = 24;
// Small enough for a derivative, large enough that a module's float arithmetic does not drown it.
constexpr float kDifferenceStep = 1.0f / 1024.0f;

double worst(const std::vector<double>& gains, const std::vector<double>& targets) {
    double largest = 0.0;
    for (std::size_t i = 0; i < gains.size(); ++i) largest = std::max(largest, std::abs(targets[i] - gains[i]));
    return largest;
}

// Solves a·x = b by Gaussian elimination with partial pivoting; nothing when a is singular.
std::optional<std::vector<double>> solved(std::vector<std::vector<double>> a, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < n; ++row)
            if (std::abs(a[row][column]) > std::abs(a[pivot][column])) pivot = row;
        if (!(std::abs(a[pivot][column]) > 1e-12)) return std::nullopt;
        std::swap(a[pivot], a[column]);
        std::swap(b[pivot], b[column]);
        for (std::size_t row = column + 1; row < n; ++row) {
            const double factor = a[row][column] / a[column][column];
            for (std::size_t k = column; k < n; ++k) a[row][k] -= factor * a[column][k];
            b[row] -= factor * b[column];
        }
    }
    std::vector<double> x(n);
    for (std::size_t row = n; row-- > 0;) {
        double sum = b[row];
        for (std::size_t k = row + 1; k < n; ++k) sum -= a[row][k] * x[k];
        x[row] = sum / a[row][row];
    }
    return x;
}

}  // namespace

std::optional<std::vector<float>> searchGainsJointly(const GainsAt& gainsAt, const std::vector<double>& targetsDb,
                                                     std::vector<float> start, float lo, float hi,
                                                     double toleranceDb) {
    const std::size_t n = start.size();
    std::vector<float> x = std::move(start);
    std::vector<double> gains = gainsAt(x);
    for (int step = 0; step < kMaxSteps; ++step) {
        const double error = worst(gains, targetsDb);
        if (error <= toleranceDb) return x;
        // The Jacobian by one-sided differences, stepping inwards at the ends of the range.
        std::vector<std::vector<double>> jacobian(n, std::vector<double>(n));
        for (std::size_t j = 0; j < n; ++j) {
            std::vector<float> moved = x;
            const float h = x[j] + kDifferenceStep <= hi ? kDifferenceStep : -kDifferenceStep;
            moved[j] += h;
            const std::vector<double> there = gainsAt(moved);
            for (std::size_t i = 0; i < n; ++i) jacobian[i][j] = (there[i] - gains[i]) / static_cast<double>(moved[j] - x[j]);
        }
        std::vector<double> residual(n);
        for (std::size_t i = 0; i < n; ++i) residual[i] = targetsDb[i] - gains[i];
        const auto delta = solved(jacobian, residual);
        if (!delta) return std::nullopt;
        // Halve the step until it helps: far from the answer, the response is far from linear.
        bool better = false;
        for (double fraction = 1.0; fraction >= 1.0 / 64.0 && !better; fraction /= 2.0) {
            std::vector<float> next = x;
            for (std::size_t j = 0; j < n; ++j)
                next[j] = std::clamp(static_cast<float>(x[j] + fraction * (*delta)[j]), lo, hi);
            if (next == x) break;
            std::vector<double> nextGains = gainsAt(next);
            if (worst(nextGains, targetsDb) < error) {
                x = std::move(next);
                gains = std::move(nextGains);
                better = true;
            }
        }
        if (!better) return std::nullopt;
    }
    return worst(gains, targetsDb) <= toleranceDb ? std::optional(x) : std::nullopt;
}
