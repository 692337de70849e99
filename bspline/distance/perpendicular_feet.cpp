// The foot of the perpendicular from a point to a curve, span by span: each span becomes a Bezier polynomial on
// [0, 1], perpendicularity a polynomial equation in Bernstein form, and spans are solved nearest box first so that
// far spans cost nothing.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "bspline/core/even_weights_internal.h"
#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/distance/feet_internal.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr int kLocalSpans = 85;
constexpr int kLocalCoefs = 100;
// Halvings of a span before a stretch where the equation cannot be told from 0 counts as one root: 2^-40 of it.
constexpr int kDepth = 40;
constexpr double kFootRounding = 4;  // roundings of a parameter mapped from a span's [0, 1]

// The span equation is of the third degree in the weights: weights that lie 2^256 or more from 1 (all of them, as
// a record whose weights share one scale: its curve is that of the weights brought about 1) overflow it or
// underflow it to nothing. Such a span's k coefficients (four doubles each, the weight last) are scaled by the
// power of two that brings the largest weight about 1, which keeps every digit and the roots; `first` more
// doubles after them (a Bezier span's origin) are copied as they are. Returns the coefficients to solve.
const double *weights_about_one(int k, const double *coef, int first, double *room) {
  double top = 0;
  for (int j = 0; j < k; ++j) top = std::fmax(top, std::fabs(coef[4 * j + 3]));
  int e = 0;
  if (!(top > 0) || !std::isfinite(top)) return coef;
  std::frexp(top, &e);
  if (std::abs(e) < 256) return coef;
  for (int m = 0; m < 4 * k; ++m) {
    room[m] = std::ldexp(coef[m], -e);
    if (!std::isfinite(room[m]) || (coef[m] != 0 && std::fabs(coef[m]) >= DBL_MIN && !(std::fabs(room[m]) >= DBL_MIN)))
      return coef;
  }
  for (int m = 4 * k; m < 4 * k + first; ++m) room[m] = coef[m];
  return room;
}

// The Cartesian point of a span (its Bezier poles and their origin) at s: Horner's scheme in s / (1 - s) from the
// nearer end, the common factor (1 - s)^d or s^d cancelling in the division by w.
void span_point(int k, const double *bez, double s, double p[3]) {
  const int d = k - 1;
  const bool low = s <= 0.5;
  const double x = low ? s / (1 - s) : (1 - s) / s;
  double h[4] = {0, 0, 0, 0}, c = 1;  // c = C(d, j)
  for (int j = d; j >= 0; --j) {
    const double *b = bez + 4 * (low ? j : d - j);
    for (int m = 0; m < 4; ++m) h[m] = h[m] * x + c * b[m];
    c = c * j / (d - j + 1);
  }
  for (int m = 0; m < 3; ++m) p[m] = h[m] / h[3] + bez[4 * k + m];
}

// The Cartesian point of a span polynomial (k coefficients of x, y, z, w in powers of s) at s.
void power_point(int k, const double *coef, double s, double p[3]) {
  double h[4] = {0, 0, 0, 0};
  for (int j = k - 1; j >= 0; --j)
    for (int c = 0; c < 4; ++c) h[c] = h[c] * s + coef[4 * j + c];
  for (int c = 0; c < 3; ++c) p[c] = h[c] / h[3];
}

// A span's form (power coefficients, or Bezier poles and origin) and the routines that read it.
struct SpanForm {
  void (*point)(int k, const double *form, double s, double p[3]);
  BSboolean (*roots)(int *rc, const std::int16_t *order, const double *form, const double pt[3], int *nroots,
                     double *roots);
};

double sq_dist(const double a[3], const double b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

double norm1(const double v[3]) { return std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]); }

// The root whose span point lies nearest to pt_dist; ties keep the first.
double nearest_root(const SpanForm &form, int k, const double *coef, const double pt_dist[3], int count,
                    const double *roots) {
  double best = roots[0], best_sq = std::numeric_limits<double>::infinity();
  for (int i = 0; i < count; ++i) {
    double p[3];
    form.point(k, coef, roots[i], p);
    const double d = sq_dist(p, pt_dist);
    if (d < best_sq) {
      best_sq = d;
      best = roots[i];
    }
  }
  return best;
}

