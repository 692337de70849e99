// The offset of a whole planar curve: cut at its corner knots into smooth pieces, each neighbouring pair offset
// and joined at its corner, the offsets merged into one curve whose parameters run on without a gap, and a closed
// curve closed again. Beside it, the preparation of a piece and the closure and collinearity check that the
// offset drivers apply before they offset.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace bswhole {

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
  if (!combine && bsknots::append_open(&acc.cv, &room, p.cv, hints, rc)) {
    if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
    if (*rc != 0) return;
    end = b;
    plane_pending = true;
    note_extent();
    return;
  }
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
  const VOQbsp_curve *c = acc.cv;
  int erc = 0;
  BScveval_n(c, c->knots[c->order - 1], 0, extent[0], &erc);
  if (erc == 0) BScveval_n(c, c->knots[c->num_poles], 0, extent[1], &erc);
  const double d[3] = {extent[1][0] - extent[0][0], extent[1][1] - extent[0][1], extent[1][2] - extent[0][2]};
  extent_known = erc == 0 && std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) >= 1e3 * BStoltab[bstol::dist_tol];
}

void OffsetChain::finish(int *rc) {
  if (plane_pending && acc.cv) bsknots::flag_planar(acc.cv, rc);
  plane_pending = false;
}

}  // namespace bswhole

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
      const VOQbsp_curve *c = acc.cv, *o = *off;
      double cp[2][3], op[2][3];
      bsoffset::pole_point(c, 0, cp[0]);
      bsoffset::pole_point(c, c->num_poles - 1, cp[1]);
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

void BSxycvoff(const VOQbsp_curve *given, double dist, std::int16_t corner, const double normal[3], int side,
               VOQbsp_curve **out, int *rc) {
  *rc = 0;
  bool warned = false;
  OwnedCurve offset, result, lone, clamped;
  const VOQbsp_curve *curve = given;
  Pieces pc;
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
    const int k = curve->order, n = curve->num_poles;
    int breaks = 0;
    if (n > k) {
      BSscratch<100> store;
      double *params = store.take(static_cast<std::size_t>(curve->num_knots));
      int *indices = static_cast<int *>(BSdbgmalloc(static_cast<int>(sizeof(int)) * curve->num_knots));
      if (!params || !indices) {
        BSdbgfree(indices);
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      double ktol = 0;
      BScvkttol2(curve->order, curve->knots, n, curve->poles, curve->rational ? curve->weights : nullptr, &ktol,
                 rc);
      if (*rc == 0 && !BSfindmkts(rc, &curve->order, &n, curve->knots, &ktol, &breaks, params, indices) &&
          *rc == 0)
        *rc = BSRC_TRIM_FAILED;
      BSdbgfree(indices);
      if (*rc != 0) break;
    }

    VOQbsp_curve *first = nullptr, *last = nullptr;
    if (breaks == 0) {
      // One smooth piece: one span offset.
      BSofprpcv(curve, &lone.cv, rc);
      if (*rc == 0) BSallocvoqcv(lone.cv->order, lone.cv->num_poles, lone.cv->rational, 0, &offset.cv, rc);
      if (*rc == 0) BSspnoffset(lone.cv, dist < 0 ? -dist : dist, normal, dist < 0 ? -side : side, &offset.cv, rc);
      if (*rc == BSRC_OFFSET_PASSES) warned = true, *rc = 0;
      if (*rc != 0) break;
      first = last = lone.cv;
    } else {
      const BSboolean no = BSFALSE;
      if (!BSbreakcv(rc, curve, &pc.count, &pc.raw, &no)) {
        if (*rc == 0) *rc = BSRC_TRIM_FAILED;
        break;
      }
      pc.prepared = static_cast<VOQbsp_curve **>(BSdbgcalloc(pc.count, sizeof(VOQbsp_curve *)));
      if (!pc.prepared) {
        *rc = BSRC_ALLOC_CURVE;
        break;
      }
      for (int i = 0; i < pc.count && *rc == 0; ++i) BSofprpcv(pc.raw[i], &pc.prepared[i], rc);
      if (*rc != 0) break;
      VOQbsp_curve **P = pc.prepared;
      const int p = pc.count;

      Chain chain;
      OwnedCurve offA, offB;
      std::int16_t trim_flag = 0;
      double trim_point[3] = {0, 0, 0};
      bool held = false;  // offA holds the offset of piece i, not yet appended
      int first_valid = -1;
      double start = start_of(curve);
      int i = 0, j = 1;
      while (j < p && *rc == 0) {
        const int mode = held ? 2 : 1;
        std::int16_t arc_flag = 0;
        OwnedCurve arc;
        int status = 0;
        offB.release();
        BS2cvsoffpg(P[i], P[j], mode, dist, corner, side, normal, &trim_flag, trim_point, &offA.cv, &offB.cv,
                    &arc_flag, &arc.cv, &status, rc);
        if (*rc == BSRC_OFFSET_PASSES) warned = true, *rc = 0;
        if (*rc != 0) break;
        if (status != 0 && !offB.cv) {
          // A degenerate piece in the plane: dropped, and the walk goes on past it.
          if (status == 3 && p == 2) {
            *rc = BSRC_NO_JOIN;
            break;
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
          if (*rc != 0) break;
          a_end = m - 1.1 * ka;
          next = start_of(P[j]) + 1.1 * kj;
        }
        if (first_valid < 0) first_valid = i;
        chain.append_offset(&offA.cv, start, a_end, start_of(P[i]), rc);
        if (*rc == 0 && arc.cv) chain.append(&arc.cv, a_end, next, true, rc);
        if (*rc != 0) break;
        std::swap(offA.cv, offB.cv);
        held = true;
        start = next;
        i = j, j += 1;
      }
      if (*rc != 0) break;
      if (held) {
        // A front cut left by the last pair is made on the last offset.
        if (trim_flag) BSoftrmfrnt(offA.cv, trim_point, rc);
        if (*rc == 0) chain.append_offset(&offA.cv, start, end_of(P[i]), start_of(P[i]), rc);
        if (*rc != 0) break;
      } else if (i < p) {
        // Only the last piece is left unpaired: its offset alone, unless it is a point in the plane as well.
        const bool point = bswhole::flat_degenerate(P[i], rc);
        if (*rc == 0 && point) *rc = BSRC_NO_JOIN;
        if (*rc != 0) break;
        first_valid = i;
        BSallocvoqcv(P[i]->order, P[i]->num_poles, P[i]->rational, 0, &chain.acc.cv, rc);
        if (*rc == 0)
          BSspnoffset(P[i], dist < 0 ? -dist : dist, normal, dist < 0 ? -side : side, &chain.acc.cv, rc);
        if (*rc == BSRC_OFFSET_PASSES) warned = true, *rc = 0;
        if (*rc != 0) break;
      }
      if (!chain.acc.cv) {
        *rc = BSRC_NO_JOIN;
        break;
      }
      chain.finish(rc);
      if (*rc != 0) break;
      std::swap(offset.cv, chain.acc.cv);
      // The first and the last piece that were offset frame the closing corner.
      first = P[first_valid < 0 ? i : first_valid], last = P[i];
    }

    offset.cv->phy_closed = 0;
    if (curve->phy_closed) {
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
