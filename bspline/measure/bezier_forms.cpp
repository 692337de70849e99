// Bezier and polar forms: the full de Casteljau triangle of a Bezier curve (a point and both halves at once),
// scalar Bezier functions on an interval, and the polar form (blossom) of the basis and of a curve, which
// extensions evaluate with arguments outside the span.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"

#include <cmath>

namespace {
constexpr int kMaxOrder = 16;
}

BSboolean BSdcastelj(int *rc, const VOQbsp_curve *cv_in, const double *u, double points[BSDCAST_SIZE][BSDCAST_SIZE][3],
                     double weights[BSDCAST_SIZE][BSDCAST_SIZE]) {
  *rc = 0;
  do {
    if (!cv_in || !cv_in->poles || !cv_in->knots || (cv_in->rational && !cv_in->weights)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(*u)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const VOQbsp_curve cv = bsknots::plain_view(*cv_in);
    const int k = cv.order;
    // The tables hold 16 levels: a longer Bezier curve is refused rather than written past them.
    if (k < 2 || k != cv.num_poles || k > BSDCAST_SIZE) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double a = cv.knots[k - 1], b = cv.knots[k];
    if (!(b != a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double ktol = 0;
    BScvkttol2(cv.order, cv.knots, k, cv.poles, cv.weights, &ktol, rc);
    if (*rc != 0) break;
    const bool rational = cv.rational != 0;
    for (int i = 0; i < k; ++i) {
      for (int c = 0; c < 3; ++c) points[i][0][c] = cv.poles[3 * i + c];
      if (rational) weights[i][0] = cv.weights[i];
    }
    const double t = (*u - a) / (b - a);
    for (int j = 1; j < k && *rc == 0; ++j)
      for (int i = j; i < k; ++i) {
        for (int c = 0; c < 3; ++c) points[i][j][c] = (1 - t) * points[i - 1][j - 1][c] + t * points[i][j - 1][c];
        if (rational) {
          weights[i][j] = (1 - t) * weights[i - 1][j - 1] + t * weights[i][j - 1];
          if (weights[i][j] < ktol) {
            *rc = BSRC_ZERO_WEIGHT;
            break;
          }
        }
      }
  } while (false);
  BSexit(rc, "BSdcastelj", "bsdcastelj");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSevlcvbez1(int nfunc, int n, const double *coef, int count, const double *params, const double interval[2],
                 double *out, int *rc) {
  *rc = 0;
  BSscratch<81> work;
  do {
    if (n < 0 || !BSallfinite(2, interval) || (count > 0 && !BSallfinite(count, params))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double a = interval[0], b = interval[1];
    if (!(b != a)) {
      *rc = BSRC_OUT_OF_RANGE;  // no parameter map from an empty interval
      break;
    }
    double *c = work.take(static_cast<std::size_t>(n) + 1);
    if (!c) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int f = 0; f < nfunc; ++f) {
      const double *src = coef + static_cast<std::size_t>(f) * (n + 1);
      for (int p = 0; p < count; ++p) {
        const double t = (params[p] - a) / (b - a);
        for (int i = 0; i <= n; ++i) c[i] = src[i];
        for (int r = 1; r <= n; ++r)
          for (int i = 0; i + r <= n; ++i) c[i] += t * (c[i + 1] - c[i]);
        out[static_cast<std::size_t>(f) * count + p] = c[0];
      }
    }
  } while (false);
  BSexit(rc, "BSevlcvbez1", "bsevlcvbez1");
}

void BSpolarnif(int order, const double *knots, int span, const double *args, double *basis, int *rc) {
  *rc = 0;
  const int k = order, s = span;
  if (k < 1 || k > kMaxOrder || !BSallfinite(k - 1, args)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (std::fabs(knots[s + 1] - knots[s]) < BStoltab[bstol::zero_tol]) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // The basis recurrence with each level's own argument: the blossom is symmetric, so any assignment of the
    // arguments to the levels gives it, and equal arguments give the ordinary basis.
    basis[0] = 1;
    for (int j = 1; j < k; ++j) {
      const double x = args[j - 1];
      // basis[i] belongs to function s - j + i; alpha(f) = (x - knots[f]) / (knots[f + j] - knots[f]).
      auto alpha = [&](int f) { return (x - knots[f]) / (knots[f + j] - knots[f]); };
      basis[j] = alpha(s) * basis[j - 1];
      for (int i = j - 1; i >= 1; --i) {
        const int f = s - j + i;
        basis[i] = alpha(f) * basis[i - 1] + (1 - alpha(f + 1)) * basis[i];
      }
      basis[0] = (1 - alpha(s - j + 1)) * basis[0];
    }
  }
  BSexit(rc, "BSpolarnif", "bspolarnif");
}

void BScvevpgbnd(std::int16_t dim, int order, const double *poles, const double *knots, const double *args, int span,
                 double *out, int *rc) {
  *rc = 0;
  if (order > kMaxOrder) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double basis[kMaxOrder];
    BSpolarnif(order, knots, span, args, basis, rc);
    if (*rc == 0)
      for (int c = 0; c < dim; ++c) {
        double v = 0;
        for (int i = 0; i < order; ++i) v += basis[i] * poles[(span - order + 1 + i) * dim + c];
        out[c] = v;
      }
  }
  BSexit(rc, "BScvevpgbnd", "bscvevpgbnd");
}
