// The offset of a whole planar curve: cut at its corner knots into smooth pieces, each neighbouring pair offset
// and joined at its corner, the offsets merged into one curve whose parameters run on without a gap, and a closed
// curve closed again. Beside it, the preparation of a piece and the closure and collinearity check that the
// offset drivers apply before they offset.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace bswhole {

OffsetChain::~OffsetChain() {
  for (VOQbsp_curve *&p : parts) {
    int ignored = 0;
    if (p) BSfreevoqcv(p, &ignored);
  }
}

void OffsetChain::end_poles(double first[3], double last[3]) const {
  const VOQbsp_curve *l = parts.empty() ? acc.cv : parts.back();
  bsoffset::pole_point(acc.cv, 0, first);
  bsoffset::pole_point(l, l->num_poles - 1, last);
}

// Whether piece starts on the chain's last pole, both clamped there: merged, it would be neither turned nor
// clamped, and join the chain as it lies.
bool OffsetChain::runs_on(const VOQbsp_curve *piece) const {
  const VOQbsp_curve *l = parts.empty() ? acc.cv : parts.back();
  if (l->periodic || piece->periodic || l->num_boundaries != 0 || piece->num_boundaries != 0) return false;
  for (int i = 1; i < l->order; ++i)
    if (l->knots[l->num_poles + i] != l->knots[l->num_poles]) return false;
  for (int i = 1; i < piece->order; ++i)
    if (piece->knots[i] != piece->knots[0]) return false;
  double e[3], s[3];
  bsoffset::pole_point(l, l->num_poles - 1, e);
  bsoffset::pole_point(piece, 0, s);
  const double d[3] = {e[0] - s[0], e[1] - s[1], e[2] - s[2]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) <= BStoltab[bstol::dist_tol];
}

// Whether piece, turned round, would start on the chain's last pole (both clamped there), its end away from the
// chain's start: the merge then turns the piece alone.
bool OffsetChain::runs_on_turned(const VOQbsp_curve *piece) const {
  const VOQbsp_curve *l = parts.empty() ? acc.cv : parts.back();
  if (l->periodic || piece->periodic || l->num_boundaries != 0 || piece->num_boundaries != 0) return false;
  const int n = piece->num_poles;
  for (int i = 1; i < piece->order; ++i)
    if (piece->knots[n + i] != piece->knots[n] || piece->knots[i] != piece->knots[0]) return false;
  for (int i = 1; i < l->order; ++i)
    if (l->knots[l->num_poles + i] != l->knots[l->num_poles]) return false;
  double e[3], s[3], pe[3], ps[3];
  bsoffset::pole_point(l, l->num_poles - 1, e);
  bsoffset::pole_point(acc.cv, 0, s);
  bsoffset::pole_point(piece, n - 1, pe);
  bsoffset::pole_point(piece, 0, ps);
  const auto gap = [](const double a[3], const double b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
  };
  const double tol = BStoltab[bstol::dist_tol];
  return !(gap(e, ps) <= tol) && !(gap(pe, s) < tol) && gap(e, pe) < tol;
}

// The waiting pieces merged onto the chain pairwise level by level, as the merge joins a piece that runs on from the
// chain; the chain closed where its ends meet, as the last join closes it.
void OffsetChain::flush(int *rc) {
  if (parts.empty() || *rc != 0) return;
  std::vector<VOQbsp_curve *> all{acc.cv};
  acc.cv = nullptr;
  all.insert(all.end(), parts.begin(), parts.end());
  parts.clear();
  acc.cv = bsoffset::join_pairwise(&all, rc);
  if (!acc.cv) return;
  room = 0;
  plane_pending = true;
}

