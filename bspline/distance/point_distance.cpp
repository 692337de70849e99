// The nearest point of a B-spline curve to points: a branch-and-bound over runs of the curve's Bezier spans, each
// surviving span solved exactly in Legendre form, then the interpolated poles as candidates. The curve is turned
// into Bezier spans once per call, so unclamped ends, clustered knots and knots of any multiplicity all reach the
// span solver as plain clamped spans.
#include "bspline/distance.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/even_weights_internal.h"
#include "bspline/core/exit.h"
#include "bspline/intersect/span_end_foot.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

namespace {

constexpr std::size_t kBlockCap = 1000000;
std::size_t block_cap() { return bstest::switches.block_cap > 0 ? bstest::switches.block_cap : kBlockCap; }

// A working bound a little above a box's upper bound, so that rounding in the span solver never loses the span
// that produced it.
double widened(double sq) { return std::sqrt(sq) * (1 + 8 * DBL_EPSILON) + DBL_MIN; }

// The parameter of t in [0, 1] on the span [a, b]: a + (b - a) t can round past b (b - a absorbing a tiny b).
double on_span(double a, double b, double t) { return std::fmax(a, std::fmin(b, a + (b - a) * t)); }

double sq_distance(int dim, const double *a, const double *b) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

// Coordinates beyond this (in magnitude) square past the largest double: the bounds of the search turn infinite
// or NaN, prune nothing, and the search would halve to its narrowest pieces everywhere.
constexpr double kHuge = 0x1p500;

// The curve as the routines here accept it: a pole count beyond the degree, finite non-decreasing knots with a
// range of positive length, finite poles and (when rational) positive weights, the poles as points within kHuge.
bool curve_ok(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots) {
  if (degree < 1 || n < degree + 1 || dim < 1 || dim > 64 || rational > 1 || !poles || !knots) return false;
  const int nk = n + degree + 1;
  if (!BSallfinite(nk, knots)) return false;
  for (int i = 1; i < nk; ++i)
    if (knots[i] < knots[i - 1]) return false;
  if (!(knots[degree] < knots[n])) return false;
  if (!BSallfinite(n * (dim + rational), poles)) return false;
  if (rational)
    for (int i = 0; i < n; ++i)
      if (!(poles[dim * n + i] > 0)) return false;
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < dim; ++c)
      if (!(std::fabs(poles[c * n + i] / (rational ? poles[dim * n + i] : 1.0)) <= kHuge)) return false;
  return true;
}

bool points_ok(int npts, int dim, const double *points, double tol, const double *bound, const double *dist) {
  if (!points || !(tol >= 0) || !std::isfinite(tol)) return false;
  if (!BSallfinite(npts * dim, points)) return false;
  for (int i = 0; i < npts * dim; ++i)
    if (!(std::fabs(points[i]) <= kHuge)) return false;
  for (int i = 0; i < npts; ++i)
    if ((bound && (!std::isfinite(bound[i]) || bound[i] < 0)) || (dist && std::isnan(dist[i]))) return false;
  return true;
}

// The curve's Bezier spans: per span ncomp blocks of degree + 1 (as BSbstobez writes them), the breakpoints, and
// for the bounds a knot vector over all spans (degree + 1 copies of each breakpoint) so that any run of spans is a
// clamped B-spline of its own.
// Weights that all lie this many binary orders or more from 1 are brought about 1 first (a record whose weights
// are subnormal carries its poles in a few bits, and the sums of the spans and of the search underflow to nothing);
// one power of two for them all keeps every digit and the curve.
constexpr double kFarFromOne = 256;

// The weighted poles and weights (nc blocks of n, the weights last) scaled by one power of two that brings the
// weights' middle binary order to 1, at out; false (out untouched) where the weights lie near 1 already, are not
// positive and finite, or a scaled value would leave the normal range.
bool weights_about_one(int n, int nc, const double *poles, std::vector<double> *out) {
  const double *w = poles + static_cast<std::size_t>(nc - 1) * n;
  double lo = DBL_MAX, hi = -DBL_MAX;
  for (int i = 0; i < n; ++i) {
    if (!(w[i] > 0) || !(w[i] <= DBL_MAX)) return false;
    lo = std::fmin(lo, std::log2(w[i])), hi = std::fmax(hi, std::log2(w[i]));
  }
  const double middle = (lo + hi) / 2;
  if (!(std::fabs(middle) >= kFarFromOne)) return false;
  const int h = static_cast<int>(std::lround(middle));
  std::vector<double> scaled(static_cast<std::size_t>(n) * nc);
  for (std::size_t j = 0; j < scaled.size(); ++j) {
    const double v = poles[j], x = std::ldexp(v, -h);
    if (!std::isfinite(x) || (v != 0 && std::fabs(v) >= DBL_MIN && !(std::fabs(x) >= DBL_MIN))) return false;
    scaled[j] = x;
  }
  out->swap(scaled);
  return true;
}

