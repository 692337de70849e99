// Crossings of two Bezier spans without recursive subdivision: each span is replaced by the polygon of its node
// points, whose chord deviation bounds how far the span strays from it. Leg pairs within that margin give start
// points for a Newton iteration on the two spans; near-tangent meetings, where that iteration is ill-conditioned,
// go to the tangency solvers; candidates that are one meeting, close together with both spans staying close between
// them, are merged. A rational span whose weights spread far is first cut into pieces that run evenly enough for
// that.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "bspline/core/evaluation_internal.h"
#include "bspline/core/even_weights_internal.h"
#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/intersect/polygon_intersector.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

namespace {

constexpr int kZeroTol = 16;              // tolerance entry of the parameter nudge and the parallel test
constexpr double kMarginFactor = 2.5;     // box margin in chord deviations
constexpr double kNearFactor = 0.01;      // a leg distance below this part of the margin is a good start
constexpr double kTangentSine = 0.0785;   // about 4.5 degrees between the tangents: nearly tangent
constexpr double kMergeFactor = 1e4;      // the merge distance squared: 1e-5 of the smaller squared longest leg
constexpr double kCrossingReach = 100;    // two crossings at a clear angle are one within 10 dist_tol
constexpr int kSharedCuts = 4;            // pieces of each end leg at an end both spans share
constexpr double kNodeRounding = 16;      // roundings of the coordinates within which legs meet at a node
constexpr double kStartRounding = 4;      // roundings of a parameter taken between two nodes
constexpr int kSharedLevels = 24;         // most times the pieces at a shared end are cut again
constexpr double kFlatShare = 8;          // a piece at a shared end is straight when its chord's length over the
                                          // way its middle strays is this many times its turn from the other's
constexpr double kClearSine = 0.01;       // tangents of slow spans at a larger sine cross, however short
constexpr int kMaxWraps = 5;
constexpr int kCrossingSteps = 10;
constexpr int kWeightSteps = 40;          // most steps added for the spread of a rational span's weights
constexpr int kFailedRoom = 64;           // meetings remembered where the tangency solve failed

static_assert(1 + (BSXBZ_MAX_ORDER - 1) * 3 <= BSXBZ_MAX_NODES,
              "the densest node polygon of a span (two nodes between knots) fits the working arrays");
static_assert((BSXBZ_MAX_ORDER - 1) * 3 * (BSXBZ_MAX_ORDER - 1) * 3 <= BSXBZ_MAX_CANDIDATES,
              "every leg pair yields at most one candidate");

// Equal to the last bit: a zero of the other sign may evaluate otherwise.
bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Candidate {
  double point[3];
  double t1, t2;
  bool touching;  // solved as a touching point
};

// Squared distances within which candidates are one meeting: the merge distance, scaled by the legs, for touching
// points, whose solutions scatter along the common tangent, and dist_tol for repeats of one crossing.
struct Reach {
  double merge_sq, tol_sq;
  double crossing_sq() const { return std::fmin(merge_sq, kCrossingReach * tol_sq); }
};

using bsmeasure::cross3;
using bsmeasure::dot3;

double lo_par(const VOQbsp_curve *cv) { return cv->knots[cv->order - 1]; }
double hi_par(const VOQbsp_curve *cv) { return cv->knots[cv->num_poles]; }

// Node density between knots: one node more for a quadratic, whose polygon is otherwise coarse, and a finer
// polygon when the basis tolerance asks for precision.
int node_density(const VOQbsp_curve *cv) {
  int k = cv->order == 2 || BStoltab[bstol::basis_tol] >= 0.00001 ? 1 : 2;
  if (cv->order == 3) k += 2;
  return k;
}

// The spans this intersector takes: one Bezier span whose node polygon fits the working arrays.
int check_span(const VOQbsp_curve *cv) {
  if (const int bad = BScvcheck(cv)) return bad;
  if (cv->order < 2 || cv->order > BSXBZ_MAX_ORDER || cv->num_poles != cv->order) return BSRC_OUT_OF_RANGE;
  return 0;
}

// A span's point (nder 0) or point and tangent (nder 1) at u. quick: the span is a polynomial cubic that passed
// check_span and no fault hook is installed, so that the evaluation's shortcut, taken at once, is the road
// BScveval_n would take.
bool quick_cubic(const VOQbsp_curve *cv) { return cv->order == 4 && !cv->rational && !bstest::slow_roads(); }
void span_eval(const VOQbsp_curve *cv, bool quick, double u, int nder, double *out, int *rc) {
  if (quick && (nder == 0 ? bseval::cubic_point(*cv, u, out) : bseval::cubic_point_tangent(*cv, u, out)))
    *rc = 0;
  else
    BScveval_n(cv, u, nder, out, rc);
}

// std::fmin and std::fmax, a NaN giving way to the other argument, inline (the library calls were a tenth of the
// time of a span pair).
double lesser(double a, double b) { return a < b || b != b ? a : b; }
double greater(double a, double b) { return a > b || b != b ? a : b; }

// The boxes of a polygon's legs (minimum corner, maximum corner), taken once for all leg pairs.
struct LegBoxes {
  double box[BSXBZ_MAX_NODES - 1][6];
  LegBoxes(int nodes, const double *pts) {
    for (int i = 0; i + 1 < nodes; ++i)
      for (int c = 0; c < 3; ++c) {
        box[i][c] = lesser(pts[3 * i + c], pts[3 * i + 3 + c]);
        box[i][3 + c] = greater(pts[3 * i + c], pts[3 * i + 3 + c]);
      }
  }
};

bool box_apart(const double *p, const double *q, double margin) {
  for (int c = 0; c < 3; ++c)
    if (p[3 + c] + margin < q[c] || q[3 + c] + margin < p[c]) return true;
  return false;
}

// Local segment parameter exactly at an end moved inside, so that the start is not on a node shared by two legs.
double nudged(double s) {
  const double e = BStoltab[kZeroTol];
  return s == 0.0 ? e : s == 1.0 ? 1.0 - e : s;
}

// The sine of the angle between the tangents of the spans at t1 and t2.
// known: the points and first derivatives there (e1 then e2), already taken, or NULL.
double tangent_sine(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, const double *known,
                    int *rc) {
  double e1[6], e2[6], n[3];
  if (known) {
    std::memcpy(e1, known, sizeof e1);
    std::memcpy(e2, known + 6, sizeof e2);
    *rc = 0;
  } else {
    BScveval_n(cv1, t1, 1, e1, rc);
    if (*rc == 0) BScveval_n(cv2, t2, 1, e2, rc);
    if (*rc != 0) return 0;
  }
  // A tangent that vanishes is left as it is: its cross product is small and the meeting is treated as tangent.
  BSnorvec(rc, e1 + 3);
  BSnorvec(rc, e2 + 3);
  *rc = 0;
  BSvcross(rc, e1 + 3, e2 + 3, n);
  if (*rc != 0) return 0;
  return BSvlength(rc, n);
}

// The middle of the span's parameters s and t, the short way round on a closed span.
double middle_par(const VOQbsp_curve *cv, double s, double t) {
  const double a = lo_par(cv), b = hi_par(cv), half = 0.5 * (b - a);
  double m = 0.5 * (s + t);
  if (cv->phy_closed && std::fabs(s - t) > half) m += m < a + half ? half : -half;
  return m;
}

// Whether the span stays within reach of the point mid between its parameters s and t.
bool stays_near(const VOQbsp_curve *cv, double s, double t, const double mid[3], double reach_sq, int *rc) {
  double on[3];
  BScveval_n(cv, middle_par(cv, s, t), 0, on, rc);
  return *rc == 0 && BSpdistsq(rc, on, mid) <= reach_sq;
}

// Whether a span's point between the candidates x and y lies off the other span (beyond dist_tol of it): the spans
// part between them. Between two solutions of one touch they stay within the tolerance, as the gap of two spans
// touching grows away from the touching point; between two shallow crossings it opens.
bool part_between(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const Candidate &x, const Candidate &y,
                  int *rc) {
  double m1[3], m2[3], u = 0;
  BSboolean on = BSFALSE;
  BScveval_n(cv1, middle_par(cv1, x.t1, y.t1), 0, m1, rc);
  if (*rc == 0) BScveval_n(cv2, middle_par(cv2, x.t2, y.t2), 0, m2, rc);
  if (*rc != 0) return false;
  // Middles within dist_tol of each other lie each on the other span: no projection can say otherwise.
  if (BSpdistsq(rc, m1, m2) <= BStoltab[bstol::dist_sqtol]) return false;
  if (!BSprptoncv(rc, cv2, m1, &u, &on)) return false;
  if (!on) return true;
  return BSprptoncv(rc, cv1, m2, &u, &on) && !on;
}

// The leg of a span from node p0 at s to node p1 at e cut into kSharedCuts pieces: their nodes, points and
// parameters.
void cut_leg(const VOQbsp_curve *cv, bool quick, const double *p0, const double *p1, double s, double e, double *pts,
             double *pars, int *rc) {
  std::memcpy(pts, p0, 3 * sizeof(double));
  std::memcpy(pts + 3 * kSharedCuts, p1, 3 * sizeof(double));
  pars[0] = s, pars[kSharedCuts] = e;
  for (int k = 1; k < kSharedCuts && *rc == 0; ++k) {
    pars[k] = s + (e - s) * k / kSharedCuts;
    span_eval(cv, quick, pars[k], 0, pts + 3 * k, rc);
  }
}

// Whether two candidates are one meeting: within near_sq of each other, with both spans staying near them in
// between. Two crossings at one place on two branches of a span, or close together on two arms, are two.
bool one_meeting(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const Candidate &x, const Candidate &y,
                 double near_sq, const Reach &reach, int *rc) {
  if (!(BSpdistsq(rc, x.point, y.point) <= near_sq) || *rc != 0) return false;
  double mid[3];
  for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (x.point[c] + y.point[c]);
  const double stay_sq = std::fmax(reach.merge_sq, near_sq);
  return stays_near(cv1, x.t1, y.t1, mid, stay_sq, rc) && stays_near(cv2, x.t2, y.t2, mid, stay_sq, rc);
}

// What the intersector derives from one span alone: its knot tolerance, node polygon with its chord deviation and
// its longest leg. A span meets several others in turn (the spans of one curve against the neighbours of each
// span of the other), so within a memo scope the last few are kept, keyed by everything that decides them: the
// span record's numbers, the tolerance table and the knot tolerance mode. Only spans that passed every step are
// kept.
struct SpanPolygon {
  double ktol = 0, deviation = 0, leg = 0;
  int np = 0;
  double pts[3 * BSXBZ_MAX_NODES], par[BSXBZ_MAX_NODES];

