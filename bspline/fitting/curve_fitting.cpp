// Curve fitting through or near points: the front end that checks a request, settles the degenerate point sets
// itself, supplies parameters and knots, fits a planar set in its own plane and searches the smallest number of
// spans that keeps the points within a tolerance; with the deviation measure and the small services it uses.
//
// The search halves the interval [L, H] of span counts: a fit within tolerance lowers H, one beyond it raises
// L. The curve record is allocated once with the most poles any fit of the search can have.
#include <climits>
#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/fitting.h"
#include "bspline/fitting/fitting_internal.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

constexpr int kLocal = 100;          // entries a point array keeps in the frame before asking for scratch
constexpr int kMaxPoints = 1 << 24;  // keeps every work array size inside the allocator's int argument
constexpr int kMaxRounds = 200;      // the halving ends long before; a guard against a fit that is not repeatable

std::size_t sz(long long a, long long b = 1) { return static_cast<std::size_t>(a) * static_cast<std::size_t>(b); }

int *ints(double *p) { return reinterpret_cast<int *>(p); }

void unweighted(const double *points, const double *weights, int i, double out[3]) {
  const double w = weights ? weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = points[3 * i + c] / w;
}

bool ascending(int count, const double *v) {
  if (!BSallfinite(count, v)) return false;
  for (int i = 1; i < count; ++i)
    if (v[i] < v[i - 1]) return false;
  return true;
}

void set_header(VOQbsp_curve *cv, int k, int P, const double *knots, bool rational, bool periodic) {
  cv->order = static_cast<std::int16_t>(k);
  cv->num_poles = P;
  cv->num_knots = P + k;
  if (cv->knots != knots) std::memmove(cv->knots, knots, sz(P + k) * sizeof(double));
  cv->rational = rational ? BSTRUE : BSFALSE;
  if (!rational) cv->weights = nullptr;
  cv->periodic = periodic ? BSTRUE : BSFALSE;
  cv->non_uniform = P > k ? BSTRUE : BSFALSE;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
}

// The point curve of order k at mean: k poles made by BSptcvgen, or the P poles of the given knot vector.
void point_curve(int k, int P, const double *knots, bool rational, const double mean[3], VOQbsp_curve **curve,
                 int *rc) {
  BSallocvoqcv(static_cast<std::int16_t>(k), knots ? P : k, rational ? BSTRUE : BSFALSE, 0, curve, rc);
  if (*rc != 0) return;
  VOQbsp_curve *cv = *curve;
  if (!knots) {
    BSptcvgen(mean, static_cast<short>(k), rational ? BSTRUE : BSFALSE, cv, rc);
    return;
  }
  set_header(cv, k, P, knots, rational, false);
  cv->non_uniform = 1;
  cv->planar = 0;
  cv->phy_closed = 0;
  for (int i = 0; i < P; ++i) {
    std::memcpy(cv->poles + 3 * i, mean, 3 * sizeof(double));
    if (rational) cv->weights[i] = 1.0;
  }
}

// The nearest-point search stops at a parameter tolerance, which leaves a distance of a small deviation off by
// more than the deviation's own size: a few Newton steps on (C(u) - p) . C'(u) from its parameter settle it. A
// step that does not bring the foot closer is not taken.
void polish_foot(const VOQbsp_curve *cv, const double p[3], double *u, double foot[3], double *dist) {
  const double lo = cv->knots[cv->order - 1], hi = cv->knots[cv->num_poles];
  for (int iter = 0; iter < 4; ++iter) {
    double d[9], r[3];
    int lrc = 0;
    BScveval_n(cv, *u, 2, d, &lrc);
    if (lrc != 0) return;
    for (int c = 0; c < 3; ++c) r[c] = d[c] - p[c];
    const double f = r[0] * d[3] + r[1] * d[4] + r[2] * d[5];
    const double df = d[3] * d[3] + d[4] * d[4] + d[5] * d[5] + r[0] * d[6] + r[1] * d[7] + r[2] * d[8];
    if (!(df > 0)) return;
    const double v = std::fmin(hi, std::fmax(lo, *u - f / df));
    double q[3];
    BScveval_n(cv, v, 0, q, &lrc);
    if (lrc != 0) return;
    const double e = std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2]));
    if (!(e < *dist)) return;
    *u = v, *dist = e;
    std::memcpy(foot, q, sizeof q);
  }
}

