// End-pole moves: a prescribed end tangent is restored by moving the pole next to the end; the poles between it
// and the far end take a share of the move that grows with their chord-length distance from the fixed end, so
// the polygon bends smoothly instead of kinking at the moved pole.
#include "bspline/extend.h"

#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/knots.h"

void BSmodnplpts(int n, double *points, int which, const double new_point[3], double *out, int *rc) {
  *rc = 0;
  double *c = nullptr;
  do {
    if (!points || !new_point) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (n < 2 || !BSallfinite(3, new_point) || !BSallfinite(3 * n, points)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!out) out = points;
    c = static_cast<double *>(BSdbgmalloc(static_cast<int>((n - 1) * sizeof(double))));
    if (!c) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    BScumdistar(rc, &n, points, nullptr, c);
    const int j = which ? 0 : n - 1, f = which ? n - 1 : 0;
    const double L = c[n - 2];
    double delta[3];
    for (int q = 0; q < 3; ++q) delta[q] = new_point[q] - points[3 * j + q];
    for (int i = 1; i <= n - 2; ++i) {
      // A row of coincident points has no chord length to share the move by; its index stands in.
      double share;
      if (L > 0)
        share = which ? (L - c[i - 1]) / L : c[i - 1] / L;
      else
        share = which ? static_cast<double>(n - 1 - i) / (n - 1) : static_cast<double>(i) / (n - 1);
      for (int q = 0; q < 3; ++q) out[3 * i + q] = points[3 * i + q] + share * delta[q];
    }
    for (int q = 0; q < 3; ++q) {
      out[3 * j + q] = points[3 * j + q] + delta[q];
      out[3 * f + q] = points[3 * f + q];
    }
  } while (false);
  BSdbgfree(c);
  BSexit(rc, "BSmodnplpts", "bsmodnplpts");
}

void BSmodshppts(int n, double *points, int k, const double new_point[3], double *out, int *rc) {
  *rc = 0;
  double *head = nullptr, *tail = nullptr;
  do {
    if (k < 0 || k > n - 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (k == 0 || k == n - 1) {
      BSmodnplpts(n, points, k == 0 ? 1 : 0, new_point, out, rc);
      break;
    }
    if (!points || !new_point) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    head = static_cast<double *>(BSdbgmalloc(static_cast<int>(3 * (k + 1) * sizeof(double))));
    tail = static_cast<double *>(BSdbgmalloc(static_cast<int>(3 * (n - k) * sizeof(double))));
    if (!head || !tail) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    std::memcpy(head, points, 3 * (k + 1) * sizeof(double));
    std::memcpy(tail, points + 3 * k, 3 * (n - k) * sizeof(double));
    BSmodnplpts(k + 1, head, 0, new_point, nullptr, rc);
    if (*rc == 0) BSmodnplpts(n - k, tail, 1, new_point, nullptr, rc);
    if (*rc != 0) break;
    if (!out) out = points;
    std::memcpy(out, head, 3 * (k + 1) * sizeof(double));
    std::memcpy(out + 3 * k, tail, 3 * (n - k) * sizeof(double));
  } while (false);
  BSdbgfree(head);
  BSdbgfree(tail);
  BSexit(rc, "BSmodshppts", "bsmodshppts");
}

void BSmodcvtnpl(VOQbsp_curve *cv, BSboolean move_first, const double first_point[3], BSboolean move_last,
                 const double last_point[3], int *rc) {
  *rc = 0;
  BSscratch<300> work;
  do {
    if (!move_first && !move_last) break;
    if (!cv || !cv->poles || (cv->rational && !cv->weights) || (move_first && !first_point) ||
        (move_last && !last_point) || cv->num_poles < 4 || !BScvfinite(cv)) {
      *rc = -1;
      break;
    }
    const int n = cv->num_poles, m = n - 2;
    const double *w = cv->rational ? cv->weights + 1 : nullptr;
    bool usable = true;
    for (int i = 0; w && i < m; ++i) usable = usable && w[i] > 0;
    double *x = usable ? work.take(3 * static_cast<std::size_t>(m)) : nullptr;
    if (!x) {
      *rc = -1;
      break;
    }
    for (int i = 0; i < 3 * m; ++i) x[i] = cv->poles[3 + i] / (w ? w[i / 3] : 1.0);
    int mrc = 0;
    if (move_first) BSmodshppts(m, x, 0, first_point, nullptr, &mrc);
    if (mrc == 0 && move_last) BSmodshppts(m, x, m - 1, last_point, nullptr, &mrc);
    if (mrc != 0) {
      *rc = -1;
      break;
    }
    for (int i = 0; i < 3 * m; ++i) cv->poles[3 + i] = x[i] * (w ? w[i / 3] : 1.0);
  } while (false);
  BSexit(rc, "BSmodcvtnpl", "bsmodcvtnpl");
}
