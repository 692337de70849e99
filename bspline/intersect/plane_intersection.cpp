// Plane/curve intersection: the signed distance of the curve from the plane is itself a B-spline (the poles'
// distances as coefficients), so its roots and zero spans, found span by span in Bezier form, are the crossings
// and the in-plane pieces of the curve.
#include "bspline/plane_intersection.h"

#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

namespace {

// Value and derivative in u of the Bezier polynomial c[0..deg] at u in [0, 1]; work holds deg + 1 doubles.
void bezier_value(int deg, const double *c, double u, double *work, double *f, double *df) {
  for (int i = 0; i <= deg; ++i) work[i] = c[i];
  for (int r = 1; r < deg; ++r)
    for (int i = 0; i + r <= deg; ++i) work[i] += u * (work[i + 1] - work[i]);
  *df = deg * (work[1] - work[0]);
  *f = work[0] + u * (work[1] - work[0]);
}

// The root finder stops once the series is within tol of zero, which leaves a simple root off by tol over the
// slope; a few Newton steps, kept only while they shrink the value and stay between the neighbouring roots, bring
// it to rounding. Roots on the span ends stay exact: the junction logic compares them with the bounds.
void polish_roots(int n, const double *coef, const double interval[2], int count, double *roots, double *work) {
  const double lo = interval[0], h = interval[1] - interval[0];
  for (int i = 0; i < count; ++i) {
    const bool repeated = (i > 0 && roots[i - 1] == roots[i]) || (i + 1 < count && roots[i + 1] == roots[i]);
    if (repeated || roots[i] <= lo || roots[i] >= interval[1]) continue;
    const double left = i > 0 ? (roots[i - 1] - lo) / h : 0, right = i + 1 < count ? (roots[i + 1] - lo) / h : 1;
    double u = (roots[i] - lo) / h, f = 0, df = 0;
    bezier_value(n - 1, coef, u, work, &f, &df);
    for (int step = 0; step < 4 && f != 0 && df != 0; ++step) {
      const double v = u - f / df;
      if (!(v > left && v < right)) break;
      double fv = 0, dfv = 0;
      bezier_value(n - 1, coef, v, work, &fv, &dfv);
      if (!(std::fabs(fv) < std::fabs(f))) break;
      u = v, f = fv, df = dfv;
    }
    roots[i] = lo + u * h;
  }
}

}  // namespace

void BSfndrtbez1(int n, const double *coef, const double interval[2], double tol, int *n_roots, double *roots,
                 int *rc) {
  *rc = 0;
  *n_roots = -1;
  bool zero = true;
  for (int i = 0; i < n && zero; ++i) zero = std::fabs(coef[i]) <= tol;
  if (!zero) BSbzur1pls(n - 1, coef, interval, tol, n_roots, roots, rc);
  if (*rc != 0) {
    *n_roots = 0;
  } else if (*n_roots > 0 && n > 2) {
    BSscratch<32> work;
    double *w = work.take(static_cast<std::size_t>(n));
    if (w) polish_roots(n, coef, interval, *n_roots, roots, w);
  }
  BSexit(rc, "BSfndrtbez1", "bsfndrtbez1");
}

namespace {

// Appends [a, b] to the zero ranges, extending the last range when it ends exactly where this one starts.
void add_zero_range(double a, double b, int *n_zero, double *ranges) {
  if (*n_zero > 0 && ranges[2 * *n_zero - 1] == a) {
    ranges[2 * *n_zero - 1] = b;
  } else {
    ranges[2 * *n_zero] = a;
    ranges[2 * *n_zero + 1] = b;
    ++*n_zero;
  }
}

}  // namespace

