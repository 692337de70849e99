// The span equation of the perpendicular feet in Bernstein form, shared by BSperpa and BSnormals; not for callers
// outside bspline/. The public power-basis routines keep their own forms: a span whose poles crowd together
// (a curve crawling to a stop) cancels most of its digits in powers of s, and these keep them.
#pragma once

#include <cstdint>

#include "bspline/bspline.h"

namespace bsfeet {

// As BSspnpow01 (same checks, skip rule and test-hook name), but the span as its k Bezier poles on [0, 1], four
// doubles each (x, y, z, w; weighted; w exactly 1 when not rational), taken from an origin at the span's start
// whose three coordinates follow them: 4 k + 3 doubles. knot_tol: the curve's knot tolerance (BScvkttol2) where the
// caller holds it, so that a pass over the spans does not measure the whole curve for each; NULL to have it taken.
BSboolean span_bezier(int *rc, const VOQbsp_curve *cv, const int *span, BSboolean *skip, std::int16_t *order_out,
                      double *bez, const double *knot_tol = nullptr);

// Whether a span in the form of span_bezier has weights far apart (bspline/core/even_weights_internal.h), where the
// curve runs through most of its length within slivers of the parameter. by_component, when given (room for 4 k
// doubles, k <= 16), takes the poles component by component, as the evening routines read them.
bool weights_far_apart(int k, const double *bez, double *by_component = nullptr);

// As BSperpr (same codes and test-hook name) on the form of span_bezier: the roots in [0, 1] of
// (X - w pt) . (X' w - X w'), ascending, 3(k - 1) - 1 at most; nroots -1 when every Bernstein coefficient lies
// within its rounding. Where the equation cannot be told from 0 over a stretch (the curve crawling to a stop at
// pt) the stretch gives one root, the span's end when it reaches one. rc -2 also for an equation that is not
// finite.
BSboolean span_roots(int *rc, const std::int16_t *order, const double *bez, const double pt[3], int *nroots,
                     double *roots);

}  // namespace bsfeet
