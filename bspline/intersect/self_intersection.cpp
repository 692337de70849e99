// Where a curve meets itself. The loop removal of every offset rests on this: a crossing missed here leaves a loop
// in the drawn offset. A curve on a straight line can only run back over itself, so it is cut at its turning
// points and its pieces compared as overlaps; any other curve is cut one span at a time, each span tested against
// itself and against all that follows it, so that every pair of spans is examined once.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/core/even_weights_internal.h"
#include "bspline/core/evaluation_internal.h"
#include "bspline/core/exit.h"
#include "bspline/core/golden_section.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/intersect/call_internal.h"
#include "bspline/intersect/polygon_intersector.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

namespace {

// Room the curve/curve intersection gets in this routine's own arrays for one span against the rest.
constexpr int kSpanRestRoom = 256;
// First room of the result arrays of a curve that is not straight.
constexpr int kFirstCrossings = 20;
constexpr int kFirstOverlaps = 10;

// A FALSE from a callee that left no code of its own must not read as "no loops".
int failed(int *rc) { return *rc != 0 ? *rc : (*rc = BSRC_SLFINT_FAILED); }

void release_record(VOQbsp_curve *&cv) {
  if (cv) BSdbgfree(cv);
  cv = nullptr;
}

// A curve record whose arrays the caller's split took from the heap.
void release_split(VOQbsp_curve &cv) {
  BSdbgfree(cv.poles);
  BSdbgfree(cv.knots);
  if (cv.rational) BSdbgfree(cv.weights);
  cv.poles = cv.knots = cv.weights = nullptr;
}

void release_piece(VOQbsp_curve *cv) {
  if (!cv) return;
  release_split(*cv);
  BSdbgfree(cv);
}

// The Cartesian poles of cv into out (room for its poles).
bool unweighted(int *rc, const VOQbsp_curve &cv, double *out) {
  if (cv.rational) return BSunwght_p(rc, cv.poles, cv.weights, &cv.num_poles, out) != 0 && *rc == 0;
  std::memcpy(out, cv.poles, 3 * static_cast<std::size_t>(cv.num_poles) * sizeof(double));
  return true;
}

// Whether cv might meet itself: its control polygon crosses itself, or an end point lies in the box of the other
// poles, or its poles do not all advance along one direction (a simple polygon can still carry a loop).
bool may_meet_itself(int *rc, const VOQbsp_curve &cv, double *poles) {
  if (!unweighted(rc, cv, poles)) return false;
  BSboolean crosses = BSFALSE, inside = BSFALSE;
  if (!BSls_slfint(rc, &cv.num_poles, poles, &crosses)) {
    failed(rc);
    return false;
  }
  if (crosses) return true;
  BSendptinbx(rc, &cv, &inside);
  // A curve of order 2 is its polygon.
  return *rc == 0 && (inside || (cv.order > 2 && !BSpoles_advance(&cv)));
}

// Whether every Cartesian pole of cv lies nearer than radius to centre, its weights positive.
bool within(const VOQbsp_curve &cv, const double centre[3], double radius) {
  for (int i = 0; i < cv.num_poles; ++i) {
    const double w = cv.rational ? cv.weights[i] : 1.0;
    if (!(w > 0)) return false;
    double sq = 0;
    for (int c = 0; c < 3; ++c) {
      const double d = cv.poles[3 * i + c] / w - centre[c];
      sq += d * d;
    }
    if (!(sq < radius * radius)) return false;
  }
  return true;
}

// Parallel arrays of doubles that grow together to exactly the room asked for; never written past their room.
struct Columns {
  double **col[4] = {nullptr, nullptr, nullptr, nullptr};
  int width = 0;
  int room = 0;
  int *count = nullptr;

  bool allocate(int *rc, int n) {
    for (int c = 0; c < width; ++c) {
      *col[c] = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * std::max(n, 1)));
      if (!*col[c]) {
        *rc = BSRC_NO_HEAP;
        return false;
      }
    }
    room = n;
    return true;
  }
  bool reserve(int *rc, int need) {
    if (need <= room) return true;
    for (int c = 0; c < width; ++c) {
      void *grown = BSdbgralloc(*col[c], static_cast<int>(sizeof(double)) * need);
      if (!grown) {
        *rc = BSRC_NO_HEAP;
        return false;
      }
      *col[c] = static_cast<double *>(grown);
    }
    room = need;
    return true;
  }
  bool push(int *rc, const double *values) {
    if (!reserve(rc, *count + 1)) return false;
    for (int c = 0; c < width; ++c) (*col[c])[*count] = values[c];
    ++*count;
    return true;
  }
  void remove(int i) {
    for (int c = 0; c < width; ++c)
      std::memmove(*col[c] + i, *col[c] + i + 1, static_cast<std::size_t>(*count - i - 1) * sizeof(double));
    --*count;
  }
  // Released (and nulled) when empty or when forced.
  void settle(bool force) {
    if (*count > 0 && !force) return;
    *count = 0;
    for (int c = 0; c < width; ++c) {
      BSdbgfree(*col[c]);
      *col[c] = nullptr;
    }
    room = 0;
  }
};

// Results that a call appends in one batch: the room is fitted to the new count before anything is written.
bool append_crossings(int *rc, Columns &crossings, int m, const double *first, const double *second) {
  if (m <= 0) return true;
  if (!crossings.reserve(rc, *crossings.count + m)) return false;
  for (int r = 0; r < m; ++r) {
    (*crossings.col[0])[*crossings.count] = first[r];
    (*crossings.col[1])[*crossings.count] = second[r];
    ++*crossings.count;
  }
  return true;
}

// The stack of halved piece pairs, with every record it still holds released on the way out.
struct PieceStack {
  VOQbsp_curve **slots = nullptr;
  std::int32_t count = 0;
  ~PieceStack() {
    for (int i = 0; i < count; ++i) release_piece(slots[i]);
    BSdbgfree(slots);
  }
};

// A working Bezier piece of the pair stack.
using PieceRecord = bsknots::FixedCurve<BSXBZ_MAX_ORDER, BSXBZ_MAX_ORDER>;

// Where cv, moving along dir from lo (where it is at from, the far side of a jump there), first stops doing so
// before hi, for a turn that the search nearest to a guess missed: the best of evenly spread samples up to the
// first that falls back along dir, narrowed by golden sections between its neighbours, then settled on the
// turning point there when that is no worse than the tolerance (else, or when that search fails, the narrowed
// point stands).
void first_top_along(const VOQbsp_curve *cv, const double dir[3], double lo, const double from[3], double hi,
                     double *t, double point[3], int *rc) {
  constexpr int kSamples = 64;
  double p[3];
  auto along = [&](double u) {
    BScveval_n(cv, u, 0, p, rc);
    return *rc == 0 ? p[0] * dir[0] + p[1] * dir[1] + p[2] * dir[2] : -HUGE_VAL;
  };
  const double h = (hi - lo) / kSamples;
  const double slack = BStoltab[bstol::dist_tol] * std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  // Standing still (a rest at the start) is no stop.
  double best_u = lo, best = from[0] * dir[0] + from[1] * dir[1] + from[2] * dir[2];
  for (int s = 1; s <= kSamples && *rc == 0; ++s) {
    const double u = s == kSamples ? hi : lo + h * s, v = along(u);
    if (!(v >= best - slack)) break;
    if (v > best) best = v, best_u = u;
  }
  if (*rc != 0) return;
  const bsgolden::Inner in = bsgolden::narrow_to_top(
      along, std::max(lo, best_u - h), std::min(hi, best_u + h), 100,
      [&](double a, double x1, double x2, double b) { return *rc == 0 && a < x1 && x1 < x2 && x2 < b; });
  if (*rc != 0) return;
  if (in.f1 > best) best = in.f1, best_u = in.x1;
  if (in.f2 > best) best = in.f2, best_u = in.x2;
  double turn = 0, q[3];
  BSfndcvturn(cv, dir, best_u, &turn, q, rc);
  const bool settles = *rc == 0 && std::fabs(turn - best_u) <= h && turn > lo && turn <= hi &&
                       q[0] * dir[0] + q[1] * dir[1] + q[2] * dir[2] >= best - slack;
  *rc = 0;
  *t = settles ? turn : best_u;
  if (settles)
    std::memcpy(point, q, sizeof q);
  else if (best_u == lo)
    std::memcpy(point, from, 3 * sizeof(double));
  else
    BScveval_n(cv, best_u, 0, point, rc);
}

// Whether cv runs along dir without falling back (within the tolerance) from lo, where it is at from (the far
// side of a jump there), to hi, judged at a few points and by the way it arrives at hi: a corner at hi (a knot
// of multiplicity order - 1) may follow a dip too narrow for the points, the curve coming back up to the corner.
bool runs_one_way(const VOQbsp_curve *cv, const double dir[3], double lo, const double from[3], double hi, int *rc) {
  constexpr int kChecks = 16;
  const double slack = BStoltab[bstol::dist_tol] * std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  // Where no derivative from the left is had (hi at a clamped end), the points alone judge.
  const int one = 1;
  int drc = 0;
  double left[6], right[6];
  BSboolean two_sided = BSFALSE;
  if (BScveval_b(&drc, cv, &hi, &one, nullptr, &two_sided, left, right) &&
      (left[3] * dir[0] + left[4] * dir[1] + left[5] * dir[2]) * (hi - lo) < -slack)
    return false;
  double before = from[0] * dir[0] + from[1] * dir[1] + from[2] * dir[2];
  for (int s = 1; s <= kChecks; ++s) {
    double p[3];
    BScveval_n(cv, s == kChecks ? hi : lo + (hi - lo) * s / kChecks, 0, p, rc);
    if (*rc != 0) return false;
    const double v = p[0] * dir[0] + p[1] * dir[1] + p[2] * dir[2];
    if (v < before - slack) return false;
    before = std::max(before, v);
  }
  return true;
}