struct Spans {
  int degree = 0, ncomp = 0, count = 0;
  double *bez = nullptr, *breaks = nullptr, *knots = nullptr, *gather = nullptr;
  BSscratch<0> room;

  int build(int deg, int n, int nc, const double *poles, const double *kv, bool rational) {
    std::vector<double> about_one;
    if (rational && weights_about_one(n, nc, poles, &about_one)) poles = about_one.data();
    degree = deg;
    ncomp = nc;
    const std::size_t k = static_cast<std::size_t>(deg) + 1, segs = static_cast<std::size_t>(n - deg);
    const std::size_t pole_block = segs * k * nc, knot_block = (segs + 1) * k;
    if (pole_block > block_cap() || knot_block > block_cap()) return BSRC_ALLOC_CURVE;
    double *w = room.take(2 * pole_block + knot_block + segs + 1);
    if (!w) return BSRC_NO_SCRATCH;
    bez = w;
    gather = bez + pole_block;
    knots = gather + pole_block;
    breaks = knots + knot_block;
    int rc = 0;
    BSbstobez(deg, n, nc, kv, poles, &count, bez, breaks, &rc);
    if (rc != 0) return rc;
    for (int s = 0; s <= count; ++s)
      for (std::size_t i = 0; i < k; ++i) knots[s * k + i] = breaks[s];
    return 0;
  }
  std::size_t span_size() const { return static_cast<std::size_t>(degree + 1) * ncomp; }
  const double *span(int s) const { return bez + s * span_size(); }
  // Spans [s0, s1) as a component-major pole block at out; returns the pole count.
  int gather_run(int s0, int s1, double *out) const {
    const int k = degree + 1, m = (s1 - s0) * k;
    for (int s = s0; s < s1; ++s)
      for (int c = 0; c < ncomp; ++c)
        std::memcpy(out + static_cast<std::size_t>(c) * m + (s - s0) * k, span(s) + c * k, sizeof(double) * k);
    return m;
  }
};

// The branch-and-bound for one point over spans already built.
int nearest_on_spans(const Spans &S, int dim, BSboolean rational, const double *point, double tol, double bound,
                     double *dist_out, double *par_out, double *point_out) {
  const int degree = S.degree;
  double wb = bound;
  bool found = false;
  int rc = 0;
  const unsigned char on = 1;
  int stack[2][72];
  int top = 0;
  stack[0][0] = 0;
  stack[1][0] = S.count;
  while (top >= 0) {
    const int s0 = stack[0][top], s1 = stack[1][top];
    const int m = S.gather_run(s0, s1, S.gather);
    double L = 0, U = 0;
    BSminmaxbsc(degree + 1, m, dim, rational, S.knots + static_cast<std::size_t>(s0) * (degree + 1), S.gather, 1,
                point, &on, &L, &U, &rc);
    if (rc != 0) return rc;
    if (wb == DBL_MAX) {
      wb = widened(U);
    } else if (wb * wb < L) {
      --top;
      continue;
    } else if (U < wb * wb) {
      wb = widened(U);
    }
    if (s1 - s0 == 1) {
      double t = 0;
      int status = 0;
      BSmdptbzcv(degree, dim, rational, S.span(s0), 1, point, tol, &wb, dist_out, &on, &wb, dist_out, &t, point_out,
                 &status, &rc);
      if (rc != 0) return rc;
      if (status == 0) {
        found = true;
        *par_out = on_span(S.breaks[s0], S.breaks[s1], t);
      }
      --top;
      continue;
    }
    // Halve the run at its middle span; the half nearer by BSdcdbsp12 goes on top.
    const int mid = (s0 + s1) / 2;
    const int m1 = S.gather_run(s0, mid, S.gather);
    S.gather_run(mid, s1, S.gather + static_cast<std::size_t>(m1) * S.ncomp);
    int which = 1;
    BSdcdbsp12(dim, rational, m1, S.gather, m - m1, S.gather + static_cast<std::size_t>(m1) * S.ncomp, 1, point, &on,
               &which, &rc);
    if (rc != 0) return rc;
    if (top + 1 >= 72) return BSRC_ALLOC_CURVE;
    stack[0][top] = which ? mid : s0;
    stack[1][top] = which ? s1 : mid;
    ++top;
    stack[0][top] = which ? s0 : mid;
    stack[1][top] = which ? mid : s1;
  }
  return found ? 0 : BSRC_NOT_BEATEN;
}

