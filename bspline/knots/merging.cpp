// Open curves joined end to end into one curve: the raw combination of two compatible curves, the merge that
// first orients the two, brings them to one order and clamps them, and the chain merge of many.
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cassert>
#include <cmath>

using bsknots::cartesian_pole;
using bsknots::plain_view;

namespace {
void curve_end(const VOQbsp_curve &cv, bool at_end, double p[3], int *rc) {
  BScveval_n(&cv, cv.knots[at_end ? cv.num_poles : cv.order - 1], 0, p, rc);
}

double distance(const double a[3], const double b[3]) { return std::sqrt(bsknots::squared_distance(a, b)); }

// A fresh record holding a copy of cv, boundaries dropped.
VOQbsp_curve *fresh_copy(const VOQbsp_curve &cv, int *rc) {
  VOQbsp_curve *c = nullptr;
  BSallocvoqcv(cv.order, cv.num_poles, cv.rational, 0, &c, rc);
  if (*rc == 0 && !BScv_copy(rc, &cv, c)) {
    int ignored = 0;
    BSfreevoqcv(c, &ignored);
    c = nullptr;
  }
  return c;
}
}  // namespace

// Its weights are positive, so its points lie in the hull of its poles: two points of the curve that far apart
// put a pole at least a quarter of their squared distance (in sum of squares) from the poles' centroid, more than
// the degeneracy test's spread allows n coincident poles.
bool bsknots::has_extent(const VOQbsp_curve &cv, const double p[3], const double q[3]) {
  if (cv.rational)
    for (int i = 0; i < cv.num_poles; ++i)
      if (!(cv.weights[i] > 0)) return false;
  return points_apart(cv.num_poles, p, q);
}

bool bsknots::points_apart(int num_poles, const double p[3], const double q[3]) {
  const double tol = BStoltab[bstol::dist_tol], d = distance(p, q);
  return std::isfinite(d) && d >= 1e3 * tol && d * d >= 8.0 * num_poles * tol * tol;
}

bool bsknots::clamped_extent(const VOQbsp_curve &cv) {
  const int k = cv.order, n = cv.num_poles;
  if (k < 2 || n < k) return false;
  for (int i = 1; i < k; ++i)
    if (cv.knots[i] != cv.knots[0] || cv.knots[n + i] != cv.knots[n]) return false;
  // Coordinates this large could overflow the spread the test would measure; it is left to decide them.
  double p[3];
  for (int i = 0; i < n; ++i) {
    cartesian_pole(cv, i, p);
    if (!(std::fabs(p[0]) < 1e150 && std::fabs(p[1]) < 1e150 && std::fabs(p[2]) < 1e150)) return false;
  }
  double q[3];
  cartesian_pole(cv, 0, p);
  cartesian_pole(cv, n - 1, q);
  return has_extent(cv, p, q);
}

bool bsknots::JoinHints::first_long(const VOQbsp_curve &cv) const {
  return first_has_extent && has_extent(cv, extent[0], extent[1]);
}

void bsknots::join_at_joint(const VOQbsp_curve &a, const VOQbsp_curve &b, bool over_a, VOQbsp_curve *out) {
  const int k = a.order, L1 = a.num_poles, L2 = b.num_poles;
  const bool rational = a.rational || b.rational;
  const double shift = a.knots[L1] - b.knots[k - 1];
  const double w1_last = a.rational ? a.weights[L1 - 1] : 1.0, w2_first = b.rational ? b.weights[0] : 1.0;
  // Factors that make the two weights at the joint agree: a's part follows b's first weight.
  const double g1 = b.rational ? (a.rational ? w2_first / w1_last : w2_first) : 1.0;
  const double g2 = !b.rational && a.rational ? w1_last : 1.0;
  // a's part stays where it is, so that out may be a itself.
  for (int j = 0; j < L2; ++j) out->knots[L1 + k - 1 + j] = b.knots[k + j] + shift;
  // Written in place with a factor of one, a's part would only be copied onto itself.
  for (int i = 0; i < L1 && (!over_a || rational || g1 != 1.0); ++i) {
    for (int c = 0; c < 3; ++c) out->poles[3 * i + c] = a.poles[3 * i + c] * g1;
    if (rational) out->weights[i] = (a.rational ? a.weights[i] : 1.0) * g1;
  }
  for (int j = 1; j < L2; ++j) {
    for (int c = 0; c < 3; ++c) out->poles[3 * (L1 - 1 + j) + c] = b.poles[3 * j + c] * g2;
    if (rational) out->weights[L1 - 1 + j] = (b.rational ? b.weights[j] : 1.0) * g2;
  }
  if (!over_a)
    for (int i = 0; i < L1 + k - 1; ++i) out->knots[i] = a.knots[i];
}

