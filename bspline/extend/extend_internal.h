// Shared by the continuations of a curve end; not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

namespace bsextend {

// The single open span cv (num_poles == order, order 2 .. 16, else rc -2) continued past its end (at_end) or its
// start along its own polynomial or rational function to factor times its parameter length, into out (room for
// 2 order - 1 poles): one span when the continued weights stay above a quarter of their mean, else the span and a
// shorter continuation (the reach halved toward the span up to 8 times; rc -1 when none works). No trace entry.
void continue_bezier(int *rc, const VOQbsp_curve *cv, bool at_end, double factor, VOQbsp_curve *out);

// BSlinxcvcv, and BSlineconcvs, without their trace entries; with points given (two flags), a curve that the cut
// at the crossing leaves one point (the crossing within its parameters' tolerances of its far end) is not refused
// (rc -2): it becomes that point, of order 2 and two poles, its flag is set and the other curve ends there.
void meet_straight(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const int ends[2], int mode,
                   VOQbsp_curve *out1, VOQbsp_curve *out2, bool *points, int *rc);
void connect_ends(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int mode, VOQbsp_curve **first,
                  VOQbsp_curve **second, VOQbsp_curve **third, bool *points, int *rc);

}  // namespace bsextend
