#include "DemoSignal.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace {

// White noise shaped to 1/f power in the frequency domain: exact pink down to the lowest bin.
std::vector<float> pinkNoise(std::size_t frames, unsigned seed, double rmsTarget) {
    std::mt19937 generator(seed);
    std::normal_distribution<double> gaussian;
    const std::size_t bins = frames / 2 + 1;
    std::vector<std::complex<double>> spectrum(bins);
    for (std::size_t k = 1; k < bins; ++k)
        spectrum[k] = std::complex<double>(gaussian(generator), gaussian(generator)) / std::sqrt(static_cast<double>(k));
    std::vector<double> samples(frames);
    fftw_plan plan = fftw_plan_dft_c2r_1d(static_cast<int>(frames), reinterpret_cast<fftw_complex*>(spectrum.data()),
                                          samples.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    double sumOfSquares = 0.0;
    for (double x : samples) sumOfSquares += x * x;
    const double scale = rmsTarget / std::sqrt(sumOfSquares / static_cast<double>(frames));
    std::vector<float> noise(frames);
    std::transform(samples.begin(), samples.end(), noise.begin(), [scale](double x) { return static_cast<float>(x * scale); });
    return noise;
}

}  // namespace

StereoSignal demoSignal(double sampleRate, double seconds) {
    const auto frames = static_cast<std::size_t>(sampleRate * seconds);
    StereoSignal signal{pinkNoise(frames, 1, 0.1), pinkNoise(frames, 2, 0.1)};
    constexpr double kLowHz = 20.0;
    constexpr double kHighHz = 20000.0;
    constexpr double kSweepAmplitude = 0.2;
    const double rate = std::log(kHighHz / kLowHz);
    const auto fadeFrames = static_cast<std::size_t>(0.05 * sampleRate);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double phase = 2.0 * std::numbers::pi * kLowHz * seconds / rate * (std::exp(t / seconds * rate) - 1.0);
        const double edge = std::min({1.0, static_cast<double>(i) / static_cast<double>(fadeFrames),
                                      static_cast<double>(frames - i) / static_cast<double>(fadeFrames)});
        const auto sweep = static_cast<float>(kSweepAmplitude * std::sin(phase));
        signal.left[i] = static_cast<float>((signal.left[i] + sweep) * edge);
        signal.right[i] = static_cast<float>((signal.right[i] + sweep) * edge);
    }
    return signal;
}