void OffsetChain::append(VOQbsp_curve **piece, double a, double b, bool combine, int *rc) {
  bsoffset::OwnedCurve p;
  std::swap(p.cv, *piece);
  BSofrparcv(p.cv, a, b, rc);
  if (*rc != 0) return;
  p.cv->phy_closed = 0;
  if (!acc.cv) {
    std::swap(acc.cv, p.cv);
    room = 0;
    end = b;
    note_extent();
    return;
  }
  // The chain may have come round to its own start: it stays an open curve until the closing step.
  acc.cv->phy_closed = 0;
  // Each join would test the whole chain again for degeneracy and planarity: the chain's extent is known, and
  // its planarity is judged once, in finish.
  bsknots::JoinHints hints;
  hints.plane_later = !bstest::slow_roads();
  hints.first_has_extent = hints.plane_later && extent_known;
  std::memcpy(hints.extent, extent, sizeof extent);
  // A line string's legs are merged on in place, without copying the chain for every leg.
  if (parts.empty() && !combine && bsknots::append_open(&acc.cv, &room, p.cv, hints, rc)) {
    if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
    if (*rc != 0) return;
    end = b;
    plane_pending = true;
    note_extent();
    return;
  }
  // A piece that ends where the chain ends (and not where it starts) is merged turned round.
  // A line string's legs alone go on merging one by one, in place off the slow roads: only what follows a piece of
  // another kind waits.
  const auto plain = [](const VOQbsp_curve *c) { return c->order == 2 && !c->rational; };
  const bool waits = defer && (!parts.empty() || !plain(acc.cv) || !plain(p.cv) || combine);
  if (waits && !runs_on(p.cv) && runs_on_turned(p.cv)) BSrev_cv(rc, p.cv);
  if (*rc != 0) return;
  if (waits && runs_on(p.cv)) {
    parts.push_back(p.cv), p.cv = nullptr;
    end = b;
    note_extent();
    return;
  }
  flush(rc);
  if (*rc != 0) return;
  acc.cv->phy_closed = 0;
  std::int16_t order = 0;
  BSboolean rational = BSFALSE;
  int np = 0;
  BSofupdeg(&acc.cv, &p.cv, &order, &rational, &np, rc);
  bsoffset::OwnedCurve merged;
  if (*rc == 0) BSallocvoqcv(order, np, rational, 0, &merged.cv, rc);
  if (*rc == 0 && combine) {
    BScnvtmekt(1, acc.cv, rc);
    if (*rc == 0) BScnvtmekt(0, p.cv, rc);
    if (*rc == 0) {
      bsknots::combine_open(acc.cv, p.cv, merged.cv, hints, rc);
      BSexit(rc, "BScomb2cvs", "bscomb2cvs");
    }
  } else if (*rc == 0) {
    bsknots::merge_open(acc.cv, p.cv, merged.cv, hints, rc);
    BSexit(rc, "BSmergecvnn", "bsmergecvnn");
  }
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;  // a piece cut down to a point was merged: the result is complete
  if (*rc != 0) return;
  std::swap(acc.cv, merged.cv);
  room = 0;
  end = b;
  plane_pending = hints.plane_later;
  note_extent();
}

void OffsetChain::note_extent() {
  if (extent_known || bstest::slow_roads()) return;
  const VOQbsp_curve *c = acc.cv, *l = parts.empty() ? acc.cv : parts.back();
  int erc = 0;
  BScveval_n(c, c->knots[c->order - 1], 0, extent[0], &erc);
  if (erc == 0) BScveval_n(l, l->knots[l->num_poles], 0, extent[1], &erc);
  const double d[3] = {extent[1][0] - extent[0][0], extent[1][1] - extent[0][1], extent[1][2] - extent[0][2]};
  extent_known = erc == 0 && std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) >= 1e3 * BStoltab[bstol::dist_tol];
}

void OffsetChain::finish(int *rc) {
  flush(rc);
  if (*rc != 0) return;
  if (plane_pending && acc.cv) bsknots::flag_planar(acc.cv, rc);
  plane_pending = false;
}

}  // namespace bswhole

void bsoffset::join_across_jump(const VOQbsp_curve *first, const VOQbsp_curve *second, VOQbsp_curve *out) {
  const int k = first->order, n1 = first->num_poles, n2 = second->num_poles;
  const bool rational = first->rational || second->rational;
  for (int i = 0; i < n1 + n2; ++i) {
    const VOQbsp_curve *c = i < n1 ? first : second;
    const int j = i < n1 ? i : i - n1;
    std::copy(c->poles + 3 * j, c->poles + 3 * j + 3, out->poles + 3 * i);
    if (rational) out->weights[i] = c->rational ? c->weights[j] : 1.0;
  }
  std::copy(first->knots, first->knots + n1 + k, out->knots);
  const double shift = first->knots[n1] - second->knots[k - 1];
  for (int i = k; i < n2 + k; ++i) out->knots[n1 + i] = second->knots[i] + shift;
  out->order = static_cast<std::int16_t>(k);
  out->num_poles = n1 + n2;
  out->num_knots = n1 + n2 + k;
  out->rational = rational;
  if (!rational) out->weights = nullptr;
  out->periodic = 0, out->non_uniform = 1, out->planar = 0, out->phy_closed = 0;
  out->num_boundaries = 0, out->bdrys = nullptr;
}