// The deviation of points from a polynomial curve whose parameters at the points are known to lie near their
// feet, as in the search's rounds: each point's nearest point is taken by Newton steps on the Bezier form of the
// span holding its parameter, and only where it is sure to be the nearest one. A span is solved so when its
// squared distance is convex (|B'|^2 > |B - p| |B''| over the whole span, from bounds of its derivative poles),
// which leaves it one minimum; any other span whose box of poles reaches nearer than the best foot is solved too.
// A span that cannot be shown convex answers false, and the caller measures by the general search instead.
class SpanMeasure {
 public:
  // false when the curve is not one this measure takes; the caller then measures by the general search.
  bool prepare(const VOQbsp_curve *cv) {
    const int k = cv->order, P = cv->num_poles;
    // Under an injected fault the general search runs, so that the fault reaches the caller as before.
    if (cv->rational || cv->periodic || cv->phy_closed || k < 2 || k > 6 || P < k || !cv->poles || !cv->knots ||
        bstest::slow_roads())
      return false;
    // Poles within 2^500 are finite too.
    for (int i = 0; i < 3 * P; ++i)
      if (!(std::fabs(cv->poles[i]) <= 0x1p500)) return false;
    if (!std::isfinite(cv->knots[0])) return false;
    for (int i = 1; i < P + k; ++i)
      if (!std::isfinite(cv->knots[i]) || cv->knots[i] < cv->knots[i - 1]) return false;
    if (!(cv->knots[k - 1] < cv->knots[P])) return false;
    k_ = k;
    const std::size_t per = sz(3, k), most = sz(P - k + 1);
    double *room = room_.take(sz(3, P) + per * most + most + 1 + 12 * most + 192);
    if (!room) return false;
    double *block = room;
    bez_ = block + sz(3, P);
    breaks_ = bez_ + per * most;
    boxes_ = breaks_ + most + 1;
    for (int i = 0; i < P; ++i)
      for (int c = 0; c < 3; ++c) block[sz(c, P) + i] = cv->poles[3 * i + c];
    int rc = 0;
    BSbstobez(k - 1, P, 3, cv->knots, block, &segs_, bez_, breaks_, &rc);
    if (rc != 0 || segs_ < 1 || segs_ > static_cast<int>(most)) return false;
    // Boxes of the spans, then of pairs of boxes level by level up to one.
    levels_ = 1;
    count_[0] = segs_;
    level_[0] = boxes_;
    // The boxes of the spans' poles as BSbzboxpl makes them, without its call and its copy of every pole.
    for (int s = 0; s < segs_; ++s) {
      const double *B = bez_ + per * s;
      double *box = boxes_ + 6 * sz(s);
      for (int c = 0; c < 3; ++c) {
        double lo = B[c * k], hi = lo;
        for (int j = 1; j < k; ++j) {
          const double v = B[c * k + j];
          if (v < lo) lo = v;
          if (v > hi) hi = v;
        }
        box[c] = lo, box[3 + c] = hi;
      }
    }
    double *next = boxes_ + 6 * sz(segs_);
    while (count_[levels_ - 1] > 1 && levels_ < 32) {
      const int below = count_[levels_ - 1], here = (below + 1) / 2;
      const double *b = level_[levels_ - 1];
      for (int i = 0; i < here; ++i) {
        const double *l = b + 12 * sz(i), *r = 2 * i + 1 < below ? l + 6 : l;
        // The boxes are finite, and the sign of a zero bound does not change a distance to it.
        for (int c = 0; c < 3; ++c) {
          next[6 * i + c] = l[c] < r[c] ? l[c] : r[c];
          next[6 * i + 3 + c] = l[3 + c] > r[3 + c] ? l[3 + c] : r[3 + c];
        }
      }
      level_[levels_] = next;
      count_[levels_++] = here;
      next += 6 * sz(here);
    }
    return count_[levels_ - 1] == 1;
  }

  // The nearest point of the curve to p, starting in the span of parameter guess; false when it is not sure.
  bool nearest(const double p[3], double guess, double foot[3], double *dist) const {
    int lo = 0, hi = segs_ - 1;
    while (lo < hi) {
      const int mid = (lo + hi + 1) / 2;
      if (breaks_[mid] <= guess)
        lo = mid;
      else
        hi = mid - 1;
    }
    const double a = breaks_[lo], b = breaks_[lo + 1];
    const double start = b > a ? std::fmin(1.0, std::fmax(0.0, (guess - a) / (b - a))) : 0.5;
    double best = INFINITY;
    if (!solve(lo, p, start, &best, foot)) return false;
    // Every other span whose box reaches nearer than the best foot; the bound only shrinks on the way.
    int stack_lv[64], stack_i[64], top = 0;
    stack_lv[top] = levels_ - 1, stack_i[top++] = 0;
    while (top > 0) {
      --top;
      const int lv = stack_lv[top], i = stack_i[top];
      if (box_sq(p, level_[lv] + 6 * sz(i)) > best * (1 + 1e-9)) continue;
      if (lv == 0) {
        if (i != lo && !solve(i, p, 0.5, &best, foot)) return false;
        continue;
      }
      if (top > 60) return false;
      const int child = 2 * i;
      if (child + 1 < count_[lv - 1]) stack_lv[top] = lv - 1, stack_i[top++] = child + 1;
      stack_lv[top] = lv - 1, stack_i[top++] = child;
    }
    *dist = std::sqrt(best);
    return true;
  }

