// Intersection of two straight segments in space: a crossing or touch, or the ends of a common stretch.
#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/core/lines_internal.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
constexpr double kGuard = 2.220446049250313e-15;

using Solver = void (*)(int *rc, double a[6], double b[3], double x[2]);

double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross3(const double *a, const double *b, double *out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

double dist2(const double *a, const double *b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  return dot3(d, d);
}

void along(const double *o, const double *e, double s, double *out) {
  for (int i = 0; i < 3; ++i) out[i] = o[i] + s * e[i];
}

void midpoint(const double *a, const double *b, double *out) {
  for (int i = 0; i < 3; ++i) out[i] = 0.5 * (a[i] + b[i]);
}

// A segment as its start, unit direction and length.
struct Segment {
  const double *o;
  double e[3];
  double length;

  explicit Segment(const double *seg) : o(seg) {
    for (int i = 0; i < 3; ++i) e[i] = seg[3 + i] - seg[i];
    length = std::sqrt(dot3(e, e));
    if (length >= kGuard)
      for (double &c : e) c /= length;
  }
  bool is_point() const { return length < kGuard; }
  // The distance along the segment of the foot of x, clamped to the segment.
  double foot(const double *x) const {
    const double d[3] = {x[0] - o[0], x[1] - o[1], x[2] - o[2]};
    return std::clamp(dot3(d, e), 0.0, length);
  }
};

// A segment shorter than the guard is the point at its start: taking it as a unit segment would report contacts
// up to a unit away from where it is.
void point_contact(const Segment &a, const Segment &b, double tol, int *n, double pts[6], double ta[1],
                   double tb[1]) {
  double foot[3] = {b.o[0], b.o[1], b.o[2]};
  double s = 0;
  if (!b.is_point()) {
    s = b.foot(a.o);
    along(b.o, b.e, s, foot);
  }
  if (dist2(a.o, foot) < tol) {
    midpoint(a.o, foot, pts);
    *ta = 0;
    *tb = b.is_point() ? 0 : s / b.length;
    *n = 1;
  }
}

// End point x (parameter x_param on its own segment) against the segment seg: the clamped foot goes into slot n
// and its parameter into tseg[n] even when it misses, as the overlap tests expect. A hit becomes the midpoint and
// counts unless it repeats the first contact.
void end_contact(const double *x, double x_param, const Segment &seg, double tol, double *tseg, double *tend,
                 double pts[6], int *n) {
  const double s = seg.foot(x);
  double *slot = pts + 3 * *n;
  along(seg.o, seg.e, s, slot);
  tseg[*n] = s / seg.length;
  if (dist2(x, slot) >= tol) return;
  midpoint(x, slot, slot);
  if (*n == 1 && dist2(pts, pts + 3) < tol) return;
  tend[*n] = x_param;
  ++*n;
}

// Parallel segments: the four end points against the other segment, in an order that decides which contact is
// first, then the two contacts ordered along the first segment.
void overlap(const double *seg1, const double *seg2, const Segment &a, const Segment &b, double tol, int *n,
             double pts[6], double t1[2], double t2[2]) {
  end_contact(seg2, 0, a, tol, t1, t2, pts, n);
  end_contact(seg2 + 3, 1, a, tol, t1, t2, pts, n);
  if (*n < 2) end_contact(seg1, 0, b, tol, t2, t1, pts, n);
  if (*n < 2) end_contact(seg1 + 3, 1, b, tol, t2, t1, pts, n);
  if (*n == 2 && t1[1] < t1[0]) {
    for (int i = 0; i < 3; ++i) std::swap(pts[i], pts[3 + i]);
    std::swap(t1[0], t1[1]);
    std::swap(t2[0], t2[1]);
  }
}

// The products that decide two segments in general position: the edge vectors d1 and d2, the offset w between
// the starts, the squared lengths a and c, the squared norm den of n = d1 x d2, and sn = (w x d2) . n and
// tn = (w x d1) . n, the feet of the common perpendicular times den. Cross products keep the accuracy that the
// normal equations (squaring the angle's sine) would lose.
struct Products {
  double d1[3], d2[3], w[3], a, c, den, sn, tn;

  Products(const double *seg1, const double *seg2) {
    for (int i = 0; i < 3; ++i) {
      d1[i] = seg1[3 + i] - seg1[i];
      d2[i] = seg2[3 + i] - seg2[i];
      w[i] = seg2[i] - seg1[i];
    }
    // Segments in one plane z = const (the drawing layer's usual case) have d1 x d2 and both other cross products
    // along z, with the x and y components exactly 0: leaving them out gives the same values at a third of the
    // cost (a zero's sign may differ, and a foot at 0 is left to the full treatment anyway).
    if (seg1[2] == seg1[5] && seg2[2] == seg2[5] && seg1[2] == seg2[2]) {
      const double k = d1[0] * d2[1] - d1[1] * d2[0];
      a = d1[0] * d1[0] + d1[1] * d1[1];
      c = d2[0] * d2[0] + d2[1] * d2[1];
      den = k * k;
      sn = (w[0] * d2[1] - w[1] * d2[0]) * k;
      tn = (w[0] * d1[1] - w[1] * d1[0]) * k;
      return;
    }
    double nrm[3], wd1[3], wd2[3];
    cross3(d1, d2, nrm);
    cross3(w, d1, wd1);
    cross3(w, d2, wd2);
    a = dot3(d1, d1);
    c = dot3(d2, d2);
    den = dot3(nrm, nrm);
    sn = dot3(wd2, nrm);
    tn = dot3(wd1, nrm);
  }
};

// Two segments in general position, decided from the products of their edge vectors alone: they stand at a clear
// angle and the feet of the common perpendicular, after the same clamping as below, are settled at least a little
// away from the contact tolerance. False, with nothing written, for anything closer to a boundary (short or nearly
// parallel segments, a distance near the tolerance, non-finite products): the full treatment decides those.
bool general_position(const double *seg1, const double *seg2, double tol, int *n, double pts[6], double t1[2],
                      double t2[2]) {
  const Products g(seg1, seg2);
  const double *d1 = g.d1, *d2 = g.d2, a = g.a, c = g.c, den = g.den;
  constexpr double kShort = 1e6 * kGuard * kGuard;
  // An infinite offset w makes sn and tn infinite or NaN (each of its infinite components meets two components of
  // the other edge in the cross product), so one sum checks den, sn, tn and w.
  if (!(a > kShort && c > kShort && den > 1e-6 * a * c) || !std::isfinite(den + g.sn + g.tn)) return false;
  // A point of one segment within r of the other lies within r / sin of the crossing of the lines (seen along
  // their common normal), so the crossing lies within r (1 + 1 / sin) <= 2 r / sin of both segments. Farther
  // outside either one is a miss: with the feet s = sn / den and t = tn / den, beyond a by more than that is
  // (sn - clamped sn)^2 > 4 r^2 c den, beyond b (tn - clamped tn)^2 > 4 r^2 a den. Most pairs end here, before
  // any division; a bound that overflows leaves the pair to the tests below.
  const double beyond_a = g.sn < 0 ? -g.sn : g.sn - den, beyond_b = g.tn < 0 ? -g.tn : g.tn - den;
  const double reach = tol * 4 * den * (1 + 1e-6);
  // Both sides are evaluated: which of them settles it is as random as the pairs.
  if (((beyond_a > 0) & (beyond_a * beyond_a > reach * c)) | ((beyond_b > 0) & (beyond_b * beyond_b > reach * a)))
    return true;
  // Feet within a hair of an end would be clamped or not as rounding falls: left to the full treatment. Tested
  // before the division, scaled by den, which moves their boundaries by rounding only.
  constexpr double kHair = 1e-9;
  const double hair = kHair * den;
  const auto near_end_scaled = [den, hair](double x) { return std::fabs(x) < hair || std::fabs(x - den) < hair; };
  if (near_end_scaled(g.sn) || near_end_scaled(g.tn)) return false;
  const double inv = 1 / den;
  double s = g.sn * inv, t = g.tn * inv;
  const auto near_end = [](double x) { return std::fabs(x) < kHair || std::fabs(x - 1) < kHair; };
  if (s < 0 || s > 1 || t < 0 || t > 1) {
    s = std::clamp(s, 0.0, 1.0);
    const double p[3] = {seg1[0] + s * d1[0] - seg2[0], seg1[1] + s * d1[1] - seg2[1], seg1[2] + s * d1[2] - seg2[2]};
    t = dot3(p, d2) / c;
    if (near_end(t)) return false;
    t = std::clamp(t, 0.0, 1.0);
    const double q[3] = {seg2[0] + t * d2[0] - seg1[0], seg2[1] + t * d2[1] - seg1[1], seg2[2] + t * d2[2] - seg1[2]};
    s = dot3(q, d1) / a;
    if (near_end(s)) return false;
    s = std::clamp(s, 0.0, 1.0);
  }
  along(seg1, d1, s, pts);
  along(seg2, d2, t, pts + 3);
  const double gap = dist2(pts, pts + 3);
  if (!(std::fabs(gap - tol) > 1e-6 * tol + DBL_MIN)) return false;
  if (gap < tol) {
    midpoint(pts, pts + 3, pts);
    t1[0] = s;
    t2[0] = t;
    *n = 1;
  } else {
    // A miss leaves the feet and their distances along the segments, as the full treatment does.
    t1[0] = s * std::sqrt(a);
    t2[0] = t * std::sqrt(c);
  }
  return true;
}

bool finite(const double *seg1, const double *seg2) {
  // x - x is 0 for every finite x and NaN otherwise: one test for all twelve coordinates.
  double z = 0;
  for (int i = 0; i < 6; ++i) z += (seg1[i] - seg1[i]) + (seg2[i] - seg2[i]);
  return z == 0;
}

// Short, parallel and borderline pairs. Kept out of line so that the common case does not pay for its frame.
[[gnu::noinline]] void full_treatment(double seg1[6], double seg2[6], bool skip_parallel_test, Solver solve, int *n,
                                      double pts[6], double t1[2], double t2[2], int *rc) {
  if (!finite(seg1, seg2)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const Segment a(seg1), b(seg2);
  const double w[3] = {seg2[0] - seg1[0], seg2[1] - seg1[1], seg2[2] - seg1[2]};
  // Finite coordinates can still overflow in their differences.
  if (!std::isfinite(a.length) || !std::isfinite(b.length) || !BSallfinite(3, w)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const double tol = BStoltab[bstol::dist_sqtol];
  if (a.is_point()) {
    point_contact(a, b, tol, n, pts, t1, t2);
    return;
  }
  if (b.is_point()) {
    point_contact(b, a, tol, n, pts, t2, t1);
    return;
  }
  const double c = dot3(a.e, b.e);
  if (skip_parallel_test || std::fabs(c * c - 1) >= kGuard) {
    double m[6] = {a.e[0], -b.e[0], a.e[1], -b.e[1], a.e[2], -b.e[2]}, rhs[3] = {w[0], w[1], w[2]}, x[2];
    solve(rc, m, rhs, x);
    if (*rc == BSRC_ZERO_INTERVAL) {
      *rc = 0;  // dependent columns: parallel after all
    } else {
      if (*rc != 0) return;
      double s1 = x[0], s2 = x[1];
      // Clamping both distances on their own can leave the two feet further apart than the segments are (an end
      // within tolerance of a tilted segment would be missed): a clamped distance moves the other foot with it.
      if (s1 < 0 || s1 > a.length || s2 < 0 || s2 > b.length) {
        double p[3];
        s1 = std::clamp(s1, 0.0, a.length);
        along(a.o, a.e, s1, p);
        s2 = b.foot(p);
        along(b.o, b.e, s2, p);
        s1 = a.foot(p);
      }
      along(a.o, a.e, s1, pts);
      along(b.o, b.e, s2, pts + 3);
      t1[0] = s1;
      t2[0] = s2;
      if (dist2(pts, pts + 3) < tol) {
        midpoint(pts, pts + 3, pts);
        t1[0] = s1 / a.length;
        t2[0] = s2 / b.length;
        *n = 1;
      }
      return;
    }
  }
  overlap(seg1, seg2, a, b, tol, n, pts, t1, t2);
}

void intersect(double seg1[6], double seg2[6], bool skip_parallel_test, Solver solve, int *n, double pts[6],
               double t1[2], double t2[2], int *rc) {
  *n = 0;
  // Any coordinate that is not finite leaves den, sn or tn so too, which general_position refuses: the check of
  // all twelve can wait until it has (in the full treatment).
  if (!general_position(seg1, seg2, BStoltab[bstol::dist_sqtol], n, pts, t1, t2))
    full_treatment(seg1, seg2, skip_parallel_test, solve, n, pts, t1, t2, rc);
}

}  // namespace

void BSlnlnqr(int *rc, double a[6], double b[3], double x[2]) {
  *rc = BSallfinite(6, a) && BSallfinite(3, b) ? bslines::solve3x2(a, b, x) : BSRC_OUT_OF_RANGE;
  BSexit(rc, "BSlnlnqr", "bslnlnqr");
}

void BSlnlnqropt(int *rc, double a[6], double b[3], double x[2]) {
  *rc = BSallfinite(6, a) && BSallfinite(3, b) ? bslines::solve3x2(a, b, x) : BSRC_OUT_OF_RANGE;
  BSexit(rc, "BSlnlnqropt", "bslnlnqropt");
}

void BSxlnln(double seg1[6], double seg2[6], int *n, double pts[6], double t1[2], double t2[2], int *rc) {
  *rc = 0;
  if (n) *n = 0;
  if (!(seg1 && seg2 && n && pts && t1 && t2))
    *rc = BSRC_OUT_OF_RANGE;
  else
    intersect(seg1, seg2, false, BSlnlnqr, n, pts, t1, t2, rc);
  BSexit(rc, "BSxlnln", "bsxlnln");
}

void BSxlnlnopt(double seg1[6], double seg2[6], BSboolean skip_parallel_test, int *n, double pts[6], double t1[2],
                double t2[2], int *rc) {
  *rc = 0;
  if (n) *n = 0;
  if (!(seg1 && seg2 && n && pts && t1 && t2))
    *rc = BSRC_OUT_OF_RANGE;
  else
    intersect(seg1, seg2, skip_parallel_test != 0, BSlnlnqropt, n, pts, t1, t2, rc);
  BSexit(rc, "BSxlnlnopt", "bsxlnlnopt");
}
