// Shared by the continuations of a curve end; not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

namespace bsextend {

// The single open span cv (num_poles == order, order 2 .. 16, else rc -2) continued past its end (at_end) or its
// start along its own polynomial or rational function to factor times its parameter length, into out (room for
// 2 order - 1 poles): one span when the continued weights stay above a quarter of their mean, else the span and a
// shorter continuation (the reach halved toward the span up to 8 times; rc -1 when none works). No trace entry.
void continue_bezier(int *rc, const VOQbsp_curve *cv, bool at_end, double factor, VOQbsp_curve *out);

}  // namespace bsextend
