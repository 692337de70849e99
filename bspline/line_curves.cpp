// Straight segments as B-spline curves of any order.
#include "bspline/bspline.h"

#include <cmath>

void BSlngenord(const double p0[3], const double p1[3], std::int16_t k, BSboolean rational, VOQbsp_curve *cv,
                int *rc) {
  *rc = 0;
  bool finite = true;
  for (int i = 0; i < 3; ++i) finite = finite && std::isfinite(p0[i]) && std::isfinite(p1[i]);
  if (!cv || !cv->poles || !cv->knots || (rational && !cv->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (k < 2 || !finite) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    cv->order = k;
    cv->periodic = 0;
    cv->non_uniform = 0;
    cv->num_poles = k;
    cv->num_knots = 2 * k;
    cv->rational = rational;
    cv->planar = 0;
    cv->phy_closed = 0;
    cv->num_boundaries = 0;
    cv->bdrys = nullptr;
    double dir[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    for (double &d : dir) d = len > 0 ? d / len : 0.0;
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < 3; ++j)
        cv->poles[3 * i + j] = i == 0 ? p0[j] : i == k - 1 ? p1[j] : p0[j] + i * len / (k - 1) * dir[j];
    for (int i = 0; i < 2 * k; ++i) cv->knots[i] = i < k ? 0.0 : 1.0;
    if (rational)
      for (int i = 0; i < k; ++i) cv->weights[i] = 1.0;
    else
      cv->weights = nullptr;
  }
  BSexit(rc, "BSlngenord", "bslngenord");
}