// Which way cv, at `from` at lo, first leaves its place along dir on the way to hi: +1 when it moves on by more
// than `on`, -1 when it falls back by more than `back` (both in tolerances), 0 for neither. Judged at points that
// close in on lo geometrically, where a top missed by a little lies, and then at evenly spread ones.
int first_leaves(const VOQbsp_curve *cv, const double dir[3], double lo, const double from[3], double hi, double on,
                 double back, int *rc) {
  constexpr int kHalvings = 40, kChecks = 16;
  const double slack = BStoltab[bstol::dist_tol] * std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  const double base = from[0] * dir[0] + from[1] * dir[1] + from[2] * dir[2];
  for (int s = -kHalvings; s <= kChecks; ++s) {
    if (s == 0) continue;
    const double u = s < 0 ? lo + std::ldexp((hi - lo) / kChecks, s + 1) : s == kChecks ? hi : lo + (hi - lo) * s / kChecks;
    if (!(u > lo)) continue;
    double p[3];
    BScveval_n(cv, u, 0, p, rc);
    if (*rc != 0) return 0;
    const double v = p[0] * dir[0] + p[1] * dir[1] + p[2] * dir[2];
    if (v < base - back * slack) return -1;
    if (v > base + on * slack) return 1;
  }
  return 0;
}

// The tops of a curve on a line whose spans carry weights far apart. Such a curve runs through nearly all of its
// length within slivers of its parameter: there the composite form's turn search, which weighs the derivative along
// a pole step against the distance tolerance, loses turns or names one beside the top, and the samples that back it
// up pass the sliver over. Here every span's place along the line is taken in Bezier form, cut where its evened
// parameter halves until its weights lie close, and the sign changes of its derivative's numerator found on its
// Bernstein coefficients, each a sum of products of two weights and a difference of two places (so that no place
// far from the origin cancels). Between these points and the span ends the place runs one way: the tops are among
// them.
class LineTops {
 public:
  // False where the general search stands: no span's weights lie far apart, or a weight is not positive.
  bool build(const VOQbsp_curve *cv, const double *cartesian) {
    const int n = cv->num_poles, k = cv->order, d = k - 1;
    if (!cv->rational || k > 16 || k < 2) return false;
    bool uneven = false;
    for (int m = k - 1; m < n && !uneven; ++m)
      uneven = cv->knots[m] < cv->knots[m + 1] && bseven::uneven(d, 0, cv->weights + m - d);
    if (!uneven) return false;
    // The line: from the first pole to the one farthest from it.
    std::memcpy(origin_, cartesian, sizeof origin_);
    double far = 0;
    line_[0] = 1, line_[1] = line_[2] = 0;
    for (int i = 1; i < n; ++i) {
      const double *p = cartesian + 3 * i;
      const double v[3] = {p[0] - origin_[0], p[1] - origin_[1], p[2] - origin_[2]};
      const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      if (len > far) far = len, line_[0] = v[0] / len, line_[1] = v[1] / len, line_[2] = v[2] / len;
    }
    // Component-major: the weighted places, then the weights; and the spans in Bezier form, alike.
    std::vector<double> block(2 * static_cast<std::size_t>(n)), bez(2 * static_cast<std::size_t>(k) * n);
    std::vector<double> breaks(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i < n; ++i) block[i] = cv->weights[i] * place(cartesian + 3 * i), block[n + i] = cv->weights[i];
    int segs = 0, rc = 0;
    BSbstobez(d, n, 2, cv->knots, block.data(), &segs, bez.data(), breaks.data(), &rc);
    if (rc != 0) return false;
    for (int s = 0; s < segs; ++s) {
      Leaves leaves(this, d, breaks[s]);
      if (bseven::descend(d, 2, bez.data() + 2 * k * s, breaks[s], breaks[s + 1], leaves) != 0) return false;
    }
    return true;
  }

  double place(const double p[3]) const {
    return (p[0] - origin_[0]) * line_[0] + (p[1] - origin_[1]) * line_[1] + (p[2] - origin_[2]) * line_[2];
  }
  const double *line() const { return line_; }

  // The first top after start (where the curve is at place `from`, the far side of a jump there) of the curve
  // moving along the line's way `way` (+1 or -1), before stretch_end: the farthest place reached before the
  // curve first falls back from it by more than tol. A turn that falls back by less is no top, as the dithers
  // within the tolerance are none. False when there is none: the curve runs on to the end of the stretch.
  bool top(double start, double way, double from, double stretch_end, double tol, double *at) {
    // A pole reversal that the curve does not follow asks again from the same start: answered once.
    if (start == none_start_ && way == none_way_) return false;
    auto c = std::upper_bound(cand_.begin(), cand_.end(), start,
                              [](double s, const Candidate &q) { return s < q.t; });
    double best = way * from, best_t = start;
    for (; c != cand_.end() && c->span_start < stretch_end; ++c) {
      const double v = way * c->x;
      if (v > best) {
        best = v, best_t = c->t;
      } else if (v < best - tol) {
        *at = best_t;
        return true;
      }
    }
    none_start_ = start, none_way_ = way;
    return false;
  }

 private:
  struct Candidate {
    double t, x, span_start;
  };
  // The parts of a span (in span span_start) cut where their evened parameter halves until their weights lie close,
  // each searched.
  class Leaves final : public bseven::Parts {
   public:
    Leaves(LineTops *tops, int d, double span_start) : tops_(tops), d_(d), span_start_(span_start) {}
    int part(const double *poles, double a, double b, const double *l, int e) override {
      tops_->leaf(d_, poles, a, b, span_start_, l, e);
      return 0;
    }

   private:
    LineTops *tops_;
    int d_;
    double span_start_;
  };
  static constexpr int kRootDepth = 60;

  void leaf(int d, const double *cm, double a, double b, double span_start, const double *l, int e) {
    const int k = d + 1;
    double evened[32];
    const bool scaled = bseven::even_out(d, 1, cm, l, e, evened);
    const double *use = scaled ? evened : cm, *w = use + k;
    double x[16];
    for (int j = 0; j < k; ++j) x[j] = use[j] / w[j];
    cand_.push_back({a, x[0], span_start});
    if (d >= 2) {
      // x' W^2 / d in Bernstein form of degree 2d - 1: for B^{d-1}_i B^d_j the difference quotient's term
      // w_{i+1} w_j (x_{i+1} - x_j) - w_i w_j (x_i - x_j), times C(d-1, i) C(d, j) / C(2d-1, i+j).
      const int nd = 2 * d - 1;
      double D[32] = {0};
      for (int i = 0; i < d; ++i)
        for (int j = 0; j <= d; ++j)
          D[i + j] += binomial(d - 1, i) * binomial(d, j) / binomial(nd, i + j) *
                      (w[i + 1] * w[j] * (x[i + 1] - x[j]) - w[i] * w[j] * (x[i] - x[j]));
      std::vector<double> roots;
      int budget = 64 * k;
      sign_changes(nd, D, 0, 1, 0, &budget, roots);
      for (const double s : roots)
        cand_.push_back({bseven::unevened(s, scaled ? e : 0, a, b), value(d, use, s), span_start});
    }
    cand_.push_back({b, x[d], span_start});
  }

  static double binomial(int n, int r) {
    double c = 1;
    for (int i = 0; i < r; ++i) c = c * (n - i) / (i + 1);
    return c;
  }

  // The place at s of the part cm (weighted places, then weights), by de Casteljau's steps.
  static double value(int d, const double *cm, double s) {
    double p[16], w[16];
    std::memcpy(p, cm, sizeof(double) * (d + 1));
    std::memcpy(w, cm + d + 1, sizeof(double) * (d + 1));
    for (int r = 1; r <= d; ++r)
      for (int i = 0; i + r <= d; ++i) p[i] = (1 - s) * p[i] + s * p[i + 1], w[i] = (1 - s) * w[i] + s * w[i + 1];
    return p[0] / w[0];
  }

  static double bernstein_at(int n, const double *b, double s) {
    double q[32];
    std::memcpy(q, b, sizeof(double) * (n + 1));
    for (int r = 1; r <= n; ++r)
      for (int i = 0; i + r <= n; ++i) q[i] = (1 - s) * q[i] + s * q[i + 1];
    return q[0];
  }