// A curve of a few circular arcs: each span's nearest point in closed form, the nearest of them taken when every
// other span stays farther by more than the tolerance and it beats the bound by as much. False (outputs untouched)
// for any other curve, for near ties between spans (a foot at an end they share among them) and for points near
// an arc's axis: the search decides those.
bool nearest_on_arcs(const Spans &S, int dim, const double *point, double tol, double bound, double *dist_out,
                     double *par_out, double *point_out) {
  if (S.degree != 2 || S.ncomp != dim + 1 || dim > 3 || S.count > 16) return false;
  double q[3] = {0, 0, 0}, best = DBL_MAX, runner = DBL_MAX, best_par = 0, best_foot[3] = {0, 0, 0};
  for (int c = 0; c < dim; ++c) q[c] = point[c];
  for (int s = 0; s < S.count; ++s) {
    const double *b = S.span(s);
    double poles[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0}, weights[3] = {b[3 * dim], b[3 * dim + 1], b[3 * dim + 2]};
    double knots[6] = {S.breaks[s], S.breaks[s], S.breaks[s], S.breaks[s + 1], S.breaks[s + 1], S.breaks[s + 1]};
    for (int i = 0; i < 3; ++i)
      for (int c = 0; c < dim; ++c) poles[3 * i + c] = b[3 * c + i];
    VOQbsp_curve cv{};
    cv.order = 3, cv.num_poles = 3, cv.poles = poles, cv.num_knots = 6, cv.knots = knots;
    cv.rational = 1, cv.weights = weights;
    double par = 0, foot[3], d = 0;
    if (!bsendfoot::local_foot(cv, q, tol, &par, foot, &d)) return false;
    if (d < best) {
      runner = best, best = d, best_par = par;
      std::memcpy(best_foot, foot, sizeof foot);
    } else {
      runner = std::fmin(runner, d);
    }
  }
  const double margin = std::fmax(tol, 1e-9 * (1 + best));
  if (!(runner - best > margin) || !(bound == DBL_MAX || best + margin < bound)) return false;
  *dist_out = best;
  *par_out = best_par;
  std::memcpy(point_out, best_foot, sizeof(double) * dim);
  return true;
}

// A polynomial curve: the nearer end of all spans bounds the distance, the box of a span's poles bounds it from
// below, and each span whose box comes within that bound gives its single nearest point directly. The nearest is
// taken when every other span stays farther by more than the tolerance and it beats the bound by as much; false
// (outputs untouched) when a span's foot is not single, for near ties between spans (a foot at a knot) and for
// rational curves: the search decides those.
bool nearest_by_span_feet(const Spans &S, int dim, const double *point, double tol, double bound, double *dist_out,
                          double *par_out, double *point_out) {
  const int k = S.degree + 1;
  if (S.ncomp != dim || dim > 3 || k > 16) return false;
  double q[3] = {0, 0, 0};
  for (int c = 0; c < dim; ++c) q[c] = point[c];
  auto pole = [&](const double *b, int i, int c) { return c < dim ? b[c * k + i] : 0.0; };
  double upper = DBL_MAX;
  for (int s = 0; s < S.count; ++s)
    for (int e = 0; e < 2; ++e) {
      const int i = e == 0 ? 0 : k - 1;
      double sq = 0;
      for (int c = 0; c < 3; ++c) sq += (pole(S.span(s), i, c) - q[c]) * (pole(S.span(s), i, c) - q[c]);
      upper = std::fmin(upper, sq);
    }
  double best = std::sqrt(upper), runner = DBL_MAX, best_par = 0, best_foot[3] = {0, 0, 0};
  bool any = false;
  for (int s = 0; s < S.count; ++s) {
    const double *b = S.span(s);
    double sq = 0, extent = std::fabs(q[0]) + std::fabs(q[1]) + std::fabs(q[2]);
    for (int c = 0; c < 3; ++c) {
      double lo = DBL_MAX, hi = -DBL_MAX;
      for (int i = 0; i < k; ++i) lo = std::fmin(lo, pole(b, i, c)), hi = std::fmax(hi, pole(b, i, c));
      const double d = q[c] < lo ? lo - q[c] : q[c] > hi ? q[c] - hi : 0;
      sq += d * d;
      extent = std::fmax(extent, std::fabs(lo) + std::fabs(hi));
    }
    const double gap = std::sqrt(sq) - 64 * DBL_EPSILON * extent;
    if (gap > (any ? best : best * (1 + 1e-9)) + std::fmax(tol, 1e-9 * (1 + best))) continue;
    double poles[48], knots[32];
    for (int i = 0; i < k; ++i) {
      for (int c = 0; c < 3; ++c) poles[3 * i + c] = pole(b, i, c);
      knots[i] = S.breaks[s], knots[k + i] = S.breaks[s + 1];
    }
    VOQbsp_curve cv{};
    cv.order = static_cast<std::int16_t>(k), cv.num_poles = k, cv.poles = poles, cv.num_knots = 2 * k;
    cv.knots = knots;
    double par = 0, foot[3] = {0, 0, 0}, d = 0;
    if (!bsendfoot::local_foot(cv, q, tol, &par, foot, &d)) {
      // Not single (the point beyond a centre of curvature): the span solver of the search, bounded by the span's
      // nearer end so that it always answers.
      double end_sq = DBL_MAX;
      for (int e = 0; e < 2; ++e) {
        const double *end = poles + 3 * (e == 0 ? 0 : k - 1);
        end_sq = std::fmin(end_sq, sq_distance(3, end, q));
      }
      double wb = widened(end_sq), t = 0;
      d = DBL_MAX;
      int status = 0, rc = 0;
      const unsigned char on = 1;
      BSmdptbzcv(S.degree, dim, 0, b, 1, point, tol, &wb, &d, &on, &wb, &d, &t, foot, &status, &rc);
      if (rc != 0 || status != 0) return false;
      par = on_span(S.breaks[s], S.breaks[s + 1], t);
    }
    if (!any || d < best) {
      if (any) runner = best;
      best = d, best_par = par, any = true;
      std::memcpy(best_foot, foot, sizeof foot);
    } else {
      runner = std::fmin(runner, d);
    }
  }
  const double margin = std::fmax(tol, 1e-9 * (1 + best));
  if (!any || !(runner - best > margin) || !(bound == DBL_MAX || best + margin < bound)) return false;
  *dist_out = best;
  *par_out = best_par;
  std::memcpy(point_out, best_foot, sizeof(double) * dim);
  return true;
}

