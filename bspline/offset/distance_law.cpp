// Distance-law values: a linear law, or the y of a law curve where a vertical line at the position crosses it,
// scaled so that the law's y at t0 and t1 become the distances a and b.
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/offset.h"
#include "bspline/plane_intersection.h"

namespace {

constexpr int kLocalPoles = 100;

bool positions_ok(int n, const double *u) {
  for (int i = 0; i < n; ++i)
    if (!(u[i] >= 0.0 && u[i] <= 1.0)) return false;
  return true;
}

}  // namespace

void BSlawcvvals(const VOQbsp_curve *law, double a, double b, double t0, double t1, int n, const double *u,
                 BSboolean linear_law, double *out, int *rc) {
  *rc = 0;
  const double dist_tol = BStoltab[bstol::dist_tol];
  do {
    if (n < 0 || (n > 0 && (!u || !out))) {
      *rc = n < 0 ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
      break;
    }
    if ((!linear_law && !(std::fabs(t1 - t0) >= dist_tol)) || !std::isfinite(a) || !std::isfinite(b) ||
        !positions_ok(n, u)) {
      *rc = 12;
      break;
    }
    if (linear_law) {
      for (int i = 0; i < n; ++i) out[i] = a + (b - a) * u[i];
      break;
    }
    if ((*rc = BScvcheck(law)) != 0) break;
    double p0[3], p1[3], S[3], E[3];
    BScveval_n(law, t0, 0, p0, rc);
    if (*rc == 0) BScveval_n(law, t1, 0, p1, rc);
    if (*rc == 0) BScveval_n(law, law->knots[law->order - 1], 0, S, rc);
    if (*rc == 0) BScveval_n(law, law->knots[law->num_poles], 0, E, rc);
    if (*rc != 0) break;
    const double y0 = p0[1], y1 = p1[1];
    const double lo = std::fmin(S[0], E[0]), range = std::fabs(E[0] - S[0]);
    const bool reversed = S[0] >= E[0];
    if (!(std::fabs(y1 - y0) >= dist_tol) || !(range >= dist_tol)) {
      *rc = 12;
      break;
    }
    // The plane intersection never writes past pole-count entries; a crossing count beyond them is no
    // single crossing either.
    const int P = law->num_poles;
    BSscratch<3 * kLocalPoles> pts_scratch;
    BSscratch<3 * kLocalPoles> par_scratch;
    double *pts = pts_scratch.take(3 * static_cast<std::size_t>(P));
    double *pars = par_scratch.take(3 * static_cast<std::size_t>(P));
    if (!pts || !pars) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const double normal[3] = {1, 0, 0};
    const double zero_tol = BStoltab[bstol::zero_tol];
    for (int i = 0; i < n; ++i) {
      double y;
      if (std::fabs(u[i] - 1.0) < zero_tol) {
        y = reversed ? S[1] : E[1];
      } else if (std::fabs(u[i]) < zero_tol) {
        y = reversed ? E[1] : S[1];
      } else {
        const double at[3] = {lo + range * u[i], 0, 0};
        int n_int = 0, n_seg = 0;
        BSpl_cv_int(rc, law, at, normal, &n_int, pts, pars, &n_seg, pars + P, pars + 2 * P);
        if (*rc == BSRC_PLANE_ROOM || (*rc == 0 && n_int != 1)) *rc = BSRC_OUT_OF_RANGE;
        if (*rc != 0) break;
        y = pts[1];
      }
      out[i] = a + (b - a) * (y - y0) / (y1 - y0);
    }
  } while (false);
  BSexit(rc, "BSlawcvvals", "bslawcvvals");
}