void bsknots::combine_open(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out,
                           const JoinHints &hints, int *rc) {
  bool degenerate = false;
  if (!cv1 || !cv2 || !out || !out->poles || !out->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv1->order != cv2->order) {
    *rc = BSRC_NOT_JOINED;
  } else if (cv1->phy_closed || cv2->phy_closed) {
    *rc = BSRC_CLOSED_INPUT;
  } else if ((cv1->rational || cv2->rational) && !out->weights) {
    *rc = BSRC_NULL_CURVE;
  } else {
    const VOQbsp_curve a = plain_view(*cv1), b = plain_view(*cv2);
    for (const VOQbsp_curve *c : {&a, &b}) {
      // A chain that grows one piece at a time would otherwise measure its whole length again on every join.
      if (c == &a && hints.first_long(a)) continue;
      int trc = 0;
      BSboolean too_small = BSFALSE;
      BStstcvdegn(c, &too_small, &trc);
      // A curve that cannot be judged counts as degenerate; the join is still built.
      if (too_small || trc != 0) degenerate = true;
    }
    const int k = a.order, N = a.num_poles + b.num_poles - 1;
    const bool rational = a.rational || b.rational;
    join_at_joint(a, b, out == cv1, out);
    out->order = a.order;
    out->num_poles = N;
    out->num_knots = N + k;
    out->rational = rational;
    if (!rational) out->weights = nullptr;
    out->phy_closed = 0;
    if (!degenerate) {
      double p0[3], p1[3];
      cartesian_pole(*out, 0, p0);
      cartesian_pole(*out, N - 1, p1);
      if (distance(p0, p1) < BStoltab[bstol::dist_tol]) {
        out->phy_closed = 1;
        for (int c = 0; c < 3; ++c) {
          const double mid = (p0[c] + p1[c]) / 2;
          out->poles[c] = rational ? mid * out->weights[0] : mid;
          out->poles[3 * (N - 1) + c] = rational ? mid * out->weights[N - 1] : mid;
        }
      }
    }
    if (!hints.plane_later) bsknots::flag_planar(out, rc);
    out->periodic = 0;
    out->non_uniform = 1;
    out->num_boundaries = 0;
    out->bdrys = nullptr;
    if (*rc == 0 && degenerate) *rc = BSRC_DEGENERATE_INPUT;
  }
}

void bsknots::flag_planar(VOQbsp_curve *cv, int *rc) {
  int kind = 0;
  double vec[3];
  BSptlnplan(cv->num_poles, 0, cv->poles, cv->rational ? cv->weights : nullptr, &kind, vec, rc);
  cv->planar = *rc == 0 && kind == BSKIND_PLANE ? 1 : 0;
  if (*rc == BSRC_DEGENERATE) *rc = 0;
}

void BScomb2cvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  bsknots::combine_open(cv1, cv2, out, bsknots::JoinHints{}, rc);
  BSexit(rc, "BScomb2cvs", "bscomb2cvs");
}