// The interpolated poles in the order the candidates are tried (last recorded first): indices and parameters.
int interpolated_poles(int degree, int n, const double *knots, int *index, double *param) {
  // A run of at least `degree` equal knots puts the curve on a pole on either side of it: the pole before the
  // run ends the span on its left, the pole `degree` back from the run's last knot starts the span on its right
  // (the same pole unless the curve jumps there). Only the sides within the range are points of the curve.
  const double start = knots[degree], end = knots[n];
  int count = 0;
  for (int j = 0, m = 1; j < n + degree + 1; j += m) {
    for (m = 1; j + m < n + degree + 1 && knots[j + m] == knots[j]; ++m) {
    }
    const double at = knots[j];
    if (m < degree || at < start || at > end) continue;
    const int left = j - 1, right = j + m - 1 - degree;
    if (at > start && left >= 0 && left < n) index[count] = left, param[count++] = at;
    if (at < end && right != left && right >= 0 && right < n) index[count] = right, param[count++] = at;
  }
  return count;
}

// BSmdptintpls on checked input: got[i] |= bit where point i took a pole.
int try_poles(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
              const double *points, double tol, double *bound, double *dist, double *par, double *point_out,
              unsigned char *got, unsigned char bit) {
  BSscratch<400> room;
  double *w = room.take(static_cast<std::size_t>(n) * 2 + dim);
  if (!w) return BSRC_NO_SCRATCH;
  int *index = reinterpret_cast<int *>(w);
  double *param = w + n, *q = w + 2 * n;
  const int count = interpolated_poles(degree, n, knots, index, param);
  for (int r = count - 1; r >= 0; --r) {
    const int j = index[r];
    const double wt = rational ? poles[dim * n + j] : 1.0;
    for (int c = 0; c < dim; ++c) q[c] = poles[c * n + j] / wt;
    for (int i = 0; i < npts; ++i) {
      const std::size_t at = static_cast<std::size_t>(i) * dim;
      const double d = std::sqrt(sq_distance(dim, q, points + at));
      const double threshold = bound[i] == DBL_MAX ? DBL_MAX : bound[i] + tol / 2;
      if (d < threshold) {
        bound[i] = dist[i] = d;
        par[i] = param[r];
        std::memcpy(point_out + at, q, sizeof(double) * dim);
        got[i] |= bit;
      }
    }
  }
  return 0;
}

bool near_end(double p, double lo, double hi, double tol) {
  return std::fabs(p - lo) < tol || std::fabs(p - hi) < tol;
}

// The Legendre search stops refining within the distance tolerance: Newton steps from its interior result reach
// the bottom of that basin. An end result stays, as the ends win ties on purpose.
void polish(int degree, int dim, BSboolean rational, const double *poles, const double *point, double *dist,
            double *bound, double *t, double *q) {
  if (!(*t > 0 && *t < 1) || degree + 1 > 16 || (dim + rational) * (degree + 1) > 64) return;
  double sq = 0, u = *t, r[64];
  BSboolean converged = BSFALSE;
  int rc = 0;
  BSmdptbznwt(degree, dim, rational, poles, point, 0, &sq, &u, r, &converged, &rc);
  if (rc != 0 || !converged || !(std::sqrt(sq) < *dist)) return;
  *dist = std::sqrt(sq);
  *bound = std::fmin(*bound, *dist);
  *t = u;
  std::memcpy(q, r, sizeof(double) * dim);
}

// A rational span whose point lies farther from the origin than several times its distance from every pole.
// Moved to the point in its Legendre form, the weight's coefficients (with uneven weights, large and of mixed
// signs) would carry the point's rounding into the curve many times over; moved pole by pole, each weighted pole
// keeps it at the point's own rounding, as the poles combine with positive coefficients.
bool moves_to_point(int degree, int dim, const double *poles, const double *p) {
  const int k = degree + 1;
  double far = 0, reach = 0;
  for (int c = 0; c < dim; ++c) far = std::fmax(far, std::fabs(p[c]));
  for (int j = 0; j < k; ++j)
    for (int c = 0; c < dim; ++c) reach = std::fmax(reach, std::fabs(poles[c * k + j] / poles[dim * k + j] - p[c]));
  return far > 8 * reach;
}

