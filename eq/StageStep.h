// One stage's recursion for one sample, in the plain form's exact arithmetic: the reference step
// that the whole chain repeats, and what a stage costs at the least. Only for code compiled for the
// baseline instruction set: an inline function instantiated in a wider one could be the copy the
// linker keeps for everyone.
#pragma once

#include "Stage.h"

// The history keeps y as computed; the stage hands y on rounded to float.
template <typename Real>
inline float runStage(const StageCoeffs<Real>& c, StageState& s, float x) {
    double acc = static_cast<double>(c.b0) * ((static_cast<double>(x) - 2.0 * s.x1) + s.x2);
    // y1 is subtracted last: it is the only term that waits for the previous frame's division.
    // The order is fixed; any other gives different bits.
    acc -= static_cast<double>(c.d4) * s.y4;
    acc -= static_cast<double>(c.d3) * s.y3;
    acc -= static_cast<double>(c.d2) * s.y2;
    acc -= static_cast<double>(c.d1) * s.y1;
    // The 1e-12 keeps the recursions out of denormal range on silence.
    const double y = acc / static_cast<double>(c.d0) + 1e-12;
    s.x2 = s.x1;
    s.x1 = x;
    s.y4 = s.y3;
    s.y3 = s.y2;
    s.y2 = s.y1;
    s.y1 = y;
    return static_cast<float>(y);
}