  // The nodes in use only: the arrays have room for the densest polygon, and most spans fill a small part of it.
  void take(const SpanPolygon &from) {
    ktol = from.ktol, deviation = from.deviation, leg = from.leg, np = from.np;
    std::memcpy(pts, from.pts, 3 * static_cast<std::size_t>(np) * sizeof(double));
    std::memcpy(par, from.par, static_cast<std::size_t>(np) * sizeof(double));
  }
};

class SpanMemo {
 public:
  // The scope whose entries count; 0 outside every scope.
  unsigned scope = 0, last_scope = 0;
  bool shared = false;  // scopes opened inside the current one join it

  const SpanPolygon *find(const VOQbsp_curve *cv) const {
    // Only a record the steps could take at all is compared: a Bezier span with its arrays.
    if (scope == 0 || !cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights) || cv->order < 2 ||
        cv->order > BSXBZ_MAX_ORDER || cv->num_poles != cv->order)
      return nullptr;
    // Asked once: no fault hook is installed while the memo is asked, so the mode is the same for every entry.
    const int kttol_mode = BSkttolmode(-1);
    for (const Entry &e : entries_)
      if (e.scope == scope && e.same(cv, kttol_mode)) return &e.polygon;
    return nullptr;
  }
  // Kept in the oldest entry other than in_use (the other span's, found before and still read).
  void keep(const VOQbsp_curve *cv, const SpanPolygon &polygon, const SpanPolygon *in_use) {
    if (scope == 0) return;
    if (&entries_[next_].polygon == in_use) next_ = (next_ + 1) % kEntries;
    Entry &e = entries_[next_];
    next_ = (next_ + 1) % kEntries;
    e.take(cv, scope);
    e.polygon.take(polygon);
  }

 private:
  static constexpr int kEntries = 8;
  struct Entry {
    unsigned scope = 0;
    std::int16_t order = 0;
    std::int32_t num_poles = 0;
    std::uint16_t periodic = 0, rational = 0;
    int kttol_mode = 0;
    double tols[BSTOL_COUNT];
    double poles[3 * BSXBZ_MAX_ORDER], weights[BSXBZ_MAX_ORDER], knots[2 * BSXBZ_MAX_ORDER];
    SpanPolygon polygon;

    // The poles first: they tell the spans of one curve apart at their first bytes.
    bool same(const VOQbsp_curve *cv, int mode) const {
      const int k = cv->order;
      return order == k && num_poles == cv->num_poles && periodic == cv->periodic && rational == cv->rational &&
             std::memcmp(poles, cv->poles, 3 * k * sizeof(double)) == 0 && kttol_mode == mode &&
             std::memcmp(knots, cv->knots, 2 * k * sizeof(double)) == 0 &&
             (!rational || std::memcmp(weights, cv->weights, k * sizeof(double)) == 0) &&
             std::memcmp(tols, BStoltab, sizeof tols) == 0;
    }
    void take(const VOQbsp_curve *cv, unsigned in_scope) {
      const int k = cv->order;
      scope = in_scope;
      order = cv->order, num_poles = cv->num_poles, periodic = cv->periodic, rational = cv->rational;
      kttol_mode = BSkttolmode(-1);
      std::memcpy(tols, BStoltab, sizeof tols);
      std::memcpy(poles, cv->poles, 3 * k * sizeof(double));
      std::memcpy(knots, cv->knots, 2 * k * sizeof(double));
      if (rational) std::memcpy(weights, cv->weights, k * sizeof(double));
    }
  };
  Entry entries_[kEntries];
  int next_ = 0;
};

thread_local SpanMemo span_memo;

// The derivations of both spans, step by step in the order of the steps and, within a step, of the spans, so that
// the first failure is the one it always was; a kept span skips its steps (it passed them all before). Nothing is
// kept or taken while a fault hook is installed: the hook must see every routine's exit.
void derive_spans(VOQbsp_curve *cv1, VOQbsp_curve *cv2, SpanPolygon own[2], const SpanPolygon *out[2], int *rc) {
  SpanMemo &memo = span_memo;
  const bool hooked = bstest::slow_roads();
  VOQbsp_curve *cvs[2] = {cv1, cv2};
  // cv1 == cv2 by value is still derived twice when new: the memo is only asked before the steps.
  for (int s = 0; s < 2; ++s) out[s] = hooked ? nullptr : memo.find(cvs[s]);
  const bool need[2] = {out[0] == nullptr, out[1] == nullptr};
  for (int s = 0; s < 2 && *rc == 0; ++s)
    if (need[s]) *rc = check_span(cvs[s]);
  if (*rc != 0) return;
  for (VOQbsp_curve *cv : cvs)
    if (!cv->rational) cv->weights = nullptr;
  for (int s = 0; s < 2 && *rc == 0; ++s)
    if (need[s]) BScvkttol2(cvs[s]->order, cvs[s]->knots, cvs[s]->num_poles, cvs[s]->poles, cvs[s]->weights,
                            &own[s].ktol, rc);
  for (int s = 0; s < 2 && *rc == 0; ++s)
    if (need[s]) BSspnndptpr(cvs[s], &own[s].np, own[s].pts, own[s].par, &own[s].deviation, rc);
  for (int s = 0; s < 2 && *rc == 0; ++s)
    if (need[s]) own[s].leg = BSmaxlegsq(cvs[s]->num_poles, cvs[s]->weights, cvs[s]->poles, rc);
  if (*rc != 0) return;
  for (int s = 0; s < 2; ++s)
    if (need[s]) {
      if (!hooked) memo.keep(cvs[s], own[s], out[1 - s]);
      out[s] = &own[s];
    }
}

}  // namespace

