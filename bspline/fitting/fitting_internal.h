// What the curve-fitting front end shares with the point-fitting driver beneath it; not for callers outside
// bspline/.
#pragma once

#include <cstdint>

#include "bspline/fitting.h"

namespace bsfit {

// The end tangents that the driver estimates from the points, kept by a caller that fits the same points on
// one knot vector after another (the span search): the estimate reads only the points at each end, never the
// knots, so the first fit's holds for all the others.
// sound: an earlier fit found the points and parameters finite and the points apart, which holds for the same
// points and parameters on any knot vector.
struct EndTangents {
  double dir[2][3] = {};
  bool known[2] = {false, false};
  bool sound = false;
};

// As BSfitratpts (same checks, codes and test-hook names), with the estimated end tangents taken from and left in
// *kept (NULL: estimated afresh), and the points and parameters tested again only while kept->sound is not set.
// Both are done afresh too while a test hook is installed.
void fit_points(int n, const double *points, const double *weights, const double *params, const int *span_index,
                std::int16_t order, int num_poles, const double *knots, int dim, int solved, std::int16_t periodic,
                int end_type, int start_code, int end_code, const double *start_value, const double *end_value,
                double start_weight, double end_weight, double *matrix, double *rhs, double *periodic_work,
                double *poles, double *out_weights, EndTangents *kept, int *rc);

}  // namespace bsfit
