// Whether a curve is degenerate: its points all within half the distance tolerance of one point, or its length
// below the distance tolerance.
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

void BStstcvdegn(const VOQbsp_curve *cv, BSboolean *degenerate, int *rc) {
  *degenerate = 0;
  *rc = 0;
  do {
    if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int n = cv->num_poles;
    const double dist_tol = BStoltab[bstol::dist_tol];
    bool judge_poles = true;
    if (cv->rational) {
      // With a weight this far below the others the poles say little about where the points lie: the length
      // alone decides.
      double mean = 0;
      for (int i = 0; i < n; ++i) mean += cv->weights[i];
      const double m = mean / n / 4;
      for (int i = 0; i < n; ++i) judge_poles = judge_poles && !(cv->weights[i] < m);
    }
    if (judge_poles) {
      BSscratch<0> work;
      const double *pts = cv->poles;
      if (cv->rational) {
        double *cart = work.take(3 * static_cast<std::size_t>(n));
        if (!cart) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        for (int i = 0; i < n; ++i)
          for (int c = 0; c < 3; ++c) cart[3 * i + c] = cv->poles[3 * i + c] / cv->weights[i];
        pts = cart;
      }
      int shape = BSSHAPE_SPATIAL;
      double centroid[3], vec[3];
      BSgmprppts3(n, pts, dist_tol / 2, &shape, centroid, vec, rc);
      if (*rc != 0) break;
      if (shape == BSSHAPE_COINCIDENT) {
        *degenerate = 1;
        break;
      }
    }
    // The length is at least that of the polyline through the curve's points at its ends and middle: where that
    // is well above the tolerance, integrating the length could not find it below. A fault handler sees the
    // length measured, as before.
    if (!bstest::slow_roads() && n >= cv->order && cv->order >= 1) {
      const double lo = cv->knots[cv->order - 1], hi = cv->knots[n], at[3] = {lo, (lo + hi) / 2, hi};
      double p[3][3], chords = 0;
      int erc = 0;
      for (int i = 0; i < 3 && erc == 0; ++i) BScveval_n(cv, at[i], 0, p[i], &erc);
      for (int i = 0; i < 2 && erc == 0; ++i)
        chords += std::sqrt((p[i + 1][0] - p[i][0]) * (p[i + 1][0] - p[i][0]) +
                            (p[i + 1][1] - p[i][1]) * (p[i + 1][1] - p[i][1]) +
                            (p[i + 1][2] - p[i][2]) * (p[i + 1][2] - p[i][2]));
      if (erc == 0 && std::isfinite(chords) && chords >= 2 * dist_tol) break;
    }
    // A writable view: the length routine clears and restores the closure flag of the curve it is given.
    VOQbsp_curve view = *cv;
    double length = 0;
    if (BSarclength(rc, &view, &cv->knots[0], &cv->knots[n], &length) && length < dist_tol) *degenerate = 1;
  } while (false);
  BSexit(rc, "BStstcvdegn", "bststcvdegn");
}
