// A curve's parameter range mapped linearly onto another interval; its boundaries follow into the output
// record's own boundary array.
#include "bspline/core/exit.h"
#include "bspline/knots.h"

#include <cmath>

void BSreparmcv(const VOQbsp_curve *in, double a, double b, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!out) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(in)) != 0) {
  } else if (!std::isfinite(a) || !std::isfinite(b) || !(b > a)) {
    // A reversed or empty target would hand out knots that decrease or all coincide.
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const int k = in->order, n = in->num_poles, nb = in->num_boundaries;
    const double s = in->knots[k - 1], e = in->knots[n];
    const double *in_bdrys = in->bdrys;
    double *own_bdrys = out->bdrys;
    if (out != in && BScv_copy(rc, in, out)) out->bdrys = own_bdrys;
    if (*rc != 0) {
    } else if (std::fabs(e - s) < BStoltab[bstol::zero_tol] * BStoltab[bstol::zero_tol]) {
      // An empty range has no linear map onto [a, b].
      *rc = BSRC_OUT_OF_RANGE;
    } else if (nb > 0 && (!in_bdrys || !own_bdrys)) {
      *rc = BSRC_NULL_CURVE;
    } else {
      const double f = (b - a) / (e - s);
      for (int i = 0; i < n + k; ++i) out->knots[i] = (out->knots[i] - s) * f + a;
      if (nb > 0) {
        out->num_boundaries = static_cast<std::int16_t>(nb);
        for (int i = 0; i < 2 * nb; ++i) own_bdrys[i] = (in_bdrys[i] - s) * f + a;
      }
    }
  }
  BSexit(rc, "BSreparmcv", "bsreparmcv");
}