bool bsxbz::one_touch(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double x_point[3], double x1,
                      double x2, const double y_point[3], double y1, double y2, double near_sq, int *rc) {
  *rc = 0;
  const Candidate x{{x_point[0], x_point[1], x_point[2]}, x1, x2, true};
  const Candidate y{{y_point[0], y_point[1], y_point[2]}, y1, y2, true};
  const Reach reach{near_sq, BStoltab[bstol::dist_sqtol]};
  const bool one = one_meeting(cv1, cv2, x, y, near_sq, reach, rc) && *rc == 0;
  return one && !part_between(cv1, cv2, x, y, rc) && *rc == 0;
}

bsxbz::SpanMemoScope::SpanMemoScope(bool shared) : outer_(span_memo.scope), outer_shared_(span_memo.shared) {
  if (!(span_memo.shared && span_memo.scope != 0)) span_memo.scope = ++span_memo.last_scope;
  span_memo.shared = shared || outer_shared_;
}

bsxbz::SpanMemoScope::~SpanMemoScope() {
  span_memo.scope = outer_;
  span_memo.shared = outer_shared_;
}

double BSmaxlegsq(int num_poles, const double *weights, const double *poles, int *rc) {
  *rc = 0;
  double best = 0;
  for (int i = num_poles - 2; i >= 0 && *rc == 0; --i) {
    const double *p = poles + 3 * i, *q = p + 3;
    const double sq = weights ? BShpdistsq(rc, p, weights[i], q, weights[i + 1]) : BSpdistsq(rc, p, q);
    if (sq > best) best = sq;
  }
  return best;
}

void BSprmwrap(double a, double b, BSboolean closed, double *t, int *wraps) {
  *wraps = 0;
  if (!closed) {
    // Strictly inside, both library calls give *t back; the clamp is for the ends, a NaN and a signed zero there.
    if (!(a < *t && *t < b)) *t = std::fmin(std::fmax(*t, a), b);
    return;
  }
  const double period = b - a;
  while (*t > b) {
    *t -= period;
    if (++*wraps == kMaxWraps) return;
  }
  *wraps = 0;
  while (*t < a && *wraps < kMaxWraps) {
    *t += period;
    ++*wraps;
  }
}

void BSspnndptpr(const VOQbsp_curve *span, int *count, double *points, double *params, double *deviation, int *rc) {
  *rc = 0;
  do {
    if (!count || !points || !params || !deviation) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *count = 0;
    if ((*rc = check_span(span)) != 0) break;
    BScvnodpts(span, node_density(span), count, params, points, rc);
    if (*rc != 0) break;
    double worst = 0;
    const bool quick = quick_cubic(span);
    for (int i = 0; i + 1 < *count && *rc == 0; ++i) {
      double mid[3];
      span_eval(span, quick, 0.5 * (params[i] + params[i + 1]), 0, mid, rc);
      const double *p = points + 3 * i, *q = p + 3;
      const double d[3] = {mid[0] - 0.5 * (p[0] + q[0]), mid[1] - 0.5 * (p[1] + q[1]), mid[2] - 0.5 * (p[2] + q[2])};
      // A square is never a negative zero, so a plain comparison takes what std::fmax would (a NaN gives way).
      const double sq = dot3(d, d);
      if (sq > worst) worst = sq;
    }
    *deviation = std::sqrt(worst);
  } while (false);
  BSexit(rc, "BSspnndptpr", "bsspnndptpr");
}