  // The places in (lo, hi) where the Bernstein polynomial b[0..n] (over [lo, hi]) changes sign, in order: one
  // change of sign among the coefficients is one root, found by halving; more are parted by halving the
  // polynomial. Where that runs deep (a root of even order, or roots closer than the rounding), the middle stands
  // for them: a needless point among the candidates costs nothing.
  static void sign_changes(int n, const double *b, double lo, double hi, int depth, int *budget,
                           std::vector<double> &out) {
    int changes = 0, first = 0, last = 0;
    for (int i = 0; i <= n; ++i) {
      if (b[i] == 0) continue;
      const int sg = b[i] > 0 ? 1 : -1;
      if (last != 0 && sg != last) ++changes;
      if (first == 0) first = sg;
      last = sg;
    }
    if (changes == 0) return;
    if (changes == 1) {
      double a = 0, c = 1;
      for (int it = 0; it < 80; ++it) {
        const double mid = 0.5 * (a + c);
        if (!(a < mid && mid < c)) break;
        const double v = bernstein_at(n, b, mid);
        if (v == 0) {
          a = c = mid;
          break;
        }
        ((v > 0 ? 1 : -1) == first ? a : c) = mid;
      }
      out.push_back(lo + (hi - lo) * (0.5 * (a + c)));
      return;
    }
    const double mid = 0.5 * (lo + hi);
    if (depth >= kRootDepth || --*budget < 0 || !(lo < mid && mid < hi)) {
      out.push_back(mid);
      return;
    }
    double left[32], right[32], q[32];
    std::memcpy(q, b, sizeof(double) * (n + 1));
    for (int r = 0; r <= n; ++r) {
      left[r] = q[0];
      right[n - r] = q[n - r];
      for (int i = 0; i < n - r; ++i) q[i] = 0.5 * (q[i] + q[i + 1]);
    }
    sign_changes(n, left, lo, mid, depth + 1, budget, out);
    sign_changes(n, right, mid, hi, depth + 1, budget, out);
  }

  double origin_[3] = {0, 0, 0}, line_[3] = {1, 0, 0};
  std::vector<Candidate> cand_;
  double none_start_ = NAN, none_way_ = 0;
};

// The collinear case: pieces between turning points compared pairwise as overlaps. cv has passed BScvcheck.
void collinear_overlaps(int *rc, const VOQbsp_curve *cv, double ktol, Columns &overlaps) {
  const int n = cv->num_poles;
  BSscratch<600> pts_work;
  BSscratch<200> par_work, first_work, second_work;
  double *pts = pts_work.take(6 * static_cast<std::size_t>(n));
  double *pars = par_work.take(2 * static_cast<std::size_t>(n));
  double *first = first_work.take(2 * static_cast<std::size_t>(n));
  double *second = second_work.take(2 * static_cast<std::size_t>(n));
  if (!pts || !pars || !first || !second) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  int pieces = 0, runs = 0;
  BSfndturovr(cv, &pieces, pts, pars, &runs, first, second, rc);
  if (*rc != 0) return;
  const double near = 10.0 * BStoltab[bstol::dist_tol];
  // Parameters closer than the knot tolerance may still lie apart where the curve runs fast (heavy poles): a piece
  // or a stretch is short when its ends are close in space too.
  auto apart = [&](const double *a, const double *b) {
    int drc = 0;
    return BSpdist(&drc, a, b) > near;
  };
  int kept = 0;
  for (int p = 0; p < pieces; ++p) {
    if (std::fabs(pars[2 * p + 1] - pars[2 * p]) < ktol && !apart(pts + 6 * p, pts + 6 * p + 3)) continue;
    std::memmove(pts + 6 * kept, pts + 6 * p, 6 * sizeof(double));
    std::memmove(pars + 2 * kept, pars + 2 * p, 2 * sizeof(double));
    ++kept;
  }
  pieces = kept;
  if (pieces < 2) return;

  struct Records {
    VOQbsp_curve **cv = nullptr;
    int count = 0;
    ~Records() {
      for (int i = 0; i < count; ++i) release_record(cv[i]);
      BSdbgfree(cv);
    }
  } records;
  records.cv = static_cast<VOQbsp_curve **>(BSdbgcalloc(pieces, static_cast<int>(sizeof(VOQbsp_curve *))));
  if (!records.cv) {
    *rc = BSRC_NO_HEAP;
    return;
  }
  records.count = pieces;
  kept = 0;
  for (int p = 0; p < pieces && *rc == 0; ++p) {
    BSallocvoqcv(cv->order, n, cv->rational, 0, &records.cv[kept], rc);
    bool one_point = false;
    if (*rc == 0 &&
        !bsknots::active_split(rc, cv, &pars[2 * p], &pars[2 * p + 1], records.cv[kept], nullptr, true, &one_point)) {
      // A piece within its parameter tolerance of one point shares no stretch with any other; nor does one whose
      // ends lie within the tolerance, which the cut may refuse where the curve crawls (a piece runs one way, so
      // its ends bound it).
      int drc = 0;
      if ((one_point && *rc == 0) ||
          (*rc == BSRC_OUT_OF_RANGE && BSpdist(&drc, pts + 6 * p, pts + 6 * p + 3) <= BStoltab[bstol::dist_tol])) {
        *rc = 0;
        release_record(records.cv[kept]);
        continue;
      }
      failed(rc);
    }
    std::memmove(pts + 6 * kept, pts + 6 * p, 6 * sizeof(double));
    std::memmove(pars + 2 * kept, pars + 2 * p, 2 * sizeof(double));
    ++kept;
  }
  if (*rc != 0) return;
  pieces = kept;
  if (pieces < 2) return;
  if (!overlaps.allocate(rc, pieces * (pieces - 1) / 2 + runs)) return;
  for (int r = 0; r < runs; ++r) {
    const double rec[4] = {first[2 * r], first[2 * r + 1], second[2 * r], second[2 * r + 1]};
    overlaps.push(rc, rec);
  }

  for (int i = 0; i < pieces && *rc == 0; ++i) {
    const double *si = pts + 6 * i, *ei = si + 3;
    for (int j = i + 1; j < pieces && *rc == 0; ++j) {
      const double *sj = pts + 6 * j, *ej = sj + 3;
      double di[3], dj[3];
      BSvdiff(rc, di, si, ei);
      BSvdiff(rc, dj, sj, ej);
      const bool same_way = BSvdot(rc, di, dj) >= 0;
      const double *near_end = same_way ? sj : ej, *far_end = same_way ? ej : sj;
      const double near_par = pars[2 * j + (same_way ? 0 : 1)], far_par = pars[2 * j + (same_way ? 1 : 0)];
      double foot = 0, base[3], dist = 0, rec[4];
      const double *start = si;
      BSmdstptcv(records.cv[j], si, &foot, base, &dist, rc);
      if (*rc != 0) break;
      if (dist <= near) {
        rec[0] = pars[2 * i];
        rec[2] = foot;
      } else {
        start = near_end;
        // A common stretch starts at one of the two near ends; when neither lies on the other piece they only
        // meet, if at all, where the one piece turns back, and the foot here is no start of anything.
        BSmdstptcv(records.cv[i], near_end, &foot, base, &dist, rc);
        if (*rc != 0) break;
        if (dist > near) continue;
        rec[0] = foot;
        rec[2] = near_par;
      }
      BSmdstptcv(records.cv[j], ei, &foot, base, &dist, rc);
      if (*rc != 0) break;
      if (dist <= near && (std::fabs(foot - rec[2]) > ktol || apart(ei, start))) {
        rec[1] = pars[2 * i + 1];
        rec[3] = foot;
        overlaps.push(rc, rec);
        continue;
      }
      BSmdstptcv(records.cv[i], far_end, &foot, base, &dist, rc);
      if (*rc == 0 && dist < near && (std::fabs(foot - rec[0]) > ktol || apart(far_end, start))) {
        rec[1] = foot;
        rec[3] = far_par;
        overlaps.push(rc, rec);
      }
    }
  }
}

// Whether the span [a, b] of cv bends off every line by more than tol: its points at the ends and the middle
// make a triangle that no strip four times tol wide holds, while the hull of the span's poles holds its points,
// so the poles cannot all lie within tol of one line. False where that is not plain (a failed or unusable
// evaluation, or a fault handler that must see every step of the straightness test).
bool bends_off_lines(const VOQbsp_curve *cv, double a, double b, double tol) {
  if (bstest::slow_roads()) return false;
  const double at[3] = {a, (a + b) / 2, b};
  // cv passed BScvcheck and no hook is installed: a polynomial cubic takes the evaluation's shortcut at once.
  const bool quick = cv->order == 4 && !cv->rational;
  double p[3][3];
  for (int i = 0; i < 3; ++i) {
    if (quick && bseval::cubic_point(*cv, at[i], p[i])) continue;
    int erc = 0;
    BScveval_n(cv, at[i], 0, p[i], &erc);
    if (erc != 0) return false;
  }
  double e[3][3], longest = 0;
  for (int i = 0; i < 3; ++i) {
    for (int c = 0; c < 3; ++c) e[i][c] = p[(i + 1) % 3][c] - p[i][c];
    longest = std::fmax(longest, std::sqrt(e[i][0] * e[i][0] + e[i][1] * e[i][1] + e[i][2] * e[i][2]));
  }
  const double x = e[0][1] * e[1][2] - e[0][2] * e[1][1], y = e[0][2] * e[1][0] - e[0][0] * e[1][2],
               z = e[0][0] * e[1][1] - e[0][1] * e[1][0];
  // Twice the area over the longest side: the least height of the triangle.
  const double height = std::sqrt(x * x + y * y + z * z) / longest;
  return std::isfinite(height) && longest < 1e15 && height > 4 * tol;
}