// The weighted poles of a rational span less the point times their weights: the span about the point.
void move_to_point(int degree, int dim, const double *poles, const double *p, double *out) {
  const int k = degree + 1;
  const double *w = poles + dim * k;
  for (int c = 0; c < dim; ++c)
    for (int j = 0; j < k; ++j) out[c * k + j] = std::fma(-w[j], p[c], poles[c * k + j]);
  std::memcpy(out + dim * k, w, sizeof(double) * k);
}

void copy_in(int npts, const double *in, double *out) {
  if (in != out) std::memcpy(out, in, sizeof(double) * npts);
}

// How the searches over a whole curve for many points start: the curve, the points and their arrays checked,
// the bounds and distances carried over to the outputs, and a byte per point, zeroed in room, for what settled
// it. rc 0 with *got NULL when there are no points.
int start_search(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
                 const double *points, double tol, const double *bound_in, const double *dist_in, double *bound_out,
                 double *dist_out, const double *par_out, const double *point_out, BSscratch<100> &room,
                 unsigned char **got) {
  *got = nullptr;
  if (npts < 0 || !curve_ok(degree, n, dim, rational, poles, knots) ||
      !points_ok(npts, dim, points, tol, bound_in, dist_in))
    return BSRC_OUT_OF_RANGE;
  if (npts == 0) return 0;
  // Every point reads its bound and distance and may write all four results.
  if (!bound_in || !dist_in || !bound_out || !dist_out || !par_out || !point_out) return BSRC_OUT_OF_RANGE;
  copy_in(npts, bound_in, bound_out);
  copy_in(npts, dist_in, dist_out);
  *got = reinterpret_cast<unsigned char *>(room.take((static_cast<std::size_t>(npts) + 7) / 8));
  if (!*got) return BSRC_NO_SCRATCH;
  std::memset(*got, 0, static_cast<std::size_t>(npts));
  return 0;
}

// The circle path for every point: solved[i] is 1 when the closed form gave a distance below the bound. rc 0 with
// *is_circle 0 when the curve is no circle.
int circle_path(int n, const double *poles, const double *knots, int npts, const double *points, double tol,
                double *bound, double *dist, double *par, double *point_out, unsigned char *solved, int *is_circle) {
  *is_circle = 0;
  BSscratch<300> room;
  double *work = room.take(3 * static_cast<std::size_t>(n));
  if (!work) return BSRC_NO_SCRATCH;
  double centre[2], middle[2], h = 0;
  int rc = 0;
  BSgeocrcbsp(2, n, knots, 2, 1, poles, tol > 0 ? tol : 1e-12, is_circle, centre, middle, work, &h, &rc);
  if (rc == BSRC_NO_SCRATCH) return rc;
  if (rc != 0) *is_circle = 0;
  for (int i = 0; *is_circle && i < npts; ++i) {
    double d = 0, q[2], t = 0;
    int status = 0;
    BSmdptcrcv(n, knots, poles, centre, middle, h, points + 2 * i, &d, q, &t, &status);
    if (status == 50 || status == BSRC_NOT_BEATEN) continue;
    if (status != 0) return status;
    if (!(d < bound[i])) continue;
    bound[i] = dist[i] = d;
    par[i] = t;
    point_out[2 * i] = q[0];
    point_out[2 * i + 1] = q[1];
    solved[i] = 1;
  }
  return 0;
}

// One Bezier span through its Legendre form, every point at once: the body of BSmdptbzcv for a span whose weights
// lie close enough together for the search.
void solve_span(int degree, int dim, BSboolean rational, const double *poles, int npts, const double *points,
                double tol, const double *bound_in, const double *dist_in, const unsigned char *active,
                double *bound_out, double *dist_out, double *par_out, double *point_out, int *status, int *rc) {
  *rc = 0;
  copy_in(npts, bound_in, bound_out);
  copy_in(npts, dist_in, dist_out);
  const int nc = dim + rational;
  const std::size_t block = static_cast<std::size_t>(degree + 1) * nc;
  BSscratch<64> room;
  double *lg = room.take(rational ? 2 * block : block), *moved = lg ? lg + block : nullptr;
  bool any_moved = false;
  for (int i = 0; lg && rational && i < npts; ++i)
    any_moved =
        any_moved || (active[i] && moves_to_point(degree, dim, poles, points + static_cast<std::size_t>(i) * dim));
  if (!lg) {
    *rc = BSRC_NO_SCRATCH;
  } else if (!any_moved) {
    BSbeztolgd(degree, nc, poles, lg, rc);
    if (*rc == 0)
      BSmdptlgcv(degree, dim, rational, lg, npts, points, tol, bound_out, dist_out, active, bound_out, dist_out,
                 par_out, point_out, status, rc);
    for (int i = 0; *rc == 0 && i < npts; ++i)
      if (active[i] && status[i] == 0) {
        par_out[i] = (par_out[i] + 1) * 0.5;
        polish(degree, dim, rational, poles, points + static_cast<std::size_t>(i) * dim, &dist_out[i],
               &bound_out[i], &par_out[i], point_out + static_cast<std::size_t>(i) * dim);
      }
  } else {
    // Each point on its own: those far out search the span moved to them.
    const double origin[64] = {};
    const unsigned char on = 1;
    for (int i = 0; *rc == 0 && i < npts; ++i) {
      status[i] = 0;
      if (!active[i]) continue;
      const double *p = points + static_cast<std::size_t>(i) * dim;
      double *q = point_out + static_cast<std::size_t>(i) * dim;
      const bool move = moves_to_point(degree, dim, poles, p);
      if (move) move_to_point(degree, dim, poles, p, moved);
      const double *span = move ? moved : poles, *at = move ? origin : p;
      BSbeztolgd(degree, nc, span, lg, rc);
      if (*rc == 0)
        BSmdptlgcv(degree, dim, rational, lg, 1, at, tol, &bound_out[i], &dist_out[i], &on, &bound_out[i],
                   &dist_out[i], &par_out[i], q, &status[i], rc);
      if (*rc == 0 && status[i] == 0) {
        par_out[i] = (par_out[i] + 1) * 0.5;
        polish(degree, dim, rational, span, at, &dist_out[i], &bound_out[i], &par_out[i], q);
        if (move)
          for (int c = 0; c < dim; ++c) q[c] += p[c];
      }
    }
  }
}