namespace {

// Steps the crossing iteration may take beyond kCrossingSteps. A rational span whose weights spread by a factor r
// runs through most of its points within 1/r of its range near its lightest poles: from a start placed by the
// node polygon, a step there at first only doubles the way to the meeting, and up to log2 r such steps come
// before the steps close in. The usual steps allow for a spread of 4, within which the iteration is as it was.
int weight_steps(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2) {
  double spread = 1;
  const VOQbsp_curve *const both[2] = {cv1, cv2};
  for (const VOQbsp_curve *cv : both) {
    if (!cv->rational) continue;
    double lo = cv->weights[0], hi = lo;
    for (int i = 1; i < cv->num_poles; ++i) lo = std::fmin(lo, cv->weights[i]), hi = std::fmax(hi, cv->weights[i]);
    if (lo > 0 && hi / lo > spread) spread = hi / lo;
  }
  const double extra = std::ceil(std::log2(spread)) - 2;
  return extra <= 0 ? 0 : extra < kWeightSteps ? static_cast<int>(extra) : kWeightSteps;
}

// The crossing iteration. spans_checked: both spans passed BScvcheck already (the intersector's own starts), and
// no fault hook is installed, so that skipping the checks and the vector routines' exits changes nothing. evals
// (12 values, or NULL) receives the points and first derivatives of both spans where it converged.
void crossing_iteration(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean closed1, BSboolean closed2,
                        double k1, double k2, double *t1, double *t2, double point[3], BSboolean *converged,
                        bool spans_checked, double *evals, int *rc) {
  *rc = 0;
  do {
    if (!t1 || !t2 || !point || !converged) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *converged = BSFALSE;
    if (!spans_checked && ((*rc = BScvcheck(cv1)) != 0 || (*rc = BScvcheck(cv2)) != 0)) break;
    const double values[4] = {*t1, *t2, k1, k2};
    const bool finite = spans_checked ? std::isfinite(*t1) && std::isfinite(*t2) && std::isfinite(k1) &&
                                            std::isfinite(k2)
                                      : BSallfinite(4, values);
    if (!finite) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // The cross products of the steps, inline where no hook must see BSvcross's exit.
    auto cross = [spans_checked, rc](const double *a, const double *b, double *out) {
      if (!spans_checked) {
        BSvcross(rc, a, b, out);
        return;
      }
      cross3(a, b, out);
      *rc = 0;
    };
    const double a1 = lo_par(cv1), b1 = hi_par(cv1), a2 = lo_par(cv2), b2 = hi_par(cv2);
    const double sqtol = BStoltab[bstol::dist_sqtol], e16 = BStoltab[kZeroTol];
    const bool quick1 = spans_checked && quick_cubic(cv1), quick2 = spans_checked && quick_cubic(cv2);
    double u1 = *t1, u2 = *t2, e1[6], e2[6];
    span_eval(cv1, quick1, u1, 1, e1, rc);
    if (*rc == 0) span_eval(cv2, quick2, u2, 1, e2, rc);
    if (*rc != 0) break;
    // Where e1 and e2 were taken. A parameter held at its range end, or a step too small to take, leaves it where
    // it was, and the evaluation there (a function of the parameter alone, which succeeded) is not repeated; under
    // a hook every evaluation runs, so that the hook sees each.
    const bool reuse = !bstest::slow_roads();
    double at1 = u1, at2 = u2;
    auto evaluate = [&](const VOQbsp_curve *cv, bool quick, double u, double *at, double *e) {
      if (reuse && same_bits(u, *at)) {
        *rc = 0;
        return;
      }
      span_eval(cv, quick, u, 1, e, rc);
      *at = u;
    };
    double dt1 = 1, dt2 = 1;
    bool parallel = false, wrapped_out = false;
    // The places and points after each step. A step is a function of the place alone, so a place met again
    // repeats the steps since then up to the last step: where the iteration would stand at the last step is
    // read off the steps taken, and its test taken there. Steps held back at the range ends often go round so.
    struct Place {
      double u1, u2, e1[6], e2[6];
    } places[kCrossingSteps + kWeightSteps];
    auto keep = [&](int at) {
      places[at].u1 = u1, places[at].u2 = u2;
      std::memcpy(places[at].e1, e1, sizeof e1);
      std::memcpy(places[at].e2, e2, sizeof e2);
    };
    // Steps below the knot tolerances end the iteration. The speed of a rational span whose weights spread far
    // follows them, so that such a step can still move it far: there the steps must also move both spans less
    // than dist_tol.
    const int extra_steps = weight_steps(cv1, cv2), max_steps = kCrossingSteps + extra_steps;
    auto settled = [&]() {
      if (!(std::fabs(dt1) < k1 && std::fabs(dt2) < k2)) return false;
      return extra_steps == 0 ||
             (dt1 * dt1 * dot3(e1 + 3, e1 + 3) < sqtol && dt2 * dt2 * dot3(e2 + 3, e2 + 3) < sqtol);
    };
    keep(0);
    for (int steps = 0; !wrapped_out;) {
      const double d[3] = {e2[0] - e1[0], e2[1] - e1[1], e2[2] - e1[2]};
      const int before = steps;
      if (dot3(d, d) >= 0.001 * sqtol) {
        double n[3], m1[3], m2[3];
        cross(e1 + 3, e2 + 3, n);
        const double s = dot3(n, n);
        // Parallel tangents stop it: their cross product vanishes. Where both spans move slowly (beside a rest,
        // each by a few hundred-thousandths), the product of two tangents at a clear angle is small too: they go
        // on when they cross at a clear angle, as long as each would still carry its span beyond dist_tol over its
        // range (where a span stands still, no tangent tells a way).
        const double l1 = dot3(e1 + 3, e1 + 3), l2 = dot3(e2 + 3, e2 + 3);
        if (s >= e16 || (s >= kClearSine * kClearSine * l1 * l2 && l1 * (b1 - a1) * (b1 - a1) > sqtol &&
                         l2 * (b2 - a2) * (b2 - a2) > sqtol)) {
          cross(e2 + 3, n, m1);
          cross(n, e1 + 3, m2);
          dt1 = dot3(m1, d) / s;
          dt2 = -dot3(m2, d) / s;
          // A step that overflows leads nowhere: the start gives no candidate.
          if (!std::isfinite(dt1) || !std::isfinite(dt2)) break;
          u1 += dt1, u2 += dt2;
          int w1 = 0, w2 = 0;
          BSprmwrap(a1, b1, closed1, &u1, &w1);
          BSprmwrap(a2, b2, closed2, &u2, &w2);
          if (w1 == kMaxWraps || w2 == kMaxWraps) {
            wrapped_out = true;
            break;
          }
        } else {
          parallel = true;
        }
        ++steps;
      } else {
        dt1 = dt2 = 0;
      }
      evaluate(cv1, quick1, u1, &at1, e1);
      if (*rc == 0) evaluate(cv2, quick2, u2, &at2, e2);
      if (*rc != 0) break;
      // Where the spans already meet no step is taken, and none ever will be: settled also where a knot tolerance
      // that is no positive number (of a piece of a span whose weights run to 1e274) cannot say so.
      if (steps >= max_steps || settled() || steps == before) {
        if (!parallel && BSpdistsq(rc, e1, e2) < sqtol) {
          *t1 = u1, *t2 = u2;
          *converged = BSTRUE;
          if (evals) std::memcpy(evals, e1, sizeof e1), std::memcpy(evals + 6, e2, sizeof e2);
        }
        break;
      }
      if (parallel) break;
      int again = 0;
      while (again < steps && !(same_bits(places[again].u1, u1) && same_bits(places[again].u2, u2))) ++again;
      if (again == steps) {
        keep(steps);
        continue;
      }
      const Place &last = places[again + (max_steps - again) % (steps - again)];
      u1 = last.u1, u2 = last.u2;
      std::memcpy(e1, last.e1, sizeof e1);
      std::memcpy(e2, last.e2, sizeof e2);
      if (BSpdistsq(rc, e1, e2) < sqtol) {
        *t1 = u1, *t2 = u2;
        *converged = BSTRUE;
        if (evals) std::memcpy(evals, e1, sizeof e1), std::memcpy(evals + 6, e2, sizeof e2);
      }
      break;
    }
    if (*rc != 0 || wrapped_out) break;
    for (int c = 0; c < 3; ++c) point[c] = 0.5 * (e1[c] + e2[c]);
  } while (false);
  BSexit(rc, "BScvcviter", "bscvcviter");
}

}  // namespace

void BScvcviter(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean closed1, BSboolean closed2, double k1,
                double k2, double *t1, double *t2, double point[3], BSboolean *converged, int *rc) {
  crossing_iteration(cv1, cv2, closed1, closed2, k1, k2, t1, t2, point, converged, false, nullptr, rc);
}