// Whether the span of cv that ends at knot i + 1 plainly runs one way along its line: its poles (of one weight) lie
// on the chord from the first to the last to a millionth of a millionth of its length, each a millionth of it past
// the one before. A curve crosses no level more often than its polygon does, and a line fitted to such poles runs
// along that chord: the span has no turn to find. False where that is not plain.
bool runs_one_way(const VOQbsp_curve *cv, int i) {
  if (bstest::slow_roads()) return false;
  const int k = cv->order, first = i - k + 1;
  const double *P = cv->poles;
  for (int p = first + 1; p <= i && cv->rational; ++p)
    if (cv->weights[p] != cv->weights[first]) return false;
  const double w = cv->rational ? cv->weights[first] : 1.0;
  if (!(w > 0)) return false;
  const double a[3] = {P[3 * first] / w, P[3 * first + 1] / w, P[3 * first + 2] / w};
  const double c[3] = {P[3 * i] / w - a[0], P[3 * i + 1] / w - a[1], P[3 * i + 2] / w - a[2]};
  const double L2 = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
  if (!(L2 > 0 && L2 < 1e300)) return false;
  double before = 0;
  for (int p = first + 1; p <= i; ++p) {
    const double d[3] = {P[3 * p] / w - a[0], P[3 * p + 1] / w - a[1], P[3 * p + 2] / w - a[2]};
    const double along = (d[0] * c[0] + d[1] * c[1] + d[2] * c[2]) / L2;  // a share of the chord
    const double x[3] = {d[1] * c[2] - d[2] * c[1], d[2] * c[0] - d[0] * c[2], d[0] * c[1] - d[1] * c[0]};
    // |d x c| / L2: the pole's distance off the chord as a share of its length.
    if (!(std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]) <= 1e-12 * L2) || !(along - before >= 1e-6)) return false;
    before = along;
  }
  return true;
}

// Knots where a straight span of cv turns back along its line, inserted into *copy so that no span of the copy
// runs over itself. cv has passed BScvcheck.
void split_at_line_turns(int *rc, const VOQbsp_curve *cv, VOQbsp_curve **copy) {
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  VOQbsp_curve *span = nullptr;
  BSallocvoqcv(cv->order, n, cv->rational, 0, &span, rc);
  const double tol = BStoltab[bstol::dist_tol];
  // A span of a polynomial polyline runs along its leg one way: it never turns back.
  const bool legs = k == 2 && !cv->rational && !bstest::slow_roads();
  for (int i = k - 1; i <= n - 1 && *rc == 0 && !legs; ++i) {
    if (!(t[i] < t[i + 1]) || runs_one_way(cv, i) || bends_off_lines(cv, t[i], t[i + 1], tol)) continue;
    const double width = t[i + 1] - t[i];
    // The cut refuses a span shorter than the parameter tolerance at either of its free ends (where the curve
    // barely moves, beside a heavy pole, that tolerance can exceed a whole span): the span is within the distance
    // tolerance of its end there, and nothing turns back in it that counts.
    const bool first = t[i] == t[k - 1], last = t[i + 1] == t[n];
    // A span as wide as the bound of an end's parameter tolerance is no narrower than that tolerance; the bounds
    // read the derivatives that the tolerances would, and so fail where they would.
    const double bound0 = bstest::slow_roads() ? INFINITY : bsknots::cut_tolerance_bound(*cv, t[i]);
    const double bound1 = bstest::slow_roads() ? INFINITY : bsknots::cut_tolerance_bound(*cv, t[i + 1]);
    const bool past0 = width >= bound0, past1 = width >= bound1;
    const bool wide = bound0 < INFINITY && bound1 < INFINITY &&
                      (first && last ? past0 || past1 : first ? past1 : last ? past0 : past0 && past1);
    if (!wide) {
      double tol0 = 0, tol1 = 0;
      BSlocknttol(cv, t[i], tol, &tol0, rc);
      if (*rc == 0) BSlocknttol(cv, t[i + 1], tol, &tol1, rc);
      if (*rc != 0) break;
      const double refused =
          first && last ? std::min(tol0, tol1) : first ? tol1 : last ? tol0 : std::max(tol0, tol1);
      if (width < refused) continue;
    }
    if (!bsknots::active_split(rc, cv, &t[i], &t[i + 1], span, nullptr, true)) {
      failed(rc);
      break;
    }
    // The line is fitted to the Cartesian poles (the span's order of them): the fit refuses weights spread beyond
    // a quarter of their mean, which says nothing of whether the poles lie on a line. A weight that is not
    // positive is refused as it was.
    // The piece holds as many poles as the knots between the two give it: more than one span's where the curve's
    // knots repeat beyond its order.
    const int np = span->num_poles;
    const std::size_t spans = static_cast<std::size_t>(np - span->order + 1),
                      most_turns = spans * static_cast<std::size_t>(std::max(1, 2 * span->order - 4));
    BSscratch<3 * BSSPAN_MAX_ORDER> cartesian_room;
    BSscratch<8 * BSSPAN_MAX_ORDER> turn_room;
    double *cartesian = cartesian_room.take(3 * static_cast<std::size_t>(np)),
           *turns_at = turn_room.take(4 * most_turns);
    if (!cartesian || !turns_at) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int p = 0; p < span->num_poles && *rc == 0; ++p) {
      const double w = span->rational ? span->weights[p] : 1.0;
      if (!(w > 0)) *rc = BSRC_DEGENERATE;
      for (int c = 0; c < 3; ++c) cartesian[3 * p + c] = span->poles[3 * p + c] / w;
    }
    if (*rc != 0) break;
    int type = 0;
    double point[3], dir[3], deviation = 0;
    BSlsqptlnpl(span->num_poles, cartesian, nullptr, BSFIT_LINE, &type, point, dir, &deviation, rc);
    if (*rc != 0 || type != BSKIND_LINE) continue;
    if (!BSnorvec(rc, dir)) break;
    // Only the position along the line matters for where the span turns back.
    int rising = 0, falling = 0;
    double before = 0;
    for (int p = 0; p < span->num_poles; ++p) {
      double *P = span->poles + 3 * p;
      const double w = span->rational ? span->weights[p] : 1.0;
      double d[3] = {P[0] / w - point[0], P[1] / w - point[1], P[2] / w - point[2]};
      const double along = BSvdot(rc, d, dir), s = along * w;
      if (p > 0) rising += along > before, falling += along < before;
      before = along;
      for (int c = 0; c < 3; ++c) P[c] = dir[c] * s;
    }
    // Positions of the poles that run one way (the weights are positive) make a span that runs that way: a curve
    // crosses no level more often than its polygon does, so it has no turn to find.
    if (!bstest::slow_roads() && (rising == np - 1 || falling == np - 1)) continue;
    auto *turn_pts = reinterpret_cast<double(*)[3]>(turns_at + most_turns);
    int turns = 0;
    BSfndcvtrns(span, &turns, turn_pts, turns_at, rc);
    // A turn within the parameter tolerance of an end of the range is at that end.
    const double lo = t[k - 1], hi = t[n];
    for (int r = 0; r < turns && *rc == 0; ++r) {
      double at = 0;
      BSlocknttol(*copy, turns_at[r], tol, &at, rc);
      if (*rc == 0 && turns_at[r] - lo >= at && hi - turns_at[r] >= at)
        BSadd_1kt_tot(*copy, turns_at[r], 1, BSFALSE, copy, rc);
    }
  }
  release_record(span);
}

