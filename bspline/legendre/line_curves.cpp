// Straight segments as B-spline curves of any order.
#include "bspline/core/exit.h"
#include "bspline/legendre.h"

#include <cmath>

void BSlngenord(const double p0[3], const double p1[3], std::int16_t k, BSboolean rational, VOQbsp_curve *cv,
                int *rc) {
  *rc = 0;
  if (!p0 || !p1 || !cv || !cv->poles || !cv->knots || (rational && !cv->weights))
    *rc = BSRC_NULL_CURVE;
  else if (k < 2 || !std::isfinite(p1[0]) || !std::isfinite(p1[1]) || !std::isfinite(p1[2]))
    *rc = BSRC_OUT_OF_RANGE;
  else  // every field, the knots, the weights and the poles as for the point p0; then the poles move along the line
    BSptcvgen(p0, k, rational, cv, rc);
  if (*rc == 0) {
    const double dir[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    for (int i = 1; i < k && len > 0; ++i)
      for (int j = 0; j < 3; ++j)
        cv->poles[3 * i + j] = i == k - 1 ? p1[j] : p0[j] + i * len / (k - 1) * (dir[j] / len);
  }
  BSexit(rc, "BSlngenord", "bslngenord");
}