 private:
  // Written out for the three coordinates, the first two side by side in a vector (each lane does the scalar
  // operations): it runs for every box on the way down to each point's spans.
  static double box_sq(const double p[3], const double *box) {
    typedef double Pair __attribute__((vector_size(16)));
    Pair lo, hi, at;
    std::memcpy(&lo, box, sizeof lo);
    std::memcpy(&hi, box + 3, sizeof hi);
    std::memcpy(&at, p, sizeof at);
    const Pair below = lo - at, above = at - hi, zero = {0, 0};
    const Pair d = below > above ? below : above, g = d > zero ? d : zero;
    const double below2 = box[2] - p[2], above2 = p[2] - box[5], d2 = below2 > above2 ? below2 : above2;
    const double x = g[0], y = g[1], z = d2 > 0 ? d2 : 0.0;
    return x * x + y * y + z * z;
  }

  // The nearest point of span s when it is nearer than *best (squared); false when the span is not convex.
  bool solve(int s, const double p[3], double u, double *best, double foot[3]) const {
    switch (k_) {
      case 2: return solve_k<2>(s, p, u, best, foot);
      case 3: return solve_k<3>(s, p, u, best, foot);
      case 4: return solve_k<4>(s, p, u, best, foot);
      case 5: return solve_k<5>(s, p, u, best, foot);
      default: return solve_k<6>(s, p, u, best, foot);
    }
  }
  template <int k>
  bool solve_k(int s, const double p[3], double u, double *best, double foot[3]) const {
    const double *B = bez_ + sz(3, k) * s;
    double e[3], far = 0;
    for (int c = 0; c < 3; ++c) e[c] = B[c * k + k - 1] - B[c * k];
    for (int j = 0; j < k; ++j) {
      double r = 0;
      for (int c = 0; c < 3; ++c) r += (B[c * k + j] - p[c]) * (B[c * k + j] - p[c]);
      far = r > far ? r : far;
    }
    double least = INFINITY, bend = 0, ee = 0;
    for (int c = 0; c < 3; ++c) ee += e[c] * e[c];
    if (!(ee > 0)) return false;
    for (int j = 0; j + 1 < k; ++j) {
      double v = 0;
      for (int c = 0; c < 3; ++c) v += (k - 1) * (B[c * k + j + 1] - B[c * k + j]) * e[c];
      least = v < least ? v : least;
    }
    for (int j = 0; j + 2 < k; ++j) {
      double w = 0;
      for (int c = 0; c < 3; ++c) {
        const double x = (k - 1) * (k - 2) * (B[c * k + j + 2] - 2 * B[c * k + j + 1] + B[c * k + j]);
        w += x * x;
      }
      bend = w > bend ? w : bend;
    }
    // Twice the margin the bound needs, so that its rounding cannot matter.
    if (!(least > 0) || !(least * least * least * least > 4 * far * bend * ee * ee)) return false;
    // A convex distance that rises from an end (or falls to it) has its minimum there.
    for (int end = 0; end < 2; ++end) {
      const int j = end ? k - 1 : 0, i = end ? k - 2 : 0;
      double f = 0, sq = 0;
      for (int c = 0; c < 3; ++c) {
        const double r = B[c * k + j] - p[c];
        sq += r * r;
        f += r * (B[c * k + i + 1] - B[c * k + i]);
      }
      if (end ? f <= 0 : f >= 0) {
        if (sq < *best) {
          *best = sq;
          for (int c = 0; c < 3; ++c) foot[c] = B[c * k + j];
        }
        return true;
      }
    }
    // The span's polynomial about p, whose values Horner's rule gives in a short chain of operations.
    // The differences of all coordinates side by side (a fourth, unused, makes pairs), each level in a row of
    // its own: differenced in place along a coordinate, the poles went through memory in a way that stalled
    // every load.
    // Only the unused fourth of the poles is set besides them: the rest of the table is written before it is
    // read, and zeroing all of it first cost as much as the differences.
    double d[k][k][4];
    for (int j = 0; j < k; ++j) {
      for (int c = 0; c < 3; ++c) d[0][j][c] = B[c * k + j];
      d[0][j][3] = 0;
    }
    for (int i = 1; i < k; ++i)
      for (int j = 0; j < k - i; ++j)
        for (int c = 0; c < 4; ++c) d[i][j][c] = d[i - 1][j + 1][c] - d[i - 1][j][c];
    double a[3][k];
    for (int c = 0; c < 3; ++c) {
      double binom = 1;
      for (int i = 0; i < k; ++i) {
        a[c][i] = binom * d[i][0][c];
        binom = binom * (k - 1 - i) / (i + 1);
      }
      a[c][0] -= p[c];
    }
    // The minimum lies inside: Newton steps kept within the bracket of the derivative's sign change.
    // Horner's rule runs for the first two coordinates side by side in a vector, each lane with the scalar
    // operations, and the third beside it; the sums over the coordinates are taken in their order.
    typedef double Pair __attribute__((vector_size(16)));
    Pair a01[k];
    for (int i = 0; i < k; ++i) a01[i] = Pair{a[0][i], a[1][i]};
    double lo = 0, hi = 1, got = INFINITY, at[3];
    bool last = false, settled = false;
    for (int iter = 0; iter < 60 && !settled; ++iter) {
      // The sums start from their first terms rather than from 0, which can change only the sign of a zero
      // sum: a zero f ends the steps whatever its sign, and a zero df sends the step out of the bracket either
      // way; a sum of squares is never -0.
      const Pair uu = {u, u}, two = {2, 2};
      Pair h = a01[k - 1], h1 = {0, 0}, h2 = {0, 0};
      double w = a[2][k - 1], w1 = 0, w2 = 0;
      for (int i = k - 2; i >= 0; --i) {
        h2 = h2 * uu + two * h1;
        h1 = h1 * uu + h;
        h = h * uu + a01[i];
        w2 = w2 * u + 2 * w1;
        w1 = w1 * u + w;
        w = w * u + a[2][i];
      }
      const Pair vv = h * h, vd = h * h1, dd = h1 * h1 + h * h2;
      double sq = vv[0], f = vd[0], df = dd[0];
      sq += vv[1];
      f += vd[1];
      df += dd[1];
      sq += w * w;
      f += w * w1;
      df += w1 * w1 + w * w2;
      const double r[3] = {h[0], h[1], w};
      if (sq < got) {
        got = sq;
        for (int c = 0; c < 3; ++c) at[c] = r[c] + p[c];
      }
      if (f > 0)
        hi = u;
      else if (f < 0)
        lo = u;
      if (last || f == 0 || !(hi - lo > 0x1p-52)) {
        settled = true;
        break;
      }
      double v = u - f / df;
      // A step too small to move u has converged, though u may sit on the end of the bracket it just set.
      if (v == u) {
        settled = true;
        break;
      }
      if (!(v > lo && v < hi)) v = (lo + hi) / 2;
      if (v == u) {
        settled = true;
        break;
      }
      last = std::fabs(v - u) < 1e-15;
      u = v;
    }
    if (!settled) return false;
    if (got < *best) {
      *best = got;
      std::memcpy(foot, at, sizeof at);
    }
    return true;
  }