namespace {

using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::start_of;

constexpr double kFoldCosine = -0.9848;  // legs turning back by more than about 170 degrees
constexpr double kZeroDist = 1e-14;

// The pieces of BSbreakcv and their prepared copies, all released on every way out.
struct Pieces {
  VOQbsp_curve **raw = nullptr, **prepared = nullptr;
  int count = 0;
  Pieces() = default;
  Pieces(const Pieces &) = delete;
  Pieces &operator=(const Pieces &) = delete;
  ~Pieces() {
    for (VOQbsp_curve **list : {raw, prepared}) {
      if (!list) continue;
      for (int i = 0; i < count; ++i)
        if (list[i]) {
          int ignored = 0;
          BSfreevoqcv(list[i], &ignored);
        }
      BSdbgfree(list);
    }
  }
};

// The offset built so far, reached by a straight line where an offset starts away from it.
struct Chain : bswhole::OffsetChain {
  // An offset that does not start where the chain ends (its front was cut back) is first reached by a straight
  // line from the chain's end to the offset's start; the offset then begins at the line's end. Ends that meet
  // within the tolerance in another pairing (a piece cut down to a point) are merged as they meet.
  void append_offset(VOQbsp_curve **off, double a, double b, double piece_start, int *rc) {
    if (acc.cv) {
      const VOQbsp_curve *o = *off;
      double cp[2][3], op[2][3];
      end_poles(cp[0], cp[1]);
      bsoffset::pole_point(o, 0, op[0]);
      bsoffset::pole_point(o, o->num_poles - 1, op[1]);
      const int pairs[3][2] = {{1, 0}, {1, 1}, {0, 1}};
      int ci = 1, oi = 0;
      const double tol = BStoltab[bstol::dist_tol];
      for (const auto &pr : pairs)
        if (std::hypot(cp[pr[0]][0] - op[pr[1]][0], cp[pr[0]][1] - op[pr[1]][1]) < tol) {
          ci = pr[0], oi = pr[1];
          break;
        }
      // No pair within the tolerance: a bridge from any other pair of ends, however near, would have the merge
      // turn the chain or the offset round, so that the chain no longer ran along the curve and a closed
      // curve's closing join were made between ends that do not frame its closing corner.
      if (BSpdist(rc, cp[ci], op[oi]) > tol) {
        OwnedCurve line;
        bswhole::line_curve(cp[ci], op[oi], 0, 1, &line.cv, rc);
        double kl = 0;
        if (*rc == 0) bsoffset::knot_tolerance(line.cv, &kl, rc);
        if (*rc != 0) return;
        const double reach = std::max(piece_start + 1.1 * kl, end + 1.1 * kl);
        append(&line.cv, end, reach, false, rc);
        if (*rc != 0) return;
        a = std::max(a, reach);
      }
    }
    append(off, a, b, false, rc);
  }
};

double knot_tol_of(const VOQbsp_curve *cv, int *rc) {
  double t = 0;
  bsoffset::knot_tolerance(cv, &t, rc);
  return t;
}

// Whether cv is a straight leg: two poles of order 2.
bool is_leg(const VOQbsp_curve *cv) { return cv->order == 2 && cv->num_poles == 2; }

// The distance of q from the leg's segment.
double leg_distance(const double q[3], const VOQbsp_curve *leg) {
  double a[3], b[3], ab[3], aq[3];
  bsoffset::pole_point(leg, 0, a);
  bsoffset::pole_point(leg, 1, b);
  for (int c = 0; c < 3; ++c) ab[c] = b[c] - a[c], aq[c] = q[c] - a[c];
  const double len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  const double t = len2 > 0 ? std::clamp((aq[0] * ab[0] + aq[1] * ab[1] + aq[2] * ab[2]) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(aq[0] - t * ab[0], aq[1] - t * ab[1], aq[2] - t * ab[2]);
}

// Whether both ends of the line off lie nearer than d to the leg: the distance from a segment is convex along a
// line, so the whole of off does.
bool within_leg(const VOQbsp_curve *off, const VOQbsp_curve *leg, double d) {
  for (int end : {0, off->num_poles - 1}) {
    double q[3];
    bsoffset::pole_point(off, end, q);
    if (!(leg_distance(q, leg) < d)) return false;
  }
  return true;
}

// The line off, whose end (at_end) or front lies nearer than d to the leg across the corner, cut back to where it
// comes back to that distance: the one place, the distance being convex along the line. Where the other end lies
// nearer too, the whole line runs between the two legs as inside a hairpin, and is kept as it is.
void cut_to_leg_distance(VOQbsp_curve *off, const VOQbsp_curve *leg, double d, bool at_end) {
  if (!is_leg(off)) return;
  double p[2][3];
  bsoffset::pole_point(off, 0, p[0]);
  bsoffset::pole_point(off, 1, p[1]);
  const double *deep = p[at_end ? 1 : 0], *keeps = p[at_end ? 0 : 1];
  if (!(leg_distance(deep, leg) < d - BStoltab[bstol::offset_tol]) || leg_distance(keeps, leg) < d) return;
  double in = 1, out = 0, q[3];  // shares of the way from keeps to deep
  for (int it = 0; it < 60; ++it) {
    const double mid = 0.5 * (in + out);
    if (mid == in || mid == out) break;
    for (int c = 0; c < 3; ++c) q[c] = keeps[c] + mid * (deep[c] - keeps[c]);
    (leg_distance(q, leg) < d ? in : out) = mid;
  }
  for (int c = 0; c < 3; ++c) q[c] = keeps[c] + out * (deep[c] - keeps[c]);
  bsoffset::set_pole(off, at_end ? 1 : 0, q);
}

}  // namespace

void BSofprpcv(const VOQbsp_curve *piece, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  OwnedCurve result;
  do {
    if (!piece || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    if ((*rc = BScvcheck(piece)) != 0) break;
    if (piece->order == 3 && piece->num_poles == 3) {
      double P[3][3], u[3], w[3];
      for (int i = 0; i < 3; ++i) bsoffset::pole_point(piece, i, P[i]);
      for (int c = 0; c < 3; ++c) u[c] = P[1][c] - P[0][c], w[c] = P[2][c] - P[1][c];
      const double a = BSvlength(rc, u), e = BSvlength(rc, w);
      // A leg of no length has no direction: the span cannot fold there.
      if (a > 0 && e > 0 && BSnorvec(rc, u) && BSnorvec(rc, w) && BSvdot(rc, u, w) < kFoldCosine) {
        const double s = a / (a + e), lo = start_of(piece), hi = end_of(piece);
        const double unit[11] = {0, 0, 0, s - 0.025 * s, s - 0.01 * s, s, s + 0.01 * (1 - s), s + 0.025 * (1 - s),
                                 1, 1, 1};
        // BSbreakcv's pieces keep the curve's parameters: the refinement is laid onto the piece's own range.
        double knots[11];
        for (int i = 0; i < 11; ++i) knots[i] = i < 3 ? lo : i > 7 ? hi : lo + (hi - lo) * unit[i];
        BSallocvoqcv(3, 8, piece->rational, 0, &result.cv, rc);
        if (*rc == 0) BSadd_kts(piece, 8, knots, result.cv, rc);
        break;
      }
      if (*rc != 0) break;
    }
    result.cv = bswhole::copy_of(piece, rc);
  } while (false);
  if (*rc == 0) *out = result.cv, result.cv = nullptr;
  BSexit(rc, "BSofprpcv", "bsofprpcv");
}

void BSofchkln(VOQbsp_curve *curve, BSboolean *collinear, int *rc) {
  *rc = 0;
  if (!curve || !collinear) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(curve)) == 0) {
    double a[3], b[3];
    bsoffset::pole_point(curve, 0, a);
    bsoffset::pole_point(curve, curve->num_poles - 1, b);
    curve->phy_closed = BSpdistsq(rc, a, b) < BStoltab[bstol::dist_sqtol] ? 1 : 0;
    BScollinmn2(curve->num_poles, curve->poles, curve->rational ? curve->weights : nullptr, collinear, rc);
  }
  BSexit(rc, "BSofchkln", "bsofchkln");
}