// A Bernstein polynomial c[0..n] (n >= 1) on [0, 1] at t, and its derivative (tri: n + 1 doubles of room).
double bernstein_at(int n, const double *c, double t, double *tri, double *slope) {
  for (int i = 0; i <= n; ++i) tri[i] = c[i];
  for (int r = 1; r < n; ++r)
    for (int i = 0; i <= n - r; ++i) tri[i] = (1 - t) * tri[i] + t * tri[i + 1];
  *slope = n * (tri[1] - tri[0]);
  return (1 - t) * tri[0] + t * tri[1];
}

// C(n, 0..n) into row, exact while they fit in 53 bits.
void binomial_row(int n, double *row) {
  row[0] = 1;
  for (int j = 0; j < n; ++j) row[j + 1] = row[j] * (n - j) / (j + 1);
}

// The halves of m consecutive Bernstein polynomials of degree n (blocks of n + 1) by de Casteljau at 1/2; right
// may be c.
void halve(int n, int m, const double *c, double *left, double *right) {
  for (int b = 0; b < m; ++b) {
    const double *in = c + b * (n + 1);
    double *l = left + b * (n + 1), *r = right + b * (n + 1);
    if (r != in)
      for (int i = 0; i <= n; ++i) r[i] = in[i];
    l[0] = r[0];
    for (int k = 1; k <= n; ++k) {
      for (int i = 0; i <= n - k; ++i) r[i] = 0.5 * (r[i] + r[i + 1]);
      l[k] = r[0];
    }
  }
}

// The perpendicular equation of a span in Bernstein form, with the size of its rounding per coefficient: f[0..n]
// then err[0..n]. t takes the tangent's numerator and its size (8 (k - 1) doubles), row the binomials of degrees
// d, d - 1, nt and n (7 k doubles). Answers the degree n.
int form_equation(int k, const double *bez, const double pt[3], double *f, double *t, double *row) {
  const int d = k - 1;
  bool poly = true;
  for (int j = 1; j < k && poly; ++j) poly = bez[4 * j + 3] == bez[3];
  // The numerator of the tangent, X' w - X w', in degree nt; with one weight throughout it is w X'.
  const int nt = poly ? d - 1 : 2 * d - 1, n = d + nt;
  double *mt = t + 3 * (nt + 1), *cd = row, *cd1 = cd + d + 1, *cnt = cd1 + d, *cn = cnt + nt + 1;
  binomial_row(d, cd), binomial_row(d - 1, cd1), binomial_row(nt, cnt), binomial_row(n, cn);
  const double *origin = bez + 4 * k, rel[3] = {pt[0] - origin[0], pt[1] - origin[1], pt[2] - origin[2]};
  const double pt1 = norm1(rel);
  for (int m = 0; m <= nt; ++m) {
    for (int c = 0; c < 3; ++c) t[3 * m + c] = 0;
    mt[m] = 0;
  }
  if (poly) {
    for (int i = 0; i < d; ++i) {
      const double *x0 = bez + 4 * i, *x1 = x0 + 4;
      for (int c = 0; c < 3; ++c) t[3 * i + c] = d * (x1[c] - x0[c]);
      mt[i] = d * (norm1(x0) + norm1(x1));
    }
  } else {
    for (int i = 0; i < d; ++i)
      for (int j = 0; j <= d; ++j) {
        const double *x0 = bez + 4 * i, *x1 = x0 + 4, *xj = bez + 4 * j;
        const double w = d * cd1[i] * cd[j] / cnt[i + j], dw = x1[3] - x0[3];
        for (int c = 0; c < 3; ++c) t[3 * (i + j) + c] += w * ((x1[c] - x0[c]) * xj[3] - dw * xj[c]);
        mt[i + j] += w * ((norm1(x0) + norm1(x1)) * std::fabs(xj[3]) +
                          (std::fabs(x0[3]) + std::fabs(x1[3])) * norm1(xj));
      }
  }
  double *err = f + n + 1;
  for (int m = 0; m <= n; ++m) f[m] = err[m] = 0;
  // The rounding of the poles (de Boor's recurrence) and of the products, to first order: a few units of the
  // sizes that meet in each term. Not the worst case, which grows with the levels and the terms: that bound
  // would drown the slope of a span creeping past the point at a few units of its poles' size, whose feet the
  // curve itself still shows.
  const double gamma = 4 * std::numeric_limits<double>::epsilon();
  for (int i = 0; i <= d; ++i) {
    const double *x = bez + 4 * i;
    double a[3];
    for (int c = 0; c < 3; ++c) a[c] = x[c] - x[3] * rel[c];
    const double ma = norm1(x) + std::fabs(x[3]) * pt1, a1 = norm1(a);
    for (int j = 0; j <= nt; ++j) {
      const double w = cd[i] * cnt[j] / cn[i + j];
      f[i + j] += w * (a[0] * t[3 * j] + a[1] * t[3 * j + 1] + a[2] * t[3 * j + 2]);
      err[i + j] += gamma * w * (a1 * mt[j] + ma * norm1(t + 3 * j));
    }
  }
  return n;
}

}  // namespace