  int k_ = 0, segs_ = 0, levels_ = 0;
  int count_[32] = {};
  double *level_[32] = {};
  double *bez_ = nullptr, *breaks_ = nullptr, *boxes_ = nullptr;
  BSscratch<0> room_;
};

// BSfitraterr for a round of the search, whose fit parameters lie near the feet: by SpanMeasure where it is sure
// of every point, else by BSfitraterr itself.
// near: the points are unweighted and within 2^500 (those beyond are left to the general search, which refuses
// them); the same in every round, so the caller tells it once.
// decided: a round with a point surely farther than this has its outcome settled, and the measure stops at that
// point (its distance the largest, the mean over the points measured); INFINITY measures every point.
void round_error(int n, const double *points, const double *weights, const double *params, const VOQbsp_curve *cv,
                 bool near, double decided, SpanMeasure &span, double *mean_dev, double *max_dev, int *max_index,
                 double *max_point, int *rc) {
  *rc = 0;
  if (near && span.prepare(cv)) {
    double sum = 0.0, worst = 0.0, at[3] = {0, 0, 0};
    int index = -1, measured = n;
    bool sure = true;
    for (int i = 0; i < n && sure; ++i) {
      double foot[3], dist = 0;
      sure = span.nearest(points + 3 * i, params[i], foot, &dist);
      sum += dist;
      if (dist > worst) {
        worst = dist;
        index = i;
        std::memcpy(at, foot, sizeof at);
      }
      if (sure && dist > decided) {
        measured = i + 1;
        break;
      }
    }
    if (sure) {
      if (index >= 0) {
        *max_index = index;
        std::memcpy(max_point, at, sizeof at);
      }
      *mean_dev = sum / measured;
      *max_dev = worst;
      return;
    }
  }
  BSfitraterr(n, points, weights, cv, mean_dev, max_dev, max_index, max_point, rc);
}

}  // namespace

void BScoincdpts(int n, const double *points, const double *weights, BSboolean *coincident, int *rc) {
  *rc = 0;
  *coincident = BSFALSE;
  int type = 0;
  double point[3], vec[3], deviation = 0.0;
  BSlsqptlnpl(n, points, weights, BSFIT_POINT, &type, point, vec, &deviation, rc);
  if (*rc == 0 && type == BSKIND_POINT) *coincident = BSTRUE;
  BSexit(rc, "BScoincdpts", "bscoincdpts");
}

void BSftmatsz(BSboolean rational, int n, int num_poles, std::int16_t order, std::int16_t periodic, int end_type,
               int *rows, int *cols, int *rc) {
  *rc = 0;
  if (periodic) {
    *rows = n - 1;
    *cols = num_poles - order + 1;
  } else {
    *cols = order;
    if (rational || end_type == 0)
      *rows = n;
    else if (end_type >= 1 && end_type <= 4)
      *rows = n - 2;
  }
  BSexit(rc, "BSftmatsz", "bsftmatsz");
}

