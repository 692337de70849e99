// Direction and closure of curves: reversal in place, exact closure of a curve flagged closed, and a closed
// curve restarted at another parameter (cut there and joined the other way round).
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"

#include <algorithm>
#include <cmath>

using bsknots::plain_view;

namespace {
bool copy_reversed(int *rc, const VOQbsp_curve &cv, bool reverse, VOQbsp_curve *out) {
  if (BScv_copy(rc, &cv, out) && reverse) BSrev_cv(rc, out);
  return *rc == 0;
}

}  // namespace

BSboolean BSrev_cv(int *rc, VOQbsp_curve *cv) {
  *rc = 0;
  if ((*rc = BScvcheck(cv)) != 0) {
  } else {
    const int k = cv->order, n = cv->num_poles, nk = n + k;
    for (int i = 0, j = n - 1; i < j; ++i, --j) {
      for (int c = 0; c < 3; ++c) std::swap(cv->poles[3 * i + c], cv->poles[3 * j + c]);
      if (cv->rational && cv->weights) std::swap(cv->weights[i], cv->weights[j]);
    }
    const double a = cv->knots[k - 1], b = cv->knots[n];
    std::reverse(cv->knots, cv->knots + nk);
    for (int i = 0; i < nk; ++i) cv->knots[i] = a + b - cv->knots[i];
    if (cv->num_boundaries > 0 && cv->bdrys) {
      const int nb = 2 * cv->num_boundaries;
      std::reverse(cv->bdrys, cv->bdrys + nb);
      for (int i = 0; i < nb; ++i) cv->bdrys[i] = a + b - cv->bdrys[i];
    }
  }
  BSexit(rc, "BSrev_cv", "bsrev_cv");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScvsetclsd(VOQbsp_curve *cv, int *rc) {
  *rc = 0;
  if (!cv) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->phy_closed && BScnvtomkt(rc, cv)) {
    const int k = cv->order, n = cv->num_poles;
    const double *t = cv->knots;
    // An end knot already repeated inside the knot vector leaves empty spans at that end once clamped: the
    // curve then starts and ends on the poles of the outermost spans with length, and the stored end poles
    // beyond them carry no weight. Those live end poles are the ones that must meet; the dead ones follow.
    int first = k - 1, last = n - 1;
    while (first < n - 1 && !(t[first + 1] > t[first])) ++first;
    while (last > k - 1 && !(t[last + 1] > t[last])) --last;
    const int head = std::max(first - k + 1, 0), tail = std::max(last, head);
    double p0[3], p1[3];
    bsknots::cartesian_pole(*cv, head, p0);
    bsknots::cartesian_pole(*cv, tail, p1);
    const bool rational = cv->rational && cv->weights;
    for (int i = 0; i < n; ++i) {
      if (i > head && i < tail) continue;
      for (int c = 0; c < 3; ++c) {
        const double mid = (p0[c] + p1[c]) / 2;
        cv->poles[3 * i + c] = rational ? mid * cv->weights[i] : mid;
      }
    }
  }
  BSexit(rc, "BScvsetclsd", "bscvsetclsd");
}

BSboolean BScv_shffl(int *rc, const VOQbsp_curve *cv_in, const double *u, const BSboolean *same_direction,
                     VOQbsp_curve *out) {
  *rc = 0;
  if (!cv_in || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(*u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const int k = cv.order, n = cv.num_poles;
    double ktol = 0;
    BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.weights, &ktol, rc);
    if (*rc != 0) {
    } else if (cv.phy_closed) {
      BSclcvshffl(rc, &cv, u, same_direction, out);
    } else if (std::fabs(*u - cv.knots[n]) < ktol) {
      copy_reversed(rc, cv, true, out);
    } else if (std::fabs(*u - cv.knots[k - 1]) < ktol) {
      copy_reversed(rc, cv, false, out);
    } else {
      // An open curve starts only at one of its ends; an interior start would need a closed curve.
      *rc = BSRC_OUT_OF_RANGE;
    }
  }
  BSexit(rc, "BScv_shffl", "bscv_shffl");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSclcvshffl(int *rc, const VOQbsp_curve *cv_in, const double *u, const BSboolean *same_direction,
                      VOQbsp_curve *out) {
  *rc = 0;
  if (!cv_in || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(*u) || BScvcheck(cv_in) != 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const int k = cv.order, n = cv.num_poles;
    const double start = cv.knots[k - 1], end = cv.knots[n];
    double ktol = 0;
    BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.weights, &ktol, rc);
    if (*rc != 0) {
    } else if (std::fabs(*u - start) < ktol || std::fabs(*u - end) < ktol) {
      copy_reversed(rc, cv, !*same_direction, out);
    } else if (!(*u > start && *u < end)) {
      *rc = BSRC_OUT_OF_RANGE;
    } else {
      // Each part of a closed curve cut once has at most num_poles poles. A closed curve whose end knots are not
      // clamped ends off its end poles, where the two parts would be joined: they are cut from a clamped copy,
      // whose ends are the curve's own.
      bsknots::ScratchCurve whole, before, after;
      const BSboolean no_planarity = BSFALSE;
      if (!whole.take(k, n, cv.rational) || !before.take(k, n, cv.rational) || !after.take(k, n, cv.rational))
        *rc = BSRC_NO_SCRATCH;
      if (*rc == 0 && BScv_copy(rc, &cv, &whole.cv)) BScnvtomkt(rc, &whole.cv);
      if (*rc == 0) BScvsplit(rc, &whole.cv, u, &before.cv, &after.cv, &no_planarity);
      if (*rc == 0) {
        if (*same_direction) {
          BS2cvsto1(rc, &after.cv, &before.cv, out);
        } else if (BSrev_cv(rc, &before.cv) && BSrev_cv(rc, &after.cv)) {
          BS2cvsto1(rc, &before.cv, &after.cv, out);
        }
      }
      if (*rc == 0) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
    }
  }
  BSexit(rc, "BSclcvshffl", "bsclcvshffl");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