namespace {

// The crossings of two spans as their node polygons find them, written from index 0: the work of BSxbzs4 on one
// pair, without its exit. limit: the most results it may give (negative: a leg pair's room each, which *room, when
// not NULL, receives).
void polygon_crossings(VOQbsp_curve *cv1, VOQbsp_curve *cv2, int limit, int *pair_room, std::int32_t *n,
                       double *points, double *par1, double *par2, BSboolean *tangent, int *rc) {
  do {
    *n = 0;
    *tangent = BSFALSE;
    SpanPolygon own[2];
    const SpanPolygon *derived[2] = {nullptr, nullptr};
    derive_spans(cv1, cv2, own, derived, rc);
    if (*rc != 0) break;
    // Both spans passed check_span, now or in the memo's call; under a hook every check runs again.
    const bool checked = !bstest::slow_roads();
    const bool quick1 = checked && quick_cubic(cv1), quick2 = checked && quick_cubic(cv2);
    const double sqtol = BStoltab[bstol::dist_sqtol];
    const double k1 = derived[0]->ktol, k2 = derived[1]->ktol;
    const double *p_pts = derived[0]->pts, *p_par = derived[0]->par, *q_pts = derived[1]->pts,
                 *q_par = derived[1]->par;
    const int np = derived[0]->np, nq = derived[1]->np;
    const double e1 = derived[0]->deviation, e2 = derived[1]->deviation;
    const double margin = kMarginFactor * std::fmax(std::fmax(e1, e2), BStoltab[bstol::dist_tol]);
    const double a1 = lo_par(cv1), b1 = hi_par(cv1), a2 = lo_par(cv2), b2 = hi_par(cv2);
    // A start taken between two nodes rounds by an ulp or two, and past a range end where the spans already meet
    // no step brings it back. The knot tolerance of a piece some ten thousand ulps wide is about one ulp, and the
    // range end less that tolerance rounds onto such a start: a meeting is put onto the range end within the
    // larger of the knot tolerance and a few ulps.
    const double snap1 = std::fmax(k1, kStartRounding * DBL_EPSILON * std::fmax(std::fabs(a1), std::fabs(b1))),
                 snap2 = std::fmax(k2, kStartRounding * DBL_EPSILON * std::fmax(std::fabs(a2), std::fabs(b2)));
    const double leg1 = derived[0]->leg, leg2 = derived[1]->leg;
    const Reach reach{0.1 * std::fmin(leg1, leg2) / kMergeFactor, sqtol};
    // Every result needs a leg pair's room in the caller's arrays; only the starts at span ends can give more.
    if (pair_room) *pair_room = (np - 1) * (nq - 1);
    const int room = limit < 0 ? (np - 1) * (nq - 1) : std::min(limit, (np - 1) * (nq - 1));

    Candidate cand[BSXBZ_MAX_CANDIDATES], failed[kFailedRoom];
    int nc = 0, n_failed = 0;
    double met[2] = {0, 0};  // where the last start that converged met, before any snap onto a range end
    // One start of the iteration, answering whether it converged; a converged start that is new becomes a candidate.
    // A start at a span end only adds: it marks a touching point only when that is new. A second start of a leg pair
    // adds only a meeting that merging would keep apart from every candidate: it is started where the first one
    // failed or ran off, and what it finds beside a known meeting is that meeting again. own (the leg pair's
    // parameter ranges, or NULL) keeps out a meeting off the leg pair: a second start that runs off finds nothing
    // the leg pair stands for.
    auto solve = [&](double t1, double t2, bool at_end, bool again = false, const double *own = nullptr) {
      double point[3], evals[12];
      BSboolean converged = 0;
      crossing_iteration(cv1, cv2, cv1->phy_closed, cv2->phy_closed, k1, k2, &t1, &t2, point, &converged, checked,
                         evals, rc);
      if (*rc != 0 || !converged) return false;
      const double met1 = t1, met2 = t2;
      met[0] = t1, met[1] = t2;
      if (own && !(t1 >= own[0] - k1 && t1 <= own[1] + k1 && t2 >= own[2] - k2 && t2 <= own[3] + k2)) return true;
      if (t1 < a1 && t1 > a1 - snap1) t1 = a1;
      if (t1 > b1 && t1 < b1 + snap1) t1 = b1;
      if (t2 < a2 && t2 > a2 - snap2) t2 = a2;
      if (t2 > b2 && t2 < b2 + snap2) t2 = b2;
      // Unmoved onto a range end, the tangents are those the iteration ended with.
      const bool unmoved = checked && same_bits(t1, met1) && same_bits(t2, met2);
      const double s = tangent_sine(cv1, cv2, t1, t2, unmoved ? evals : nullptr, rc);
      if (*rc != 0) return true;
      const bool touching = s < kTangentSine && s > BStoltab[kZeroTol];
      if (touching) {
        if (!at_end) *tangent = BSTRUE;
        // Where the tangency solve failed from a start that converged to this meeting, it fails again (as it does
        // by the hundred where a span turns back along itself within the tolerance): the nearest points stand for it.
        const Candidate start{{point[0], point[1], point[2]}, t1, t2, true};
        bool unsolved = false;
        for (int f = 0; f < n_failed && !unsolved && *rc == 0; ++f)
          unsolved = one_meeting(cv1, cv2, start, failed[f], reach.tol_sq, reach, rc);
        if (*rc != 0) return true;
        double s1 = 0, s2 = 0, c1[3], c2[3];
        if (!unsolved) {
          BSpttan2cvs(cv1, cv2, t1, t2, k1, k2, &s1, &s2, c1, c2, rc);
          unsolved = *rc != 0;
          if (unsolved && n_failed < kFailedRoom) failed[n_failed++] = start;
        }
        if (unsolved) {
          double d = 0;
          *rc = 0;
          BSmdstbzbz(cv1, cv2, t1, t2, k1, k2, &s1, &s2, c1, c2, &d, rc);
          if (*rc != 0) return true;
        }
        // A solve that leaves the meeting the iteration found, beyond where the solutions of one touch scatter,
        // for a place the spans part from it on the way has run to another meeting (an end both share, beyond a
        // shallow crossing): the iteration's meeting stands.
        const Candidate to{{0.5 * (c1[0] + c2[0]), 0.5 * (c1[1] + c2[1]), 0.5 * (c1[2] + c2[2])}, s1, s2, true};
        const bool elsewhere = BSpdistsq(rc, to.point, point) > reach.merge_sq && *rc == 0 &&
                               part_between(cv1, cv2, start, to, rc);
        if (*rc != 0) return true;
        if (!elsewhere) {
          t1 = s1, t2 = s2;
          std::memcpy(point, to.point, sizeof point);
        }
      }
      Candidate found;
      std::memcpy(found.point, point, sizeof point);
      found.t1 = t1, found.t2 = t2, found.touching = touching;
      bool repeated = false;
      for (int c = 0; c < nc && !repeated && *rc == 0; ++c) {
        const double near_sq = !again                           ? reach.tol_sq
                               : touching && cand[c].touching ? reach.merge_sq
                                                              : reach.crossing_sq();
        repeated = one_meeting(cv1, cv2, found, cand[c], near_sq, reach, rc);
      }
      if (*rc != 0 || repeated) return true;
      if (nc >= room) {
        *rc = BSRC_OUT_OF_RANGE;
        return true;
      }
      cand[nc++] = found;
      if (touching) *tangent = BSTRUE;
      return true;
    };
    // A span end near leg s0 s1 of the other polygon, and no end of that span, is a start of its own: a crossing
    // close to the end can share its leg pair with another crossing that the leg pair's start runs to, and the
    // end test does not reach it when the crossing is shallow. These starts run after all leg pairs, so that
    // they only add crossings and never change one that a leg pair finds.
    struct Start {
      double t1, t2;
    } ends[4 * (BSXBZ_MAX_NODES - 1)];
    int n_ends = 0;
    // Leg pairs whose start at their nearest points led nowhere. Where a span folds inside a leg, that start can lie
    // beyond the fold from a shallow crossing on the leg, and the iteration runs off to the span's end; such a pair
    // is started once more from the middles of its legs, after all leg pairs.
    struct LegPair {
      std::uint8_t i, j;
    } retries[BSXBZ_MAX_CANDIDATES];
    static_assert(BSXBZ_MAX_NODES <= 256, "leg indices fit a byte");
    int n_retries = 0;
    // Leg pairs whose start from their middles led nowhere or met the spans off their legs. Where a span creeps away
    // from an end both share (stacked poles there), the other's end leg lies along several of its short legs; the
    // middle of the long leg is far from a short one, and that start runs past a shallow crossing on the pair to
    // another meeting, beyond the shared end's pieces, which reach no farther than the short end leg. The legs' nearest
    // points are no better: the legs close in towards the shared end. Such a pair with an end leg at a shared end is
    // started once more from the shorter leg's middle and its foot on the longer leg, after all leg pairs.
    LegPair turns[BSXBZ_MAX_CANDIDATES];
    int n_turns = 0;
    // Leg pairs whose start at their nearest points met the spans off their legs. Where the spans cross twice close
    // together, one of them barely bending between (its bottom between the crossings), both leg pairs about the
    // bend have their nearest points beside the node there, and both starts run to the same crossing: the other
    // one, on the leg pair that met off itself, is only reached from that pair's middles. Such a pair is started
    // once more from there, after all leg pairs, and keeps only a meeting on its own legs.
    LegPair strays[BSXBZ_MAX_CANDIDATES];
    int n_strays = 0;
    auto end_start = [&](const double *end, const double *s0, const double *s1, const double *other_ends, double *v) {
      double foot[3], d = 0;
      BSdptseg2(end, s0, s1, foot, v, &d, rc);
      if (*rc != 0 || !(d < margin)) return false;
      for (int k = 0; k < 2; ++k)
        if (BSpdistsq(rc, end, other_ends + 3 * k) < sqtol) return false;
      *v = nudged(*v);
      return *rc == 0;
    };
    const double p_ends[6] = {p_pts[0], p_pts[1], p_pts[2], p_pts[3 * np - 3], p_pts[3 * np - 2], p_pts[3 * np - 1]};
    const double q_ends[6] = {q_pts[0], q_pts[1], q_pts[2], q_pts[3 * nq - 3], q_pts[3 * nq - 2], q_pts[3 * nq - 1]};
    const LegBoxes p_boxes(np, p_pts), q_boxes(nq, q_pts);
    // One leg pair, p0 p1 over [ps, pe] of span 1 and q0 q1 over [qs, qe] of span 2: within the margin, one start
    // of the iteration, from the legs' nearest points when they all but meet and else from their middles. u, v
    // (nudged off the nodes) and dist are the legs' nearest points and distance; ran_off tells a start from the
    // middles that led nowhere or met the spans outside the legs.
    auto leg_pair = [&](const double *p0, const double *p1, const double *p_box, double ps, double pe,
                        const double *q0, const double *q1, const double *q_box, double qs, double qe, double near,
                        bool at_end, double *u, double *v, double *dist, bool *led_nowhere = nullptr,
                        bool *ran_off = nullptr, bool *strayed = nullptr) {
      if (box_apart(p_box, q_box, near)) return false;
      double on_p[3], on_q[3];
      BSdlsegs2(p0, p1, q0, q1, dist, on_p, on_q, u, v, rc);
      if (*rc != 0 || !(*dist < near)) return false;
      *u = nudged(*u), *v = nudged(*v);
      if (*dist <= kNearFactor * near) {
        const bool converged = solve((1 - *u) * ps + *u * pe, (1 - *v) * qs + *v * qe, at_end);
        if (!converged && *rc == 0 && led_nowhere) *led_nowhere = true;
        if (converged && *rc == 0 && strayed)
          *strayed = !(met[0] >= ps - k1 && met[0] <= pe + k1) || !(met[1] >= qs - k2 && met[1] <= qe + k2);
      } else {
        const bool converged = solve(0.5 * (ps + pe), 0.5 * (qs + qe), at_end);
        if (*rc == 0 && ran_off)
          *ran_off = !converged || !(met[0] >= ps && met[0] <= pe) || !(met[1] >= qs && met[1] <= qe);
      }
      return *rc == 0;
    };
    // End legs of both that meet at their nodes (an end both spans share): at most one pair at each of the four
    // pairings of ends.
    struct {
      int i, j, a, b;  // the legs, and their pieces at the shared end
    } shared[4];
    int n_shared = 0;
    for (int i = 0; i + 1 < np && *rc == 0; ++i) {
      const double *p0 = p_pts + 3 * i, *p1 = p0 + 3;
      for (int j = 0; j + 1 < nq && *rc == 0; ++j) {
        const double *q0 = q_pts + 3 * j, *q1 = q0 + 3;
        double dist = 0, u = 0, v = 0;
        bool led_nowhere = false, ran_off = false, strayed = false;
        if (!leg_pair(p0, p1, p_boxes.box[i], p_par[i], p_par[i + 1], q0, q1, q_boxes.box[j], q_par[j], q_par[j + 1],
                      margin, false, &u, &v, &dist, &led_nowhere, &ran_off, &strayed))
          continue;
        if (strayed) strays[n_strays++] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j)};
        if (ran_off) turns[n_turns++] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j)};
        if (led_nowhere) retries[n_retries++] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j)};
        // At most two ends of each span a leg pair, on its first and last legs only.
        double w = 0;
        if (i == 0 && *rc == 0 && end_start(p0, q0, q1, q_ends, &w))
          ends[n_ends++] = {a1, (1 - w) * q_par[j] + w * q_par[j + 1]};
        if (i == np - 2 && *rc == 0 && end_start(p1, q0, q1, q_ends, &w))
          ends[n_ends++] = {b1, (1 - w) * q_par[j] + w * q_par[j + 1]};
        if (j == 0 && *rc == 0 && end_start(q0, p0, p1, p_ends, &w))
          ends[n_ends++] = {(1 - w) * p_par[i] + w * p_par[i + 1], a2};
        if (j == nq - 2 && *rc == 0 && end_start(q1, p0, p1, p_ends, &w))
          ends[n_ends++] = {(1 - w) * p_par[i] + w * p_par[i + 1], b2};
        // The nearest points of two legs meeting at a node may come out a rounding off it: a rounding of the
        // coordinates over the leg's length, far from the origin.
        const bool end_legs = (i == 0 || i == np - 2) && (j == 0 || j == nq - 2);
        if (end_legs && dist <= kNearFactor * margin && n_shared < 4) {
          double big = 0;
          for (const double *x : {p0, p1, q0, q1})
            for (int c = 0; c < 3; ++c) big = std::fmax(big, std::fabs(x[c]));
          const double rounding = kNodeRounding * DBL_EPSILON * big, zero = BStoltab[kZeroTol];
          const double eu = std::fmax(zero, rounding / std::sqrt(BSpdistsq(rc, p0, p1))),
                       ev = std::fmax(zero, rounding / std::sqrt(BSpdistsq(rc, q0, q1)));
          if ((u <= eu || u >= 1 - eu) && (v <= ev || v >= 1 - ev))
            shared[n_shared++] = {i, j, u <= eu ? 0 : kSharedCuts - 1, v <= ev ? 0 : kSharedCuts - 1};
        }
      }
    }
    for (int k = 0; k < n_ends && *rc == 0; ++k) solve(ends[k].t1, ends[k].t2, true);
    // A shared end's leg pair starts at that end, and a shallow crossing beside it lies on the same two legs, where
    // no start of a whole leg reaches it. Both legs are cut into kSharedCuts pieces, which stray far less from the
    // spans, and each pair of pieces within their own margin but the pair at the shared end starts once more; like
    // the end starts, these only add crossings. Where the spans turn back at the shared end (a hook there, tight
    // where a rational span rushes through its last hundredth of parameter), a crossing can lie in that pair too:
    // the pieces at the shared end are cut again in the same way, until they lie within dist_tol of the end or
    // leave it so far apart that they can meet only there.
    for (int k = 0; k < n_shared && *rc == 0; ++k) {
      double pp[3 * (kSharedCuts + 1)], pr[kSharedCuts + 1], qp[3 * (kSharedCuts + 1)], qr[kSharedCuts + 1];
      const int i = shared[k].i, j = shared[k].j, sa = shared[k].a, sb = shared[k].b;
      double p_leg[6], q_leg[6], p_span[2] = {p_par[i], p_par[i + 1]}, q_span[2] = {q_par[j], q_par[j + 1]};
      std::memcpy(p_leg, p_pts + 3 * i, sizeof p_leg);
      std::memcpy(q_leg, q_pts + 3 * j, sizeof q_leg);
      const double dist_tol = BStoltab[bstol::dist_tol];
      double deviation = std::fmax(e1, e2);
      for (int level = 0; level < kSharedLevels && *rc == 0; ++level) {
        cut_leg(cv1, quick1, p_leg, p_leg + 3, p_span[0], p_span[1], pp, pr, rc);
        if (*rc == 0) cut_leg(cv2, quick2, q_leg, q_leg + 3, q_span[0], q_span[1], qp, qr, rc);
        if (*rc != 0) break;
        const LegBoxes p_pieces(kSharedCuts + 1, pp), q_pieces(kSharedCuts + 1, qp);
        // A chord's deviation shrinks with the square of its parameter length.
        deviation /= kSharedCuts * kSharedCuts;
        const double near = kMarginFactor * std::fmax(deviation, dist_tol);
        for (int a = 0; a < kSharedCuts && *rc == 0; ++a)
          for (int b = 0; b < kSharedCuts && *rc == 0; ++b) {
            // The pieces at the shared end start at it, as their legs did.
            if (a == sa && b == sb) continue;
            double u = 0, v = 0, dist = 0;
            leg_pair(pp + 3 * a, pp + 3 * a + 3, p_pieces.box[a], pr[a], pr[a + 1], qp + 3 * b, qp + 3 * b + 3,
                     q_pieces.box[b], qr[b], qr[b + 1], near, true, &u, &v, &dist);
          }
        // Where the pieces at the shared end leave it as good as straight, each much nearer its chord than the
        // two chords part, they meet nowhere else; a hook or a sharp turn back there is cut again. The pieces
        // stray from their chords by what their middles do.
        const double *end = pp + 3 * (sa == 0 ? 0 : kSharedCuts), *pf = pp + 3 * (sa == 0 ? 1 : kSharedCuts - 1),
                     *qf = qp + 3 * (sb == 0 ? 1 : kSharedCuts - 1);
        double dp[3], dq[3], mp[3], mq[3];
        for (int c = 0; c < 3; ++c) dp[c] = pf[c] - end[c], dq[c] = qf[c] - end[c];
        const double lp = std::sqrt(dot3(dp, dp)), lq = std::sqrt(dot3(dq, dq));
        if (!(lp > dist_tol && lq > dist_tol)) break;
        const double half_sine = std::sqrt(std::fmax(0.0, 0.5 * (1 - dot3(dp, dq) / (lp * lq))));
        // Within near of their chords, they meet only within near over that sine of the end, and within the
        // reach of one crossing that meeting is the end's.
        if (near * near <= kCrossingReach * dist_tol * dist_tol * half_sine * half_sine) break;
        // The deviation of the polygon's legs, shrunk with the pieces, settles most ends without a measure.
        if (deviation * kFlatShare <= std::fmin(lp, lq) * half_sine) break;
        span_eval(cv1, quick1, 0.5 * (pr[sa] + pr[sa + 1]), 0, mp, rc);
        if (*rc == 0) span_eval(cv2, quick2, 0.5 * (qr[sb] + qr[sb + 1]), 0, mq, rc);
        if (*rc != 0) break;
        double off_p = 0, off_q = 0;
        for (int c = 0; c < 3; ++c) {
          const double x = mp[c] - (end[c] + 0.5 * dp[c]), y = mq[c] - (end[c] + 0.5 * dq[c]);
          off_p += x * x, off_q += y * y;
        }
        if (std::fmax(off_p / (lp * lp), off_q / (lq * lq)) * kFlatShare * kFlatShare <= half_sine * half_sine) break;
        std::memcpy(p_leg, pp + 3 * sa, sizeof p_leg);
        std::memcpy(q_leg, qp + 3 * sb, sizeof q_leg);
        p_span[0] = pr[sa], p_span[1] = pr[sa + 1];
        q_span[0] = qr[sb], q_span[1] = qr[sb + 1];
      }
    }
    for (int k = 0; k < n_retries && *rc == 0; ++k) {
      const int i = retries[k].i, j = retries[k].j;
      solve(0.5 * (p_par[i] + p_par[i + 1]), 0.5 * (q_par[j] + q_par[j + 1]), true, true);
    }
    for (int k = 0; k < n_turns && *rc == 0; ++k) {
      const int i = turns[k].i, j = turns[k].j;
      bool beside = false;
      for (int e = 0; e < n_shared && !beside; ++e) beside = shared[e].i == i || shared[e].j == j;
      if (!beside) continue;
      const double *p0 = p_pts + 3 * i, *p1 = p0 + 3, *q0 = q_pts + 3 * j, *q1 = q0 + 3;
      const bool p_short = BSpdistsq(rc, p0, p1) < BSpdistsq(rc, q0, q1);
      const double *s0 = p_short ? p0 : q0, *s1 = p_short ? p1 : q1;
      double mid[3], foot[3], w = 0, d = 0;
      for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (s0[c] + s1[c]);
      BSdptseg2(mid, p_short ? q0 : p0, p_short ? q1 : p1, foot, &w, &d, rc);
      if (*rc != 0) break;
      w = nudged(w);
      const double u = p_short ? 0.5 : w, v = p_short ? w : 0.5;
      const double own[4] = {p_par[i], p_par[i + 1], q_par[j], q_par[j + 1]};
      solve((1 - u) * p_par[i] + u * p_par[i + 1], (1 - v) * q_par[j] + v * q_par[j + 1], true, true, own);
    }
    for (int k = 0; k < n_strays && *rc == 0; ++k) {
      const int i = strays[k].i, j = strays[k].j;
      const double own[4] = {p_par[i], p_par[i + 1], q_par[j], q_par[j + 1]};
      solve(0.5 * (p_par[i] + p_par[i + 1]), 0.5 * (q_par[j] + q_par[j + 1]), true, true, own);
    }
    if (*rc != 0) break;

    // Merging: a run of neighbours that are one meeting is placed at the middle of its outer candidates.
    for (int i = 0; i < nc && *rc == 0;) {
      int e = i;
      while (e + 1 < nc && *rc == 0) {
        // Touching solutions scatter along the common tangent: two of them are one meeting within the merge
        // distance. A crossing at a clear angle is exact, beside a touching point as beside another crossing; at
        // the merge distance a span that all but stands still beside a touching end would pass the staying-near
        // test and swallow it. And two touching solutions are one touch only while the spans stay within dist_tol
        // between them: two shallow crossings closer than the merge distance are two meetings.
        const bool touching = cand[e].touching && cand[e + 1].touching;
        if (!one_meeting(cv1, cv2, cand[e], cand[e + 1], touching ? reach.merge_sq : reach.crossing_sq(), reach, rc))
          break;
        if (touching && *rc == 0 && part_between(cv1, cv2, cand[e], cand[e + 1], rc)) break;
        ++e;
      }
      if (*rc != 0) break;
      double *out = points + 3 * *n;
      std::memcpy(out, cand[i].point, 3 * sizeof(double));
      par1[*n] = cand[i].t1, par2[*n] = cand[i].t2;
      if (e > i) {
        double mid[3], u1 = cand[i].t1, u2 = cand[i].t2;
        BSboolean on1 = 0, on2 = 0;
        for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (cand[i].point[c] + cand[e].point[c]);
        BSprptoncv(rc, cv1, mid, &u1, &on1);
        if (*rc == 0) BSprptoncv(rc, cv2, mid, &u2, &on2);
        if (*rc != 0) break;
        // A middle off either span stands for no meeting: the run keeps its first candidate as it was found.
        if (on1 && on2) {
          std::memcpy(out, mid, sizeof mid);
          par1[*n] = u1, par2[*n] = u2;
        }
      }
      ++*n;
      i = e + 1;
    }
  } while (false);
}