void BSfndrtbsp1(int order, int n, const double *values, const double *knots, double tol, int *n_roots,
                 double *roots, int *n_zero, double *zero_ranges, int *rc) {
  *rc = 0;
  *n_roots = 0;
  *n_zero = 0;
  void *block = nullptr;
  do {
    if (!values || !knots || !n_roots || !roots || !n_zero || !zero_ranges) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    bool sorted = order >= 1 && n >= order && BSallfinite(n + order, knots);
    for (int i = 1; sorted && i < n + order; ++i) sorted = knots[i] >= knots[i - 1];
    if (!sorted || !(tol >= 0) || !std::isfinite(tol) || !BSallfinite(n, values)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (order == 1) {  // piecewise constant: every vanishing piece is a zero range
      for (int i = 0; i < n; ++i)
        if (std::fabs(values[i]) < tol && knots[i + 1] > knots[i])
          add_zero_range(knots[i], knots[i + 1], n_zero, zero_ranges);
      break;
    }
    const int deg = order - 1;
    const std::size_t nd = static_cast<std::size_t>(deg) * n + static_cast<std::size_t>(order) * n + n + 1;
    const std::size_t ni = 2 * static_cast<std::size_t>(n) + static_cast<std::size_t>(deg) * n;
    block = BSdbgmalloc(static_cast<int>(nd * sizeof(double) + ni * sizeof(int)));
    if (!block) {
      *rc = BSRC_ALLOC_CURVE;
      break;
    }
    double *r = static_cast<double *>(block);
    double *bez = r + static_cast<std::size_t>(deg) * n;
    double *bounds = bez + static_cast<std::size_t>(order) * n;
    int *count = reinterpret_cast<int *>(bounds + n + 1);
    int *zero = count + n;
    int *mult = zero + n;
    int s = 0;
    BSbstobez(deg, n, 1, knots, values, &s, bez, bounds, rc);
    for (int j = 0; j < s && *rc == 0; ++j) {
      const double iv[2] = {bounds[j], bounds[j + 1]};
      BSfndrtbez1(order, bez + static_cast<std::size_t>(j) * order, iv, tol, &count[j], r + j * deg, rc);
      zero[j] = count[j] == -1;
      if (zero[j]) count[j] = 0;
    }
    if (*rc != 0) break;
    for (int j = 0; j < s; ++j)
      if (zero[j]) add_zero_range(bounds[j], bounds[j + 1], n_zero, zero_ranges);
    // Equal roots of one span become one root with a multiplicity; the junction steps work on distinct roots.
    for (int j = 0; j < s; ++j) {
      double *rj = r + j * deg;
      int *mj = mult + j * deg;
      int m = 0;
      for (int i = 0; i < count[j]; ++i) {
        if (m > 0 && rj[i] == rj[m - 1]) {
          ++mj[m - 1];
        } else {
          rj[m] = rj[i];
          mj[m++] = 1;
        }
      }
      count[j] = m;
    }
    auto drop_first = [&](int j) {
      for (int i = 1; i < count[j]; ++i) {
        r[j * deg + i - 1] = r[j * deg + i];
        mult[j * deg + i - 1] = mult[j * deg + i];
      }
      --count[j];
    };
    // A root on a junction belongs to the span after it, or to the zero range that starts there. It stays with
    // the span before when the next span did not find it on its start, so that no crossing is lost.
    for (int j = 0; j + 1 < s; ++j) {
      if (count[j] == 0 || r[j * deg + count[j] - 1] != bounds[j + 1]) continue;
      if (zero[j + 1] || (count[j + 1] > 0 && r[(j + 1) * deg] == bounds[j + 1])) --count[j];
    }
    for (int j = 1; j < s; ++j)
      if (zero[j - 1] && count[j] > 0 && r[j * deg] == bounds[j]) drop_first(j);
    // A junction root crosses when the neighbouring spans take opposite signs beside it, else it touches.
    for (int j = 1; j < s && *rc == 0; ++j) {
      if (count[j] == 0 || r[j * deg] != bounds[j]) continue;
      const double b = bounds[j];
      const double left = 0.5 * (b + (count[j - 1] > 0 ? r[(j - 1) * deg + count[j - 1] - 1] : bounds[j - 1]));
      const double right = 0.5 * (b + (count[j] > 1 ? r[j * deg + 1] : bounds[j + 1]));
      const double ivl[2] = {bounds[j - 1], b}, ivr[2] = {b, bounds[j + 1]};
      double fl = 0, fr = 0;
      BSevlcvbez1(1, deg, bez + static_cast<std::size_t>(j - 1) * order, 1, &left, ivl, &fl, rc);
      if (*rc == 0) BSevlcvbez1(1, deg, bez + static_cast<std::size_t>(j) * order, 1, &right, ivr, &fr, rc);
      mult[j * deg] = fl * fr <= 0 ? 1 : 2;
    }
    if (*rc != 0) break;
    int total = 0;
    for (int j = 0; j < s; ++j)
      for (int i = 0; i < count[j]; ++i)
        for (int m = 0; m < mult[j * deg + i]; ++m) roots[total++] = r[j * deg + i];
    *n_roots = total;
  } while (false);
  if (*rc != 0) *n_roots = *n_zero = 0;
  BSdbgfree(block);
  BSexit(rc, "BSfndrtbsp1", "bsfndrtbsp1");
}

void BSxbspcvpl(int dim, int order, int n, int rational, const double *coef, const double *knots,
                const double *plane_point, const double *plane_normal, double tol, int *n_roots, double *roots,
                int *n_zero, double *zero_ranges, int *rc) {
  *rc = 0;
  *n_roots = 0;
  *n_zero = 0;
  BSscratch<100> work;
  do {
    if (!coef || !knots || !plane_point || !plane_normal) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (dim < 1 || n < 1 || !BSallfinite(dim, plane_point)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double len = 0;
    for (int c = 0; c < dim; ++c) len += plane_normal[c] * plane_normal[c];
    len = std::sqrt(len);
    if (!(len > 0) || !std::isfinite(len)) {
      *rc = BSRC_NULL_VECTOR;
      break;
    }
    double *d = work.take(static_cast<std::size_t>(n));
    if (!d) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const double *w = rational ? coef + static_cast<std::size_t>(dim) * n : nullptr;
    for (int i = 0; i < n; ++i) {
      double sum = 0;
      for (int c = 0; c < dim; ++c)
        sum += (coef[static_cast<std::size_t>(c) * n + i] - plane_point[c] * (w ? w[i] : 1.0)) * plane_normal[c];
      d[i] = sum / len;
    }
    BSfndrtbsp1(order, n, d, knots, tol, n_roots, roots, n_zero, zero_ranges, rc);
  } while (false);
  BSexit(rc, "BSxbspcvpl", "bsxbspcvpl");
}

BSboolean BSpl_cv_int(int *rc, const VOQbsp_curve *cv, const double plane_point[3], const double plane_normal[3],
                      int *n_int, double *int_points, double *int_params, int *n_seg, double *seg_start,
                      double *seg_end) {
  *rc = 0;
  if (n_int) *n_int = 0;
  if (n_seg) *n_seg = 0;
  BSscratch<200> work;
  do {
    if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights) || !plane_point || !plane_normal ||
        !n_int || !int_points || !int_params || !n_seg || !seg_start || !seg_end) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int k = cv->order, n = cv->num_poles, r = cv->rational ? 1 : 0;
    if (k < 1 || n < k || !BScvfinite(cv) || !BSallfinite(n + k, cv->knots) || !BSallfinite(3, plane_point)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // Roots with multiplicity reach (order - 1) per span, more than the pole count the caller has room for; the
    // full result goes to scratch and only a result that fits is copied out.
    const std::size_t spans = static_cast<std::size_t>(n - k + 1);
    const std::size_t room_roots = (k > 1 ? k - 1 : 1) * spans;
    double *coef = work.take((3 + r) * static_cast<std::size_t>(n) + room_roots + 2 * spans);
    if (!coef) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *roots = coef + (3 + r) * static_cast<std::size_t>(n);
    double *ranges = roots + room_roots;
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) coef[static_cast<std::size_t>(c) * n + i] = cv->poles[3 * i + c];
      if (r) coef[3 * static_cast<std::size_t>(n) + i] = cv->weights[i];
    }
    const double tol = BStoltab[bstol::basis_tol];
    int count = 0, nz = 0;
    BSxbspcvpl(3, k, n, r, coef, cv->knots, plane_point, plane_normal, tol, &count, roots, &nz, ranges, rc);
    if (*rc != 0) break;
    int m = 0;
    for (int i = 0; i < count; ++i)
      if (m == 0 || roots[i] != roots[m - 1]) roots[m++] = roots[i];
    count = m;
    // A closed curve meets the plane at its seam once: drop the end's copy of a point at the start, and join a
    // zero range that runs off the end with the one that starts the curve.
    const double t0 = cv->knots[k - 1], t1 = cv->knots[n];
    double p0[3], p1[3];
    BScveval_n(cv, t0, 0, p0, rc);
    if (*rc == 0) BScveval_n(cv, t1, 0, p1, rc);
    if (*rc != 0) break;
    int drc = 0;
    const bool closed = BSpdistsq(&drc, p0, p1) <= tol * tol;
    if (closed) {
      const bool zero_at_start = nz > 0 && ranges[0] == t0, zero_at_end = nz > 0 && ranges[2 * nz - 1] == t1;
      if (zero_at_end && count > 0 && roots[0] == t0) {
        for (int i = 1; i < count; ++i) roots[i - 1] = roots[i];
        --count;
      }
      if (zero_at_start && count > 0 && roots[count - 1] == t1) --count;
      if (count >= 2 && roots[0] == t0 && roots[count - 1] == t1) --count;
      if (zero_at_start && zero_at_end && nz > 1) {
        ranges[2 * nz - 1] = ranges[1];
        for (int i = 0; i + 2 < 2 * nz; ++i) ranges[i] = ranges[i + 2];
        --nz;
      }
    }
    if (count > n || nz > n) {
      *rc = BSRC_PLANE_ROOM;
      break;
    }
    for (int i = 0; i < count && *rc == 0; ++i) {
      int_params[i] = roots[i];
      BScveval_n(cv, roots[i], 0, int_points + 3 * i, rc);
    }
    if (*rc != 0) break;
    for (int i = 0; i < nz; ++i) {
      seg_start[i] = ranges[2 * i];
      seg_end[i] = ranges[2 * i + 1];
    }
    *n_int = count;
    *n_seg = nz;
  } while (false);
  if (*rc != 0 && n_int && n_seg) *n_int = *n_seg = 0;
  BSexit(rc, "BSpl_cv_int", "bspl_cv_int");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
