// Cutting curves: the part between two parameters, the two parts at one parameter, one span, the pieces between
// C0 joints, and raw coefficient arrays at one knot. Every cut is knot insertion up to multiplicity k-1 followed
// by taking the poles on each side, so the pieces keep the shape and the parameters of the curve.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

using bsknots::cartesian_pole;
using bsknots::plain_view;
using bsknots::squared_distance;

int bsknots::piece_planarity(const VOQbsp_curve &piece, BSboolean test_planar, BSboolean *planar) {
  *planar = 0;
  if (!test_planar || piece.num_poles <= 2) return 0;
  int rc = 0;
  double normal[3];
  BStst_plan(piece.num_poles, piece.poles, piece.rational ? piece.weights : nullptr, planar, normal, &rc);
  // Too few distinct poles, or a zero weight: nothing to decide, the piece is simply not flagged planar.
  if (rc == BSRC_ZERO_WEIGHT || rc == BSRC_DEGENERATE) rc = 0;
  if (rc != 0) *planar = 0;
  return rc;
}

namespace {
bool ends_within(const VOQbsp_curve &cv, double sqtol, bool inclusive) {
  double a[3], b[3];
  cartesian_pole(cv, 0, a);
  cartesian_pole(cv, cv.num_poles - 1, b);
  // A piece that keeps an unclamped end of the curve does not end on its stored end pole: two stored poles that
  // meet would flag it closed and the closing would move its ends. The ends it really has decide.
  const int k = cv.order, n = cv.num_poles;
  if (cv.knots[0] != cv.knots[k - 1] || cv.knots[n] != cv.knots[n + k - 1]) {
    int rc = 0, brc = 0;
    double p[3], q[3];
    BScveval_n(&cv, cv.knots[k - 1], 0, p, &rc);
    BScveval_n(&cv, cv.knots[n], 0, q, &brc);
    if (rc == 0 && brc == 0)
      for (int c = 0; c < 3; ++c) a[c] = p[c], b[c] = q[c];
  }
  const double d = squared_distance(a, b);
  return inclusive ? d <= sqtol : d < sqtol;
}

// Arrays that a split allocated for the caller's records; handed back to the heap when the split fails, so that
// a failure leaves no block the caller does not know about.
struct OwnedArrays {
  VOQbsp_curve *cv = nullptr;
  double **slots[3] = {nullptr, nullptr, nullptr};

  bool provide(VOQbsp_curve *c, int n, int k, bool rational) {
    cv = c;
    double **want[3] = {&c->poles, &c->knots, rational ? &c->weights : nullptr};
    const int sizes[3] = {3 * n, n + k, n};
    for (int i = 0; i < 3; ++i) {
      if (!want[i] || *want[i]) continue;
      *want[i] = static_cast<double *>(BSdbgmalloc(8 * std::max(sizes[i], 1)));
      if (!*want[i]) return false;
      slots[i] = want[i];
    }
    return true;
  }
  void release() {
    for (double **&s : slots)
      if (s) {
        BSdbgfree(*s);
        *s = nullptr;
        s = nullptr;
      }
  }
};

void copy_poles(const VOQbsp_curve &from, int first, int count, VOQbsp_curve *to) {
  std::memmove(to->poles, from.poles + 3 * first, 3 * static_cast<std::size_t>(count) * sizeof(double));
  if (from.rational) std::memmove(to->weights, from.weights + first, static_cast<std::size_t>(count) * sizeof(double));
}
// The lengths of cv's first and second derivatives at u, as the parameter tolerance reads them; false where the
// evaluation fails.
bool speeds(const VOQbsp_curve &cv, double u, double *d1, double *d2) {
  double d[9];
  int erc = 0;
  BScveval_n(&cv, u, 2, d, &erc);
  if (erc != 0) return false;
  *d1 = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
  *d2 = std::sqrt(d[6] * d[6] + d[7] * d[7] + d[8] * d[8]);
  return true;
}
// The np poles of from starting at first, with their knots and the ends clamped, written into out as
// active_split writes a piece; the planar flag as piece_planarity gives it, its code to *rc.
void write_piece(const VOQbsp_curve &from, int first, int np, VOQbsp_curve *out, const BSboolean *test_planar,
                 int *rc) {
  const int k = from.order;
  copy_poles(from, first, np, out);
  std::memmove(out->knots, from.knots + first, static_cast<std::size_t>(np + k) * sizeof(double));
  for (int i = 0; i < k - 1; ++i) {
    out->knots[i] = out->knots[k - 1];
    out->knots[np + 1 + i] = out->knots[np];
  }
  out->order = from.order;
  out->num_poles = np;
  out->num_knots = np + k;
  out->periodic = 0;
  out->non_uniform = 1;
  out->num_boundaries = 0;
  out->rational = from.rational;
  if (!from.rational) out->weights = nullptr;
  // Judged on the points, not the weighted poles, as a split does.
  out->phy_closed = ends_within(*out, BStoltab[bstol::dist_tol] * BStoltab[bstol::dist_tol], false);
  *rc = bsknots::piece_planarity(*out, test_planar && *test_planar, &out->planar);
}
// The record of a part of cv, count poles long, as a split makes it, up to whether its ends meet; on_knot says
// whether the cut fell on one of cv's knots.
void describe_part(const VOQbsp_curve &cv, int count, bool on_knot, VOQbsp_curve *c) {
  c->order = cv.order;
  c->num_poles = count;
  c->num_knots = count + cv.order;
  c->rational = cv.rational;
  if (!cv.rational) c->weights = nullptr;
  c->periodic = 0;
  c->num_boundaries = 0;
  c->bdrys = nullptr;
  if (cv.non_uniform)
    c->non_uniform = c->order == c->num_poles ? 0 : 1;
  else
    c->non_uniform = on_knot ? 0 : 1;
  c->phy_closed = ends_within(*c, BStoltab[bstol::dist_sqtol], true);
}
// The nearest of the sorted knots [lo, hi) within tol of u (|u - t| < tol; of two as near, the lower), or u
// itself when none is: a cut on a knot stays there even where the tolerance reaches a neighbour. Only the knots
// either side of u can be nearest, so bisection finds them rather than a walk along the curve.
double nearest_knot_near(const double *lo, const double *hi, double u, double tol) {
  const double *t = std::lower_bound(lo, hi, u);
  double best = tol, to = u;
  if (t != lo && std::fabs(u - t[-1]) < best) best = std::fabs(u - t[-1]), to = t[-1];
  if (t != hi && std::fabs(u - *t) < best) to = *t;
  return to;
}

}  // namespace

