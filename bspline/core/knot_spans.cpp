// Knot-span search and the basis functions of one span (values and first and second derivatives).
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

#include <cmath>

BSboolean BSfndspan(int *rc, const VOQbsp_curve *cv, const int *num_poles, const double *knots, const double *u,
                    int *span) {
  *rc = 0;
  const int k = cv->order, n = *num_poles;
  const double t = *u;
  const int s = *span;
  BSboolean found = BSFALSE;
  // No span holds a parameter that is not finite; the shortcuts below (a single span, the ends) would take it
  // and pass it on to knot insertion and splitting as a value of the curve.
  if (!std::isfinite(t)) *rc = BSRC_OUT_OF_RANGE;
  // Convention: knots[s] < u <= knots[s+1], so at an interior knot the span that ends there is chosen. The hint
  // moves only to neighbours inside k-1 .. n-1: an unclamped curve at its start must not reach pole -1.
  if (*rc == 0 && s >= k - 1 && s < n) {
    if (knots[s] < t && t <= knots[s + 1]) {
      found = BSTRUE;
    } else if (s + 1 <= n - 1 && knots[s + 1] < t && t <= knots[s + 2]) {
      *span = s + 1;
      found = BSTRUE;
    } else if (s - 1 >= k - 1 && knots[s - 1] < t && t <= knots[s]) {
      *span = s - 1;
      found = BSTRUE;
    }
  }
  if (*rc == 0 && !found) {
    if (k == n) {
      *span = k - 1;
      found = BSTRUE;
    } else if (t <= knots[k - 1] + 1e-20) {
      // A start knot of multiplicity k inside the knot vector leaves the first spans empty: the first one with
      // length holds the start.
      int first = k - 1;
      while (first < n - 1 && !(knots[first + 1] > knots[first])) ++first;
      *span = first;
      found = BSTRUE;
    } else if (t > knots[n] - 1e-20) {
      int last = n - 1;
      while (last > k - 1 && !(knots[last + 1] > knots[last])) --last;
      *span = last;
      found = BSTRUE;
    } else {
      int lo = k, hi = n;
      while (hi >= lo && !found) {
        const int mid = (lo + hi) / 2;
        if (knots[mid] < t) {
          lo = mid + 1;
          if (t <= knots[mid + 1]) {
            *span = mid;
            found = BSTRUE;
          }
        } else if (knots[mid - 1] < t) {
          *span = mid - 1;
          found = BSTRUE;
        } else {
          hi = mid - 1;
        }
      }
    }
  }
  BSexit(rc, "BSfndspan", "bsfndspan");
  return found;
}

void BSfndknotiv(std::int16_t order, int num_poles, const double *knots, double u, int *index, int *rc) {
  *rc = 0;
  const int k = order, n = num_poles;
  // Convention: knots[i-1] <= u < knots[i]; the span that starts at a knot is chosen, closed at the very end.
  // A parameter that is not finite takes the first span and is refused (clamping would hide an infinity).
  const bool finite = std::isfinite(u);
  if (u < knots[k - 1]) u = knots[k - 1];
  if (u > knots[n]) u = knots[n];
  *index = k;
  if (!finite) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (u == knots[n]) {
    *index = n;
  } else {
    int lo = k, hi = n;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      if (u >= knots[mid]) {
        if (u < knots[mid + 1]) {
          *index = mid + 1;
          break;
        }
        lo = mid + 1;
      } else {
        if (u >= knots[mid - 1]) {
          *index = mid;
          break;
        }
        hi = mid - 1;
      }
    }
  }
  BSexit(rc, "BSfndknotiv", "bsfndknotiv");
}

namespace {
// One level of the Cox-de Boor triangle in place: N holds the j functions of order j on span s (poles s-j+1 ..
// s) and becomes the j+1 functions of order j+1. a: ratios, at least j+1 entries. eps: zero-interval threshold.
// J, when not 0, is j known to the compiler.
template <int J = 0>
int raise_level(int level, const double *knots, int s, double u, double eps, double *N, double *a) {
  const int j = J ? J : level;
  const double d = knots[s + j] - knots[s];
  if (std::fabs(d) < eps) return BSRC_ZERO_INTERVAL;
  a[j] = (u - knots[s]) / d;
  N[j] = a[j] * N[j - 1];
  for (int m = 1; m <= j - 1; ++m) {
    const int i = j - m;
    const double e = knots[s + j - m] - knots[s - m];
    if (std::fabs(e) < eps) return BSRC_ZERO_INTERVAL;
    a[i] = (u - knots[s - m]) / e;
    N[i] = a[i] * N[i - 1] + (1 - a[i + 1]) * N[i];
  }
  N[0] = (1 - a[1]) * N[0];
  return 0;
}

// Derivatives of the q functions of order q on span s from the q-1 functions L of order q-1 (or from their
// derivatives, for the next derivative): out[i] = (q-1) (L[i-1] / (t[P+q-1] - t[P]) - L[i] / (t[P+q] - t[P+1]))
// with P = s-q+1+i and L[-1] = L[q-1] = 0.
int derive(int q, const double *knots, int s, const double *L, double eps, double *out) {
  for (int i = 0; i < q; ++i) {
    const int P = s - q + 1 + i;
    double v = 0;
    if (i > 0) {
      const double d = knots[P + q - 1] - knots[P];
      if (std::fabs(d) < eps) return BSRC_ZERO_INTERVAL;
      v += L[i - 1] / d;
    }
    if (i < q - 1) {
      const double d = knots[P + q] - knots[P + 1];
      if (std::fabs(d) < eps) return BSRC_ZERO_INTERVAL;
      v -= L[i] / d;
    }
    out[i] = (q - 1) * v;
  }
  return 0;
}

// Raises N from the functions of order from_order to those of order to_order.
int run_levels(int from_order, int to_order, const double *knots, int s, double u, double eps, double *N, double *a) {
  for (int j = from_order; j < to_order; ++j) {
    const int r = raise_level(j, knots, s, u, eps, N, a);
    if (r) return r;
  }
  return 0;
}

// run_levels from order 1 to order K, the levels' lengths known to the compiler, which unrolls them: a fit
// takes the cubic functions at every point in every round.
template <int K>
int run_levels_to(const double *knots, int s, double u, double eps, double *N, double *a) {
  int r = 0;
  if constexpr (K > 1) {
    r = run_levels_to<K - 1>(knots, s, u, eps, N, a);
    if (r == 0) r = raise_level<K - 1>(K - 1, knots, s, u, eps, N, a);
  }
  return r;
}
}  // namespace

