// Joins, fillets and extensions of curve ends. End-pole moves (bspline/end_pole_moves.cpp): a pole next to an
// end is moved to a prescribed point and the poles between it and the far end follow by chord length, so the
// curve keeps its end points and does not kink.
#pragma once

#include "bspline/bspline.h"

// Poles 1 and num_poles - 2 of curve (in place) moved to first_point and last_point (Cartesian, also for a
// rational curve) as the flags ask, the poles between following: the first move, then the last on its result.
// Poles 0 and num_poles - 1 never move. Neither flag: nothing. rc -1 for any failure (fewer than 4 poles, a NULL
// argument, a point, pole or weight that is not finite, a weight that is not positive, no memory); the curve is
// then untouched.
void BSmodcvtnpl(VOQbsp_curve *curve, BSboolean move_first, const double first_point[3], BSboolean move_last,
                 const double last_point[3], int *rc);
// Point k of the row of n points (rows of 3) moved to new_point, points 0 .. k following from point 0 and
// points k .. n - 1 from point n - 1 by chord length; the row's ends stay unless k is one of them. out NULL
// works in place. rc -2 for k outside 0 .. n - 1, fewer than 2 points or a point that is not finite; 3 for a
// NULL row or point; -13 without memory; out is written only on success.
void BSmodshppts(int n, double *points, int k, const double new_point[3], double *out, int *rc);
// The last point (which 0) or the first (which nonzero) of the row moved to new_point, interior point i moved
// by the same displacement scaled by its chord-length distance from the fixed end over the whole length (by
// its index over n - 1 when all points coincide). Errors as BSmodshppts.
void BSmodnplpts(int n, double *points, int which, const double new_point[3], double *out, int *rc);