// Crossings of span with the remainder that follows it, and their overlaps, appended to the results. The
// junction t_join, where both always meet, is not a crossing. A rest that index holds (rest_tol its knot
// tolerance) is intersected through the index where it can answer.
void span_against_rest(int *rc, VOQbsp_curve *span, VOQbsp_curve *rest, double t_join, double ktol,
                       Columns &crossings, Columns &overlaps, bsintcall::RestIndex *index,
                       bsknots::KnotTolRange *rest_tol) {
  struct Room {
    double pts[3 * kSpanRestRoom], par1[kSpanRestRoom], par2[kSpanRestRoom];
    double opts[6 * kSpanRestRoom], opar1[2 * kSpanRestRoom], opar2[2 * kSpanRestRoom];
  };
  static_assert(sizeof(Room) < 64 * 1024, "the span-against-rest arrays stay a modest frame");
  Room room;
  int n_int = 0, n_over = 0;
  BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
  double *a_pts = nullptr, *a_par1 = nullptr, *a_par2 = nullptr, *a_opts = nullptr, *a_opar1 = nullptr,
         *a_opar2 = nullptr;
  if (!index || !bsintcall::span_against_rest(*index, span, rest, *rest_tol, kSpanRestRoom, kSpanRestRoom, room.pts,
                                              room.par1, room.par2, room.opts, room.opar1, room.opar2, &n_int,
                                              &n_over, &int_alloc, &over_alloc, &a_pts, &a_par1, &a_par2, &a_opts,
                                              &a_opar1, &a_opar2, rc))
    BScvcvint(span, rest, BSTRUE, kSpanRestRoom, kSpanRestRoom, room.pts, room.par1, room.par2, room.opts,
              room.opar1, room.opar2, &n_int, &n_over, &int_alloc, &over_alloc, &a_pts, &a_par1, &a_par2, &a_opts,
              &a_opar1, &a_opar2, rc);
  double *par1 = int_alloc ? a_par1 : room.par1, *par2 = int_alloc ? a_par2 : room.par2;
  const double *opar1 = over_alloc ? a_opar1 : room.opar1, *opar2 = over_alloc ? a_opar2 : room.opar2;
  if (*rc == 0) {
    // Whole pairs at the junction go, so that the two lists stay aligned whatever else touches it. Where the two
    // run on from the junction along one tangent (a line's offset continued by a corner's arc), the intersector can
    // hand back the junction's meeting with the span's parameter well before it: a pair with one end at the
    // junction whose two points lie apart is that meeting, not a crossing.
    int kept = 0;
    for (int r = 0; r < n_int; ++r) {
      const bool at1 = std::fabs(par1[r] - t_join) < ktol, at2 = std::fabs(par2[r] - t_join) < ktol;
      if (at1 && at2) continue;
      if (at1 != at2) {
        double p[3], q[3];
        int erc = 0;
        BScveval_n(span, par1[r], 0, p, &erc);
        if (erc == 0) BScveval_n(rest, par2[r], 0, q, &erc);
        if (erc == 0 && BSpdist(&erc, p, q) > 10.0 * BStoltab[bstol::dist_tol]) continue;
      }
      par1[kept] = par1[r];
      par2[kept] = par2[r];
      ++kept;
    }
    append_crossings(rc, crossings, kept, par1, par2);
  }
  if (*rc == 0 && n_over > 0 && overlaps.reserve(rc, *overlaps.count + n_over))
    for (int r = 0; r < n_over; ++r) {
      const double rec[4] = {opar1[2 * r], opar1[2 * r + 1], opar2[2 * r], opar2[2 * r + 1]};
      overlaps.push(rc, rec);
    }
  for (double *a : {a_pts, a_par1, a_par2, a_opts, a_opar1, a_opar2}) BSdbgfree(a);
}

// A span's self-crossings appended to the results.
void span_itself(int *rc, const VOQbsp_curve *span, Columns &crossings) {
  const int k = span->order, n = span->num_poles;
  if (n > k && k <= BSXBZ_MAX_ORDER) {
    // A piece cut from a curve whose knots repeat before its range (an unclamped start) can keep empty knot
    // intervals beside its one span: that span alone, in Bezier form, is what may meet itself.
    int only = -1, spans = 0;
    for (int i = k - 1; i < n; ++i)
      if (span->knots[i] < span->knots[i + 1]) only = i, ++spans;
    if (spans == 1) {
      PieceRecord bezier;
      if (BSspn_t_bz(rc, &only, span, &bezier.cv, nullptr, nullptr))
        span_itself(rc, &bezier.cv, crossings);
      else
        failed(rc);
      return;
    }
  }
  int m = 0;
  double *first = nullptr, *second = nullptr;
  if (!BSspnslfint(rc, span, &m, &first, &second))
    failed(rc);
  else
    append_crossings(rc, crossings, m, first, second);
  BSdbgfree(first);
  BSdbgfree(second);
}

// True when a span clamped at both ends has its ends at least twice the distance tolerance apart: its length is
// no shorter and its poles are not all in one point, so the degeneracy test, which measures the length by
// quadrature, has nothing to find.
bool clearly_long(const VOQbsp_curve &span) {
  const int k = span.order, n = span.num_poles;
  const double *t = span.knots;
  if (n < k || !(t[0] == t[k - 1] && t[n] == t[n + k - 1])) return false;
  const double w0 = span.rational ? span.weights[0] : 1.0, w1 = span.rational ? span.weights[n - 1] : 1.0;
  if (!(w0 > 0 && w1 > 0)) return false;
  double sq = 0;
  for (int c = 0; c < 3; ++c) {
    const double d = span.poles[3 * (n - 1) + c] / w1 - span.poles[c] / w0;
    sq += d * d;
  }
  const double tol = BStoltab[bstol::dist_tol];
  return sq >= 4 * tol * tol && std::isfinite(sq);
}

// Whether the planarity test of every piece the span loop cuts from cv is certain to pass, so that it can be left
// out: the curve intersection does not read the planar flag, and what counts is only the failure the test reports
// for a polygon it cannot measure (a weight that is not positive, or coordinates whose squares overflow). A
// piece's poles are blends of cv's, with positive weights its points in the hull of cv's points and its weights
// between cv's: weights and points far short of underflow and overflow settle it for all of them. Measuring the
// whole remainder again for every span made the span loop quadratic. A fault handler sees every test.
bool planes_certain(const VOQbsp_curve &cv) {
  if (bstest::slow_roads()) return false;
  for (int i = 0; i < cv.num_poles; ++i) {
    const double w = cv.rational ? cv.weights[i] : 1.0;
    if (!(w >= 1e-100 && w <= 1e100)) return false;
    for (int c = 0; c < 3; ++c)
      if (!(std::fabs(cv.poles[3 * i + c]) <= 1e100 * w)) return false;
  }
  return true;
}

// The general case from the copy of the curve onwards (the result arrays not yet allocated).
bool general_crossings(int *rc, VOQbsp_curve *copy, double ktol, Columns &crossings, Columns &overlaps) {
  const int k = copy->order, n = copy->num_poles;
  BSscratch<300> polygon_work;
  bsknots::ScratchCurve work_arrays;
  VOQbsp_curve &work = work_arrays.cv;
  double *polygon = polygon_work.take(3 * static_cast<std::size_t>(n));
  if (!work_arrays.take(k, n, copy->rational != 0) || !polygon) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  if (!BScv_copy(rc, copy, &work)) return failed(rc), false;
  if (!may_meet_itself(rc, work, polygon)) return false;
  if (!crossings.allocate(rc, kFirstCrossings) || !overlaps.allocate(rc, kFirstOverlaps)) return false;
  if (n == k) {
    span_itself(rc, &work, crossings);
    return true;
  }
  const double *t = copy->knots;
  // A span meets the spans after it one call at a time, and the spans beyond the cut are the same from one call
  // to the next: what the polygon intersector derives from each is kept across the calls.
  const bsxbz::SpanMemoScope memo(true);
  const bool test_planes = !planes_certain(*copy);
  // Each span is cut from the front of the working curve in the working arrays themselves where it can be
  // (split_front), so that the rest is no copy and the index built over the arrays answers for it; otherwise the
  // cut makes both parts anew, the rest is copied back to the start of the arrays, and the index is built again
  // over it when next wanted, the plain road taken on the slow roads and where the index's block cannot be had.
  double *const arrays[3] = {work.poles, work.knots, work_arrays.weight_array};
  bsintcall::RestIndex index;
  bool indexed = false, may_index = true;
  bsknots::KnotTolRange work_tol, rest_tol;
  bool work_tol_known = false;
  bsknots::FixedCurve<bsknots::kFrontRoom, BSSPAN_MAX_ORDER> front;
  for (int i = k; i <= n && *rc == 0; ++i) {
    if (!(t[i - 1] < t[i])) continue;
    BSboolean degenerate = BSFALSE;
    if (t[i] >= t[n]) {
      BStstcvdegn(&work, &degenerate, rc);
      if (*rc == 0 && !degenerate && k > 2) span_itself(rc, &work, crossings);
      break;
    }
    const bool quick = !bstest::slow_roads();
    if (quick && may_index && !indexed) {
      // A polynomial line string meets its rests in the line-string intersector, which boxes bare segments.
      indexed = may_index =
          index.build(work, k == 2 && !work.rational ? 0.0 : 10 * BStoltab[bstol::dist_tol]);
      work_tol_known = false;
    }
    VOQbsp_curve span{}, rest{};
    bool in_place = false;
    if (quick && indexed && index.holds(work)) {
      if (!work_tol_known) index.knot_tol(work, &work_tol);
      span.poles = front.poles;
      span.knots = front.knots;
      span.weights = front.weights;
      int written = 0;
      in_place = bsknots::split_front(work, t[i], work_tol, &span, &rest, &written);
      if (in_place) index.overwritten(rest, written);
    }
    work_tol_known = false;
    if (!in_place) {
      span = rest = VOQbsp_curve{};
      if (!BScvsplit(rc, &work, &t[i], &span, &rest, nullptr)) {
        failed(rc);
        break;
      }
    }
    // A cut within the knot tolerance of the far end leaves the span as the whole last piece.
    if (rest.num_poles == 0) {
      BStstcvdegn(&span, &degenerate, rc);
      if (*rc == 0 && !degenerate && k > 2) span_itself(rc, &span, crossings);
      if (!in_place) release_split(span);
      break;
    }
    if (span.num_poles > 0 && !clearly_long(span)) BStstcvdegn(&span, &degenerate, rc);
    bool rest_tol_known = false;
    if (*rc == 0 && span.num_poles > 0 && !degenerate) {
      double normal[3];
      if (test_planes)
        BStst_plan(span.num_poles, span.poles, span.rational ? span.weights : nullptr, &span.planar, normal, rc);
      if (*rc == 0 && test_planes)
        BStst_plan(rest.num_poles, rest.poles, rest.rational ? rest.weights : nullptr, &rest.planar, normal, rc);
      if (*rc == 0 && k > 2) span_itself(rc, &span, crossings);
      if (*rc == 0 && in_place) {
        index.knot_tol(rest, &rest_tol);
        rest_tol_known = true;
      }
      if (*rc == 0)
        span_against_rest(rc, &span, &rest, t[i], ktol, crossings, overlaps, in_place ? &index : nullptr, &rest_tol);
    }
    if (in_place) {
      // The rest is the next working curve as it stands, its tolerance as measured.
      work = rest;
      if (rest_tol_known) work_tol = rest_tol, work_tol_known = true;
    } else {
      release_split(span);
      work.poles = arrays[0];
      work.knots = arrays[1];
      work.weights = arrays[2];
      if (*rc == 0 && !BScv_copy(rc, &rest, &work)) failed(rc);
      release_split(rest);
      indexed = false;
    }
  }
  return *rc == 0;
}