// A span whose weights lie far apart (bspline/core/even_weights_internal.h) is cut where its evened parameter halves
// until the parts, evened, are plain spans for the search; the box of a part's poles, which holds the part, passes
// over those that cannot come nearer than the result.
using bseven::weight_logs;

// Uneven, or with weights all kFarFromOne binary orders or more from 1: evened (by one power of two for them all
// where they lie together) before the search.
bool uneven(int degree, int dim, const double *poles) {
  double l[16], middle = 0;
  return bseven::uneven(degree, dim, poles) ||
         (dim <= 3 && degree < 16 && weight_logs(degree, dim, poles, l) &&
          (bseven::spread_at(degree, l, 0, &middle), std::fabs(middle) >= kFarFromOne));
}

// The nearest point of one point on an uneven span, the span's parameter in [0, 1]. Each part is searched afresh
// and polished on its own (a part that only comes within the tolerance of the nearest so far would not be
// polished), and the nearest of them is the answer. Nearer parts are searched first, so that the farther ones pass.
struct Uneven final : bseven::Parts {
  int degree, dim;
  const double *point;
  double tol, limit;  // limit: the caller's bound
  double best = DBL_MAX, par = 0, q[3] = {0, 0, 0};

  Uneven(int degree, int dim, const double *point, double tol, double limit)
      : degree(degree), dim(dim), point(point), tol(tol), limit(limit) {}

  // The squared distance of the point from the box of the span's Cartesian poles.
  double box_sq(const double *span) const {
    const int k = degree + 1;
    double sq = 0;
    for (int c = 0; c < dim; ++c) {
      double lo = DBL_MAX, hi = -DBL_MAX;
      for (int j = 0; j < k; ++j) {
        const double x = span[c * k + j] / span[dim * k + j];
        lo = std::fmin(lo, x), hi = std::fmax(hi, x);
      }
      const double d = point[c] < lo ? lo - point[c] : point[c] > hi ? point[c] - hi : 0;
      sq += d * d;
    }
    return sq;
  }
  // Parts farther than this hold nothing that could be kept.
  double reach() const {
    const double b = std::fmin(best, limit);
    return b == DBL_MAX ? b : b * (1 + 8 * DBL_EPSILON) + tol;
  }

  // A part evened out (when it can be) and searched; its parameter s maps back to the part's [a, b].
  int part(const double *span, double a, double b, const double *l, int e) override {
    double evened[64], s = 0, foot[3], bound = reach(), d = DBL_MAX;
    const bool scaled = bseven::even_out(degree, dim, span, l, e, evened);
    int status = 0, rc = 0;
    const unsigned char on = 1;
    solve_span(degree, dim, BSTRUE, scaled ? evened : span, 1, point, tol, &bound, &d, &on, &bound, &d, &s, foot,
               &status, &rc);
    if (rc != 0 || status != 0) return rc;
    // A cut is no end of the span: it wins no ties, and the nearest point within the tolerance beside it is owed.
    if ((s == 0 && a > 0) || (s == 1 && b < 1)) {
      double t = s == 0 ? 1.0 / 64 : 63.0 / 64, dn = d, bn = bound, qn[3];
      polish(degree, dim, BSTRUE, scaled ? evened : span, point, &dn, &bn, &t, qn);
      if (dn < d) d = dn, s = t, std::memcpy(foot, qn, sizeof(double) * dim);
    }
    if (!(d < best)) return 0;
    best = d;
    par = bseven::unevened(s, scaled ? e : 0, a, b);
    std::memcpy(q, foot, sizeof(double) * dim);
    return 0;
  }