namespace {

// BSktsprsfft, with the length of the points kept in *length for a caller that asks for other span counts on the
// same points: while *known, params already hold the parameters, which are not measured again.
void params_and_knots(int n, const double *points, const double *weights, std::int16_t order, std::int16_t periodic,
                      int num_spans, const BSboolean given[3], double *params, int *num_knots, double *knots,
                      int *span_index, double *length, bool *known, int *rc) {
  *rc = 0;
  do {
    double tol = BStoltab[bstol::knot_tol];
    if (!given[0]) {
      double s = 0.0;
      if (known && *known && !bstest::slow_roads()) {
        s = *length;
      } else {
        BSavgprsfft(1, n, points, weights, 3, 3, order, &s, params, rc);
        if (*rc != 0) break;
        if (known) *length = s, *known = true;
      }
      // Parameters run over [0, 1]: the knot tolerance, a length, shrinks with the set's size.
      if (s < 0.001) s = 0.001;
      tol /= s;
    }
    if (!given[1])
      BSkts_f_fit(order, periodic, 4, tol, num_spans, n, params, num_knots, knots, span_index, rc);
    else if (!given[2])
      BSfndspnarr(order, *num_knots - order, n, params, knots, span_index, rc);
  } while (false);
  BSexit(rc, "BSktsprsfft", "bsktsprsfft");
}

}  // namespace

void BSktsprsfft(int n, const double *points, const double *weights, std::int16_t order, std::int16_t periodic,
                 int num_spans, const BSboolean given[3], double *params, int *num_knots, double *knots,
                 int *span_index, int *rc) {
  params_and_knots(n, points, weights, order, periodic, num_spans, given, params, num_knots, knots, span_index,
                   nullptr, nullptr, rc);
}