namespace {

// One stretch of the curve that runs without a jump, offset: its pieces and their prepared copies (the closing
// step reads the first and the last that were offset), and the offset itself over the stretch's range.
struct Stretch {
  Pieces pc;
  OwnedCurve lone, offset;
  const VOQbsp_curve *first = nullptr, *last = nullptr;
};

// The offset of curve (clamped, flat, jumping nowhere) into s: one span offset where it is one smooth piece,
// otherwise its pieces offset pair by pair and joined at their corners; closed: the whole curve is closed. A code 5
// is noted in *warned.
void offset_stretch(const VOQbsp_curve *curve, bool closed, double dist, std::int16_t corner, const double normal[3],
                    int side, Stretch *s, bool *warned, int *rc) {
  const int k = curve->order, n = curve->num_poles;
  int breaks = 0;
  if (n > k) {
    BSscratch<100> store;
    double *params = store.take(static_cast<std::size_t>(curve->num_knots));
    int *indices = static_cast<int *>(BSdbgmalloc(static_cast<int>(sizeof(int)) * curve->num_knots));
    if (!params || !indices) {
      BSdbgfree(indices);
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    double ktol = 0;
    BScvkttol2(curve->order, curve->knots, n, curve->poles, curve->rational ? curve->weights : nullptr, &ktol, rc);
    if (*rc == 0 && !BSfindmkts(rc, &curve->order, &n, curve->knots, &ktol, &breaks, params, indices) && *rc == 0)
      *rc = BSRC_TRIM_FAILED;
    BSdbgfree(indices);
    if (*rc != 0) return;
  }

  if (breaks == 0) {
    // One smooth piece: one span offset.
    BSofprpcv(curve, &s->lone.cv, rc);
    if (*rc == 0) BSallocvoqcv(s->lone.cv->order, s->lone.cv->num_poles, s->lone.cv->rational, 0, &s->offset.cv, rc);
    if (*rc == 0) BSspnoffset(s->lone.cv, dist < 0 ? -dist : dist, normal, dist < 0 ? -side : side, &s->offset.cv, rc);
    if (*rc == BSRC_OFFSET_PASSES) *warned = true, *rc = 0;
    if (*rc == 0) s->first = s->last = s->lone.cv;
    return;
  }
  Pieces &pc = s->pc;
  const BSboolean no = BSFALSE;
  if (!BSbreakcv(rc, curve, &pc.count, &pc.raw, &no)) {
    if (*rc == 0) *rc = BSRC_TRIM_FAILED;
    return;
  }
  pc.prepared = static_cast<VOQbsp_curve **>(BSdbgcalloc(pc.count, sizeof(VOQbsp_curve *)));
  if (!pc.prepared) {
    *rc = BSRC_ALLOC_CURVE;
    return;
  }
  for (int i = 0; i < pc.count && *rc == 0; ++i) BSofprpcv(pc.raw[i], &pc.prepared[i], rc);
  if (*rc != 0) return;
  VOQbsp_curve **P = pc.prepared;
  const int p = pc.count;

  Chain chain;
  chain.defer = true;
  OwnedCurve offA, offB;
  std::int16_t trim_flag = 0;
  double trim_point[3] = {0, 0, 0};
  bool held = false;  // offA holds the offset of piece i, not yet appended
  bool ended = false;  // the last leg's offset was left out, and the chain ends with piece i's
  int first_valid = -1;
  double start = start_of(curve);
  int i = 0, j = 1;
  while (j < p && *rc == 0) {
    const int mode = held ? 2 : 1;
    std::int16_t arc_flag = 0;
    OwnedCurve arc;
    int status = 0;
    offB.release();
    // A closed curve's ends meet at its closing corner.
    const bool open = !closed;
    bswhole::pair_offset(P[i], P[j], mode, dist, corner, side, normal, open && i == 0, open && j == p - 1,
                         &trim_flag, trim_point, &offA.cv, &offB.cv, &arc_flag, &arc.cv, &status, rc);
    if (*rc == BSRC_OFFSET_PASSES) *warned = true, *rc = 0;
    if (*rc != 0) return;
    // An inner corner between two legs that it eats both, their offsets neither crossing nor reaching each other,
    // is bridged for a crossing further on to close the loop the bridge makes. Next to an end of an open curve
    // there may be none: the end leg's offset then runs on from the bridge, past the corner nearer than the
    // distance, to an end that no crossing cuts off. Where that offset lies nearer than the distance to the other
    // leg throughout, none of it keeps the distance: it is left out with the bridge, and the offset ends (or
    // begins) with the other leg's offset, cut back where its own end lies nearer than the distance to the leg
    // left out.
    if (status == 3 && offB.cv && corner != 0 && open && is_leg(P[i]) && is_leg(P[j])) {
      const double d = std::fabs(dist);
      if (j == p - 1 && within_leg(offB.cv, P[i], d)) {
        cut_to_leg_distance(offA.cv, P[j], d, true);
        if (first_valid < 0) first_valid = i;
        chain.append_offset(&offA.cv, start, end_of(P[j]), start_of(P[i]), rc);
        if (*rc != 0) return;
        held = false, ended = true;
        break;
      }
      if (i == 0 && within_leg(offA.cv, P[j], d)) {
        cut_to_leg_distance(offB.cv, P[i], d, false);
        std::swap(offA.cv, offB.cv);
        held = true;
        i = j, j += 1;
        continue;
      }
    }
    if (status != 0 && !offB.cv) {
      // A degenerate piece in the plane: dropped, and the walk goes on past it.
      if (status == 3 && p == 2) {
        *rc = BSRC_NO_JOIN;
        return;
      }
      if (status == 1) i = j, j += 1;
      if (status == 2) j += 1;
      if (status == 3) i = j + 1, j += 2;
      continue;
    }
    // Both offsets were made: they are joined as well as the trimming could (a piece reduced to a point is
    // merged as such, offsets that could not be joined get a connecting line when appended).
    const double m = (end_of(P[i]) + start_of(P[j])) / 2;
    double a_end = m, next = m;
    if (arc.cv) {
      const double ka = knot_tol_of(arc.cv, rc);
      const double kj = *rc == 0 ? knot_tol_of(P[j], rc) : 0;
      if (*rc != 0) return;
      a_end = m - 1.1 * ka;
      next = start_of(P[j]) + 1.1 * kj;
      // The arc's tolerances are of its own parameter: beside a piece shorter in parameter than they are (a tiny
      // curve's short leg), the arc takes part of the pieces' ranges instead of running past them.
      if (a_end <= start) a_end = (start + m) / 2;
      if (next >= end_of(P[j])) next = (start_of(P[j]) + end_of(P[j])) / 2;
    }
    if (first_valid < 0) first_valid = i;
    chain.append_offset(&offA.cv, start, a_end, start_of(P[i]), rc);
    if (*rc == 0 && arc.cv) chain.append(&arc.cv, a_end, next, true, rc);
    if (*rc != 0) return;
    std::swap(offA.cv, offB.cv);
    held = true;
    start = next;
    i = j, j += 1;
  }
  if (held) {
    // A front cut left by the last pair is made on the last offset.
    if (trim_flag) BSoftrmfrnt(offA.cv, trim_point, rc);
    if (*rc == 0) chain.append_offset(&offA.cv, start, end_of(P[i]), start_of(P[i]), rc);
    if (*rc != 0) return;
  } else if (!ended && i < p) {
    // Only the last piece is left unpaired: its offset alone, unless it is a point in the plane as well.
    const bool point = bswhole::flat_degenerate(P[i], rc);
    if (*rc == 0 && point) *rc = BSRC_NO_JOIN;
    if (*rc != 0) return;
    first_valid = i;
    BSallocvoqcv(P[i]->order, P[i]->num_poles, P[i]->rational, 0, &chain.acc.cv, rc);
    if (*rc == 0) BSspnoffset(P[i], dist < 0 ? -dist : dist, normal, dist < 0 ? -side : side, &chain.acc.cv, rc);
    if (*rc == BSRC_OFFSET_PASSES) *warned = true, *rc = 0;
    if (*rc != 0) return;
  }
  if (!chain.acc.cv) {
    *rc = BSRC_NO_JOIN;
    return;
  }
  chain.finish(rc);
  if (*rc != 0) return;
  std::swap(s->offset.cv, chain.acc.cv);
  // The first and the last piece that were offset frame the closing corner.
  s->first = P[first_valid < 0 ? i : first_valid], s->last = P[i];
}

// cv rewritten into *out where a knot of full multiplicity has sides that meet within dist_tol: there the curve
// only turns a corner, which the pieces must see as one. The run keeps order - 1 knots; the poles no span uses go,
// and so does the pole that starts the side after, the shared pole standing in for it; the poles after are
// reweighted by one factor, which keeps a rational stretch's shape, to take up that pole's weight. *out stays
// empty where no such knot is.
void corners_for_jumps(const VOQbsp_curve *cv, OwnedCurve *out, int *rc) {
  const int k = cv->order, n = cv->num_poles;
  std::vector<bswhole::Run> merge;
  for (const bswhole::Run &r : bswhole::full_knots(cv))
    if (r.meets) merge.push_back(r);
  if (merge.empty()) return;
  std::vector<char> keep_pole(static_cast<std::size_t>(n), 1), keep_knot(static_cast<std::size_t>(n + k), 1);
  std::vector<double> factor(static_cast<std::size_t>(n), 1.0);
  double f = 1.0;
  int dropped = 0;
  std::size_t next = 0;
  for (int i = 0; i < n; ++i) {
    if (next < merge.size() && i == merge[next].first) {
      const int first = merge[next].first, count = merge[next].count, after = first + count - k;
      for (int q = first; q <= after; ++q) keep_pole[q] = 0;
      for (int q = first + k - 1; q < first + count; ++q) keep_knot[q] = 0;
      if (cv->rational) f *= cv->weights[first - 1] / cv->weights[after];
      dropped += after - first + 1;
      i = after;
      ++next;
      continue;
    }
    factor[i] = f;
  }
  BSallocvoqcv(cv->order, n - dropped, cv->rational, 0, &out->cv, rc);
  if (*rc != 0) return;
  VOQbsp_curve *o = out->cv;
  int np = 0, nk = 0;
  for (int i = 0; i < n; ++i) {
    if (!keep_pole[i]) continue;
    for (int c = 0; c < 3; ++c) o->poles[3 * np + c] = cv->poles[3 * i + c] * factor[i];
    if (cv->rational) o->weights[np] = cv->weights[i] * factor[i];
    ++np;
  }
  for (int i = 0; i < n + k; ++i)
    if (keep_knot[i]) o->knots[nk++] = cv->knots[i];
  o->order = cv->order, o->num_poles = np, o->num_knots = nk, o->rational = cv->rational;
  if (!o->rational) o->weights = nullptr;
  o->periodic = 0, o->non_uniform = 1, o->planar = cv->planar, o->phy_closed = cv->phy_closed;
  o->num_boundaries = 0, o->bdrys = nullptr;
}

// Whether the end of piece a and the start of piece b (both clamped) are one point in the plane, within dist_tol.
bool ends_meet(const VOQbsp_curve *a, const VOQbsp_curve *b) {
  double p[3], q[3];
  bsoffset::pole_point(a, a->num_poles - 1, p);
  bsoffset::pole_point(b, 0, q);
  return std::hypot(p[0] - q[0], p[1] - q[1]) < BStoltab[bstol::dist_tol];
}

}  // namespace

std::vector<bswhole::Run> bswhole::full_knots(const VOQbsp_curve *cv) {
  std::vector<Run> runs;
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  for (int i = k; i < n;) {
    int m = 1;
    while (i + m < n && t[i + m] == t[i]) ++m;
    if (m >= k && t[i] > t[k - 1] && t[i] < t[n]) {
      const int before = i - 1, after = i + m - k;
      double a[3], b[3];
      bsoffset::pole_point(cv, before, a);
      bsoffset::pole_point(cv, after, b);
      const bool weighed = !cv->rational || (cv->weights[before] > 0 && cv->weights[after] > 0);
      runs.push_back({i, m, weighed && std::hypot(a[0] - b[0], a[1] - b[1]) < BStoltab[bstol::dist_tol]});
    }
    i += m;
  }
  return runs;
}

std::vector<bswhole::Window> bswhole::stretches(const VOQbsp_curve *cv) {
  std::vector<Window> w;
  int from = 0;
  for (const Run &r : full_knots(cv)) {
    if (r.meets) continue;
    w.push_back({from, r.first});
    from = r.first + r.count - cv->order;
  }
  w.push_back({from, cv->num_poles});
  return w;
}

VOQbsp_curve bswhole::stretch_view(const VOQbsp_curve *cv, const Window &w) {
  VOQbsp_curve part = *cv;
  part.poles = cv->poles + 3 * w.from;
  part.knots = cv->knots + w.from;
  part.weights = cv->rational ? cv->weights + w.from : nullptr;
  part.num_poles = w.to - w.from, part.num_knots = w.to - w.from + cv->order;
  part.periodic = 0, part.phy_closed = 0, part.num_boundaries = 0, part.bdrys = nullptr;
  return part;
}

void bswhole::open_at_jump(const VOQbsp_curve *cv, const std::vector<Window> &w, bsoffset::OwnedCurve *out,
                           int *rc) {
  const int k = cv->order, n = cv->num_poles, from = w[1].from, to = w[0].to;
  const int np = n - from + to - 1;
  BSallocvoqcv(cv->order, np, cv->rational, 0, &out->cv, rc);
  if (*rc != 0) return;
  VOQbsp_curve *o = out->cv;
  // The first stretch goes on from the last one's end pole, which stands in for its start pole: its weights are
  // scaled by one factor to take up that pole's weight.
  const double f = cv->rational && cv->weights[0] > 0 ? cv->weights[n - 1] / cv->weights[0] : 1.0;
  const double shift = cv->knots[n] - cv->knots[k - 1];
  int j = 0;
  for (int i = from; i < n; ++i, ++j) {
    std::copy(cv->poles + 3 * i, cv->poles + 3 * i + 3, o->poles + 3 * j);
    if (cv->rational) o->weights[j] = cv->weights[i];
  }
  for (int i = 1; i < to; ++i, ++j) {
    for (int c = 0; c < 3; ++c) o->poles[3 * j + c] = cv->poles[3 * i + c] * f;
    if (cv->rational) o->weights[j] = cv->weights[i] * f;
  }
  j = 0;
  for (int i = from; i < n + k - 1; ++i) o->knots[j++] = cv->knots[i];
  for (int i = k; i < to + k; ++i) o->knots[j++] = cv->knots[i] + shift;
  o->order = cv->order, o->num_poles = np, o->num_knots = np + k, o->rational = cv->rational;
  if (!o->rational) o->weights = nullptr;
  o->periodic = 0, o->non_uniform = 1, o->planar = cv->planar, o->phy_closed = 0;
  o->num_boundaries = 0, o->bdrys = nullptr;
}

void bswhole::join_jumping(std::deque<bsoffset::OwnedCurve> *parts, double lo, double hi, bsoffset::OwnedCurve *out,
                           int *rc) {
  OwnedCurve acc;
  for (std::size_t i = 0; i < parts->size() && *rc == 0; ++i) {
    OwnedCurve next;
    std::swap(next.cv, (*parts)[i].cv);
    const double a = i == 0 ? lo : end_of(acc.cv), b = i + 1 == parts->size() ? hi : a + end_of(next.cv) - start_of(next.cv);
    if (start_of(next.cv) != a || end_of(next.cv) != b) BSofrparcv(next.cv, a, b, rc);
    if (*rc != 0) return;
    next.cv->phy_closed = 0;
    if (!acc.cv) {
      std::swap(acc.cv, next.cv);
      continue;
    }
    std::int16_t order = 0;
    BSboolean rational = BSFALSE;
    int np = 0;
    OwnedCurve joined;
    BSofupdeg(&acc.cv, &next.cv, &order, &rational, &np, rc);
    if (*rc == 0) BScnvtmekt(1, acc.cv, rc);
    if (*rc == 0) BScnvtmekt(0, next.cv, rc);
    if (*rc == 0) BSallocvoqcv(order, acc.cv->num_poles + next.cv->num_poles, rational, 0, &joined.cv, rc);
    if (*rc != 0) return;
    bsoffset::join_across_jump(acc.cv, next.cv, joined.cv);
    std::swap(acc.cv, joined.cv);
  }
  std::swap(out->cv, acc.cv);
}

void BSxycvoff(const VOQbsp_curve *given, double dist, std::int16_t corner, const double normal[3], int side,
               VOQbsp_curve **out, int *rc) {
  *rc = 0;
  bool warned = false;
  OwnedCurve offset, result, clamped, plain;
  const VOQbsp_curve *curve = given;
  std::vector<std::unique_ptr<Stretch>> stretches;
  do {
    if (!curve || !normal || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    if ((*rc = BScvcheck(curve)) != 0) break;
    if (!std::isfinite(dist) || (side != 1 && side != -1) || !BSallfinite(3, normal) || curve->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(dist) < kZeroDist) {
      result.cv = bswhole::copy_of(curve, rc);
      break;
    }
    // Pieces, span offsets and corner joins all read end points from end poles: an unclamped curve is worked on
    // as its clamped copy, the same curve over the same range.
    clamped.cv = bswhole::copy_of(curve, rc);
    if (*rc != 0 || !BScnvtomkt(rc, clamped.cv)) break;
    curve = clamped.cv;
    corners_for_jumps(curve, &plain, rc);
    if (*rc != 0) break;
    if (plain.cv) curve = plain.cv;

    // Where the curve jumps, the pieces on either side do not meet: no corner join can bridge them, and one
    // trimmed against the other would cut away what lies between. Each stretch between jumps is offset by itself
    // and the offset jumps where the curve does; a stretch that is a point in the plane has none.
    const auto windows = bswhole::stretches(curve);
    const bool jumps = windows.size() > 1;
    std::deque<OwnedCurve> parts;
    for (const bswhole::Window &w : windows) {
      const VOQbsp_curve part = bswhole::stretch_view(curve, w);
      const bool point = jumps && bswhole::flat_degenerate(&part, rc);
      if (*rc != 0) break;
      if (point) continue;
      auto s = std::make_unique<Stretch>();
      offset_stretch(jumps ? &part : curve, curve->phy_closed != 0, dist, corner, normal, side, s.get(), &warned,
                     rc);
      if (*rc != 0) break;
      parts.emplace_back();
      std::swap(parts.back().cv, s->offset.cv);
      stretches.push_back(std::move(s));
    }
    if (*rc != 0) break;
    if (stretches.empty()) {
      *rc = BSRC_NO_JOIN;
      break;
    }
    const VOQbsp_curve *first = stretches.front()->first, *last = stretches.back()->last;
    if (!jumps) std::swap(offset.cv, parts.front().cv);
    else bswhole::join_jumping(&parts, start_of(curve), end_of(curve), &offset, rc);
    if (*rc != 0) break;

    offset.cv->phy_closed = 0;
    // A closed curve whose last and first stretch that were offset do not meet has no closing corner.
    if (curve->phy_closed && (!jumps || ends_meet(last, first))) {
      BSofmkcls(curve, offset.cv, last, first, normal, corner, dist, side, &result.cv, rc);
      if (*rc != 0) break;
    } else {
      std::swap(result.cv, offset.cv);
    }
  } while (false);
  if (*rc == 0) {
    const VOQbsp_curve *r = result.cv;
    for (int i = 2 * r->order; i < r->num_knots; ++i)
      if (r->knots[i] < r->knots[i - 1]) {
        *rc = BSRC_TRIM_FAILED;
        break;
      }
  }
  if (*rc == 0) {
    *out = result.cv, result.cv = nullptr;
    if (warned) *rc = BSRC_OFFSET_PASSES;
  }
  BSexit(rc, "BSxycvoff", "bsxycvoff");
}