  bool passed(const double *span) override { return reach() != DBL_MAX && std::sqrt(box_sq(span)) > reach(); }
  bool right_first(const double *left, const double *right) override { return box_sq(right) < box_sq(left); }
};

}  // namespace


void BSmdptbzcv(int degree, int dim, BSboolean rational, const double *poles, int npts, const double *points,
                double tol, const double *bound_in, const double *dist_in, const unsigned char *active,
                double *bound_out, double *dist_out, double *par_out, double *point_out, int *status, int *rc) {
  *rc = 0;
  if (degree < 1 || dim < 1 || dim > 64 || rational > 1 || npts < 0 || !poles) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (npts > 0 && rational && uneven(degree, dim, poles)) {
    copy_in(npts, bound_in, bound_out);
    copy_in(npts, dist_in, dist_out);
    for (int i = 0; *rc == 0 && i < npts; ++i) {
      status[i] = 0;
      if (!active[i]) continue;
      const std::size_t at = static_cast<std::size_t>(i) * dim;
      Uneven u(degree, dim, points + at, tol, bound_out[i]);
      *rc = bseven::descend(degree, dim + 1, poles, 0, 1, u);
      // Kept as the search keeps a result: below the distance so far, and within the bound (an end within tol / 2
      // of it).
      if (*rc == 0 && u.best < dist_out[i] && u.best <= bound_out[i] + tol / 2) {
        dist_out[i] = u.best;
        bound_out[i] = std::fmin(bound_out[i], u.best);
        par_out[i] = u.par;
        std::memcpy(point_out + at, u.q, sizeof(double) * dim);
      } else if (*rc == 0) {
        status[i] = BSRC_NOT_BEATEN;
      }
    }
  } else if (npts > 0) {
    solve_span(degree, dim, rational, poles, npts, points, tol, bound_in, dist_in, active, bound_out, dist_out,
               par_out, point_out, status, rc);
  }
  BSexit(rc, "BSmdptbzcv", "bsmdptbzcv");
}

void BSdcdbsp12(int dim, BSboolean rational, int count1, const double *poles1, int count2, const double *poles2,
                int npts, const double *points, const unsigned char *active, int *which, int *rc) {
  *rc = 0;
  double local[6];
  double *cen = dim <= 3 ? local : static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * 2 * dim));
  if (!cen) {
    *rc = BSRC_NO_SCRATCH;
  } else {
    const int counts[2] = {count1, count2};
    const double *blocks[2] = {poles1, poles2};
    double sums[2] = {0, 0};
    for (int h = 0; h < 2; ++h) {
      double *ch = cen + h * dim;
      for (int c = 0; c < dim; ++c) ch[c] = 0;
      for (int j = 0; j < counts[h]; ++j) {
        const double w = rational ? blocks[h][dim * counts[h] + j] : 1.0;
        for (int c = 0; c < dim; ++c) ch[c] += blocks[h][c * counts[h] + j] / w;
      }
      for (int c = 0; c < dim; ++c) ch[c] /= counts[h] > 0 ? counts[h] : 1;
      for (int i = 0; i < npts; ++i)
        if (active[i])
          for (int c = 0; c < dim; ++c) sums[h] += points[static_cast<std::size_t>(i) * dim + c] - ch[c];
    }
    *which = std::fabs(sums[1]) >= std::fabs(sums[0]) ? 1 : 0;
    if (cen != local) BSdbgfree(cen);
  }
  BSexit(rc, "BSdcdbsp12", "bsdcdbsp12");
}

void BSmdptbscv1(int degree, int dim, BSboolean rational, int n, const double *poles, const double *knots, int npts,
                 const double *point, double tol, double bound, double *dist_out, double *par_out, double *point_out,
                 int *rc) {
  *rc = 0;
  if (npts != 1 || !curve_ok(degree, n, dim, rational, poles, knots) ||
      !points_ok(1, dim, point, tol, &bound, dist_out)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    Spans S;
    *rc = S.build(degree, n, dim + rational, poles, knots, rational);
    if (*rc == 0) *rc = nearest_on_spans(S, dim, rational, point, tol, bound, dist_out, par_out, point_out);
  }
  BSexit(rc, "BSmdptbscv1", "bsmdptbscv1");
}

void BSmdptintpls(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots,
                  int npts, const double *points, double tol, const double *bound_in, const double *dist_in,
                  double *bound_out, double *dist_out, double *par_out, double *point_out, int *rc) {
  BSscratch<100> room;
  unsigned char *taken = nullptr;
  *rc = start_search(degree, n, dim, rational, poles, knots, npts, points, tol, bound_in, dist_in, bound_out,
                     dist_out, par_out, point_out, room, &taken);
  if (*rc == 0 && taken) {
    *rc = try_poles(degree, n, dim, rational, poles, knots, npts, points, tol, bound_out, dist_out, par_out,
                    point_out, taken, 1);
    bool any = false;
    for (int i = 0; i < npts; ++i) any = any || taken[i];
    if (*rc == 0 && !any) *rc = BSRC_NOT_BEATEN;
  }
  BSfaulthook("bsmdptintpls", rc);
}