void bsknots::merge_open(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out,
                         const JoinHints &hints, int *rc) {
  VOQbsp_curve *first = nullptr, *second = nullptr;
  if (!cv1 || !cv2 || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv1->phy_closed || cv2->phy_closed) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve a = plain_view(*cv1), b = plain_view(*cv2);
    // The points where the curves begin and end (equal to the end poles once the curves are clamped).
    double s1[3], e1[3], s2[3], e2[3];
    curve_end(a, false, s1, rc);
    if (*rc == 0) curve_end(a, true, e1, rc);
    if (*rc == 0) curve_end(b, false, s2, rc);
    if (*rc == 0) curve_end(b, true, e2, rc);
    if (*rc == 0) first = fresh_copy(a, rc);
    if (*rc == 0) second = fresh_copy(b, rc);
    if (*rc == 0) {
      const double tol = BStoltab[bstol::dist_tol];
      // Tested in this order: the natural joint accepts a gap of exactly the tolerance, the others do not.
      if (distance(e1, s2) <= tol) {
      } else if (distance(e2, s1) < tol) {
        if (BSrev_cv(rc, first)) BSrev_cv(rc, second);
      } else if (distance(e1, e2) < tol) {
        BSrev_cv(rc, second);
      } else if (distance(s1, s2) < tol) {
        BSrev_cv(rc, first);
      } else {
        *rc = BSRC_NOT_JOINED;
      }
    }
    if (*rc == 0) {
      if (second->order < first->order)
        BSupthedeg(second, static_cast<std::int16_t>(first->order - 1), BSFALSE, &second, rc);
      else
        BScnvtmekt(0, second, rc);
    }
    if (*rc == 0) {
      if (first->order < second->order)
        BSupthedeg(first, static_cast<std::int16_t>(second->order - 1), BSFALSE, &first, rc);
      else
        BScnvtmekt(1, first, rc);
    }
    if (*rc == 0) {
      combine_open(first, second, out, hints, rc);
      BSexit(rc, "BScomb2cvs", "bscomb2cvs");
    }
  }
  for (VOQbsp_curve *c : {first, second})
    if (c) {
      int frc = 0;
      BSfreevoqcv(c, &frc);
      if (*rc == 0) *rc = frc;
    }
}

bool bsknots::append_open(VOQbsp_curve **chain, int *room, const VOQbsp_curve *piece, const JoinHints &hints,
                          int *rc) {
  VOQbsp_curve *a = *chain;
  const VOQbsp_curve *b = piece;
  // Order 2 clamped at the joint: the clamping that the merge would apply changes neither curve, whatever the
  // knot tolerance it measures.
  if (bstest::slow_roads() || !hints.plane_later || !a || !b || a->order != 2 || b->order != 2 || a->rational ||
      b->rational || a->phy_closed || b->phy_closed || a->num_boundaries != 0 || a->bdrys || a->num_poles < 2 ||
      b->num_poles < 2 || !b->poles || !b->knots || a->knots[a->num_poles] != a->knots[a->num_poles + 1] ||
      b->knots[0] != b->knots[1] || BScvcheck(b) != 0)
    return false;
  // A chain record that was not grown here is checked once; a grown one holds checked pieces only.
  if (*room == 0 && BScvcheck(a) != 0) return false;
  assert(BScvcheck(a) == 0);
  double e1[3], s2[3];
  int erc = 0;
  curve_end(*a, true, e1, &erc);
  if (erc == 0) curve_end(*b, false, s2, &erc);
  if (erc != 0 || !(distance(e1, s2) <= BStoltab[bstol::dist_tol])) return false;
  const int L1 = a->num_poles, n = L1 + b->num_poles - 1;
  if (n > std::max(*room, L1)) {
    const int grown = n < (1 << 29) ? std::max(2 * n, 16) : n;
    VOQbsp_curve *g = nullptr;
    BSallocvoqcv(2, grown, BSFALSE, 0, &g, rc);
    if (*rc != 0) return true;
    g->order = a->order, g->periodic = a->periodic, g->non_uniform = a->non_uniform;
    g->num_poles = L1, g->num_knots = a->num_knots;
    g->planar = a->planar, g->phy_closed = a->phy_closed, g->num_boundaries = 0, g->bdrys = nullptr;
    std::copy(a->poles, a->poles + 3 * L1, g->poles);
    std::copy(a->knots, a->knots + L1 + 2, g->knots);
    BSfreevoqcv(a, rc);
    *chain = a = g;
    *room = grown;
  }
  combine_open(a, b, a, hints, rc);
  // The merge's record is fresh: its planar flag keeps the allocator's pattern until the chain is finished.
  a->planar = 0xFFFF;
  if (*rc != 0) {
    BSexit(rc, "BScomb2cvs", "bscomb2cvs");
    BSexit(rc, "BSmergecvnn", "bsmergecvnn");
  }
  return true;
}

