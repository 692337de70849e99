// Questions asked of a knot vector: its distinct values and multiplicities, its spans of non-zero length, its
// interior knots of multiplicity order - 1 (the C0 joints), and its mapping onto [0, 1].
#include "bspline/core/exit.h"
#include "bspline/knots.h"

#include <cmath>

BSboolean BSnorkts(int *rc, const std::int16_t *order, const int *num_poles, double *knots) {
  *rc = 0;
  const int k = *order, n = *num_poles;
  const double start = knots[k - 1];
  for (int i = 0; i < n + k; ++i) knots[i] -= start;
  const double range = knots[n];
  const double eps = BStoltab[bstol::zero_tol] * BStoltab[bstol::zero_tol];
  if (std::fabs(range) < eps) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    for (int i = 0; i < n + k; ++i) knots[i] /= range;
  }
  BSexit(rc, "BSnorkts", "bsnorkts");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSgetmult(int *rc, const std::int16_t *order, const int *num_poles, const double *knots, int *count,
                    double *values, int *mults) {
  *rc = 0;
  const int total = *order + *num_poles;
  int c = 0;
  values[0] = knots[0];
  mults[0] = 1;
  for (int i = 1; i < total; ++i) {
    // Equal knots are one value under any tolerance. A tolerance of zero (a basis tolerance set to zero, or a
    // polygon whose length overflows) would otherwise count every copy of a knot apart, and a degree raise would
    // then give a clamped end more copies, and the curve more poles, than the raise can ever need.
    if (knots[i] == knots[i - 1] || std::fabs(knots[i] - knots[i - 1]) < BStoltab[bstol::knot_tol]) {
      ++mults[c];
    } else {
      ++c;
      values[c] = knots[i];
      mults[c] = 1;
    }
  }
  *count = c + 1;
  BSexit(rc, "BSgetmult", "bsgetmult");
  return BSTRUE;
}

void BScvndegspn(const VOQbsp_curve *cv, int *count, int *spans, int *rc) {
  *rc = 0;
  const int k = cv->order, n = cv->num_poles;
  int c = 0;
  spans[c++] = k - 1;
  for (int i = k; i <= n - 1; ++i)
    if (std::fabs(cv->knots[i + 1] - cv->knots[i]) > BStoltab[bstol::knot_tol]) spans[c++] = i;
  *count = c;
  BSexit(rc, "BScvndegspn", "bscvndegspn");
}

BSboolean BSfindmkts(int *rc, const std::int16_t *order, const int *num_poles, const double *knots,
                     const double *tol, int *count, double *params, int *indices) {
  *rc = 0;
  *count = 0;
  const int k = *order, n = *num_poles;
  if (!(*tol >= 0) || !std::isfinite(*tol)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (n != k) {
    int run = 1;
    for (int j = k; j <= n; ++j) {
      if (knots[j + 1] - knots[j] < *tol) {
        ++run;
      } else {
        // Only joints of exactly k-1 copies: fewer keep the curve smooth, k copies already separate it.
        if (run == k - 1) {
          params[*count] = knots[j];
          indices[*count] = j - k + 2;
          ++*count;
        }
        run = 1;
      }
    }
  }
  BSexit(rc, "BSfindmkts", "bsfindmkts");
  return BSTRUE;
}