void BSmdptbscv(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
                const double *points, double tol, const double *bound_in, const double *dist_in, double *bound_out,
                double *dist_out, double *par_out, double *point_out, int *rc) {
  // Per point: bit 0 solved by the circle, bit 1 by the search, bit 2 by a pole.
  BSscratch<100> room;
  unsigned char *got = nullptr;
  *rc = start_search(degree, n, dim, rational, poles, knots, npts, points, tol, bound_in, dist_in, bound_out,
                     dist_out, par_out, point_out, room, &got);
  if (*rc == 0 && got) {
    int is_circle = 0;
    if (dim == 2 && rational && degree == 2)
      *rc = circle_path(n, poles, knots, npts, points, tol, bound_out, dist_out, par_out, point_out, got,
                        &is_circle);
    bool all = is_circle != 0;
    for (int i = 0; all && i < npts; ++i) all = got[i] != 0;
    if (*rc == 0 && !all) {
      Spans S;
      *rc = S.build(degree, n, dim + rational, poles, knots, rational);
      for (int i = 0; *rc == 0 && i < npts; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * dim;
        const int code = nearest_on_arcs(S, dim, points + at, tol, bound_in[i], &dist_out[i], &par_out[i],
                                         point_out + at) ||
                                 nearest_by_span_feet(S, dim, points + at, tol, bound_in[i], &dist_out[i],
                                                      &par_out[i], point_out + at)
                             ? 0
                             : nearest_on_spans(S, dim, rational, points + at, tol, bound_in[i], &dist_out[i],
                                                &par_out[i], point_out + at);
        if (code == 0) {
          bound_out[i] = std::fmin(bound_in[i], dist_out[i]);
          got[i] |= 2;
        } else if (code == BSRC_NOT_BEATEN) {
          if (!(got[i] & 1)) bound_out[i] = bound_in[i];
        } else {
          *rc = code;
        }
      }
      if (*rc == 0)
        *rc = try_poles(degree, n, dim, rational, poles, knots, npts, points, tol, bound_out, dist_out, par_out,
                        point_out, got, 4);
      for (int i = 0; *rc == 0 && i < npts; ++i)
        if (!got[i]) *rc = BSRC_NOT_BEATEN;
    }
  }
  BSexit(rc, "BSmdptbscv", "bsmdptbscv");
}

void BSchkuvpars(BSboolean pairs, double umin, double umax, double vmin, double vmax, BSboolean u_closed,
                 BSboolean v_closed, double tol, int count, double *pars, int *rc) {
  *rc = 0;
  if (count >= 2 && pars) {
    const int stride = pairs ? 2 : 1;
    for (int comp = 0; comp < stride; ++comp) {
      const double lo = comp == 0 ? umin : vmin, hi = comp == 0 ? umax : vmax;
      const bool closed = (comp == 0 ? u_closed : v_closed) != 0;
      // The middle of the range decides a seam value's side from its neighbours.
      const double middle = (lo + hi) * 0.5;
      const int values = count;
      for (int k = 0; k < values; ++k) {
        const int i = k * stride + comp;
        double p = pars[i];
        const bool near_lo = std::fabs(p - lo) < tol, near_hi = std::fabs(p - hi) < tol;
        if (!near_lo && !near_hi) continue;
        // A pair whose previous neighbour sits at a seam takes that side.
        if (pairs && closed && k > 0 && near_end(pars[i - stride], lo, hi, tol)) {
          pars[i] = pars[i - stride];
          continue;
        }
        p = near_lo ? lo : hi;
        if (closed) {
          const double *prev1 = k >= 1 ? &pars[i - stride] : nullptr, *prev2 = k >= 2 ? &pars[i - 2 * stride] : nullptr;
          const double *next1 = k + 1 < values ? &pars[i + stride] : nullptr;
          const double *next2 = k + 2 < values ? &pars[i + 2 * stride] : nullptr;
          const bool at_lo = p == lo;
          bool flip = false;
          if (k >= 2) {
            flip = at_lo ? *prev1 > *prev2 : *prev1 < *prev2;
          } else if (k == 1) {
            flip = at_lo ? middle < *prev1 : middle > *prev1;
          } else if (values >= 4 && next1 && next2) {
            flip = at_lo ? *next1 > *next2 : *next1 < *next2;
          } else if (next1) {
            flip = at_lo ? middle < *next1 : middle > *next1;
          }
          if (flip) p = at_lo ? hi : lo;
        }
        pars[i] = p;
        // The first pair hands its side to a second pair that sits at a seam too.
        if (pairs && closed && k == 0 && values > 1 && near_end(pars[i + stride], lo, hi, tol)) {
          pars[i + stride] = p;
          ++k;
        }
      }
    }
  }
  BSexit(rc, "BSchkuvpars", "bschkuvpars");
}