void BSfitraterr(int n, const double *points, const double *weights, const VOQbsp_curve *curve, double *mean_dev,
                 double *max_dev, int *max_index, double *max_point, int *rc) {
  *rc = 0;
  BSscratch<2 * kLocal> pd_scratch;
  BSscratch<3 * kLocal> base_scratch, pts_scratch;
  double *pd = pd_scratch.take(sz(2, n));
  double *base = base_scratch.take(sz(3, n));
  double *pts = weights ? pts_scratch.take(sz(3, n)) : nullptr;
  if (!pd || !base || (weights && !pts)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  if (weights)
    for (int i = 0; i < n; ++i) unweighted(points, weights, i, pts + 3 * i);
  double *pars = pd, *dist = pd + n;
  BSboolean on_curve = BSFALSE;
  BSmdstptscv(n, weights ? pts : points, curve, pars, base, dist, &on_curve, rc);
  if (*rc != 0) return;
  double sum = 0.0, worst = 0.0;
  for (int i = 0; i < n; ++i) {
    polish_foot(curve, (weights ? pts : points) + 3 * i, &pars[i], base + 3 * i, &dist[i]);
    sum += dist[i];
    if (dist[i] > worst) {
      worst = dist[i];
      *max_index = i;
      std::memcpy(max_point, base + 3 * i, 3 * sizeof(double));
    }
  }
  *mean_dev = sum / n;
  *max_dev = worst;
}

void BSfitratcv(int n, double *points, double *weights, double *params, int *span_index, std::int16_t order,
                int num_knots, double *knots, std::int16_t periodic, int end_type, int start_code, int end_code,
                double *start_value, double *end_value, std::int32_t reserved1, std::int32_t reserved2,
                double start_weight, double end_weight, std::int32_t reserved3, double reserved4,
                std::int32_t reserved5, std::int16_t search, double tolerance, VOQbsp_curve **curve, double *mean_dev,
                double *max_dev, int *max_index, double *max_point, int *rc) {
  *rc = 0;
  // Unsafe input is refused before anything is written, and a weight before any point is divided by it.
  if (n < 1 || n > kMaxPoints || !points || !curve || !mean_dev || !max_dev || !max_index || !max_point) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (weights) {
    if (!BSallfinite(n, weights)) *rc = BSRC_OUT_OF_RANGE;
    for (int i = 0; i < n && *rc == 0; ++i)
      if (!(weights[i] > 0)) *rc = BSRC_DEGENERATE;
  }
  if (*rc != 0) {
    BSexit(rc, "BSfitratcv", "bsfitratcv");
    return;
  }
  *curve = nullptr;
  *mean_dev = *max_dev = 0.0;
  *max_index = 0;
  max_point[0] = max_point[1] = max_point[2] = 0.0;

  const int k = order;
  const bool rational = weights != nullptr;
  BSscratch<3 * kLocal> unw_scratch, mapped_scratch, red_pts_scratch;
  BSscratch<kLocal> red_w_scratch, red_par_scratch, red_spn_scratch, par_scratch, spn_scratch, knot_scratch;
  BSscratch<3 * kLocal> rhs_scratch, pwork_scratch;
  BSscratch<0> matrix_scratch;  // a large band goes to the heap rather than the frame
  BSscratch<0> keep_scratch;
  do {
    // Checks.
    const bool given_knots = knots != nullptr;
    if (((end_type == 0 || end_type == 1) && (!params || !knots || !span_index)) || k < 2 ||
        (end_type == 2 && k == 3 && n == 2)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool start_tangent = start_code == 1 || start_code == -1, end_tangent = end_code == 1 || end_code == -1;
    if (end_type < 0 || end_type > 2 || search < 0 || search > 2 || !std::isfinite(tolerance) || tolerance < 0 ||
        !BSallfinite(3 * n, points) || (params && !BSallfinite(n, params)) ||
        (given_knots && (num_knots < 2 * k || num_knots > kMaxPoints || !ascending(num_knots, knots))) ||
        (start_tangent && (!start_value || !BSallfinite(3, start_value))) ||
        (end_tangent && (!end_value || !BSallfinite(3, end_value))) ||
        (rational && ((start_code == -1 && !(start_weight > 0)) || (end_code == -1 && !(end_weight > 0))))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }

    // All points at one place.
    BSboolean coincident = BSFALSE;
    BScoincdpts(n, points, weights, &coincident, rc);
    if (*rc != 0) break;
    if (coincident) {
      double mean[3];
      if (!BSavgpts(rc, n, points, weights, mean)) break;
      std::memcpy(max_point, mean, sizeof mean);
      point_curve(k, num_knots - k, knots, rational, mean, curve, rc);
      break;
    }

    // A polygon through the points; it is never rational.
    if (search == 1 && k == 2) {
      const double *pts = points;
      if (rational) {
        double *u = unw_scratch.take(sz(3, n));
        if (!u) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        for (int i = 0; i < n; ++i) unweighted(points, weights, i, u + 3 * i);
        pts = u;
      }
      if (given_knots && num_knots != n + 2) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      BSallocvoqcv(2, n, BSFALSE, 0, curve, rc);
      if (*rc != 0) break;
      double dir[3];
      if (given_knots) {
        std::memcpy((*curve)->knots, knots, sz(num_knots) * sizeof(double));
        BSlinintnkt(n, pts, *curve, dir, rc);
        (*curve)->num_knots = num_knots;
      } else {
        BSlininter(rc, &n, pts, *curve, dir);
      }
      break;
    }

    // End tangents on a given knot vector: the points next to a constrained end make way for its tangent pole.
    const double *pts = points, *wts = weights, *prm = params;
    const int *spn = span_index;
    if (end_type == 2 && given_knots) {
      const int P = num_knots - k, h = (k - 1) / 2;
      if (n == P - 2 * h || (start_tangent != end_tangent && (start_code == 0 || end_code == 0) && n == P - h)) {
        // the data are used as they come
      } else if (start_code == 0 && end_code == 0 && n == P) {
        end_type = 1;
      } else if (n != P || (!start_tangent && !end_tangent)) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      } else {
        double *rp = red_pts_scratch.take(sz(3, n));
        double *rw = rational ? red_w_scratch.take(sz(n)) : nullptr;
        double *ru = params ? red_par_scratch.take(sz(n)) : nullptr;
        int *rs = span_index ? ints(red_spn_scratch.take(sz(n))) : nullptr;
        if (!rp || (rational && !rw) || (params && !ru) || (span_index && !rs)) {
          *rc = BSRC_NO_SCRATCH;
          break;
        }
        int m = 0;
        for (int i = 0; i < n; ++i) {
          const bool dropped = i > 0 && i < n - 1 && ((start_tangent && i <= h) || (end_tangent && i >= n - 1 - h));
          if (dropped) continue;
          std::memcpy(rp + 3 * m, points + 3 * i, 3 * sizeof(double));
          if (rw) rw[m] = weights[i];
          if (ru) ru[m] = params[i];
          if (rs) rs[m] = span_index[i];
          ++m;
        }
        n = m;
        pts = rp, wts = rw, prm = ru, spn = rs;
      }
    }

    // Closure.
    double first[3], last[3];
    unweighted(pts, wts, 0, first);
    unweighted(pts, wts, n - 1, last);
    const double d2 = BSpdistsq(rc, first, last);
    if (periodic && (n < 4 || d2 > BStoltab[bstol::dist_sqtol])) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }

    // Shape of the set.
    int kind = 0;
    double normal[3];
    BSptlnplan(n, 0, pts, wts, &kind, normal, rc);
    if (*rc != 0) break;
    if (kind == BSKIND_POINT) {
      double mean[3];
      if (!BSavgpts(rc, n, pts, wts, mean)) break;
      point_curve(k, 0, nullptr, rational, mean, curve, rc);
      if (*rc == 0 && search == 0) std::memcpy(max_point, mean, sizeof mean);
      break;
    }

    // Arrays for what the caller leaves to this routine.
    const BSboolean given[3] = {prm ? BSTRUE : BSFALSE, given_knots ? BSTRUE : BSFALSE, spn ? BSTRUE : BSFALSE};
    if (spn && (!prm || !given_knots)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double *u = prm ? const_cast<double *>(prm) : par_scratch.take(sz(n));
    double *t = given_knots ? knots : knot_scratch.take(sz(n) + sz(2, k) - 1);
    int *sp = spn ? const_cast<int *>(spn) : ints(spn_scratch.take(sz(n)));
    if (!u || !t || !sp) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }

    // Spans and knots.
    int nk = num_knots;
    const int S = given_knots ? num_knots - 2 * k + 1 : (periodic ? n - 1 : n - 1 + k % 2);
    // Every span count of the search has the same parameters: they are measured once.
    double length = 0.0;
    bool measured = false;
    if (!(given[0] && given[1] && given[2])) {
      params_and_knots(n, pts, wts, order, periodic, S, given, u, &nk, t, sp, &length, &measured, rc);
      if (*rc != 0) break;
    }

    // Result and work arrays, sized for the most poles.
    int P = nk - k;
    BSallocvoqcv(order, P, rational ? BSTRUE : BSFALSE, 0, curve, rc);
    if (*rc != 0) break;
    VOQbsp_curve *cv = *curve;
    const int most = P;
    int rows = 0, cols = 0;
    BSftmatsz(rational ? BSTRUE : BSFALSE, n, P, order, periodic, end_type, &rows, &cols, rc);
    if (rows < 0) rows = 0;
    double *matrix = matrix_scratch.take(sz(rows, k));
    double *rhs = rhs_scratch.take(sz(rows, periodic && cols >= 2 * k - 1 ? k + 2 : 3));
    double *pwork = periodic ? pwork_scratch.take(sz(cols > 0 ? cols : 1, 3)) : nullptr;
    if (!matrix || !rhs || (periodic && !pwork)) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }

    // Search start.
    const bool searching = search != 1 && !given_knots;
    int L = 1, H = S, c = S;
    if (searching) {
      // A periodic curve has two spans at least: one would leave no distinct pole to fit.
      const int least = periodic ? 2 : 1;
      c = S / 2 > least ? S / 2 : least;
      const BSboolean again[3] = {given[0], BSFALSE, BSFALSE};
      params_and_knots(n, pts, wts, order, periodic, c, again, u, &nk, t, sp, &length, &measured, rc);
      if (*rc != 0) break;
      P = nk - k;
    }

    // Curve header.
    set_header(cv, k, P, t, rational, periodic != 0);
    cv->phy_closed = periodic || d2 < BStoltab[bstol::dist_sqtol] ? BSTRUE : BSFALSE;

    // End tangents against the plane of the points: one leaving it makes the fit three-dimensional.
    if (kind == BSKIND_PLANE) {
      double *values[2] = {start_value, end_value};
      const int codes[2] = {start_code, end_code};
      const double vw[2] = {start_weight, end_weight};
      const double *ends[2] = {first, last};
      for (int e = 0; e < 2 && kind == BSKIND_PLANE && *rc == 0; ++e) {
        double d[3];
        if (codes[e] == 1) {
          if (!BSnorvec(rc, values[e])) break;
          std::memcpy(d, values[e], sizeof d);
        } else if (codes[e] == -1) {
          for (int j = 0; j < 3; ++j) d[j] = values[e][j] / (rational ? vw[e] : 1.0) - ends[e][j];
          if (!BSnorvec(rc, d)) break;
        } else {
          continue;
        }
        if (std::fabs(BSvdot(rc, d, normal)) > BStoltab[3]) kind = BSKIND_NONE;
      }
      if (*rc != 0) break;
    }

    // The plane's own frame: the fit runs on the mapped data and the poles are mapped back after every fit.
    const bool in_plane = kind == BSKIND_PLANE;
    cv->planar = in_plane ? BSTRUE : BSFALSE;
    double origin[3] = {0, 0, 0}, M[9], scale = 1.0;
    const double *fit_pts = pts;
    double fit_sv[3] = {0, 0, 0}, fit_ev[3] = {0, 0, 0};
    const double *sv = start_value, *ev = end_value;
    if (in_plane) {
      double mean[3];
      const double zero[3] = {0, 0, 0}, zaxis[3] = {0, 0, 1};
      double *mapped = mapped_scratch.take(sz(3, n));
      if (!mapped) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      if (!BSavgpts(rc, n, pts, wts, mean) || !BStrans1(rc, mean, normal, zero, zaxis, origin, M, &scale)) break;
      BSptsoldtnw(origin, M, scale, n, rational ? BSTRUE : BSFALSE, pts, wts, mapped, rc);
      if (*rc != 0) break;
      fit_pts = mapped;
      double *mv[2] = {fit_sv, fit_ev};
      const double *values[2] = {start_value, end_value};
      const int codes[2] = {start_code, end_code};
      const double vw[2] = {start_weight, end_weight};
      for (int e = 0; e < 2 && *rc == 0; ++e) {
        if (codes[e] == 1) {
          BSptoldtnw(rc, zero, M, &scale, values[e], mv[e]);
        } else if (codes[e] == -1) {
          const double w = rational ? vw[e] : 1.0;
          const double p[3] = {values[e][0] / w, values[e][1] / w, values[e][2] / w};
          BSptoldtnw(rc, origin, M, &scale, p, mv[e]);
          for (int j = 0; j < 3; ++j) mv[e][j] *= w;
        }
      }
      if (*rc != 0) break;
      if (start_tangent) sv = fit_sv;
      if (end_tangent) ev = fit_ev;
    }

    // The points are the same in every round, and so are the end tangents estimated from them.
    bsfit::EndTangents tangents;
    auto fit = [&]() {
      bsfit::fit_points(n, fit_pts, wts, u, sp, order, P, cv->knots, 3, 3, periodic, end_type, start_code, end_code,
                        sv, ev, start_weight, end_weight, matrix, rhs, pwork, cv->poles, cv->weights, &tangents, rc);
      if (*rc == 0 && in_plane)
        BSptsnwtold(origin, M, scale, P, rational ? BSTRUE : BSFALSE, cv->poles, cv->weights, cv->poles, rc);
      return *rc == 0;
    };
    if (!fit()) {
      // The search fitted no curve, and a half-written record is none to hand back.
      if (searching) {
        int frc = 0;
        BSfreevoqcv(cv, &frc);
        *curve = nullptr;
      }
      break;
    }

    // Search of the span count.
    bool failed = false;
    // whole: the deviations held measure every point of the curve, as those a failed search hands back must.
    bool whole = true;
    double *kept = nullptr;
    SpanMeasure span;
    bool near = !wts;
    for (int i = 0; near && i < 3 * n; ++i) near = std::fabs(pts[i]) <= 0x1p500;
    for (int round = 0; !failed; ++round) {
      if (search == 1) break;
      if (given_knots) {
        if (search == 0) BSfitraterr(n, pts, wts, cv, mean_dev, max_dev, max_index, max_point, rc);
        failed = *rc != 0;
        break;
      }
      if (c == S) {
        // The curve has as many poles as it can have and interpolates; the outputs describe one point.
        *mean_dev = *max_dev = 0.0;
        *max_index = 0;
        std::memcpy(max_point, first, sizeof first);
        break;
      }
      // A round beyond the tolerance only moves the search on, unless it is the last span count to try, whose
      // measure the caller is given.
      const double decided = H - L == 1 && c == H ? INFINITY : tolerance;
      round_error(n, pts, wts, u, cv, near, decided, span, mean_dev, max_dev, max_index, max_point, rc);
      whole = !(*max_dev > decided);
      if (*rc != 0 || round >= kMaxRounds) {
        if (*rc == 0) *rc = BSRC_ZERO_WEIGHT;
        failed = true;
        break;
      }
      const int old = c;
      if (H - L == 1) {
        if (*max_dev <= tolerance) break;
        if (c == H) {
          *rc = BSRC_ZERO_WEIGHT;
          failed = true;
          break;
        }
        c = H;
      } else if (*max_dev < tolerance) {
        H = c;
        const int next = c - (c - L) / 2;
        if (next == S || next == old) {
          if (c - L == 0 || (c - L == 1 && (L != 1 || periodic))) break;
          c = L;
        } else {
          c = next;
        }
      } else {
        L = c;
        const int next = c + (H - c) / 2;
        c = next == 1 || next == old ? H : next;
      }
      const BSboolean again[3] = {given[0], BSFALSE, BSFALSE};
      params_and_knots(n, pts, wts, order, periodic, c, again, u, &nk, t, sp, &length, &measured, rc);
      // A fit that fails can leave the record half written: the last curve is kept to be put back, since the
      // search then ends on it.
      if (*rc == 0 && !kept && !(kept = keep_scratch.take(sz(5, most) + sz(k)))) *rc = BSRC_NO_SCRATCH;
      if (*rc == 0) {
        const int last = cv->num_poles;
        double *kept_poles = kept + most + k, *kept_weights = kept_poles + sz(3, most);
        std::memcpy(kept, cv->knots, sz(last + k) * sizeof(double));
        std::memcpy(kept_poles, cv->poles, sz(3, last) * sizeof(double));
        if (rational) std::memcpy(kept_weights, cv->weights, sz(last) * sizeof(double));
        P = nk - k;
        set_header(cv, k, P, t, rational, periodic != 0);
        if (!fit()) {
          P = last;
          set_header(cv, k, P, kept, rational, periodic != 0);
          std::memcpy(cv->poles, kept_poles, sz(3, P) * sizeof(double));
          if (rational) std::memcpy(cv->weights, kept_weights, sz(P) * sizeof(double));
        }
      }
      if (*rc != 0) {
        // The caller is given the whole measure of the curve the search ends on; should that measure fail, the
        // round's own stays.
        if (!whole) {
          int mrc = 0;
          round_error(n, pts, wts, u, cv, near, INFINITY, span, mean_dev, max_dev, max_index, max_point, &mrc);
        }
        failed = true;
      }
    }
    if (failed) break;

    // Closing touches.
    if (!periodic && cv->phy_closed) {
      double *a = cv->poles, *b = cv->poles + 3 * (P - 1);
      for (int j = 0; j < 3; ++j) {
        const double wa = rational ? cv->weights[0] : 1.0, wb = rational ? cv->weights[P - 1] : 1.0;
        const double m = (a[j] / wa + b[j] / wb) / 2;
        a[j] = m * wa;
        b[j] = m * wb;
      }
    } else if (periodic && search == 1 && k % 2 == 1 && !given_knots) {
      const int np = P;
      BSnorkts(rc, &order, &np, cv->knots);
    }
  } while (false);
  BSexit(rc, "BSfitratcv", "bsfitratcv");
}
