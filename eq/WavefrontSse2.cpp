// The wavefront schedule on two-lane SSE2 vectors: one vector per stage, left and right in its
// lanes. SSE2 is the baseline of every x86-64 processor and of the 32-bit builds.
#include "FastChains.h"
#include "WavefrontChain.h"

#include <emmintrin.h>

namespace {

struct Sse2Lanes {
    using V = __m128d;
    using Pair = __m128d;
    static constexpr int kStagesPerVector = 1;

    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V div(V a, V b) { return _mm_div_pd(a, b); }
    static V roundToFloat(V a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    static V select(V mask, V a, V b) { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }
    static V activeMask(const bool (&active)[1]) {
        return _mm_castsi128_pd(_mm_set1_epi32(active[0] ? -1 : 0));
    }

    static V broadcast(double value) { return _mm_set1_pd(value); }
    static V load(const double* lanes) { return _mm_loadu_pd(lanes); }
    static void store(double* lanes, V v) { _mm_storeu_pd(lanes, v); }

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
    static Pair pairOf(V v, int) { return v; }
};

}  // namespace

void processSse2Chain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                      std::int32_t sampleFrames, OutputMode mode) {
    // Measured on AMD Zen 5: a skew of 2 suits one stage per vector, 3 two stages.
    processWavefrontChain<Sse2Lanes, 2>(chain, gains, inputs, outputs, sampleFrames, mode);
}