// Pieces of a rational span whose weights spread far. Such a span runs through most of its points within a sliver
// of its range near its lightest poles (a whole stretch squeezed into the last hundredth of the range beside an end
// pole of tiny weight): its node polygon, evenly spread over the range, passes over that stretch in one leg, whose
// deviation at the leg's middle parameter says nothing of it, and an iteration started on the leg runs off. Halving
// the parameter brings an end weight of 1e-15 no nearer to its neighbours than a factor of 2 a cut, and the pieces
// ran out while the last of them still spread by 1e5: crossings there were missed. The span is cut where its evened
// parameter halves instead (bspline/core/even_weights_internal.h), until each piece, evened, spreads by no more than
// 2^kEvenSpread; each piece is met evened, over [0, 1], and its parameters are taken back to the span's.
constexpr double kPieceSpread = 64;
constexpr int kMostPieces = 32;

struct Piece {
  double poles[3 * BSXBZ_MAX_ORDER], weights[BSXBZ_MAX_ORDER], knots[2 * BSXBZ_MAX_ORDER];
  double box[6];  // of the Cartesian poles
  double a, b;    // the piece's part of the span's range
  int e;          // pole j scaled by 2^(e j): the piece's parameter s is the span's bseven::unevened(s, e, a, b)

  void take_box(int k) {
    for (int c = 0; c < 3; ++c) box[c] = HUGE_VAL, box[3 + c] = -HUGE_VAL;
    for (int j = 0; j < k; ++j)
      for (int c = 0; c < 3; ++c) {
        const double x = poles[3 * j + c] / weights[j];
        box[c] = std::fmin(box[c], x), box[3 + c] = std::fmax(box[3 + c], x);
      }
  }
  // The piece as the intersector meets it, from its part cm (component-major, weights last) of the span: evened
  // when that keeps every coefficient normal, over [0, 1].
  void finish(int k, const double *cm, const double *l, int even) {
    double evened[4 * BSXBZ_MAX_ORDER];
    e = bseven::even_out(k - 1, 3, cm, l, even, evened) ? even : 0;
    const double *from = e != 0 ? evened : cm;
    for (int j = 0; j < k; ++j) {
      for (int c = 0; c < 3; ++c) poles[3 * j + c] = from[c * k + j];
      weights[j] = from[3 * k + j];
      knots[j] = 0, knots[k + j] = 1;
    }
    take_box(k);
  }
  double to_span(double s) const { return bseven::unevened(s, e, a, b); }
};

