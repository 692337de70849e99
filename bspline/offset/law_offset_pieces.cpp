// Offsets by a distance law that hold the base curve's end tangents, of two neighbouring pieces joined at their
// corner, and of a planar curve with sharp corners: the curve is cut at its cusps, the pieces are offset pair by
// pair, chained, and a closed curve is closed again.
#include <algorithm>
#include <cmath>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace {

using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::pole_point;
using bsoffset::start_of;

constexpr double kZeroDist = 1e-14;

// The unit xy direction in which the control polygon leaves its start (from_end false) or arrives at its end: the
// first pole step of some length, so that coincident end poles still give the tangent. False when the polygon has
// no extent in the plane.
bool polygon_direction(const VOQbsp_curve *cv, bool from_end, double dir[3]) {
  const int n = cv->num_poles;
  double a[3], b[3];
  pole_point(cv, from_end ? n - 1 : 0, a);
  for (int step = 1; step < n; ++step) {
    pole_point(cv, from_end ? n - 1 - step : step, b);
    const double dx = from_end ? a[0] - b[0] : b[0] - a[0], dy = from_end ? a[1] - b[1] : b[1] - a[1];
    const double len = std::hypot(dx, dy);
    if (len > 0 && std::isfinite(len)) {
      dir[0] = dx / len, dir[1] = dy / len, dir[2] = 0.0;
      return true;
    }
  }
  return false;
}

double knot_tol_of(const VOQbsp_curve *cv, int *rc) {
  double t = 0;
  bsoffset::knot_tolerance(cv, &t, rc);
  return t;
}

// The offset built so far and the parameter at which it ends. Every piece is laid onto its parameter interval and
// merged on; an offset that does not meet the chain is reached by a straight bridge.
struct Chain : bswhole::OffsetChain {
  void merge(VOQbsp_curve **piece, double a, double b, int *rc) { OffsetChain::append(piece, a, b, false, rc); }

  // The held offset q appended up to m: after the previous corner's joint piece when there is one, else after a
  // bridge when q's nearest matched end is not where the chain's matched end is. q_start is the start of q's
  // input piece.
  void append(VOQbsp_curve **q, VOQbsp_curve **joint, double q_start, double m, int *rc) {
    if (*joint) {
      const double s = q_start + 1.1 * knot_tol_of(*joint, rc);
      if (*rc == 0) merge(joint, end, s, rc);
      if (*rc == 0) merge(q, s, m, rc);
      return;
    }
    if (!acc.cv) {
      merge(q, end, m, rc);
      return;
    }
    double cp[2][3], qp[2][3];
    pole_point(acc.cv, 0, cp[0]);
    pole_point(acc.cv, acc.cv->num_poles - 1, cp[1]);
    pole_point(*q, 0, qp[0]);
    pole_point(*q, (*q)->num_poles - 1, qp[1]);
    const double tol = BStoltab[bstol::dist_tol];
    // End of the chain to start of q comes first; when nothing matches, that pair is bridged.
    const int pairs[4][2] = {{1, 0}, {1, 1}, {0, 1}, {0, 0}};
    int ci = 1, qi = 0;
    for (const auto &pr : pairs)
      if (std::hypot(cp[pr[0]][0] - qp[pr[1]][0], cp[pr[0]][1] - qp[pr[1]][1]) < tol) {
        ci = pr[0], qi = pr[1];
        break;
      }
    if (BSpdist(rc, cp[ci], qp[qi]) <= tol) {
      merge(q, end, m, rc);
      return;
    }
    OwnedCurve bridge;
    bswhole::line_curve(cp[ci], qp[qi], 0, 1, &bridge.cv, rc);
    double s = 0;
    if (*rc == 0) s = std::max(q_start, end) + 1.1 * knot_tol_of(bridge.cv, rc);
    if (*rc == 0) merge(&bridge.cv, end, s, rc);
    if (*rc == 0) merge(q, s, std::max(m, s), rc);
  }
};

