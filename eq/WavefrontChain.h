// The chain on a skewed (wavefront) schedule: the same arithmetic as the plain form, value for value
// and operation for operation, in an order that lets the six stages run side by side.
//
// Why. In the plain form every frame passes S1..S6 in series, so a frame costs six divisions'
// worth of latency. But stage k of frame i needs only stage k−1 of frame i and its own history;
// only each stage's own recursion (y of frame i−1 to y of frame i) is truly serial.
//
// Schedule. The call runs in steps t = 0 .. count−1 + 5·kSkew. At step t, stage k works on frame
// t − kSkew·k (when that frame lies inside the block): S1 on frame t, S2 on frame t − kSkew, ...,
// S6 on frame t − 5·kSkew, which is written out. Both channels of a stage share one vector
// (lanes: left, right); a four-lane vector carries two neighbouring stages. Every lane of a vector
// thus belongs to a different, independent recursion, and the processor overlaps all twelve.
//
// Ring. Row t & kRingMask of `ring` is written at step t and read kSkew steps later: its slot k
// holds stage k's input, that is what stage k−1 left of its frame, as a double per channel; slot
// 0 holds S1's input, frame t + kSkew read from the block. A vector's stages sit in neighbouring
// slots, so one load takes up all of a vector's inputs and one store hands on all its results.
// The skew gives each stage's results time to arrive before the next stage asks for them, so
// the stages run at the pace of their recursions rather than of the path from one stage to the
// next.
//
// Within a call. The pipeline fills and drains inside every call. During the first and the last
// 5·kSkew (+ kSkew) steps some stages have no frame; they compute on stand-in values and keep
// their histories lane by lane, so every history is the plain form's at the end of the call and
// nothing but StageState carries over between calls. In between, every stage has a frame, and
// only y1, the one history on the recursion, stays in registers (see fullStep). Histories live in
// double lanes, as StageState keeps them.
//
// Each instantiation lives in its own translation unit, compiled for its instruction set; the
// helpers are templates on the lane type or file-local, so no function compiled for one
// instruction set can be picked by the linker for another.
#pragma once

#include "ChainGains.h"
#include "ChainState.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace {

// Lanes provides V, a vector of doubles with two lanes (left, right) per stage, and
// kStagesPerVector; Pair, the two lanes of one stage, and pairOf to take it from V; the arithmetic
// add, sub, mul, div and roundToFloat (to float and back: the rounding of the plain form's casts);
// select (mask ? a : b) with activeMask; loads and stores.
template <typename Lanes, int kSkew>
class WavefrontChain {
    using V = typename Lanes::V;
    static constexpr int kStagesPerVector = Lanes::kStagesPerVector;
    static constexpr int kVectors = kStageCount / kStagesPerVector;
    static constexpr int kLanes = kChannelCount * kStagesPerVector;
    static constexpr int kLastStage = kStageCount - 1;
    static constexpr int kDepth = kSkew * kLastStage;
    static constexpr int kRingSteps = kSkew < 4 ? 4 : 8;
    static constexpr int kRingMask = kRingSteps - 1;
    static_assert(kSkew >= 1 && kSkew < kRingSteps);

    struct VectorCoeffs {
        V b0, d4, d3, d2, d1, d0, first, second;
    };