// Whether a span that passed check_span is rational with weights all positive and finite that spread beyond
// kPieceSpread.
bool spreads_far(const VOQbsp_curve *cv) {
  if (!cv->rational) return false;
  double lo = HUGE_VAL, hi = 0;
  for (int j = 0; j < cv->order; ++j) {
    const double w = cv->weights[j];
    if (!(w > 0) || !std::isfinite(w)) return false;
    lo = std::fmin(lo, w), hi = std::fmax(hi, w);
  }
  return hi > kPieceSpread * lo;
}

struct Pieces final : bseven::Parts {
  int count = 0, order = 0, cuts = 0;
  Piece piece[kMostPieces];

  // The pieces of cv, or false (nothing cut) when cv is not rational or its weights spread no more than
  // kPieceSpread, or are not all positive and finite.
  bool cut(const VOQbsp_curve *cv) {
    count = cuts = 0;
    if (!spreads_far(cv)) return false;
    const int k = order = cv->order;
    double cm[4 * BSXBZ_MAX_ORDER];
    for (int j = 0; j < k; ++j) {
      for (int c = 0; c < 3; ++c) cm[c * k + j] = cv->poles[3 * j + c];
      cm[3 * k + j] = cv->weights[j];
    }
    // A part's weight underflows to 0 only when the span's lie within a few roundings of the least double: the span
    // is then met whole.
    if (bseven::descend(k - 1, 4, cm, lo_par(cv), hi_par(cv), *this) == 0) return true;
    count = 0;
    return false;
  }
  // The pieces come in order of the range.
  int part(const double *cm, double a, double b, const double *l, int e) override {
    Piece &p = piece[count++];
    p.a = a, p.b = b;
    p.finish(order, cm, l, e);
    return 0;
  }
  // Each cut makes one piece more, up to kMostPieces; none leaves a piece of no range.
  bool may_cut(double a, double m, double b) override {
    if (cuts == kMostPieces - 1 || !(a < m && m < b)) return false;
    ++cuts;
    return true;
  }
  // A record of piece i of a span like cv.
  VOQbsp_curve record(const VOQbsp_curve *cv, int i) {
    VOQbsp_curve r = *cv;
    r.poles = piece[i].poles;
    r.weights = piece[i].weights;
    r.knots = piece[i].knots;
    r.phy_closed = 0;
    return r;
  }
};