bool near_value(double x, double y, double tol) { return std::fabs(x - y) < tol; }

// The closing point of a closed curve meets itself by construction and is not a crossing.
void drop_closing_point(int *rc, const VOQbsp_curve *cv, double ktol, Columns &crossings) {
  const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
  double pa[3], pb[3];
  BScveval_n(cv, a, 0, pa, rc);
  if (*rc == 0) BScveval_n(cv, b, 0, pb, rc);
  if (*rc != 0 || BSpdist(rc, pa, pb) > BStoltab[bstol::dist_tol]) return;
  const double *s = *crossings.col[0], *e = *crossings.col[1];
  for (int r = *crossings.count - 1; r >= 0; --r)
    if ((near_value(s[r], a, ktol) && near_value(e[r], b, ktol)) ||
        (near_value(s[r], b, ktol) && near_value(e[r], a, ktol)))
      crossings.remove(r);
}

// Steps after the span loop: ordered pairs, no crossing at an overlap's first end, abutting overlaps as one.
// Whether cv is at one point at u and v.
bool same_point(const VOQbsp_curve *cv, double u, double v) {
  int rc = 0;
  double p[3], q[3];
  BScveval_n(cv, u, 0, p, &rc);
  if (rc == 0) BScveval_n(cv, v, 0, q, &rc);
  return rc == 0 && BSpdist(&rc, p, q) <= 10.0 * BStoltab[bstol::dist_tol];
}

void tidy_results(const VOQbsp_curve *cv, double ktol, Columns &crossings, Columns &overlaps) {
  double *c1 = *crossings.col[0], *c2 = *crossings.col[1];
  for (int r = 0; r < *crossings.count; ++r)
    if (c2[r] < c1[r]) std::swap(c1[r], c2[r]);
  for (int r = *crossings.count - 1; r >= 0; --r) {
    bool on_end = false;
    for (int o = 0; o < *overlaps.count && !on_end; ++o)
      on_end = near_value(c1[r], (*overlaps.col[0])[o], ktol) || near_value(c1[r], (*overlaps.col[1])[o], ktol);
    if (on_end) crossings.remove(r);
  }
  const double tol = BStoltab[18];
  double *s1 = *overlaps.col[0], *e1 = *overlaps.col[1], *s2 = *overlaps.col[2], *e2 = *overlaps.col[3];
  for (int k = 0; k + 1 < *overlaps.count;) {
    const int j = k + 1;
    const bool same_first = near_value(s1[k], s1[j], tol) && near_value(e1[k], e1[j], tol);
    bool merged = false;
    if (!same_first && near_value(e1[k], s1[j], tol)) {
      const double lo = std::min(s2[k], e2[k]), hi = std::max(s2[k], e2[k]);
      // The joined record's second interval must still cover both second intervals: where the curve folds back
      // inside them the two ends of the join can meet, and a record of a stretch against a point would remain.
      auto covers = [&](double from, double to) {
        const double a = std::min(from, to) - tol, b = std::max(from, to) + tol;
        return a <= lo && hi <= b && a <= std::min(s2[j], e2[j]) && std::max(s2[j], e2[j]) <= b;
      };
      if ((near_value(s2[j], e2[k], tol) || (lo < s2[j] && s2[j] < hi)) && covers(s2[k], e2[j])) {
        e1[k] = e1[j];
        e2[k] = e2[j];
        merged = true;
      } else if ((near_value(s2[k], e2[j], tol) || (s2[k] < e2[j] && e2[j] < s2[j])) && covers(s2[j], e2[k]) &&
                 // Joined this way, the join pairs ends of two records: each pair must name one point.
                 same_point(cv, s1[k], s2[j]) && same_point(cv, e1[j], e2[k])) {
        e1[k] = e1[j];
        s2[k] = s2[j];
        merged = true;
      }
    }
    if (merged)
      overlaps.remove(j);
    else
      ++k;
  }
}

// Where a span's ends meet, its first half meets its second at the closing point, and the intersector, drawn to
// that meeting, can miss a shallow crossing beside it where the curve comes back to the closing point slowly (end
// poles resting on it). Halving both halves towards the closing point leaves every pair but the one holding it free
// of it; a crossing so found counts when it lies off the closing point and beyond 10 dist_tol of every point found
// for the halves before (their joint among them), which keeps those answers as they were. Once either piece lies
// within the tolerance of the closing point, every meeting of the two is the closing point.
void beside_closing_point(int *rc, const VOQbsp_curve &first_half, const VOQbsp_curve &second_half,
                          const double closing[3], std::vector<double> &known, double *pts, double *par1,
                          double *par2, Columns &found) {
  const double tol = BStoltab[bstol::dist_tol];
  VOQbsp_curve held[2] = {}, halves[4] = {};
  const VOQbsp_curve *a = &first_half, *b = &second_half;
  auto release_all = [&] {
    for (VOQbsp_curve &h : halves) release_split(h);
  };
  for (int level = 0; level < 64 && *rc == 0; ++level) {
    if (within(*a, closing, tol) || within(*b, closing, tol)) break;
    const double mid_a = 0.5 * (a->knots[a->order - 1] + a->knots[a->num_poles]);
    const double mid_b = 0.5 * (b->knots[b->order - 1] + b->knots[b->num_poles]);
    if (!BScvsplit(rc, a, &mid_a, &halves[0], &halves[1], nullptr) ||
        !BScvsplit(rc, b, &mid_b, &halves[2], &halves[3], nullptr)) {
      failed(rc);
      break;
    }
    bool cut = true;
    for (const VOQbsp_curve &h : halves) cut = cut && h.num_poles > 0;
    if (!cut) break;
    // The first piece's far half against both of the second's, and its near half against the second's far one.
    const int pairs[3][2] = {{1, 2}, {1, 3}, {0, 2}};
    for (const auto &[i, j] : pairs) {
      std::int32_t n = 0;
      BSboolean tangent = BSFALSE;
      BSxbzs4(&halves[i], &halves[j], &n, pts, par1, par2, &tangent, rc);
      for (int r = 0; r < n && *rc == 0; ++r) {
        const double *p = pts + 3 * r;
        if (BSpdist(rc, p, closing) < tol) continue;
        bool seen = false;
        for (std::size_t q = 0; q < known.size() && !seen; q += 3) seen = BSpdist(rc, p, &known[q]) <= 10 * tol;
        if (seen) continue;
        double u[2] = {par1[r], par2[r]};
        BSboolean on = BSFALSE;
        if (!BSprptoncv(rc, &halves[i], p, &u[0], &on) || !BSprptoncv(rc, &halves[j], p, &u[1], &on)) {
          failed(rc);
          break;
        }
        if (!found.push(rc, u)) break;
        known.insert(known.end(), p, p + 3);
      }
      if (*rc != 0) break;
    }
    // The near halves go on: the pieces held so far are released and the near halves held instead.
    for (VOQbsp_curve &h : held) release_split(h);
    held[0] = halves[0];
    held[1] = halves[3];
    halves[0] = halves[3] = VOQbsp_curve{};
    release_all();
    a = &held[0];
    b = &held[1];
  }
  release_all();
  for (VOQbsp_curve &h : held) release_split(h);
}

}  // namespace