BSboolean BSmansf0(int *rc, int k, const double *knots, int s, double u, double *N) {
  *rc = 0;
  const double tol = BStoltab[bstol::zero_tol];
  const double eps = tol * tol;
  BSscratch<16> work;
  if (k < 1 || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (std::fabs(knots[s + 1] - knots[s]) < eps) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double *a = work.take(static_cast<std::size_t>(k));
    if (!a) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      N[0] = 1;
      *rc = k == 4 ? run_levels_to<4>(knots, s, u, eps, N, a) : run_levels(1, k, knots, s, u, eps, N, a);
    }
  }
  BSexit(rc, "BSmansf0", "bsmansf0");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSmansf1(int *rc, int k, const double *knots, int s, double u, double *N, double *D1) {
  *rc = 0;
  const double eps = BStoltab[bstol::zero_tol];
  BSscratch<32> work;
  if (k < 1 || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (std::fabs(knots[s + 1] - knots[s]) < eps) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double *a = work.take(2 * static_cast<std::size_t>(k));
    if (!a) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *lower = a + k;
      N[0] = 1;
      *rc = run_levels(1, k - 1, knots, s, u, eps, N, a);
      if (*rc == 0 && k >= 2) {
        for (int i = 0; i < k - 1; ++i) lower[i] = N[i];
        *rc = raise_level(k - 1, knots, s, u, eps, N, a);
        if (*rc == 0) *rc = derive(k, knots, s, lower, eps, D1);
      } else if (*rc == 0) {
        D1[0] = 0;
      }
    }
  }
  BSexit(rc, "BSmansf1", "bsmansf1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSmansf2(int *rc, int k, const double *knots, int s, double u, double *N, double *D1, double *D2) {
  *rc = 0;
  const double eps = BStoltab[bstol::zero_tol];
  double a[16], lower2[16], lower1[16], d1lower[16];
  // Fixed arrays of 16: a larger order is refused rather than written past them.
  if (k < 2 || k > 16 || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (std::fabs(knots[s + 1] - knots[s]) < eps) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    N[0] = 1;
    *rc = run_levels(1, k - 2, knots, s, u, eps, N, a);
    if (*rc == 0) {
      for (int i = 0; i < k - 2; ++i) lower2[i] = N[i];
      if (k >= 3) *rc = raise_level(k - 2, knots, s, u, eps, N, a);
    }
    if (*rc == 0) {
      for (int i = 0; i < k - 1; ++i) lower1[i] = N[i];
      *rc = raise_level(k - 1, knots, s, u, eps, N, a);
    }
    if (*rc == 0) *rc = derive(k, knots, s, lower1, eps, D1);
    if (*rc == 0) {
      if (k == 2) {
        D2[0] = D2[1] = 0;
      } else {
        *rc = derive(k - 1, knots, s, lower2, eps, d1lower);
        if (*rc == 0) *rc = derive(k, knots, s, d1lower, eps, D2);
      }
    }
  }
  BSexit(rc, "BSmansf2", "bsmansf2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSmansfn(int *rc, int k, const double *knots, int s, double u, int nder, double *ders) {
  *rc = 0;
  const double eps = BStoltab[bstol::zero_tol];
  const int dm = nder < k - 1 ? nder : k - 1;
  BSscratch<16 + 16 * 16 + 2 * 16> work;
  if (k < 1 || nder < 0 || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (std::fabs(knots[s + 1] - knots[s]) < eps) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double *a = work.take(static_cast<std::size_t>(k) * (dm + 4));
    if (!a) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      // saved + (d-1) k: the values of order k-d, from which derivative d is raised back to order k.
      double *saved = a + k, *t1 = saved + static_cast<std::size_t>(dm) * k, *t2 = t1 + k;
      double *N = ders;
      N[0] = 1;
      if (k - 1 <= dm && dm > 0) saved[(dm - 1) * k] = 1;  // order 1 is needed when dm = k-1
      for (int j = 1; j < k && *rc == 0; ++j) {
        *rc = raise_level(j, knots, s, u, eps, N, a);
        const int q = j + 1, d = k - q;
        if (*rc == 0 && d >= 1 && d <= dm)
          for (int i = 0; i < q; ++i) saved[(d - 1) * k + i] = N[i];
      }
      for (int d = 1; d <= dm && *rc == 0; ++d) {
        const double *cur = saved + (d - 1) * k;
        for (int q = k - d + 1; q <= k && *rc == 0; ++q) {
          double *dst = q == k ? ders + d * k : (cur == t1 ? t2 : t1);
          *rc = derive(q, knots, s, cur, eps, dst);
          cur = dst;
        }
      }
      for (int d = dm + 1; d <= nder; ++d)
        for (int i = 0; i < k; ++i) ders[d * k + i] = 0;
    }
  }
  BSexit(rc, "BSmansfn", "bsmansfn");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