// Whether either span is cut into pieces: both pass check_span and one spreads far. Asked before the pieces' frame
// is taken, which is large.
bool cut_any(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2) {
  return ((cv1 && cv1->rational) || (cv2 && cv2->rational)) && check_span(cv1) == 0 && check_span(cv2) == 0 &&
         (spreads_far(cv1) || spreads_far(cv2));
}

// BSxbzs4 for spans either of which is cut into pieces (cut_any): every pair of pieces whose poles' boxes come
// within dist_tol meets as two spans do, and a meeting found again from another pair (where it lies at the joint of
// two pieces) is one of those found before.
[[gnu::noinline]] void piece_crossings(VOQbsp_curve *cv1, VOQbsp_curve *cv2, std::int32_t *n, double *points,
                                       double *par1, double *par2, BSboolean *tangent, int *rc) {
  Pieces cuts[2];
  const bool cut1 = cuts[0].cut(cv1), cut2 = cuts[1].cut(cv2);
  VOQbsp_curve *cvs[2] = {cv1, cv2};
  for (int s = 0; s < 2; ++s)
    if (cuts[s].count == 0) {
      // The span uncut is its own one piece.
      Piece &whole = cuts[s].piece[0];
      const int k = cvs[s]->order;
      std::memcpy(whole.poles, cvs[s]->poles, 3 * k * sizeof(double));
      for (int j = 0; j < k; ++j) whole.weights[j] = cvs[s]->rational ? cvs[s]->weights[j] : 1.0;
      std::memcpy(whole.knots, cvs[s]->knots, 2 * k * sizeof(double));
      whole.a = lo_par(cvs[s]), whole.b = hi_par(cvs[s]), whole.e = 0;
      whole.take_box(k);
      cuts[s].count = 1;
    }
  for (VOQbsp_curve *cv : cvs)
    if (!cv->rational) cv->weights = nullptr;
  const double tol = BStoltab[bstol::dist_tol], sqtol = BStoltab[bstol::dist_sqtol];
  double leg1 = BSmaxlegsq(cv1->num_poles, cv1->weights, cv1->poles, rc);
  double leg2 = *rc == 0 ? BSmaxlegsq(cv2->num_poles, cv2->weights, cv2->poles, rc) : 0;
  if (*rc != 0) return;
  const Reach reach{0.1 * std::fmin(leg1, leg2) / kMergeFactor, sqtol};
  int total = -1;
  bool touched[BSXBZ_MAX_RESULTS];
  for (int i = 0; i < cuts[0].count && *rc == 0; ++i)
    for (int j = 0; j < cuts[1].count && *rc == 0; ++j) {
      const Piece &p = cuts[0].piece[i], &q = cuts[1].piece[j];
      if (box_apart(p.box, q.box, tol)) continue;
      VOQbsp_curve r1 = cut1 ? cuts[0].record(cv1, i) : *cv1, r2 = cut2 ? cuts[1].record(cv2, j) : *cv2;
      const int before = *n;
      std::int32_t m = 0;
      BSboolean touch = BSFALSE;
      int room = 0;
      polygon_crossings(&r1, &r2, total < 0 ? -1 : total - before, &room, &m, points + 3 * before, par1 + before,
                        par2 + before, &touch, rc);
      if (total < 0) total = room;
      if (touch) *tangent = BSTRUE;
      for (int r = before; r < before + m; ++r) {
        if (cut1) par1[r] = p.to_span(par1[r]);
        if (cut2) par2[r] = q.to_span(par2[r]);
      }
      for (int r = before; r < before + m && *rc == 0; ++r) {
        // Found again from another pair: within dist_tol, as the intersector takes a start's meeting for one it
        // has; a touching point, whose solutions scatter along the common tangent, within the merge distance when
        // both pairs met the spans touching there and the spans stay within dist_tol of each other between.
        const Candidate x{{points[3 * r], points[3 * r + 1], points[3 * r + 2]}, par1[r], par2[r], touch != 0};
        bool again = false;
        for (int e = 0; e < before && !again && *rc == 0; ++e) {
          const Candidate y{{points[3 * e], points[3 * e + 1], points[3 * e + 2]}, par1[e], par2[e], touched[e]};
          const bool touching = x.touching && y.touching;
          again = one_meeting(cv1, cv2, x, y, touching ? reach.merge_sq : reach.tol_sq, reach, rc) &&
                  (!touching || (*rc == 0 && !part_between(cv1, cv2, x, y, rc)));
        }
        if (again || *rc != 0) continue;
        std::memmove(points + 3 * *n, points + 3 * r, 3 * sizeof(double));
        par1[*n] = par1[r], par2[*n] = par2[r];
        touched[*n] = x.touching;
        ++*n;
      }
    }
}

}  // namespace

void BSxbzs4(VOQbsp_curve *cv1, VOQbsp_curve *cv2, std::int32_t *n, double *points, double *par1, double *par2,
             BSboolean *tangent, int *rc) {
  *rc = 0;
  const double saved_dist = BStoltab[bstol::dist_tol];
  if (!n || !points || !par1 || !par2 || !tangent) {
    *rc = BSRC_NULL_CURVE;
  } else {
    *n = 0;
    *tangent = BSFALSE;
    if (cut_any(cv1, cv2))
      piece_crossings(cv1, cv2, n, points, par1, par2, tangent, rc);
    else
      polygon_crossings(cv1, cv2, -1, nullptr, n, points, par1, par2, tangent, rc);
  }
  if (*rc != 0) {
    int own = 0;
    BSchangepar(&own, bstol::dist_tol, saved_dist);
  }
  BSexit(rc, "BSxbzs4", "bsxbzs4");
}