void BSmergecvnn(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  bsknots::merge_open(cv1, cv2, out, bsknots::JoinHints{}, rc);
  BSexit(rc, "BSmergecvnn", "bsmergecvnn");
}

BSboolean BSmerge_cv(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out) {
  *rc = 0;
  BSmergecvnn(cv1, cv2, out, rc);
  if (*rc == 0) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
  BSexit(rc, "BSmerge_cv", "bsmerge_cv");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BS2cvsto1(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out) {
  *rc = 0;
  BScomb2cvs(cv1, cv2, out, rc);
  if (*rc == 0) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
  BSexit(rc, "BS2cvsto1", "bs2cvsto1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSmergarrcv(int num_curves, VOQbsp_curve **curves, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  if (num_curves < 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!curves || !out || !*out) {
    *rc = BSRC_NULL_CURVE;
  } else {
    // The most poles the chain can need: raising a curve of order k and n poles by r adds at most r (n - k + 1).
    long cap = curves[0]->num_poles;
    int kmax = curves[0]->order;
    for (int i = 1; i < num_curves; ++i) {
      const int ki = curves[i]->order, ni = curves[i]->num_poles;
      if (ki < kmax) {
        cap += ni + static_cast<long>(kmax - ki) * (ni - ki + 2) - 1;
      } else {
        if (ki > kmax) cap += static_cast<long>(ki - kmax) * (cap - kmax + 2);
        kmax = std::max(kmax, ki);
        cap += ni - 1;
      }
    }
    bsknots::ScratchCurve scratch;
    VOQbsp_curve &work = scratch.cv;
    if (cap > 0x3FFFFFFF || !scratch.take(kmax, static_cast<int>(cap), true)) *rc = BSRC_NO_SCRATCH;
    if (*rc == 0) BScv_copy(rc, curves[0], &work);
    // A polynomial step clears the weights pointer of the record it writes; a later rational step needs the
    // arrays back, in the work record and in the caller's.
    double *const out_weights = (*out)->weights;
    for (int i = 1; i < num_curves && *rc == 0; ++i) {
      if (!(*out)->weights) (*out)->weights = out_weights;
      VOQbsp_curve *next = curves[i];
      const BSboolean closed = next->phy_closed;
      double *const next_weights = next->weights;
      // The chain stays open while it grows, also where its first curve, or the chain so far, comes back to its
      // start; the last join sets the flag from the ends of the whole.
      work.phy_closed = 0;
      next->phy_closed = 0;
      if (!next->rational) next->weights = nullptr;
      BSmergecvnn(&work, next, *out, rc);
      next->phy_closed = closed;
      next->weights = next_weights;
      work.weights = scratch.weight_array;
      if (*rc == 0) BScv_copy(rc, *out, &work);
    }
    if (*rc == 0) BSnorkts(rc, &(*out)->order, &(*out)->num_poles, (*out)->knots);
  }
  BSexit(rc, "BSmergarrcv", "bsmergarrcv");
}
