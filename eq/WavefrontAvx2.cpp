// The wavefront schedule on four-lane AVX vectors: each vector carries two neighbouring stages,
// both channels of each. This file alone is compiled for AVX2; it runs only where the processor
// reports it (see ChainProcessor.cpp).
#include "FastChains.h"
#include "WavefrontChain.h"

#if SIXBAND_AVX2_CHAIN
#include <immintrin.h>

namespace {

struct Avx2Lanes {
    using V = __m256d;
    using Pair = __m128d;
    static constexpr int kStagesPerVector = 2;

    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V div(V a, V b) { return _mm256_div_pd(a, b); }
    static V roundToFloat(V a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    static V select(V mask, V a, V b) { return _mm256_blendv_pd(b, a, mask); }
    static V activeMask(const bool (&active)[2]) {
        return _mm256_castsi256_pd(_mm256_setr_epi64x(active[0] ? -1 : 0, active[0] ? -1 : 0,
                                                      active[1] ? -1 : 0, active[1] ? -1 : 0));
    }

    static V broadcast(double value) { return _mm256_set1_pd(value); }
    static V load(const double* lanes) { return _mm256_loadu_pd(lanes); }
    static void store(double* lanes, V v) { _mm256_storeu_pd(lanes, v); }

    static Pair zeroPair() { return _mm_setzero_pd(); }
    static Pair pairFromFloats(float left, float right) {
        return _mm_cvtps_pd(_mm_setr_ps(left, right, 0.0f, 0.0f));
    }
    static void storePair(double* pair, Pair p) { _mm_store_pd(pair, p); }
    static void pairToFloats(Pair p, float& left, float& right) {
        const __m128 f = _mm_cvtpd_ps(p);
        left = _mm_cvtss_f32(f);
        right = _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1));
    }
    static Pair pairOf(V v, int j) {
        return j == 0 ? _mm256_castpd256_pd128(v) : _mm256_extractf128_pd(v, 1);
    }
};

}  // namespace

void processAvx2Chain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                      std::int32_t sampleFrames, OutputMode mode) {
    // Measured on AMD Zen 5: a skew of 3 lets a vector of two stages keep pace; 2 is slower.
    processWavefrontChain<Avx2Lanes, 3>(chain, gains, inputs, outputs, sampleFrames, mode);
}

#endif