BSboolean BSspnslfint(int *rc, const VOQbsp_curve *span, int *count, double **first, double **second) {
  *rc = 0;
  Columns found;
  PieceStack stack;
  do {
    if (!span || !count || !first || !second) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *count = 0;
    *first = *second = nullptr;
    found.col[0] = first;
    found.col[1] = second;
    found.width = 2;
    found.count = count;
    if ((*rc = BScvcheck(span)) != 0) break;
    const int k = span->order;
    if (k < 2 || k > BSXBZ_MAX_ORDER || span->num_poles != k) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!found.allocate(rc, 8 * k * k)) break;
    // The halves must be Bezier pieces: an unclamped end of the span would carry over into them.
    PieceRecord bezier;
    const int first_span = k - 1;
    if (!BSspn_t_bz(rc, &first_span, span, &bezier.cv, nullptr, nullptr)) {
      failed(rc);
      break;
    }
    double polygon[3 * BSXBZ_MAX_ORDER];
    if (!may_meet_itself(rc, bezier.cv, polygon)) break;

    const double middle = 0.5 * (bezier.cv.knots[k - 1] + bezier.cv.knots[k]);
    stack.slots = static_cast<VOQbsp_curve **>(BSdbgcalloc(2, static_cast<int>(sizeof(VOQbsp_curve *))));
    if (!stack.slots) {
      *rc = BSRC_NO_HEAP;
      break;
    }
    for (int h = 0; h < 2; ++h) {
      stack.slots[h] = static_cast<VOQbsp_curve *>(BSdbgcalloc(1, sizeof(VOQbsp_curve)));
      if (!stack.slots[h]) *rc = BSRC_NO_HEAP;
    }
    stack.count = 2;
    if (*rc != 0) break;
    if (!BScvsplit(rc, &bezier.cv, &middle, stack.slots[0], stack.slots[1], nullptr)) {
      failed(rc);
      break;
    }
    // A span shorter than twice its knot tolerance cannot be halved, nor hold a loop.
    if (stack.slots[0]->num_poles == 0 || stack.slots[1]->num_poles == 0) break;

    BSscratch<0> xbz_work;
    double *pts = xbz_work.take(5 * static_cast<std::size_t>(BSXBZ_MAX_RESULTS));
    if (!pts) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *par1 = pts + 3 * BSXBZ_MAX_RESULTS, *par2 = par1 + BSXBZ_MAX_RESULTS;
    PieceRecord wc1, wc2;
    const double tol = BStoltab[bstol::dist_tol];
    // The span's own ends: where they meet, the pair of its halves meets there too.
    const double span_start = bezier.cv.knots[k - 1], span_end = bezier.cv.knots[k];
    double closing[3], last[3];
    for (int c = 0; c < 3; ++c) {
      closing[c] = bezier.cv.poles[c] / (bezier.cv.rational ? bezier.cv.weights[0] : 1.0);
      last[c] = bezier.cv.poles[3 * (k - 1) + c] / (bezier.cv.rational ? bezier.cv.weights[k - 1] : 1.0);
    }
    const bool closed = BSpdist(rc, closing, last) < tol;
    std::vector<double> known;
    while (stack.count > 0 && *rc == 0) {
      if (!BStst_stack(rc, &stack.count, &stack.slots, &wc1.cv, &wc2.cv)) {
        failed(rc);
        break;
      }
      // The halves meet where the second one starts; that is no crossing.
      double joint[3];
      for (int c = 0; c < 3; ++c) joint[c] = wc2.cv.poles[c] / (wc2.cv.rational ? wc2.cv.weights[0] : 1.0);
      // A meeting is the middle of two points of the halves less than the tolerance apart, and each half lies in
      // the hull of its poles: where the poles of both halves lie within half the tolerance of the joint, or those
      // of one half within a quarter of it, every meeting is at the joint (the rest leaves room for rounding).
      const bool both_near = within(wc1.cv, joint, 0.5 * tol) && within(wc2.cv, joint, 0.5 * tol);
      if (both_near || within(wc1.cv, joint, 0.25 * tol) || within(wc2.cv, joint, 0.25 * tol)) continue;
      std::int32_t n = 0;
      BSboolean tangent = BSFALSE;
      BSxbzs4(&wc1.cv, &wc2.cv, &n, pts, par1, par2, &tangent, rc);
      if (*rc != 0) break;
      bool at_closing = false;
      const bool closing_pair = closed && wc1.cv.knots[k - 1] == span_start && wc2.cv.knots[k] == span_end;
      for (int r = 0; r < n && *rc == 0; ++r) {
        const double *p = pts + 3 * r;
        if (closing_pair) {
          known.insert(known.end(), p, p + 3);
          at_closing = at_closing || BSpdist(rc, p, closing) < tol;
        }
        if (BSpdist(rc, p, joint) < tol) continue;
        double u[2] = {par1[r], par2[r]};
        BSboolean on = BSFALSE;
        if (!BSprptoncv(rc, &wc1.cv, p, &u[0], &on) || !BSprptoncv(rc, &wc2.cv, p, &u[1], &on)) {
          failed(rc);
          break;
        }
        found.push(rc, u);
      }
      if (*rc == 0 && at_closing) beside_closing_point(rc, wc1.cv, wc2.cv, closing, known, pts, par1, par2, found);
    }
  } while (false);
  if (found.count) found.settle(*rc != 0);
  BSexit(rc, "BSspnslfint", "bsspnslfint");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSfndturovr(const VOQbsp_curve *cv, int *n_pieces, double *piece_pts, double *piece_pars, int *n_runs,
                 double *run_first, double *run_second, int *rc) {
  *rc = 0;
  do {
    if (!cv || !n_pieces || !piece_pts || !piece_pars || !n_runs || !run_first || !run_second) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *n_pieces = *n_runs = 0;
    if ((*rc = BScvcheck(cv)) != 0) break;
    const int n = cv->num_poles, k = cv->order;
    if (k < 2 || n < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSscratch<300> poles_work;
    BSscratch<100> nodes_work;
    double *P = poles_work.take(3 * static_cast<std::size_t>(n));
    double *node = nodes_work.take(static_cast<std::size_t>(n));
    if (!P || !node) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int num_nodes = 0;
    if (!unweighted(rc, *cv, P)) break;
    BSnodevals(cv->order, n + k, cv->knots, 0, &num_nodes, node, rc);
    if (*rc != 0) break;
    const double tol = BStoltab[bstol::dist_tol];
    // runs_moved: the runs recorded before the last step that moved; those after it lie where the curve now rests.
    int piece = 0, runs = 0, pending = 0, runs_moved = 0;
    // The first piece starts at the curve's start, which is the first pole only where the knots clamp it there
    // (an empty first span of a line string, or an unclamped start, begins elsewhere).
    piece_pars[0] = std::clamp(node[0], cv->knots[k - 1], cv->knots[n]);
    BScveval_n(cv, piece_pars[0], 0, piece_pts, rc);
    if (*rc != 0) break;
    double dir[3];
    BSvdiff(rc, dir, P, P + 3);
    // last: the node value of the pole that the last moving step (step `moved`, from pole moved to moved + 1)
    // reached.
    double last = node[1];
    int moved = 0;
    // Step j jumps: the poles on its two sides lie apart across an interior knot of full multiplicity.
    const double *kt = cv->knots;
    auto jumps = [&](int j) {
      int drc = 0;
      return kt[j + 1] == kt[j + k] && kt[k - 1] < kt[j + 1] && kt[j + 1] < kt[n] &&
             BSpdist(&drc, P + 3 * j, P + 3 * (j + 1)) > tol;
    };
    // The first jumping step after the one at hand, or n - 1 for none: the curve before it is one stretch, which
    // is all a piece can run over. Found once for each stretch, as the steps only go on.
    int next_jump = 0;
    // A curve whose spans carry weights far apart has its tops found on its spans evened.
    LineTops tops;
    const bool weighed_apart = tops.build(cv, P);
    for (int i = 1; i + 1 < n && *rc == 0; ++i) {
      double step[3];
      BSvdiff(rc, step, P + 3 * i, P + 3 * (i + 1));
      if (BSvlength(rc, step) <= tol) {
        if (++pending == k - 1) {
          // Poles i - k + 2 .. i + 1 coincide: the one span they alone carry, [t(i+1), t(i+2)], stands still
          // (their node values may lie where the curve still moves).
          if (runs < n) {
            const double *t = cv->knots, lo = t[k - 1], hi = t[n];
            run_first[2 * runs] = std::clamp(t[i + 1], lo, hi);
            run_first[2 * runs + 1] = run_second[2 * runs] = run_second[2 * runs + 1] = std::clamp(t[i + 2], lo, hi);
            ++runs;
          }
          pending = 0;
        }
        continue;
      }
      // Poles on the two sides of an interior knot of full multiplicity: the curve jumps there, which is no
      // motion. The piece ends on the near side and the next starts on the far side, its way set by the steps
      // after the jump.
      if (kt[i + 1] == kt[i + k] && kt[k - 1] < kt[i + 1] && kt[i + 1] < kt[n]) {
        if (piece + 1 >= n) break;
        std::memcpy(piece_pts + 6 * piece + 3, P + 3 * i, 3 * sizeof(double));
        piece_pars[2 * piece + 1] = kt[i + 1];
        ++piece;
        std::memcpy(piece_pts + 6 * piece, P + 3 * (i + 1), 3 * sizeof(double));
        piece_pars[2 * piece] = kt[i + 1];
        dir[0] = dir[1] = dir[2] = 0;
        last = node[i + 1];
        moved = i;
        pending = 0;
        runs_moved = runs;
        continue;
      }
      if (BSvdot(rc, dir, step) >= 0) {
        std::memcpy(dir, step, sizeof dir);
        last = node[i + 1];
        moved = i;
        pending = 0;
        runs_moved = runs;
        continue;
      }
      // The motion turns back: where it stood still, the turn is the start of that stationary run. A rest of
      // several runs since the last motion turns at its first run and moves on after its last (the node value
      // of the last moving pole may lie before the rest, where no tangent turns).
      int at_run = -1, end_run = -1;
      if (runs > runs_moved) at_run = runs_moved, end_run = runs - 1;
      for (int r = 0; r < runs && at_run < 0; ++r)
        if (run_first[2 * r] <= last && last < run_first[2 * r + 1]) at_run = end_run = r;
      double t = 0, point[3];
      if (next_jump <= i) {
        next_jump = i + 1;
        while (next_jump < n - 1 && !jumps(next_jump)) ++next_jump;
      }
      const bool jumps_ahead = next_jump < n - 1;
      const double stretch_end = jumps_ahead ? kt[next_jump + 1] : kt[n];
      // A rest that a top found on the evened spans has already passed is no turn of this piece.
      if (at_run >= 0 && weighed_apart && run_first[2 * at_run] < piece_pars[2 * piece]) at_run = -1;
      if (at_run >= 0) {
        t = run_first[2 * at_run];
        BScveval_n(cv, t, 0, point, rc);
      } else if (weighed_apart) {
        // The top this piece runs to, if the curve turns back before the stretch ends; else the poles' reversal
        // turns nothing, and the piece runs on.
        const double *from = piece_pts + 6 * piece, start = piece_pars[2 * piece];
        const double way = BSvdot(rc, dir, tops.line()) > 0 ? 1 : -1;
        if (!tops.top(start, way, tops.place(from), stretch_end, tol, &t)) {
          // The step moved all the same: a rest before it is none that this piece's top can stand on.
          last = node[i + 1];
          moved = i;
          pending = 0;
          runs_moved = runs;
          continue;
        }
        if (t == start)
          std::memcpy(point, from, sizeof point);
        else
          BScveval_n(cv, t, 0, point, rc);
      } else {
        BSfndcvturn(cv, dir, last, &t, point, rc);
        // The search weighs the derivative along dir against the distance tolerance, so along a short step (a small
        // curve) every turn looks flat to it: where it finds none, it looks again along the unit direction.
        if (*rc == BSRC_NO_TURN) {
          int drc = 0;
          const double len = BSvlength(&drc, dir);
          if (drc == 0 && len > 0 && len < 1) {
            const double unit[3] = {dir[0] / len, dir[1] / len, dir[2] / len};
            *rc = 0;
            BSfndcvturn(cv, unit, last, &t, point, rc);
          }
        }
        // Turns too close to tell apart (a flat top, a near-double root) leave the search without an answer: the
        // top is then sought by the samples alone, as for a turn found behind the start.
        if (*rc == BSRC_NOT_ISOLATED) {
          *rc = 0;
          t = piece_pars[2 * piece];
        }
        // Past a jump the curve is another piece of it, which meets this one only where it comes back to it: a
        // turn there, or at the jump (where the search names the far side's point), is none of this piece's.
        const bool past_jump = jumps_ahead && t >= stretch_end;
        // The turn nearest to the guess may be another one about it (where poles stand still or knots crowd, the
        // turns lie close): the one this piece starts at, a turn the other way, or one past the first top. The top
        // this piece runs to lies ahead of its start along dir, the curve running one way up to it; failing that,
        // it is where the curve first stops moving along dir, before the turn found or, when that is not ahead, at
        // the latest where the last moving step's basis function ends.
        const double *from = piece_pts + 6 * piece, start = piece_pars[2 * piece];
        const double ahead = std::clamp(kt[moved + k], kt[k - 1], stretch_end);
        const bool beyond = *rc == 0 && t > start && !past_jump &&
                            (point[0] - from[0]) * dir[0] + (point[1] - from[1]) * dir[1] +
                                    (point[2] - from[2]) * dir[2] > 0;
        if (*rc == 0 && !beyond && ahead > start)
          first_top_along(cv, dir, start, from, ahead, &t, point, rc);
        else if (beyond && !runs_one_way(cv, dir, start, from, t, rc) && *rc == 0)
          first_top_along(cv, dir, start, from, t, &t, point, rc);
        if (*rc == BSRC_NO_TURN) {
          // No turn the search could see: it weighs the derivative against the tolerance, and light or heavy poles
          // scale that down. Where the samples show the curve stopping and then falling back by more than ten
          // tolerances before the latest the reversal allows, that stop is the top; else the poles' reversal turns
          // nothing.
          *rc = 0;
          double u = start, q[3];
          if (ahead > start) first_top_along(cv, dir, start, from, ahead, &u, q, rc);
          if (*rc != 0 || !(u > start && u < ahead) || first_leaves(cv, dir, u, q, ahead, 1, 10, rc) >= 0 ||
              *rc != 0) {
            *rc = 0;
            continue;
          }
          t = u;
          std::memcpy(point, q, sizeof point);
        }
        // A turn the search names where the curve still runs on along dir (a corner whose one side stands still,
        // or a top narrowed beside the real one) is no top: the top is where the curve first stops after it.
        // A turn not ten tolerances ahead of the start is the one this piece starts at, and stands.
        const double risen = (point[0] - from[0]) * dir[0] + (point[1] - from[1]) * dir[1] + (point[2] - from[2]) * dir[2];
        if (*rc == 0 && t > start && t < ahead && risen > 10 * BStoltab[bstol::dist_tol] * BSvlength(rc, dir) &&
            first_leaves(cv, dir, t, point, ahead, 10, 1, rc) > 0 && *rc == 0) {
          const double at[3] = {point[0], point[1], point[2]};
          first_top_along(cv, dir, t, at, ahead, &t, point, rc);
        }
        // Still none ahead: the curve did not move on before this reversal of its poles. A turn found later than
        // the start but not ahead of it, with no motion along dir left to search, belongs to a later piece.
        if (*rc == 0 && (t < start || (!beyond && !(ahead > start)))) {
          t = start;
          std::memcpy(point, from, sizeof point);
        }
        // A top at the jump is the near side's end, the last pole before it: the turn search may have named the
        // far side's point there.
        if (*rc == 0 && jumps_ahead && t >= stretch_end) {
          t = stretch_end;
          std::memcpy(point, P + 3 * next_jump, sizeof point);
        }
      }
      if (*rc != 0 || piece + 1 >= n) break;
      std::memcpy(piece_pts + 6 * piece + 3, point, sizeof point);
      piece_pars[2 * piece + 1] = t;
      ++piece;
      std::memcpy(piece_pts + 6 * piece, point, sizeof point);
      // The next piece starts where the curve moves again: after the run it stood still in.
      piece_pars[2 * piece] = at_run >= 0 && pending == 0 ? run_first[2 * end_run + 1] : t;
      std::memcpy(dir, step, sizeof dir);
      last = node[i + 1];
      moved = i;
      pending = 0;
      runs_moved = runs;
    }
    if (*rc != 0) break;
    *n_runs = runs;
    if (piece == 0) break;
    // The last piece runs to the end of the range, or to where the curve comes to rest for good: poles a .. n-1
    // coinciding, at least k of them, stand still from t(a + k - 1) on. Its end point is the curve's there.
    int a = n - 1;
    while (a > 0 && BSpdist(rc, P + 3 * (a - 1), P + 3 * (n - 1)) <= tol) --a;
    const double *t = cv->knots;
    const double end = n - a >= k ? std::clamp(t[a + k - 1], t[k - 1], t[n]) : t[n];
    double end_point[3];
    BScveval_n(cv, end, 0, end_point, rc);
    if (*rc != 0) break;
    std::memcpy(piece_pts + 6 * piece + 3, end_point, sizeof end_point);
    piece_pars[2 * piece + 1] = end;
    *n_pieces = piece + 1;
  } while (false);
  BSexit(rc, "BSfndturovr", "bsfndturovr");
}

BSboolean BScv_slfint(int *rc, VOQbsp_curve *cv, int *n_int, double **first, double **second, int *n_over,
                      double **over_first_start, double **over_first_end, double **over_second_start,
                      double **over_second_end) {
  *rc = 0;
  Columns crossings, overlaps;
  VOQbsp_curve *copy = nullptr;
  do {
    double **outs[6] = {first, second, over_first_start, over_first_end, over_second_start, over_second_end};
    if (!cv || !n_int || !n_over || std::find(outs, outs + 6, nullptr) != outs + 6) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    for (double **o : outs) *o = nullptr;
    *n_int = *n_over = 0;
    crossings.col[0] = first;
    crossings.col[1] = second;
    crossings.width = 2;
    crossings.count = n_int;
    overlaps.col[0] = over_first_start;
    overlaps.col[1] = over_first_end;
    overlaps.col[2] = over_second_start;
    overlaps.col[3] = over_second_end;
    overlaps.width = 4;
    overlaps.count = n_over;
    if ((*rc = BScvcheck(cv)) != 0) break;
    if (cv->order > BSSPAN_MAX_ORDER || cv->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!cv->rational) cv->weights = nullptr;
    double ktol = 0;
    BSboolean collinear = BSFALSE;
    BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->weights, &ktol, rc);
    if (*rc == 0) BScollinmn3(cv, &collinear, rc);
    if (*rc != 0) break;
    if (collinear) {
      collinear_overlaps(rc, cv, ktol, overlaps);
      break;
    }
    BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, &copy, rc);
    if (*rc != 0) break;
    if (!BScv_copy(rc, cv, copy)) {
      failed(rc);
      break;
    }
    split_at_line_turns(rc, cv, &copy);
    if (*rc != 0 || !general_crossings(rc, copy, ktol, crossings, overlaps)) break;
    drop_closing_point(rc, cv, ktol, crossings);
    if (*rc == 0 && copy->num_poles > copy->order) tidy_results(cv, ktol, crossings, overlaps);
  } while (false);
  release_record(copy);
  // Nothing is handed out with a failure; an empty set is never handed out.
  if (crossings.count) crossings.settle(*rc != 0);
  if (overlaps.count) overlaps.settle(*rc != 0);
  BSexit(rc, "BScv_slfint", "bscv_slfint");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