BSboolean BScbzpr(int *rc, const std::int16_t *order, const double *bez, double *coef) {
  *rc = 0;
  const int k = *order;
  if (k < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // a_j = C(d, j) sum_i (-1)^(j-i) C(j, i) b_i; the binomials are built row by row to stay exact.
    const int d = k - 1;
    double cdj = 1;
    for (int j = 0; j <= d; ++j) {
      double acc[4] = {0, 0, 0, 0}, cji = 1;
      for (int i = 0; i <= j; ++i) {
        const double sgn = ((j - i) & 1) ? -cji : cji;
        for (int c = 0; c < 4; ++c) acc[c] += sgn * bez[4 * i + c];
        cji = cji * (j - i) / (i + 1);
      }
      for (int c = 0; c < 4; ++c) coef[4 * j + c] = cdj * acc[c];
      cdj = cdj * (d - j) / (j + 1);
    }
  }
  BSexit(rc, "BScbzpr", "bscbzpr");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

namespace {

// The span's Bezier poles into bez (4 k doubles), and with from_start the span's start after them (3 more) as
// the origin they are taken from; the checks and the skip rule of BSspnpow01.
// known_ktol: the curve's knot tolerance where the caller holds it (it costs a pass over the poles, once per curve
// and not per span), or NULL.
void span_poles(int *rc, const VOQbsp_curve *cv, int i, BSboolean *skip, std::int16_t *order_out, double *bez,
                bool from_start, const double *known_ktol) {
  *rc = 0;
  const int k = cv->order, n = cv->num_poles;
  if (k < 2 || i < k - 1 || i > n - 1) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  double ktol = known_ktol ? *known_ktol : 0;
  const double *t = cv->knots;
  if (!known_ktol) BScvkttol2(cv->order, t, n, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
  if (*rc != 0) return;
  if (!(t[i + 1] - t[i] >= ktol)) {
    *skip = BSTRUE;
    return;
  }
  *skip = BSFALSE;
  // Bezier pole j is the blossom at (t_i repeated d - j times, t_i+1 repeated j times): de Boor's recurrence with
  // those arguments in turn, on the homogeneous poles. Without weights w stays exactly 1, which tells the span
  // equation that the curve is polynomial.
  // Poles taken from the span's start keep the digits of a span that barely moves (differences of poles near
  // one place are exact).
  const int d = k - 1, dims = cv->rational ? 4 : 3;
  BSscratch<4 * 16> work;
  double *q = work.take(4 * static_cast<std::size_t>(k));
  if (!q) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  // The first pass (from j = -1) finds the span's start with the origin at 0, which becomes the origin.
  double zero[3] = {0, 0, 0}, *origin = from_start ? bez + 4 * k : zero;
  for (int c = 0; c < 3; ++c) origin[c] = 0;
  for (int j = from_start ? -1 : 0; j <= d; ++j) {
    for (int m = 0; m <= d; ++m) {
      const int p = i - d + m;
      const double w = cv->rational ? cv->weights[p] : 1.0;
      for (int c = 0; c < 3; ++c) q[4 * m + c] = cv->poles[3 * p + c] - w * origin[c];
      q[4 * m + 3] = w;
    }
    for (int r = 1; r <= d; ++r) {
      const double arg = r <= d - std::max(j, 0) ? t[i] : t[i + 1];
      for (int m = d; m >= r; --m) {
        const int p = i - d + m;
        const double a = (arg - t[p]) / (t[p + d - r + 1] - t[p]);
        for (int c = 0; c < dims; ++c) q[4 * m + c] = (1 - a) * q[4 * (m - 1) + c] + a * q[4 * m + c];
      }
    }
    if (j < 0) {
      for (int c = 0; c < 3; ++c) origin[c] = q[4 * d + c] / q[4 * d + 3];
    } else {
      for (int c = 0; c < 4; ++c) bez[4 * j + c] = q[4 * d + c];
    }
  }
  *order_out = static_cast<std::int16_t>(k);
}

}  // namespace

BSboolean BSspnpow01(int *rc, const VOQbsp_curve *cv, const int *span, BSboolean *skip, std::int16_t *order_out,
                     double *coef) {
  BSscratch<4 * 16> bezier;
  double *bez = bezier.take(4 * static_cast<std::size_t>(cv->order > 0 ? cv->order : 0));
  if (!bez) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    span_poles(rc, cv, *span, skip, order_out, bez, false, nullptr);
    if (*rc == 0 && !*skip) BScbzpr(rc, order_out, bez, coef);
  }
  BSexit(rc, "BSspnpow01", "bsspnpow01");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean bsfeet::span_bezier(int *rc, const VOQbsp_curve *cv, const int *span, BSboolean *skip,
                              std::int16_t *order_out, double *bez, const double *knot_tol) {
  span_poles(rc, cv, *span, skip, order_out, bez, true, knot_tol);
  BSexit(rc, "BSspnpow01", "bsspnpow01");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScvspndst(const VOQbsp_curve *cv, const double pt[3], int count, const int *spans, double *dist, int *rc) {
  *rc = 0;
  const int k = cv->order;
  for (int s = 0; s < count && *rc == 0; ++s) {
    const int first = spans[s] - k + 1;
    double lo[3], hi[3];
    BSpolesbox(rc, &k, cv->poles + 3 * first, cv->rational ? cv->weights + first : nullptr, lo, hi);
    if (*rc == 0) BSbx3(rc, pt, lo, hi, &dist[s]);
  }
  BSexit(rc, "BScvspndst", "bscvspndst");
}

namespace {

// The roots of a span whose weights lie within a plain spread of each other (or that is not rational).
void plain_roots(int *rc, const std::int16_t *order, const double *bez, const double pt[3], int *nroots,
                 double *roots) {
  *rc = 0;
  *nroots = 0;
  const int k = *order;
  if (k < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // (X - w pt) . (X' w - X w') = 0: the vector to the point against the numerator of the rational tangent, in
    // Bernstein form, where every coefficient carries its own rounding. In powers of s a span whose poles crowd
    // together (the curve crawling to a stop) cancels most of its digits and spreads a multiple root far and
    // wide; here the coefficients beside such a root are small, and so is their rounding.
    const int d = k - 1, cap = 3 * d - 1, slot = 2 * (cap + 1) + 2;
    BSscratch<1024> room;
    // The last 4 k + 3: the span with its weights brought about 1, where they lie far from it.
    double *t = room.take(8 * static_cast<std::size_t>(d) + 7 * static_cast<std::size_t>(k) +
                          (kDepth + 3) * static_cast<std::size_t>(slot) + cap + 1 +
                          (4 * static_cast<std::size_t>(k) + 3));
    if (!t) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *row = t + 8 * d, *stack = row + 7 * k, *tri = stack + (kDepth + 3) * slot;
      bez = weights_about_one(k, bez, 3, tri + cap + 1);
      // A stack entry: the interval [lo, hi] of the span, then the equation and its rounding on it.
      const int n = form_equation(k, bez, pt, stack + 2, t, row);
      stack[0] = 0, stack[1] = 1;
      // Only rounding tells the equation from 0: every point is a foot (an arc about pt, a curve standing
      // still). A cut of small coefficients would also take the spans of a small curve near pt for that.
      bool finite = true, noise = true;
      for (int m = 0; m <= n; ++m) {
        const double c = stack[2 + m], e = stack[3 + n + m];
        finite = finite && std::isfinite(c) && std::isfinite(e);
        noise = noise && !(std::fabs(c) > e);
      }
      if (!finite) {
        *rc = BSRC_OUT_OF_RANGE;
      } else if (noise) {
        *nroots = -1;
      } else {
        int count = 0, top = 1;
        // The last root found where the equation could not be told from 0, and the stretch it stands for: the
        // next such stretch that touches it is the same root.
        bool spread_last = false;
        double spread_lo = 0, spread_hi = 0;
        auto emit = [&](double r, double lo, double hi, bool spread) {
          if (spread && spread_last && count > 0 && lo <= spread_hi) {
            spread_hi = hi;
            roots[count - 1] = spread_lo == 0 ? 0 : hi == 1 ? 1 : 0.5 * (spread_lo + hi);
            return;
          }
          // A root on the line between two halves is found from both.
          if (count > 0 && r - roots[count - 1] <= std::ldexp(1.0, -kDepth)) return;
          if (count == cap) return;
          roots[count++] = r;
          spread_last = spread, spread_lo = lo, spread_hi = hi;
        };
        while (top > 0 && count < cap) {
          double *e = stack + (top - 1) * slot, *f = e + 2, *err = f + n + 1;
          const double lo = e[0], hi = e[1];
          --top;
          // Signs that hold beyond rounding: 1, -1, or 0 for a coefficient that could be either.
          auto sign = [&](int m) { return f[m] > err[m] ? 1 : f[m] < -err[m] ? -1 : 0; };
          bool pos = false, neg = false, any = false;
          for (int m = 0; m <= n; ++m) {
            const int sg = sign(m);
            pos = pos || sg >= 0, neg = neg || sg <= 0, any = any || sg != 0;
          }
          if (!pos || !neg) continue;  // one sign throughout: no root
          if (!any) {
            emit(lo == 0 ? 0 : hi == 1 ? 1 : 0.5 * (lo + hi), lo, hi, true);
            continue;
          }
          // One change of sign for certain: the ends apart, each side of it of one sign without doubt.
          const int s0 = sign(0), s1 = sign(n);
          int last0 = -1, first1 = n + 1;
          for (int m = 0; m <= n; ++m)
            if (sign(m) == s0) last0 = m;
          for (int m = n; m >= 0; --m)
            if (sign(m) == s1) first1 = m;
          bool single = s0 != 0 && s1 == -s0 && last0 < first1;
          for (int m = 0; m <= last0 && single; ++m) single = sign(m) == s0;
          for (int m = first1; m <= n && single; ++m) single = sign(m) == s1;
          if (single) {
            // Newton's steps kept inside the bracket (halving it where one would leave), stopping where the value
            // is within its rounding or the bracket cannot shrink.
            double top_err = 0;
            for (int m = 0; m <= n; ++m) top_err = std::fmax(top_err, err[m]);
            double a = 0, b = 1, r = f[0] / (f[0] - f[n]), slope = 0, unused = 0;
            for (int it = 0; it < 100; ++it) {
              const double fr = bernstein_at(n, f, r, tri, &slope);
              if (fr == 0 || (std::fabs(fr) <= top_err && std::fabs(fr) <= bernstein_at(n, err, r, tri, &unused)))
                break;
              ((fr > 0) == (f[0] > 0) ? a : b) = r;
              double next = r - fr / slope;
              if (!(next > a && next < b)) next = 0.5 * (a + b);
              // A step this short leaves a simple root to rounding once taken.
              const bool settled = std::fabs(next - r) <= 1e-13;
              r = next;
              if (settled || (b - a) * (hi - lo) <= 1e-16) break;
            }
            emit(lo + r * (hi - lo), lo, hi, false);
            continue;
          }
          if (top + 2 > kDepth + 3 || (hi - lo) <= std::ldexp(1.0, -kDepth)) {
            emit(lo == 0 ? 0 : hi == 1 ? 1 : 0.5 * (lo + hi), lo, hi, true);
            continue;
          }
          // The right half stays in place, the left goes above it to be searched first.
          // The halving rounds too, a few units of each coefficient per level.
          for (int m = 0; m <= n; ++m) err[m] += 4 * n * std::numeric_limits<double>::epsilon() * std::fabs(f[m]);
          double *left = e + slot;
          halve(n, 2, f, left + 2, f);
          left[0] = lo, left[1] = e[0] = 0.5 * (lo + hi);
          top += 2;
        }
        *nroots = count;
      }
    }
  }
}

// A span whose weights lie far apart (bspline/core/even_weights_internal.h): with an end weight of 1e-13 the curve
// runs through most of its length within the last 1e-11 of the parameter, below the halvings that tell roots apart,
// and a foot there came out as the middle of a stretch that holds half the curve. The span is cut where its evened
// parameter halves until the parts, evened, are plain spans; each part's roots map back to the span's parameter.
struct UnevenFeet final : bseven::Parts {
  // Answered by a part where every point is a foot: the descent stops and the span is taken whole instead.
  static constexpr int kEveryPoint = 1;
  int k;
  const double *origin, *pt;
  double *roots;
  int cap, count = 0;

  UnevenFeet(int k, const double *origin, const double *pt, double *roots, int cap)
      : k(k), origin(origin), pt(pt), roots(roots), cap(cap) {}

  int part(const double *cm, double a, double b, const double *l, int e) override {
    double evened[4 * 16], bez[4 * 16 + 3], found[3 * 16];
    const bool scaled = bseven::even_out(k - 1, 3, cm, l, e, evened);
    const double *use = scaled ? evened : cm;
    for (int j = 0; j < k; ++j)
      for (int c = 0; c < 4; ++c) bez[4 * j + c] = use[c * k + j];
    for (int c = 0; c < 3; ++c) bez[4 * k + c] = origin[c];
    const std::int16_t order = static_cast<std::int16_t>(k);
    int rc = 0, n = 0;
    plain_roots(&rc, &order, bez, pt, &n, found);
    if (rc != 0) return rc;
    if (n < 0) return kEveryPoint;
    for (int i = 0; i < n && count < cap; ++i) {
      const double r = bseven::unevened(found[i], scaled ? e : 0, a, b);
      // A root on a cut is found from both parts.
      if (count == 0 || r > roots[count - 1]) roots[count++] = r;
    }
    return 0;
  }
};

}  // namespace

bool bsfeet::weights_far_apart(int k, const double *bez, double *by_component) {
  if (k < 2 || k > 16) return false;
  double room[4 * 16], *cm = by_component ? by_component : room;
  for (int j = 0; j < k; ++j)
    for (int c = 0; c < 4; ++c) cm[c * k + j] = bez[4 * j + c];
  return bseven::uneven(k - 1, 3, cm);
}

BSboolean bsfeet::span_roots(int *rc, const std::int16_t *order, const double *bez, const double pt[3], int *nroots,
                             double *roots) {
  *rc = 0;
  *nroots = 0;
  const int k = *order;
  double cm[4 * 16];
  bool uneven = weights_far_apart(k, bez, cm);
  if (uneven) {
    UnevenFeet feet(k, bez + 4 * k, pt, roots, 3 * (k - 1) - 1);
    if (bseven::descend(k - 1, 4, cm, 0, 1, feet) == 0) {
      *nroots = feet.count;
    } else {
      uneven = false;
    }
  }
  if (!uneven) plain_roots(rc, order, bez, pt, nroots, roots);
  BSexit(rc, "BSperpr", "bsperpr");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSperpr(int *rc, const std::int16_t *order, const double *coef, const double pt[3], int *nroots,
                  double *roots) {
  *rc = 0;
  *nroots = 0;
  const int k = *order;
  if (k < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // (X - w pt) . (X' w - X w') = 0: the vector to the point against the numerator of the rational tangent.
    // A has degree d, B 2d - 1 as formed (its top term cancels), so the product has 3d coefficients.
    const int d = k - 1, nb = 2 * d, nf = 3 * d;
    BSscratch<kLocalCoefs> room;
    double *a = room.take(3 * static_cast<std::size_t>(k) + 3 * static_cast<std::size_t>(nb) + nf +
                          4 * static_cast<std::size_t>(k));
    if (!a) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      double *b = a + 3 * k, *f = b + 3 * nb;
      coef = weights_about_one(k, coef, 0, f + nf);
      for (int j = 0; j < k; ++j)
        for (int c = 0; c < 3; ++c) a[3 * j + c] = coef[4 * j + c] - coef[4 * j + 3] * pt[c];
      for (int m = 0; m < 3 * nb; ++m) b[m] = 0;
      for (int i = 1; i < k; ++i)
        for (int j = 0; j < k; ++j)
          for (int c = 0; c < 3; ++c)
            b[3 * (i - 1 + j) + c] += i * (coef[4 * i + c] * coef[4 * j + 3] - coef[4 * j + c] * coef[4 * i + 3]);
      for (int m = 0; m < nf; ++m) f[m] = 0;
      for (int i = 0; i < k; ++i)
        for (int j = 0; j < nb; ++j)
          for (int c = 0; c < 3; ++c) f[i + j] += a[3 * i + c] * b[3 * j + c];
      const std::int16_t deg = static_cast<std::int16_t>(nf - 1);
      const double lo = 0, hi = 1;
      std::uint16_t count = 0;
      BSpoly3(rc, &deg, f, &lo, &hi, &count, roots);
      if (*rc == 0) *nroots = count == 65535 ? -1 : count;
    }
  }
  BSexit(rc, "BSperpr", "bsperpr");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

namespace {

// The foot within one span in either form; leaves as BSperpr1.
BSboolean span_foot(const SpanForm &form, int *rc, const std::int16_t *order, const double *coef, const double pt[3],
                    const double pt_dist[3], BSboolean *found, double *s, int *position) {
  *rc = 0;
  *found = BSFALSE;
  const int k = *order;
  BSscratch<kLocalCoefs> room;
  double *roots = k >= 2 ? room.take(3 * static_cast<std::size_t>(k - 1)) : nullptr;
  int nroots = 0;
  if (k < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!roots) {
    *rc = BSRC_NO_SCRATCH;
  } else if (form.roots(rc, order, coef, pt, &nroots, roots) && nroots > 0) {
    *s = nearest_root(form, k, coef, pt_dist, nroots, roots);
    *found = BSTRUE;
    *position = *s == 0 ? 1 : *s == 1 ? -1 : 0;
  } else if (*rc == 0 && nroots < 0) {
    // Every point of the span is a foot for pt: no foot is reported, but s still names the best guess for
    // pt_dist.
    *position = 0;
    if (form.roots(rc, order, coef, pt_dist, &nroots, roots)) {
      if (nroots < 0) {
        *s = 0.5;
      } else if (nroots == 0) {
        double p0[3], p1[3];
        form.point(k, coef, 0, p0);
        form.point(k, coef, 1, p1);
        *s = sq_dist(p1, pt_dist) < sq_dist(p0, pt_dist) ? 1 : 0;
      } else {
        *s = nearest_root(form, k, coef, pt_dist, nroots, roots);
      }
    }
  }
  BSexit(rc, "BSperpr1", "bsperpr1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

constexpr SpanForm kPowerForm = {power_point, BSperpr};
constexpr SpanForm kBezierForm = {span_point, bsfeet::span_roots};

}  // namespace

BSboolean BSperpr1(int *rc, const std::int16_t *order, const double *coef, const double pt[3],
                   const double pt_dist[3], BSboolean *found, double *s, int *position) {
  return span_foot(kPowerForm, rc, order, coef, pt, pt_dist, found, s, position);
}

BSboolean BSperpa(int *rc, const VOQbsp_curve *cv, const double pt[3], const double pt_dist[3], BSboolean *found,
                  double *u, int *position) {
  *rc = 0;
  *found = BSFALSE;
  if (const int bad = BScvcheck(cv)) {
    *rc = bad;
  } else if (!pt || !pt_dist || !found || !u || !position) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, pt) || !BSallfinite(3, pt_dist) || cv->order < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  const int k = cv && *rc == 0 ? cv->order : 0, n = k ? cv->num_poles : 0;
  const double u0 = k ? cv->knots[k - 1] : 0, u1 = k ? cv->knots[n] : 0;
  bool done = *rc != 0;
  for (int end = 0; end < 2 && !done; ++end) {
    double p[3];
    BScveval_n(cv, end ? u1 : u0, 0, p, rc);
    if (*rc != 0) {
      done = true;
    } else if (sq_dist(p, pt) <= BStoltab[bstol::dist_sqtol]) {
      *found = BSTRUE;
      *u = end ? u1 : u0;
      *position = end ? -1 : 1;
      done = true;
    }
  }
  double ktol = 0;
  if (!done) BScvkttol2(cv->order, cv->knots, n, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
  BSscratch<kLocalSpans> dist_room, index_room;  // the index room holds two 32-bit arrays
  double *dist = nullptr;
  std::int32_t *spans = nullptr, *tags = nullptr;
  int count = 0;
  if (!done && *rc == 0) {
    const std::size_t m = static_cast<std::size_t>(n - k + 1);
    dist = dist_room.take(m);
    double *ints = dist ? index_room.take(m) : nullptr;
    if (!ints) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      spans = reinterpret_cast<std::int32_t *>(ints);
      tags = spans + m;
      // The span list is taken under the curve's own knot tolerance; the scope's own code keeps a failure of
      // the restore from hiding this one.
      bsknots::KnotTolScope scope(ktol);
      BScvndegspn(cv, &count, spans, rc);
    }
  }
  if (!done && *rc == 0) BScvspndst(cv, pt_dist, count, spans, dist, rc);
  if (!done && *rc == 0) {
    if (count > 1) {
      BStagsort(rc, &count, dist, tags);
    } else {
      tags[0] = 0;
    }
  }
  if (!done && *rc == 0) {
    // The knot tolerance of a piece a few thousand ulps of the parameter wide is below an ulp: the range ends
    // less or plus that tolerance round onto the ends themselves, where a foot at an end lies. A foot is outside
    // only beyond the larger of the tolerance and the parameter's own rounding.
    const double eps = std::numeric_limits<double>::epsilon();
    const double slack = std::fmax(ktol, kFootRounding * eps * std::fmax(std::fabs(u0), std::fabs(u1)));
    BSscratch<4 * 16> bez_room;
    double *bez = bez_room.take(4 * static_cast<std::size_t>(k) + 3);
    double best = std::numeric_limits<double>::infinity();
    if (!bez) *rc = BSRC_NO_SCRATCH;
    for (int v = 0; v < count && *rc == 0; ++v) {
      const int t = tags[v];
      if (*found && !(dist[t] < best)) break;
      BSboolean skip = BSFALSE, hit = BSFALSE;
      std::int16_t order = 0;
      double s = 0;
      int pos = 0;
      if (!bsfeet::span_bezier(rc, cv, &spans[t], &skip, &order, bez, &ktol) || skip) continue;
      if (!span_foot(kBezierForm, rc, &order, bez, pt, pt_dist, &hit, &s, &pos) || !hit) continue;
      const double a = cv->knots[spans[t]], b = cv->knots[spans[t] + 1];
      double w = a + s * (b - a);
      if (w >= u1 + slack || w <= u0 - slack) {
        *rc = BSRC_ZERO_WEIGHT;  // -1: a foot outside the curve
        break;
      }
      w = w > u1 ? u1 : w < u0 ? u0 : w;
      // Measured on the span that gave the foot: where the curve jumps at the span's end, its value at the knot
      // is the other side's.
      double p[3];
      span_point(order, bez, s, p);
      const double d = sq_dist(p, pt_dist);
      if (!*found || d < best) {
        best = d;
        *found = BSTRUE;
        *u = w;
        *position = pos;
      }
    }
    if (*rc != 0) *found = BSFALSE;
  }
  BSexit(rc, "BSperpa", "bsperpa");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
