// The foot of a point on one span, for the span-end check of the intersection paths and the nearest point of one
// point: settled locally where the span admits a single nearest point, so that the global point-to-curve search
// runs only where it must. Not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

namespace bsendfoot {

// True when every point of cv certainly lies farther than r from point: the boxes of the poles of ever shorter
// pieces of the span, which hold the curve, all keep that far off. False when that cannot be shown in a few
// halvings, or when cv is no single span with positive weights.
bool beyond(const VOQbsp_curve &cv, const double point[3], double r);

// The nearest point of cv to point as the global search would give it at distance tolerance tol, without that
// search: cv must be one span (as many poles as its order, clamped knots), either non-rational with a squared
// distance to point that is certainly convex over the span, its single minimum found by safeguarded Newton steps,
// or a circular arc (rational quadratic), answered in closed form. The ends then win ties within tol / 2, last end
// first, as in the global search. False (outputs untouched) when the span does not qualify or the steps fail: the
// caller then runs the global search.
bool local_foot(const VOQbsp_curve &cv, const double point[3], double tol, double *par, double foot[3],
                double *dist);

}  // namespace bsendfoot