// Where the speed exceeds the distance, BSlocknttol's first estimate is at most the distance over the speed, from
// the very derivative it reads, and it only halves that.
double bsknots::cut_tolerance_bound(const VOQbsp_curve &cv, double u) {
  double d1 = 0, d2 = 0;
  if (!speeds(cv, u, &d1, &d2)) return INFINITY;
  const double dist = BStoltab[bstol::dist_tol];
  if (!(d1 > dist)) return INFINITY;
  return std::fmax(dist / d1, BStoltab[bstol::zero_tol]);
}

namespace {

// The part of cv (checked, more than one span) between two of its joints, u1 < u2, where the cut is plain: each
// end is a knot of multiplicity order - 1 (or a clamped end of the curve, not both) and lies farther from the
// other and from the curve's ends than its cut tolerance. There the cut inserts no knot, snaps nothing and fails
// nowhere: the part holds the poles between the joints as they stand, and is written as active_split writes it.
// False, with nothing written, where the cut is not plain.
bool plain_cut(const VOQbsp_curve &cv, double u1, double u2, VOQbsp_curve *out, const BSboolean *test_planar,
               int *rc) {
  const int k = cv.order, n = cv.num_poles;
  const double *t = cv.knots;
  if (k < 2 || n <= k || !(u1 < u2)) return false;
  // p: the last index of u1's run, q: the first of u2's.
  const int p = static_cast<int>(std::upper_bound(t + k - 1, t + n + 1, u1) - t) - 1;
  const int q = static_cast<int>(std::lower_bound(t + k - 1, t + n + 1, u2) - t);
  if (p < k - 1 || q > n || t[p] != u1 || t[q] != u2 || q <= p) return false;
  const bool at_start = p == k - 1, at_end = q == n;
  if (at_start && at_end) return false;
  // Runs of exactly order - 1 inside, exactly order at a clamped end.
  for (int j = 1; j < k; ++j)
    if (t[p - j + (at_start ? 0 : 1)] != u1 || t[q + j - (at_end ? 0 : 1)] != u2) return false;
  if (at_start ? t[0] != u1 : t[p - k + 1] == u1) return false;
  if (at_end ? t[n + k - 1] != u2 : t[q + k - 1] == u2) return false;
  const double ta = bsknots::cut_tolerance_bound(cv, u1), tb = bsknots::cut_tolerance_bound(cv, u2);
  const double both = std::fmax(ta, tb);
  if (!(u2 - u1 >= both)) return false;
  if (!at_start && !(u1 - t[k - 1] >= ta)) return false;
  if (!at_end && !(t[n] - u2 >= tb)) return false;
  write_piece(cv, p - k + 1, q - (p - k + 1), out, test_planar, rc);
  return true;
}
}  // namespace

