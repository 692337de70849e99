// Whether a point lies on a curve (a box test first, so that far points cost nothing), and a curve projected onto
// a plane along a direction with its knots and weights kept.
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {
constexpr int kParallelTol = 3;  // tolerance entry of the smallest direction/normal cosine
}

BSboolean BSprptoncv(int *rc, const VOQbsp_curve *cv, const double pt[3], double *u, BSboolean *on) {
  *rc = 0;
  *on = BSFALSE;
  if (!pt || !u) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = BScvcheck(cv)) {
    *rc = bad;
  } else if (!BSallfinite(3, pt)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double lo[3], hi[3];
    const int n = cv->num_poles, dim = 3;
    BSpolesbox(rc, &n, cv->poles, cv->rational ? cv->weights : nullptr, lo, hi);
    const double tol = BStoltab[bstol::dist_tol];
    for (int c = 0; c < 3; ++c) {
      lo[c] -= tol;
      hi[c] += tol;
    }
    const BSboolean inside = *rc == 0 ? BSptinbx(rc, pt, lo, hi, &dim) : BSFALSE;
    if (*rc == 0 && inside) {
      double par = 0, base[3], dist = 0;
      BSmdstptcv(cv, pt, &par, base, &dist, rc);
      if (*rc == 0) {
        *u = par;
        *on = dist < tol ? BSTRUE : BSFALSE;
      }
    }
  }
  BSexit(rc, "BSprptoncv", "bsprptoncv");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSprj_cv_pl(int *rc, const VOQbsp_curve *cv, const double plane_pt[3], double normal[3],
                      const double dir[3], VOQbsp_curve *out) {
  *rc = 0;
  double d[3] = {0, 0, 0}, c = 0;
  if (!plane_pt || !normal || !dir || !out || !out->poles || !out->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int bad = BScvcheck(cv)) {
    *rc = bad;
  } else if (cv->rational && !out->weights) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, plane_pt)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (BSnorvec(rc, normal)) {
    // The direction is normalised as the normal is, so that a zero or non-finite one is refused (-6) before
    // anything is written.
    std::memcpy(d, dir, sizeof d);
    if (BSnorvec(rc, d)) {
      c = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
      if (!(std::fabs(c) >= BStoltab[kParallelTol])) *rc = 13;
    }
  }
  if (*rc == 0) {
    const int n = cv->num_poles, nk = cv->num_poles + cv->order;
    out->order = cv->order;
    out->periodic = cv->periodic;
    out->non_uniform = cv->non_uniform;
    out->num_poles = n;
    out->num_knots = nk;
    out->rational = cv->rational;
    out->phy_closed = cv->phy_closed;
    out->num_boundaries = 0;
    out->bdrys = nullptr;
    std::memmove(out->knots, cv->knots, sizeof(double) * nk);
    if (cv->rational)
      std::memmove(out->weights, cv->weights, sizeof(double) * n);
    else
      out->weights = nullptr;
    for (int i = 0; i < n; ++i) {
      const double w = cv->rational ? cv->weights[i] : 1.0;
      double p[3], s = 0;
      for (int k = 0; k < 3; ++k) p[k] = cv->poles[3 * i + k] / w;
      for (int k = 0; k < 3; ++k) s += (plane_pt[k] - p[k]) * normal[k];
      for (int k = 0; k < 3; ++k) out->poles[3 * i + k] = (p[k] + s / c * d[k]) * w;
    }
    double plane_normal[3];
    BSboolean planar = BSFALSE;
    BStst_plan(n, out->poles, out->weights, &planar, plane_normal, rc);
    if (*rc == BSRC_DEGENERATE) *rc = 0;
    out->planar = *rc == 0 ? planar : BSFALSE;
  }
  BSexit(rc, "BSprj_cv_pl", "bsprj_cv_pl");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
