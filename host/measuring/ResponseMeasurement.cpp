#include "ResponseMeasurement.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <mutex>
#include <numbers>

namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex plannerMutex;

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};

// The impulse response's spectrum magnitude in dB, bins 0..n/2.
std::vector<double> magnitudeDb(const std::vector<double>& impulseResponse) {
    const int n = static_cast<int>(impulseResponse.size());
    std::unique_ptr<double, FftwFree> in(fftw_alloc_real(static_cast<std::size_t>(n)));
    std::unique_ptr<fftw_complex, FftwFree> out(fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1)));
    fftw_plan plan;
    {
        std::lock_guard lock(plannerMutex);
        plan = fftw_plan_dft_r2c_1d(n, in.get(), out.get(), FFTW_ESTIMATE);
    }
    std::copy(impulseResponse.begin(), impulseResponse.end(), in.get());
    fftw_execute(plan);
    {
        std::lock_guard lock(plannerMutex);
        fftw_destroy_plan(plan);
    }
    std::vector<double> db(static_cast<std::size_t>(n / 2 + 1));
    for (std::size_t k = 0; k < db.size(); ++k) {
        const double magnitude = std::hypot(out.get()[k][0], out.get()[k][1]);
        // A floor keeps a module that outputs silence plottable instead of at minus infinity.
        db[k] = 20.0 * std::log10(std::max(magnitude, 1e-15));
    }
    return db;
}

}  // namespace

MagnitudeResponse::MagnitudeResponse(double sampleRate, std::size_t transformLength, std::vector<double> gainDb)
    : sampleRate_(sampleRate), transformLength_(transformLength), gainDb_(std::move(gainDb)) {}

double MagnitudeResponse::frequencyHz(std::size_t bin) const {
    return static_cast<double>(bin) * sampleRate_ / static_cast<double>(transformLength_);
}

double MagnitudeResponse::gainDbAt(double frequencyHz) const {
    const double position = std::clamp(frequencyHz * static_cast<double>(transformLength_) / sampleRate_, 0.0,
                                       static_cast<double>(gainDb_.size() - 1));
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, gainDb_.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return gainDb_[below] + (gainDb_[above] - gainDb_[below]) * fraction;
}

// A module may add something of its own whatever its input: the equaliser leaves a constant offset
// that the 1e-12 in each of its stages builds up over the first milliseconds (1.6e-4 with the 80 Hz
// band at 1.0), which would show in a unit impulse's response as 0.3 dB of error at 20 Hz, and
// 1.7 dB in the notch of a full cut of that band. A fresh instance at the same settings adds the
// same to silence; subtracting it leaves the impulse's own response. The impulse is full scale,
// the loudest a module is built for: a louder one would measure the overload of a module that
// saturates or clips.
namespace {

std::vector<double> impulseResponse(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                    double sampleRate, int frames) {
    constexpr int kBlock = 4096;
    StereoProcessor impulse(module, static_cast<float>(sampleRate), kBlock, parameters);
    StereoProcessor silence(module, static_cast<float>(sampleRate), kBlock, parameters);
    std::vector<double> response;
    response.reserve(static_cast<std::size_t>(frames));
    for (int done = 0; done < frames; done += kBlock) {
        const int count = std::min(kBlock, frames - done);
        for (int channel = 0; channel < 2; ++channel) {
            std::fill_n(impulse.input(channel), count, 0.0f);
            std::fill_n(silence.input(channel), count, 0.0f);
            if (done == 0) impulse.input(channel)[0] = 1.0f;
        }
        impulse.run(count);
        silence.run(count);
        for (int i = 0; i < count; ++i)
            response.push_back(static_cast<double>(impulse.output(0)[i]) - silence.output(0)[i]);
    }
    return response;
}

}  // namespace

MagnitudeResponse measureResponse(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                  double sampleRate, int frames) {
    return MagnitudeResponse(sampleRate, static_cast<std::size_t>(frames),
                             magnitudeDb(impulseResponse(module, parameters, sampleRate, frames)));
}

// The transform at one frequency by a rotating phasor, set afresh from sin and cos every few
// thousand frames so that its rounding cannot build up over the impulse's length.
std::vector<double> measureGainsDb(const ModuleLibrary& module, const std::vector<ParameterValue>& parameters,
                                   double sampleRate, const std::vector<double>& frequenciesHz, int frames) {
    constexpr std::size_t kExactEvery = 4096;
    const std::vector<double> response = impulseResponse(module, parameters, sampleRate, frames);
    std::vector<double> gains;
    for (const double hz : frequenciesHz) {
        const double w = -2.0 * std::numbers::pi * hz / sampleRate;
        const std::complex<double> step = std::polar(1.0, w);
        std::complex<double> sum = 0.0, phasor = 1.0;
        for (std::size_t n = 0; n < response.size(); ++n) {
            if (n % kExactEvery == 0) phasor = std::polar(1.0, w * static_cast<double>(n));
            sum += response[n] * phasor;
            phasor *= step;
        }
        gains.push_back(20.0 * std::log10(std::max(std::abs(sum), 1e-15)));
    }
    return gains;
}