    // The values of one vector's stages, as StageState holds them, one lane per stage and channel.
    struct VectorHistory {
        V x1, x2, y1, y2, y3, y4;
    };

public:
    template <OutputMode mode>
    [[gnu::always_inline]] static inline void run(const ChainState& chain, const ChainGains& gains,
                                                  float** inputs, float** outputs, std::int32_t count) {
        const float* inL = inputs[0];
        const float* inR = inputs[1];
        float* outL = outputs[0];
        float* outR = outputs[1];

        VectorCoeffs c[kVectors];
        VectorHistory h[kVectors];
        for (int v = 0; v < kVectors; ++v) {
            double lanes[8][kLanes];
            for (int j = 0; j < kStagesPerVector; ++j) {
                const int stage = v * kStagesPerVector + j;
                // S2..S6's float coefficients widen exactly.
                const StageCoeffs<double> k =
                    stage == 0 ? *chain.s1Coeffs : widened(chain.stageCoeffs[stage - 1]);
                const double stageValues[8] = {k.b0, k.d4, k.d3, k.d2, k.d1, k.d0,
                                               gains.first[stage], gains.second[stage]};
                for (int k = 0; k < 8; ++k)
                    for (int channel = 0; channel < kChannelCount; ++channel)
                        lanes[k][j * kChannelCount + channel] = stageValues[k];
            }
            c[v] = {Lanes::load(lanes[0]), Lanes::load(lanes[1]), Lanes::load(lanes[2]),
                    Lanes::load(lanes[3]), Lanes::load(lanes[4]), Lanes::load(lanes[5]),
                    Lanes::load(lanes[6]), Lanes::load(lanes[7])};
        }
        loadHistories(chain, h);

        // Zeroed so that stages without a frame compute on harmless values.
        alignas(32) Ring ring = {};
        for (std::int32_t frame = 0; frame < kSkew && frame < count; ++frame)
            stageInput(ring, frame - kSkew, inL, inR);

        const std::int32_t steps = count + kDepth;
        std::int32_t t = 0;
        for (; t < steps && t < kDepth; ++t) partialStep<mode>(c, h, ring, t, count, inL, inR, outL, outR);
        if (t < count - kSkew) {
            // The steady part, where every stage has a frame: only y1, on the recursion, stays in
            // registers; the older values go through the `older` rings (see fullStep).
            V y1[kVectors];
            alignas(32) double olderX[kHistorySteps][kVectors][kLanes];
            alignas(32) double olderY[kHistorySteps][kVectors][kLanes];
            for (int v = 0; v < kVectors; ++v) {
                y1[v] = h[v].y1;
                Lanes::store(olderX[(t - 1) & kHistoryMask][v], h[v].x1);
                Lanes::store(olderX[(t - 2) & kHistoryMask][v], h[v].x2);
                Lanes::store(olderY[(t - 1) & kHistoryMask][v], h[v].y1);
                Lanes::store(olderY[(t - 2) & kHistoryMask][v], h[v].y2);
                Lanes::store(olderY[(t - 3) & kHistoryMask][v], h[v].y3);
                Lanes::store(olderY[(t - 4) & kHistoryMask][v], h[v].y4);
            }
            for (; t < count - kSkew; ++t)
                fullStep<mode>(c, y1, olderX, olderY, ring, t, inL, inR, outL, outR);
            for (int v = 0; v < kVectors; ++v)
                h[v] = {Lanes::load(olderX[(t - 1) & kHistoryMask][v]),
                        Lanes::load(olderX[(t - 2) & kHistoryMask][v]),
                        y1[v],
                        Lanes::load(olderY[(t - 2) & kHistoryMask][v]),
                        Lanes::load(olderY[(t - 3) & kHistoryMask][v]),
                        Lanes::load(olderY[(t - 4) & kHistoryMask][v])};
        }
        for (; t < steps; ++t) partialStep<mode>(c, h, ring, t, count, inL, inR, outL, outR);

        storeHistories(chain, h);
    }

private:
    static constexpr int kHistorySteps = 8;
    static constexpr int kHistoryMask = kHistorySteps - 1;

    // Slot k of a row holds stage k's input; slot 6 what S6 leaves; slot 7 pads the row to 128
    // bytes. A vector's stages read neighbouring slots, so one load fetches all of its inputs and
    // one store hands all of its results on.
    static constexpr int kRingSlots = 8;
    using Ring = double[kRingSteps][kRingSlots][kChannelCount];

    // S1's input of frame t + kSkew enters the ring at step t, kSkew steps before S1 takes it.
    [[gnu::always_inline]] static inline void stageInput(Ring& ring, std::int32_t t, const float* inL,
                                                         const float* inR) {
        Lanes::storePair(ring[t & kRingMask][0], Lanes::pairFromFloats(inL[t + kSkew], inR[t + kSkew]));
    }

    [[gnu::always_inline]] static inline V inputsOf(int v, const Ring& ring, std::int32_t t) {
        return Lanes::load(ring[(t - kSkew) & kRingMask][v * kStagesPerVector]);
    }

    static StageCoeffs<double> widened(const StageCoeffs<float>& c) { return {c.b0, c.d4, c.d3, c.d2, c.d1, c.d0}; }