BSboolean BSactivsplt(int *rc, const VOQbsp_curve *cv_in, const double *u1, const double *u2, VOQbsp_curve *out,
                      const BSboolean *test_planar) {
  return bsknots::active_split(rc, cv_in, u1, u2, out, test_planar, false) ? BSTRUE : BSFALSE;
}

bool bsknots::active_split(int *rc, const VOQbsp_curve *cv_in, const double *u1, const double *u2,
                           VOQbsp_curve *out, const BSboolean *test_planar, bool checked, bool *one_point) {
  *rc = 0;
  bool point = false;  // refused as one point
  if (!cv_in || !out || !out->poles || !out->knots || (cv_in->rational && !out->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(*u1) || !std::isfinite(*u2) ||
             (!(checked && !bstest::slow_roads()) && BScvcheck(cv_in) != 0)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (const VOQbsp_curve plain = plain_view(*cv_in);
             !bstest::slow_roads() && plain_cut(plain, *u1, *u2, out, test_planar, rc)) {
    // Cut at two joints: the poles between them as they stand.
  } else {
    const VOQbsp_curve cv = plain;
    const int k = cv.order, n = cv.num_poles;
    const double *t = cv.knots;
    double t1 = 0, t2 = 0;
    BSlocknttol(&cv, *u1, BStoltab[bstol::dist_tol], &t1, rc);
    if (*rc == 0) BSlocknttol(&cv, *u2, BStoltab[bstol::dist_tol], &t2, rc);
    if (*rc == 0 && std::fabs(*u2 - *u1) < std::min(t1, t2)) {
      *rc = BSRC_OUT_OF_RANGE;
      point = true;
    }
    // Beside a jump the parameter tolerance shrinks to the distance from it, which can be less than the width
    // below which the evaluation refuses a span: a cut there would leave a piece that cannot be evaluated at that
    // end. So close to a knot, a cut is the knot.
    const double zero = BStoltab[bstol::zero_tol];
    double a = *u1, b = *u2, ta = std::fmax(t1, zero), tb = std::fmax(t2, zero);
    if (*rc == 0 && a > b) {
      std::swap(a, b);
      std::swap(ta, tb);
    }
    if (*rc == 0 && (a < t[k - 1] - ta || b > t[n] + tb)) *rc = BSRC_NOT_JOINED;
    if (*rc == 0) {
      const bool start = std::fabs(a - t[k - 1]) < ta, end = std::fabs(b - t[n]) < tb;
      if (start) a = t[k - 1];
      if (end) b = t[n];
      if (start && end) {
        if (BScv_copy(rc, &cv, out)) BScnvtomkt(rc, out);
      } else {
        if (!start) a = nearest_knot_near(t + k, t + n, a, ta);
        const double asked_b = b;
        if (!end) b = nearest_knot_near(t + k, t + n, b, tb);
        if (std::fabs(a - b) < std::min(ta, tb)) {
          *rc = BSRC_OUT_OF_RANGE;
          point = true;
        }
        // b is inserted after a, matching existing knots within its own tolerance: within it of a, it would
        // join a's knots and the piece would run to the span's far end. The two points are then one within the
        // distance tolerance, as parameters closer than their tolerance are. A caller that measures the piece
        // (one_point given) gets it where b has been snapped onto a knot: the insertion finds that knot itself,
        // and a within tb of the knot can lie up to twice tb from the parameter asked for, where the curve has
        // moved on.
        if (!start && !end && std::fabs(a - b) < tb && !(one_point && b != asked_b)) {
          *rc = BSRC_OUT_OF_RANGE;
          point = true;
        }
        const int free_ends = (start ? 0 : 1) + (end ? 0 : 1);
        // A piece inside a checked curve is cut from the stretch of the curve around [a, b] alone, so that cutting
        // a curve into all its pieces does not copy and shift the whole curve for each. The knot insertion reads
        // the curve no further from a cut than its parameter tolerance (BSlocknttol) reads it, which is its first
        // estimate from the speed and the turning at the cut, halved; a stretch reaching four times that estimate
        // past both cuts holds every span read, with the same poles and knots, so the piece comes out the same.
        // Where the speed clearly exceeds the distance the estimate is at most the distance over the speed, also
        // on the curve with the first cut inserted, whose speed at the second differs by roundings only; the
        // turning, which is mere rounding on a straight span, then lengthens nothing.
        VOQbsp_curve src = cv;
        if (checked && free_ends == 2 && !bstest::slow_roads()) {
          const auto reach = [&cv](double u) -> double {
            double d1 = 0, d2 = 0;
            if (!speeds(cv, u, &d1, &d2)) return INFINITY;
            const double dist = BStoltab[bstol::dist_tol];
            double r = 1e-10;
            if (d1 > 2 * dist) return 4 * std::fmax(r, dist / d1);
            if (d1 > dist) r = std::fmax(r, dist / d1);
            if (d2 > dist) r = std::fmax(r, std::sqrt(dist / (2 * d2)));
            return 4 * r;
          };
          int p0 = 0, p1 = n - 1;
          const int last_low = static_cast<int>(std::upper_bound(t + k - 1, t + n + 1, a - reach(a)) - t) - 1;
          if (last_low >= k - 1) p0 = last_low - (k - 1);
          const int first_high = static_cast<int>(std::lower_bound(t + k - 1, t + n + 1, b + reach(b)) - t);
          if (first_high <= n) p1 = first_high - 1;
          if (p1 - p0 + 1 > k) {
            src.poles = cv.poles + 3 * static_cast<std::size_t>(p0);
            if (cv.rational) src.weights = cv.weights + p0;
            src.knots = cv.knots + p0;
            src.num_poles = p1 - p0 + 1;
            src.num_knots = src.num_poles + k;
          }
        }
        bsknots::ScratchCurve work;
        if (*rc == 0 && !work.take(k, src.num_poles + (k - 1) * free_ends, cv.rational)) *rc = BSRC_NO_SCRATCH;
        VOQbsp_curve *w = &work.cv;
        if (*rc == 0) BScv_copy(rc, &src, w);
        // The work record is a copy of the checked curve: the insertions need not check it again.
        if (*rc == 0 && !start) {
          bsknots::KnotTolScope scope(ta);
          add_knot_total(w, a, k - 1, BSTRUE, &w, true, rc);
        }
        if (*rc == 0 && !end) {
          bsknots::KnotTolScope scope(tb);
          add_knot_total(w, b, k - 1, BSTRUE, &w, true, rc);
        }
        if (*rc == 0 && free_ends == 1) BScnvtmekt(start ? 0 : 1, w, rc);
        if (*rc == 0) {
          // First pole: k-1 before the span that starts at a; last pole: the span that ends at b.
          int after_a = k, before_b = -1;
          BSfndknotiv(w->order, w->num_poles, w->knots, a, &after_a, rc);
          if (*rc == 0) BSfndspan(rc, w, &w->num_poles, w->knots, &b, &before_b);
          const int first = after_a - k, last = before_b;
          if (*rc == 0 && (first < 0 || last - first + 1 < k)) *rc = BSRC_OUT_OF_RANGE;
          if (*rc == 0) {
            write_piece(*w, first, last - first + 1, out, test_planar, rc);
          }
        }
      }
    }
  }
  if (point && one_point) {
    *one_point = true;
    *rc = 0;
    return false;
  }
  BSexit(rc, "BSactivsplt", "bsactivsplt");
  return *rc == 0;
}

BSboolean BScvsplit(int *rc, const VOQbsp_curve *cv_in, const double *u, VOQbsp_curve *left, VOQbsp_curve *right,
                    const BSboolean *test_planar) {
  *rc = 0;
  OwnedArrays left_arrays, right_arrays;
  if (!cv_in || !left || !right) {
    *rc = BSRC_NULL_CURVE;
  } else if (!std::isfinite(*u) || BScvcheck(cv_in) != 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const int k = cv.order, n = cv.num_poles;
    const double *t = cv.knots;
    double ktol = 0;
    BScvkttol2(cv.order, t, n, cv.poles, cv.weights, &ktol, rc);
    double x = *u;
    bool on_knot = false;
    for (int i = k - 1; i <= n && *rc == 0; ++i)
      if (std::fabs(*u - t[i]) < ktol) {
        x = t[i];
        on_knot = true;
      }
    if (*rc != 0) {
    } else if (x <= t[k - 1] + ktol || x >= t[n] - ktol) {
      // At an end: one part is the whole curve, the other is empty.
      const bool at_start = x <= t[k - 1] + ktol;
      VOQbsp_curve *empty = at_start ? left : right, *whole = at_start ? right : left;
      OwnedArrays &whole_arrays = at_start ? right_arrays : left_arrays;
      empty->num_poles = 0;
      empty->order = cv.order;
      empty->rational = cv.rational;
      empty->num_boundaries = 0;
      if (!whole_arrays.provide(whole, n, k, cv.rational))
        *rc = BSRC_ALLOC_CURVE;
      else
        BScv_copy(rc, &cv, whole);
    } else {
      int s = -1;
      BSfndspan(rc, &cv, &n, t, &x, &s);
      const bool at_cut = *rc == 0 && s >= 0 && std::fabs(x - t[s + 1]) < ktol;
      int mult = 0, copies = 0;
      for (int i = k; i <= n - 1 && at_cut; ++i) {
        if (std::fabs(t[i] - t[s + 1]) < ktol) ++mult;
        if (i > s && t[i] == x) ++copies;
      }
      if (*rc == 0 && (s < 0 || mult >= k)) *rc = BSRC_OUT_OF_RANGE;
      const int r = std::max(k - 1 - copies, 0);
      bsknots::ScratchCurve work;
      if (*rc == 0 && !work.take(k, n + r, cv.rational)) *rc = BSRC_NO_SCRATCH;
      if (*rc == 0 && BScv_copy(rc, &cv, &work.cv))
        *rc = bsknots::boehm_insert(k, n, work.cv.poles, cv.rational ? work.cv.weights : nullptr, work.cv.knots,
                                    s + copies, copies, r, x);
      const int nl = s + 1, nr = n - s + r;
      if (*rc == 0 && (!left_arrays.provide(left, nl, k, cv.rational) ||
                       !right_arrays.provide(right, nr, k, cv.rational)))
        *rc = BSRC_ALLOC_CURVE;
      if (*rc == 0) {
        const VOQbsp_curve &w = work.cv;
        copy_poles(w, 0, nl, left);
        copy_poles(w, s, nr, right);
        std::memcpy(left->knots, w.knots, static_cast<std::size_t>(nl) * sizeof(double));
        for (int i = 0; i < k; ++i) left->knots[nl + i] = right->knots[i] = x;
        std::memcpy(right->knots + k, w.knots + s + k, static_cast<std::size_t>(nr) * sizeof(double));
        VOQbsp_curve *parts[2] = {left, right};
        const int counts[2] = {nl, nr};
        for (int p = 0; p < 2 && *rc == 0; ++p) {
          VOQbsp_curve *c = parts[p];
          describe_part(cv, counts[p], on_knot, c);
          if (c->phy_closed) BScvsetclsd(c, rc);
          if (*rc == 0) *rc = bsknots::piece_planarity(*c, test_planar && *test_planar, &c->planar);
        }
      }
    }
  }
  if (*rc != 0) {
    left_arrays.release();
    right_arrays.release();
  }
  BSexit(rc, "BScvsplit", "bscvsplit");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void bsknots::KnotTolRange::settle() {
  int rc = 0;
  BScvkttol2(cv.order, cv.knots, cv.num_poles, cv.poles, cv.rational ? cv.weights : nullptr, &lo, &rc);
  hi = lo;
  exact = true;
}

// The steps of BScvsplit, each decision of which is settled by the tolerance range, on the stretch in front of the
// cut alone: the knot insertion reads no pole past the span that ends at the cut and no knot past its k-th
// successor, so the stretch gives the same poles, and the rest beyond it is cv's own.
bool bsknots::split_front(const VOQbsp_curve &cv_in, double u, KnotTolRange &tol, VOQbsp_curve *left,
                          VOQbsp_curve *right, int *written) {
  if (bstest::slow_roads() || !std::isfinite(u) || !left || !left->poles || !left->knots || !right) return false;
  const VOQbsp_curve cv = plain_view(cv_in);
  if (cv.rational && !left->weights) return false;
  const int k = cv.order, n = cv.num_poles;
  const double *t = cv.knots;
  constexpr int kMaxOrder = 16;
  if (k < 2 || k > kMaxOrder || n <= k) return false;
  // The snap to a knot within the tolerance: u stays itself when the nearest knots either side of it are beyond.
  const double *eq_lo = std::lower_bound(t + k - 1, t + n + 1, u), *eq_hi = std::upper_bound(eq_lo, t + n + 1, u);
  if (eq_lo > t + k - 1 && tol.below(std::fabs(u - eq_lo[-1]))) return false;
  if (eq_hi < t + n + 1 && tol.below(std::fabs(u - *eq_hi))) return false;
  const double x = u;
  const bool on_knot = eq_lo < eq_hi;
  if (tol.decide([&](double tl) { return x <= t[k - 1] + tl || x >= t[n] - tl; })) return false;
  int s = -1, frc = 0;
  BSfndspan(&frc, &cv, &n, t, &x, &s);
  if (frc != 0 || s < 0 || s >= n) return false;
  int mult = 0, copies = 0;
  if (tol.below(std::fabs(x - t[s + 1]))) {
    // The interior knots within the tolerance of the cut's knot: those equal to it, the nearest others beyond.
    const double v = t[s + 1];
    const double *m_lo = std::lower_bound(t + k, t + n, v), *m_hi = std::upper_bound(m_lo, t + n, v);
    if (m_lo > t + k && tol.below(std::fabs(m_lo[-1] - v))) return false;
    if (m_hi < t + n && tol.below(std::fabs(*m_hi - v))) return false;
    mult = static_cast<int>(m_hi - m_lo);
    if (v == x)
      for (const double *q = std::max(m_lo, t + s + 1); q < m_hi; ++q) ++copies;
  }
  if (mult >= k) return false;
  const int r = std::max(k - 1 - copies, 0), nl = s + 1, nr = n - s + r;
  if (nl + r > kFrontRoom || s - r < 0) return false;
  // The stretch: poles 0 .. s and knots 0 .. s + k, with room for the r new ones.
  double wp[3 * kFrontRoom], ww[kFrontRoom], wk[kFrontRoom + kMaxOrder + 1];
  std::memcpy(wp, cv.poles, 3 * static_cast<std::size_t>(nl) * sizeof(double));
  if (cv.rational) std::memcpy(ww, cv.weights, static_cast<std::size_t>(nl) * sizeof(double));
  std::memcpy(wk, t, static_cast<std::size_t>(nl + k) * sizeof(double));
  if (boehm_insert(k, nl, wp, cv.rational ? ww : nullptr, wk, s + copies, copies, r, x) != 0) return false;

  // The front part, as BScvsplit makes it.
  VOQbsp_curve &l = *left;
  std::memcpy(l.poles, wp, 3 * static_cast<std::size_t>(nl) * sizeof(double));
  if (cv.rational) std::memcpy(l.weights, ww, static_cast<std::size_t>(nl) * sizeof(double));
  std::memcpy(l.knots, wk, static_cast<std::size_t>(nl) * sizeof(double));
  for (int i = 0; i < k; ++i) l.knots[nl + i] = x;

  // The rest over cv's arrays: its first r poles are new, the ones after them cv's from pole s on, its knots the
  // cut k times and then cv's past the cut's copies. The overwritten front is kept until the rest is known sound.
  const int at = s - r;
  double saved_p[3 * kMaxOrder], saved_w[kMaxOrder], saved_k[kMaxOrder];
  std::memcpy(saved_p, cv.poles + 3 * at, 3 * static_cast<std::size_t>(r) * sizeof(double));
  if (cv.rational) std::memcpy(saved_w, cv.weights + at, static_cast<std::size_t>(r) * sizeof(double));
  std::memcpy(saved_k, t + at, static_cast<std::size_t>(k) * sizeof(double));
  std::memcpy(cv.poles + 3 * at, wp + 3 * s, 3 * static_cast<std::size_t>(r) * sizeof(double));
  if (cv.rational) std::memcpy(cv.weights + at, ww + s, static_cast<std::size_t>(r) * sizeof(double));
  for (int i = 0; i < k; ++i) cv.knots[at + i] = x;
  VOQbsp_curve rest = cv;
  rest.poles = cv.poles + 3 * at;
  rest.knots = cv.knots + at;
  rest.weights = cv.rational ? cv.weights + at : nullptr;

  VOQbsp_curve *parts[2] = {&l, &rest};
  const int counts[2] = {nl, nr};
  int rc = 0;
  for (int p = 0; p < 2 && rc == 0; ++p) {
    VOQbsp_curve *c = parts[p];
    describe_part(cv, counts[p], on_knot, c);
    c->planar = 0;
    // A part that closes has its ends moved (and may fail doing so); the rest's would be moved over the arrays.
    if (c->phy_closed) rc = 1;
  }
  if (rc != 0) {
    std::memcpy(cv.poles + 3 * at, saved_p, 3 * static_cast<std::size_t>(r) * sizeof(double));
    if (cv.rational) std::memcpy(cv.weights + at, saved_w, static_cast<std::size_t>(r) * sizeof(double));
    std::memcpy(cv.knots + at, saved_k, static_cast<std::size_t>(k) * sizeof(double));
    return false;
  }
  *right = rest;
  *written = r;
  return true;
}

BSboolean BSextrcvspn(int *rc, const int *span, const VOQbsp_curve *cv, VOQbsp_curve *out,
                      const BSboolean *test_planar, const BSboolean *test_closed) {
  *rc = 0;
  if (!cv || !out || !out->poles || !out->knots || (cv->rational && !out->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (*span < cv->order - 1 || *span > cv->num_poles - 1) {
    // A span outside k-1 .. n-1 would read poles and knots that are not there.
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve in = plain_view(*cv);
    const int k = in.order, s = *span;
    out->order = in.order;
    out->periodic = 0;
    out->non_uniform = in.non_uniform;
    out->rational = in.rational;
    if (!in.rational) out->weights = nullptr;
    out->num_boundaries = 0;
    out->num_poles = k;
    out->num_knots = 2 * k;
    std::memmove(out->knots, in.knots + s - k + 1, 2 * static_cast<std::size_t>(k) * sizeof(double));
    copy_poles(in, s - k + 1, k, out);
    out->phy_closed = 0;
    if (test_closed && *test_closed) {
      BScvtstclsd(out, rc);
      if (*rc == 0 && out->phy_closed) BScvsetclsd(out, rc);
    }
    out->planar = 0;
    if (*rc == 0 && test_planar && *test_planar) {
      double normal[3];
      BStst_plan(k, out->poles, out->weights, &out->planar, normal, rc);
      if (*rc == BSRC_DEGENERATE) {
        *rc = 0;
        out->planar = 0;
      }
    }
  }
  BSexit(rc, "BSextrcvspn", "bsextrcvspn");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSspn_t_bz(int *rc, const int *span, const VOQbsp_curve *cv, VOQbsp_curve *out,
                     const BSboolean *test_planar, const BSboolean *test_closed) {
  *rc = 0;
  if (BSextrcvspn(rc, span, cv, out, test_planar, test_closed)) BScnvtomkt(rc, out);
  BSexit(rc, "BSspn_t_bz", "bsspn_t_bz");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSbreakcv(int *rc, const VOQbsp_curve *cv_in, int *num_pieces, VOQbsp_curve ***pieces,
                    const BSboolean *test_planar) {
  *rc = 0;
  *num_pieces = 0;
  *pieces = nullptr;
  if (!cv_in) {
    *rc = BSRC_NULL_CURVE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const int k = cv.order, n = cv.num_poles;
    int breaks = 0;
    BSscratch<100> param_work;
    double *params = nullptr;
    std::unique_ptr<int[]> indices;
    if (k < n) {
      double ktol = 0;
      BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.weights, &ktol, rc);
      params = param_work.take(static_cast<std::size_t>(cv.num_knots));
      indices.reset(new (std::nothrow) int[static_cast<std::size_t>(cv.num_knots)]);
      if (*rc == 0 && (!params || !indices)) *rc = BSRC_NO_SCRATCH;
      if (*rc == 0) BSfindmkts(rc, &cv.order, &n, cv.knots, &ktol, &breaks, params, indices.get());
    }
    VOQbsp_curve **list = nullptr;
    const int count = breaks + 1;
    if (*rc == 0) {
      list = static_cast<VOQbsp_curve **>(BSdbgcalloc(count, sizeof(VOQbsp_curve *)));
      if (!list) *rc = BSRC_ALLOC_CURVE;
    }
    // Each piece gets room for the knots between the breaks about it (a cut may snap onto a knot beside a break,
    // never past the next break) and its clamped ends: a record of the whole curve's size for each piece made the
    // break of a polyline cost the square of its length.
    for (int i = 0; i < count && *rc == 0; ++i) {
      int room = n;
      if (breaks > 0) {
        const double lo = i < 2 ? -INFINITY : params[i - 2], hi = i + 1 >= breaks ? INFINITY : params[i + 1];
        const long inside = std::upper_bound(cv.knots, cv.knots + cv.num_knots, hi) -
                            std::lower_bound(cv.knots, cv.knots + cv.num_knots, lo);
        room = static_cast<int>(std::min<long>(n, inside + 2L * k));
      }
      BSallocvoqcv(cv.order, room, cv.rational, 0, &list[i], rc);
    }
    if (*rc == 0 && breaks == 0) {
      BScv_copy(rc, &cv, list[0]);
    } else {
      // The curve is checked once here, not again for every piece (a failed check lets the first piece fail).
      const bool checked = *rc == 0 && !bstest::slow_roads() && BScvcheck(&cv) == 0;
      for (int i = 0; i < count && *rc == 0; ++i) {
        const double lo = i == 0 ? cv.knots[k - 1] : params[i - 1];
        const double hi = i == breaks ? cv.knots[n] : params[i];
        if (bsknots::active_split(rc, &cv, &lo, &hi, list[i], test_planar, checked)) BScvtstclsd(list[i], rc);
      }
    }
    if (*rc == 0) {
      *num_pieces = count;
      *pieces = list;
    } else if (list) {
      // A failed break hands nothing out: the caller could not tell which pieces are valid.
      for (int i = 0; i < count; ++i)
        if (list[i]) {
          int ignored = 0;
          BSfreevoqcv(list[i], &ignored);
        }
      BSdbgfree(list);
    }
  }
  BSexit(rc, "BSbreakcv", "bsbreakcv");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSinsktdeg(int dim, int degree, int num_poles, const double *poles, const double *knots, int knot_index,
                int *new_num_poles, double *new_poles, double *new_knots, int *rc) {
  *rc = 0;
  *new_num_poles = num_poles;
  const int last = degree + num_poles;
  if (knot_index < 0 || knot_index > last || knots[knot_index] < knots[0] || knots[knot_index] > knots[last]) {
    *rc = BSRC_KNOT_OUTSIDE;
  } else {
    const double v = knots[knot_index];
    int existing = 0;
    for (int i = knot_index; i <= last && knots[i] == v; ++i) ++existing;
    const int ins = std::max(degree - existing, 0);
    BSscratch<32> copies;
    double *list = copies.take(static_cast<std::size_t>(std::max(ins, 1)));
    if (!list) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      for (int i = 0; i < ins; ++i) list[i] = v;
      BSinsertmkt(degree + 1, dim, num_poles, poles, knots, ins, list, new_poles, new_knots, rc);
      if (*rc == 0) *new_num_poles = num_poles + ins;
    }
  }
  BSexit(rc, "BSinsktdeg", "bsinsktdeg");
}

void BShlfbspcv(int dim, int degree, int num_poles, const double *poles, const double *knots, int knot_index,
                int *num_poles1, double *poles1, double *knots1, int *num_poles2, double *poles2, double *knots2,
                int *rc) {
  *rc = 0;
  *num_poles1 = *num_poles2 = 0;
  const std::size_t need = static_cast<std::size_t>(degree + num_poles) * dim + 2 * degree + num_poles + 1;
  BSscratch<5200> work;
  double *buf = work.take(need);
  int cut = knot_index;
  if (!buf) {
    *rc = BSRC_NO_SCRATCH;
  } else if (cut < 0 || cut > degree + num_poles) {
    *rc = BSRC_KNOT_OUTSIDE;
  } else {
    while (cut > 0 && knots[cut - 1] == knots[cut]) --cut;
    double *new_poles = buf, *new_knots = buf + static_cast<std::size_t>(degree + num_poles) * dim;
    int nn = 0;
    BSinsktdeg(dim, degree, num_poles, poles, knots, cut, &nn, new_poles, new_knots, rc);
    if (*rc == 0 && (cut < 1 || cut > nn)) *rc = BSRC_KNOT_OUTSIDE;
    if (*rc == 0) {
      const int n1 = cut, n2 = nn - cut + 1;
      const double v = knots[cut];
      for (int c = 0; c < dim; ++c) {
        std::memcpy(poles1 + static_cast<std::size_t>(c) * n1, new_poles + static_cast<std::size_t>(c) * nn,
                    static_cast<std::size_t>(n1) * sizeof(double));
        std::memcpy(poles2 + static_cast<std::size_t>(c) * n2, new_poles + static_cast<std::size_t>(c) * nn + cut - 1,
                    static_cast<std::size_t>(n2) * sizeof(double));
      }
      std::memcpy(knots1, new_knots, static_cast<std::size_t>(n1) * sizeof(double));
      for (int i = 0; i <= degree; ++i) knots1[n1 + i] = knots2[i] = v;
      std::memcpy(knots2 + degree + 1, new_knots + cut + degree, static_cast<std::size_t>(n2) * sizeof(double));
      *num_poles1 = n1;
      *num_poles2 = n2;
    }
  }
  BSexit(rc, "BShlfbspcv", "bshlfbspcv");
}