// The cut of *off1's front to the pending point: the part from the point's foot to the end (a point curve when
// the foot is at the end), then the request is done.
void split_step(VOQbsp_curve *off1, std::int16_t *split, const double split_point[3], int *rc) {
  if (*split == 0) return;
  BScvtrmpt(off1, split_point, rc);
}

// Releases *slot when it holds a record.
void clear_slot(VOQbsp_curve **slot) {
  if (*slot) {
    int ignored = 0;
    BSfreevoqcv(*slot, &ignored);
    *slot = nullptr;
  }
}

}  // namespace

void BSvrcvofwtp(const VOQbsp_curve *curve, const double side_point[3], BSboolean side_by_flag,
                 const double normal[3], BSboolean side_flag, double a, double b, const BSdistlaw *law, double u0,
                 double u1, std::int16_t fix_start, std::int16_t fix_end, VOQbsp_curve **result, int *rc) {
  *rc = 0;
  do {
    BSvrcvofntp(curve, side_point, side_by_flag, normal, side_flag, a, b, law, u0, u1, result, rc);
    if (*rc != 0 || (!fix_start && !fix_end)) break;
    VOQbsp_curve *R = *result;
    BSboolean degenerate = BSFALSE;
    BStstcvdegn(R, &degenerate, rc);
    if (*rc != 0 || degenerate || R->num_poles <= 3) break;
    const int n = R->num_poles;
    double r0[3], r1[3], r2[3], r3[3], dir[3], first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
    pole_point(R, 0, r0);
    pole_point(R, 1, r1);
    pole_point(R, n - 2, r2);
    pole_point(R, n - 1, r3);
    // An end of the base curve with no direction in the plane gives no tangent to hold there.
    const bool move_first = fix_start && polygon_direction(curve, false, dir);
    if (move_first) {
      const double l = std::hypot(r1[0] - r0[0], r1[1] - r0[1]);
      first[0] = r0[0] + l * dir[0], first[1] = r0[1] + l * dir[1], first[2] = r1[2];
    }
    const bool move_last = fix_end && polygon_direction(curve, true, dir);
    if (move_last) {
      const double l = std::hypot(r3[0] - r2[0], r3[1] - r2[1]);
      last[0] = r3[0] - l * dir[0], last[1] = r3[1] - l * dir[1], last[2] = r2[2];
    }
    if (move_first || move_last)
      BSmodcvtnpl(R, move_first ? BSTRUE : BSFALSE, first, move_last ? BSTRUE : BSFALSE, last, rc);
  } while (false);
  if (*rc != 0) *rc = -1;
  BSexit(rc, "BSvrcvofwtp", "bsvrcvofwtp");
}