    // The plain form's expressions, operation for operation, on all lanes of one vector: y as the
    // history keeps it, and the running value after the stage's add-back of y rounded to float.
    struct Results {
        V y, f;
    };
    [[gnu::always_inline]] static inline Results evaluate(const VectorCoeffs& k, V x, V x1, V x2, V y1, V y2,
                                                          V y3, V y4) {
        V acc = Lanes::mul(k.b0, Lanes::add(Lanes::sub(x, Lanes::mul(Lanes::broadcast(2.0), x1)), x2));
        acc = Lanes::sub(acc, Lanes::mul(k.d4, y4));
        acc = Lanes::sub(acc, Lanes::mul(k.d3, y3));
        acc = Lanes::sub(acc, Lanes::mul(k.d2, y2));
        acc = Lanes::sub(acc, Lanes::mul(k.d1, y1));
        const V y = Lanes::add(Lanes::div(acc, k.d0), Lanes::broadcast(1e-12));
        const V f = Lanes::roundToFloat(
            Lanes::add(x, Lanes::mul(Lanes::mul(Lanes::roundToFloat(y), k.first), k.second)));
        return {y, f};
    }

    // Hands each stage's running value on to the next stage through the ring; S6 writes the frame
    // that left the pipeline.
    template <OutputMode mode>
    [[gnu::always_inline]] static inline void deliver(int v, V f, Ring& ring, std::int32_t t,
                                                      const bool (&active)[kStagesPerVector], float* outL,
                                                      float* outR) {
        Lanes::store(ring[t & kRingMask][v * kStagesPerVector + 1], f);
#pragma GCC unroll 2
        for (int j = 0; j < kStagesPerVector; ++j) {
            const int stage = v * kStagesPerVector + j;
            if (stage == kLastStage && active[j]) {
                const std::int32_t frame = t - kDepth;
                float left, right;
                Lanes::pairToFloats(Lanes::pairOf(f, j), left, right);
                // This frame's inputs were read kDepth steps ago: in-place buffers need nothing
                // from here on.
                if constexpr (mode == OutputMode::add) {
                    outL[frame] += left;
                    outR[frame] += right;
                } else {
                    outL[frame] = left;
                    outR[frame] = right;
                }
            }
        }
    }

    // Calls body(std::integral_constant<int, v>) for every vector v: unrolled for certain, so that
    // every vector's values have registers and addresses of their own.
    template <typename Body>
    [[gnu::always_inline]] static inline void forEachVector(Body&& body) {
        [&]<int... v>(std::integer_sequence<int, v...>) __attribute__((always_inline)) {
            (body(std::integral_constant<int, v>{}), ...);
        }
        (std::make_integer_sequence<int, kVectors>{});
    }

    // A step while the pipeline fills or drains: stages whose frame lies outside the block compute
    // on stand-in values and keep their histories.
    template <OutputMode mode>
    [[gnu::always_inline]] static inline void partialStep(const VectorCoeffs (&c)[kVectors],
                                                          VectorHistory (&h)[kVectors], Ring& ring,
                                                          std::int32_t t, std::int32_t count,
                                                          const float* inL, const float* inR, float* outL,
                                                          float* outR) {
        if (t + kSkew < count)
            stageInput(ring, t, inL, inR);
        else
            Lanes::storePair(ring[t & kRingMask][0], Lanes::zeroPair());
        forEachVector([&](auto vector) __attribute__((always_inline)) {
            constexpr int v = vector;
            bool active[kStagesPerVector];
            for (int j = 0; j < kStagesPerVector; ++j) {
                const std::int32_t frame = t - kSkew * (v * kStagesPerVector + j);
                active[j] = frame >= 0 && frame < count;
            }
            VectorHistory& s = h[v];
            const V x = inputsOf(v, ring, t);
            const Results r = evaluate(c[v], x, s.x1, s.x2, s.y1, s.y2, s.y3, s.y4);
            const V keep = Lanes::activeMask(active);
            s = {Lanes::select(keep, x, s.x1),    Lanes::select(keep, s.x1, s.x2),
                 Lanes::select(keep, r.y, s.y1),  Lanes::select(keep, s.y1, s.y2),
                 Lanes::select(keep, s.y2, s.y3), Lanes::select(keep, s.y3, s.y4)};
            deliver<mode>(v, r.f, ring, t, active, outL, outR);
        });
    }

