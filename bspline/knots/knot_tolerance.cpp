// When two parameters are one knot: the knot tolerance of a curve, its fixed-tolerance mode, and the parameter
// step that corresponds to a distance on the curve.
#include "bspline/core/exit.h"
#include "bspline/knots.h"

#include <cmath>
#include <initializer_list>

namespace {
int fixed_tolerance_mode = 0;
}

int BSkttolmode(int request) {
  const int previous = fixed_tolerance_mode;
  if (request == 0 || request == 1) fixed_tolerance_mode = request;
  BSfaulthook("bskttolmode", nullptr);
  return previous;
}

void BScvkttol2(std::int16_t order, const double *knots, int num_poles, const double *poles, const double *weights,
                double *knot_tol, int *rc) {
  *rc = 0;
  const int k = order, n = num_poles;
  bool refine = true;
  if (BSkttolmode(-1) == 1) {
    *knot_tol = BStoltab[bstol::knot_tol];
  } else {
    *knot_tol = BStoltab[bstol::basis_tol];
    double length = 0;
    if (!BScumdist(rc, &n, poles, weights, &length)) {
      // A polygon that cannot be measured still has a tolerance: the plain basis tolerance.
      *rc = 0;
      refine = false;
    } else {
      if (length < 0.001) length = 0.001;
      *knot_tol = BStoltab[bstol::basis_tol] / length * (knots[n] - knots[k - 1]);
    }
  }
  if (refine)
    // Lowered in place: a short interval makes the later ones compare with the smaller value.
    for (int i = k; i <= n; ++i) {
      const double d = std::fabs(knots[i] - knots[i - 1]);
      if (d < *knot_tol && d > BStoltab[bstol::zero_tol]) *knot_tol = 0.1 * d;
    }
  BSexit(rc, "BScvkttol2", "bscvkttol2");
}

void BSlocknttol(const VOQbsp_curve *cv, double u, double dist, double *par_tol, int *rc) {
  *rc = 0;
  *par_tol = 1e-10;
  double d[9];
  if (!(dist >= 0) || !std::isfinite(dist))
    *rc = BSRC_OUT_OF_RANGE;
  else
    BScveval_n(cv, u, 2, d, rc);
  if (*rc == 0) {
    const double d1 = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
    const double d2 = std::sqrt(d[6] * d[6] + d[7] * d[7] + d[8] * d[8]);
    // First order where the speed dominates, second order (dist = d2 t^2 / 2) where the curve turns in place.
    if (d1 > dist) {
      *par_tol = dist / d1;
      if (d2 > dist) *par_tol = std::fmin(*par_tol, std::sqrt(dist / (2 * d2)));
    } else if (d2 > dist) {
      *par_tol = std::sqrt(dist / (2 * d2));
    }
    // The estimate reads the curve at u only. Where the speed nearly vanishes (a curve slowing into coinciding
    // poles) the higher derivatives take over and the estimate can span whole knot gaps, so that a cut snapped
    // within it moves by a thousand times dist. Where the points a tolerance away lie more than twice dist off,
    // the tolerance is halved until they do not; where the estimate holds this changes nothing. A point past an
    // end of the range is read at that end: the stretch up to the end is what a snap onto it skips, and beside an
    // end pole of tiny weight it can be most of the curve.
    const double first = cv->knots[cv->order - 1], last = cv->knots[cv->num_poles];
    for (int halvings = 0; halvings < 64; ++halvings) {
      double lo[3], hi[3];
      int erc = 0, hrc = 0;
      BScveval_n(cv, std::fmax(u - *par_tol, first), 0, lo, &erc);
      BScveval_n(cv, std::fmin(u + *par_tol, last), 0, hi, &hrc);
      if (erc != 0 || hrc != 0) break;
      double worst = 0;
      for (const double *q : {lo, hi})
        worst = std::fmax(worst, std::sqrt((q[0] - d[0]) * (q[0] - d[0]) + (q[1] - d[1]) * (q[1] - d[1]) +
                                           (q[2] - d[2]) * (q[2] - d[2])));
      if (!(worst > 2 * dist)) break;
      *par_tol /= 2;
    }
  }
  BSexit(rc, "BSlocknttol", "bslocknttol");
}