void BS2cvsoffwl(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int join, double a, double b, double u0,
                 double u1, double u2, const BSdistlaw *law, int arc_option, int side, const double normal[3],
                 std::int16_t *split, double split_point[3], VOQbsp_curve **off1, VOQbsp_curve **off2,
                 std::int16_t *arcs_made, VOQbsp_curve **arc, int *status, int *rc) {
  *rc = 0;
  do {
    if (!cv1 || !cv2 || !law || !normal || !split || !split_point || !off1 || !off2 || !arcs_made || !arc ||
        !status) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *status = 0, *arc = nullptr;
    if ((*rc = BScvcheck(cv1)) != 0 || (*rc = BScvcheck(cv2)) != 0) break;
    if (!BSallfinite(3, normal) || (*split && !BSallfinite(3, split_point)) || cv1->order < 2 ||
        cv2->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool both = join == 1 || join == 4;
    if (!both && (!*off1 || BScvcheck(*off1) != 0)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // Degeneracy in the plane: tested on flat copies, so the pieces' own z is never touched.
    const bool d1 = bswhole::flat_degenerate(cv1, rc);
    const bool d2 = *rc == 0 && bswhole::flat_degenerate(cv2, rc);
    if (*rc != 0) break;
    *status = (d1 ? 1 : 0) + (d2 ? 2 : 0);
    if (*status != 0) break;

    const BSboolean flag = side != -1 ? BSTRUE : BSFALSE;
    const int sd = side == -1 ? -1 : 1;
    if (both) {
      clear_slot(off1);
      BSvrcvofwtp(cv1, nullptr, BSTRUE, normal, flag, a, b, law, u0, u1, 1, 1, off1, rc);
      if (*rc != 0) break;
    }
    clear_slot(off2);
    BSvrcvofwtp(cv2, nullptr, BSTRUE, normal, flag, a, b, law, u1, u2, 1, 1, off2, rc);
    if (*rc != 0) break;
    (*off1)->phy_closed = 0, (*off2)->phy_closed = 0;

    // The corner from unit tangents, so that a reversal whose derivatives differ in length still reads as one.
    double E[3], T1[3], S[3], T2[3];
    if (!bswhole::end_direction(cv1, true, E, T1, rc) || !bswhole::end_direction(cv2, false, S, T2, rc)) break;
    const double K1[3] = {E[0] - T1[0], E[1] - T1[1], 0}, K2[3] = {E[0], E[1], 0},
                 K3[3] = {E[0] + T2[0], E[1] + T2[1], 0}, up[3] = {0, 0, 1};
    int kind = 1;
    if (!BSzigzag(rc, K1, K2, K3, up, &side, &kind)) break;

    if (kind == 1) {
      split_step(*off1, split, split_point, rc);
      *arcs_made = 0, *split = 0;
    } else if (kind == 2) {
      int unused = 0;
      BScvinttrmd(a, b, *off1, *off2, join, split_point, split, &unused, rc);
      if (*rc != 0 && *rc != BSRC_NO_JOIN) break;
      *arcs_made = 0;
      if (*rc == 0) break;
      // The offsets do not reach each other: both are extended until they meet.
      *rc = 0;
      OwnedCurve ext1, ext2;
      const VOQbsp_curve *o1 = *off1, *o2 = *off2;
      BSallocvoqcv(o1->order, o1->num_poles - 2 + 2 * o1->order, o1->rational, 0, &ext1.cv, rc);
      if (*rc == 0) BSallocvoqcv(o2->order, o2->num_poles - 2 + 2 * o2->order, o2->rational, 0, &ext2.cv, rc);
      if (*rc != 0) break;
      std::int16_t ext_flag = 0;
      BSexttrmcmp(o1, o2, a, b, split, split_point, arc, &ext_flag, ext1.cv, ext2.cv, rc);
      if (*rc == BSRC_NO_JOIN) {
        *status = 3, *rc = 0;
        break;
      }
      if (*rc != 0) break;
      *arcs_made = *arc ? 1 : 0;
      std::swap(*off1, ext1.cv);
      std::swap(*off2, ext2.cv);
    } else {
      split_step(*off1, split, split_point, rc);
      if (*rc != 0) break;
      double p1[3], p2[3];
      pole_point(*off1, (*off1)->num_poles - 1, p1);
      pole_point(cv1, cv1->num_poles - 1, p2);
      const double d = BSpdist(rc, p1, p2);
      int code = BSJOIN_NONE;
      BSofk3arc(cv1, cv2, *off1, *off2, static_cast<std::int16_t>(arc_option), d, d, normal, sd, &code, arc, rc);
      if (*rc != 0) break;
      *arcs_made = *arc ? 1 : 0, *split = 0;
    }
  } while (false);
  if (*rc != 0) *rc = -1;
  BSexit(rc, "BS2cvsoffwl", "bs2cvsoffwl");
}

void BSxycvoffwl(const VOQbsp_curve *given, double d_start, double d_end, const BSdistlaw *law,
                 std::int16_t arc_flag, const double normal[3], int side, VOQbsp_curve **offset, int *rc) {
  *rc = 0;
  OwnedCurve result, clamped;
  VOQbsp_curve **pieces = nullptr;
  int count = 0;
  const VOQbsp_curve *curve = given;
  do {
    if (!curve || !law || !normal || !offset) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *offset = nullptr;
    if ((*rc = BScvcheck(curve)) != 0) break;
    if (!std::isfinite(d_start) || !std::isfinite(d_end) || (side != 1 && side != -1) ||
        !BSallfinite(3, normal) || curve->order < 2 || !(end_of(curve) > start_of(curve))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(d_start) < kZeroDist && std::fabs(d_end) < kZeroDist) {
      result.cv = bswhole::copy_of(curve, rc);
      break;
    }
    // Pieces and corners read end points from end poles: an unclamped curve is worked on as its clamped copy.
    clamped.cv = bswhole::copy_of(curve, rc);
    if (*rc != 0 || !BScnvtomkt(rc, clamped.cv)) break;
    curve = clamped.cv;
    const double S = start_of(curve), E = end_of(curve);
    const auto pos = [S, E](double t) { return std::min(1.0, std::max(0.0, (t - S) / (E - S))); };
    const BSboolean flag = side != -1 ? BSTRUE : BSFALSE;
    const int k = curve->order, n = curve->num_poles;

    BSscratch<100> cusp_store, bound_store;
    int ncusp = 0;
    double *cusps = nullptr;
    if (n > k) {
      cusps = cusp_store.take(static_cast<std::size_t>(n - k + 1));
      if (!cusps) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      BSfndcvcsp(curve, &ncusp, cusps, rc);
      if (*rc != 0) break;
      if (ncusp == 1 && cusps[0] == 0.0) ncusp = 0;
    }

    const VOQbsp_curve *first = curve, *last = curve;
    if (ncusp == 0) {
      // A curve without extent in the plane is the one piece, and a degenerate one.
      const bool point = bswhole::flat_degenerate(curve, rc);
      if (*rc == 0 && point) *rc = BSRC_NO_JOIN;
      if (*rc != 0) break;
      BSvrcvofwtp(curve, nullptr, BSTRUE, normal, flag, d_start, d_end, law, 0.0, 1.0, 1, 1, &result.cv, rc);
      if (*rc != 0) break;
    } else {
      double *bounds = bound_store.take(static_cast<std::size_t>(ncusp + 2));
      if (!bounds) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      const bool seam = curve->phy_closed && cusps[0] == S;
      int nb = 0;
      if (!seam) bounds[nb++] = S;
      for (int c = 0; c < ncusp; ++c) bounds[nb++] = cusps[c];
      bounds[nb++] = E;
      count = nb - 1;
      pieces = static_cast<VOQbsp_curve **>(BSdbgcalloc(count, sizeof(VOQbsp_curve *)));
      if (!pieces) {
        *rc = BSRC_ALLOC_CURVE;
        break;
      }
      const BSboolean no = BSFALSE;
      for (int p = 0; p < count && *rc == 0; ++p) {
        BSallocvoqcv(curve->order, curve->num_poles, curve->rational, 0, &pieces[p], rc);
        if (*rc == 0 && !BSactivsplt(rc, curve, &bounds[p], &bounds[p + 1], pieces[p], &no) && *rc == 0)
          *rc = BSRC_TRIM_FAILED;
        if (*rc == 0) BSofrparcv(pieces[p], bounds[p], bounds[p + 1], rc);
      }
      if (*rc != 0) break;

      // The walk over the corners. offA holds the offset of piece i once a corner has been joined (held); joint
      // is what the corner before it left for its append.
      Chain chain;
      chain.end = S;
      OwnedCurve offA, offB, joint;
      std::int16_t split = 0;
      double split_point[3] = {0, 0, 0};
      bool held = false;
      int first_valid = -1, i = 0, j = 1;
      while (j < count) {
        OwnedCurve arc;
        std::int16_t arcs_made = 0;
        int status = 0;
        const int join = held ? 2 : 1;
        offB.release();
        BS2cvsoffwl(pieces[i], pieces[j], join, d_start, d_end, pos(bounds[i]), pos(bounds[j]),
                    pos(bounds[j + 1]), law, arc_flag, side, normal, &split, split_point, &offA.cv, &offB.cv,
                    &arcs_made, &arc.cv, &status, rc);
        if (*rc != 0) break;
        if (status != 0 && !offB.cv) {
          // Degenerate pieces are passed over; a held offset's piece is known to have extent, so only the next
          // piece is dropped then.
          if (held || status == 2) {
            j += 1;
          } else if (status == 1) {
            i = j, j += 1;
          } else {
            i = j + 1, j += 2;
          }
          continue;
        }
        // Offsets that could not be joined (status 3 with both made) go on: the append bridges them.
        double m = (end_of(pieces[i]) + start_of(pieces[j])) / 2;
        if (arc.cv) m -= 1.1 * knot_tol_of(arc.cv, rc);
        if (*rc != 0) break;
        if (!held) {
          first_valid = i;
          chain.merge(&offA.cv, S, m, rc);
        } else {
          chain.append(&offA.cv, &joint.cv, start_of(pieces[i]), m, rc);
        }
        if (*rc != 0) break;
        joint.release();
        std::swap(joint.cv, arc.cv);
        std::swap(offA.cv, offB.cv);
        held = true;
        i = j, j += 1;
      }
      if (*rc != 0) break;
      if (held) {
        // A pending front cut left by the last corner is made here, then the held offset ends the chain.
        if (split) BScvtrmpt(offA.cv, split_point, rc);
        if (*rc == 0) chain.append(&offA.cv, &joint.cv, start_of(pieces[i]), end_of(pieces[i]), rc);
        if (*rc != 0) break;
      } else if (i < count) {
        // One piece left without a partner: offset alone over its own law interval, unless it has no extent.
        const bool point = bswhole::flat_degenerate(pieces[i], rc);
        if (*rc == 0 && point) *rc = BSRC_NO_JOIN;
        if (*rc != 0) break;
        first_valid = i;
        BSvrcvofwtp(pieces[i], nullptr, BSTRUE, normal, flag, d_start, d_end, law, pos(bounds[i]),
                    pos(bounds[i + 1]), 1, 1, &chain.acc.cv, rc);
        if (*rc != 0) break;
      }
      if (!chain.acc.cv) {
        *rc = BSRC_NO_JOIN;  // every piece is degenerate: no offset
        break;
      }
      chain.finish(rc);
      if (*rc == 0)
        BSofrparcv(chain.acc.cv, start_of(chain.acc.cv), end_of(pieces[i < count ? i : count - 1]), rc);
      if (*rc != 0) break;
      std::swap(result.cv, chain.acc.cv);
      first = pieces[first_valid], last = pieces[i < count ? i : count - 1];
    }

    result.cv->phy_closed = 0;
    if (curve->phy_closed) {
      double c0[3], c1[3], r0[3], r1[3];
      pole_point(curve, 0, c0);
      pole_point(curve, n - 1, c1);
      pole_point(result.cv, 0, r0);
      pole_point(result.cv, result.cv->num_poles - 1, r1);
      const double gap_end = std::hypot(c1[0] - r1[0], c1[1] - r1[1]),
                   gap_start = std::hypot(c0[0] - r0[0], c0[1] - r0[1]);
      if (std::fabs(gap_end - gap_start) < BStoltab[bstol::dist_tol]) {
        OwnedCurve closed;
        BSofmkcls(curve, result.cv, last, first, normal, arc_flag, d_start, side, &closed.cv, rc);
        if (*rc != 0) break;
        std::swap(result.cv, closed.cv);
      }
    }
  } while (false);
  if (pieces) {
    for (int p = 0; p < count; ++p)
      if (pieces[p]) {
        int code = 0;
        BSfreevoqcv(pieces[p], &code);
        if (*rc == 0 && code != 0) *rc = code;
      }
    BSdbgfree(pieces);
  }
  if (*rc == 0) *offset = result.cv, result.cv = nullptr;
  BSexit(rc, "BSxycvoffwl", "bsxycvoffwl");
}