    // A step with every stage on a frame of the block. The compiler cannot keep the six histories
    // of every vector in registers; left to itself it spills y1 too, and the store and reload
    // would lengthen every recursion. So y1 is kept apart, and x1, x2, y2, y3 and y4 are read back
    // from the `older` rings (entry t & kHistoryMask holds step t's values), which they reach a
    // step or more before they are needed.
    template <OutputMode mode>
    [[gnu::always_inline]] static inline void fullStep(const VectorCoeffs (&c)[kVectors], V (&y1)[kVectors],
                                                       double (&olderX)[kHistorySteps][kVectors][kLanes],
                                                       double (&olderY)[kHistorySteps][kVectors][kLanes],
                                                       Ring& ring, std::int32_t t, const float* inL,
                                                       const float* inR, float* outL, float* outR) {
        bool active[kStagesPerVector];
        for (bool& a : active) a = true;
        stageInput(ring, t, inL, inR);
        forEachVector([&](auto vector) __attribute__((always_inline)) {
            constexpr int v = vector;
            const V x = inputsOf(v, ring, t);
            const Results r = evaluate(c[v], x, Lanes::load(olderX[(t - 1) & kHistoryMask][v]),
                                          Lanes::load(olderX[(t - 2) & kHistoryMask][v]), y1[v],
                                          Lanes::load(olderY[(t - 2) & kHistoryMask][v]),
                                          Lanes::load(olderY[(t - 3) & kHistoryMask][v]),
                                          Lanes::load(olderY[(t - 4) & kHistoryMask][v]));
            Lanes::store(olderX[t & kHistoryMask][v], x);
            Lanes::store(olderY[t & kHistoryMask][v], r.y);
            y1[v] = r.y;
            deliver<mode>(v, r.f, ring, t, active, outL, outR);
        });
    }

    // Every history as double lanes, field by field (x1, x2, y1, y2, y3, y4), stage by stage and
    // channel by channel: vector v's lanes are the kLanes from v · kLanes on.
    using HistoryLanes = double[6][kStageCount * kChannelCount];

    static void loadHistories(const ChainState& chain, VectorHistory (&h)[kVectors]) {
        alignas(32) HistoryLanes lanes;
        for (int stage = 0; stage < kStageCount; ++stage)
            for (int channel = 0; channel < kChannelCount; ++channel) {
                const StageState& s = chain.stageState[stage][channel];
                const int lane = stage * kChannelCount + channel;
                lanes[0][lane] = s.x1;
                lanes[1][lane] = s.x2;
                lanes[2][lane] = s.y1;
                lanes[3][lane] = s.y2;
                lanes[4][lane] = s.y3;
                lanes[5][lane] = s.y4;
            }
        for (int v = 0; v < kVectors; ++v)
            h[v] = {Lanes::load(&lanes[0][v * kLanes]), Lanes::load(&lanes[1][v * kLanes]),
                    Lanes::load(&lanes[2][v * kLanes]), Lanes::load(&lanes[3][v * kLanes]),
                    Lanes::load(&lanes[4][v * kLanes]), Lanes::load(&lanes[5][v * kLanes])};
    }

    static void storeHistories(const ChainState& chain, const VectorHistory (&h)[kVectors]) {
        alignas(32) HistoryLanes lanes;
        for (int v = 0; v < kVectors; ++v) {
            Lanes::store(&lanes[0][v * kLanes], h[v].x1);
            Lanes::store(&lanes[1][v * kLanes], h[v].x2);
            Lanes::store(&lanes[2][v * kLanes], h[v].y1);
            Lanes::store(&lanes[3][v * kLanes], h[v].y2);
            Lanes::store(&lanes[4][v * kLanes], h[v].y3);
            Lanes::store(&lanes[5][v * kLanes], h[v].y4);
        }
        for (int stage = 0; stage < kStageCount; ++stage)
            for (int channel = 0; channel < kChannelCount; ++channel) {
                const int lane = stage * kChannelCount + channel;
                chain.stageState[stage][channel] = {lanes[0][lane], lanes[1][lane], lanes[2][lane],
                                                    lanes[3][lane], lanes[4][lane], lanes[5][lane]};
            }
    }
};

template <typename Lanes, int kSkew>
void processWavefrontChain(const ChainState& chain, const ChainGains& gains, float** inputs, float** outputs,
                           std::int32_t sampleFrames, OutputMode mode) {
    // Steps run to count + depth, which must not overflow; one call equals consecutive shorter
    // ones bit for bit, so a (theoretical) block of a billion frames or more is cut up.
    constexpr std::int32_t kLongestCall = 1 << 30;
    for (std::int32_t done = 0; done < sampleFrames;) {
        const std::int32_t count = sampleFrames - done < kLongestCall ? sampleFrames - done : kLongestCall;
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        if (mode == OutputMode::add)
            WavefrontChain<Lanes, kSkew>::template run<OutputMode::add>(chain, gains, in, out, count);
        else
            WavefrontChain<Lanes, kSkew>::template run<OutputMode::replace>(chain, gains, in, out, count);
        done += count;
    }
}

}  // namespace
