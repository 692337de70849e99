// The offsets of two neighbouring smooth pieces made to meet at the corner between them: snapped together where
// they already touch, trimmed (or extended until they meet) where the corner turns towards the offset side, and
// joined by a corner arc where it turns away.
#include <cmath>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace {

using bsoffset::OwnedCurve;

// The offset of piece into *slot (allocated when NULL); a code 5 is noted in *warned and cleared.
void offset_into(const VOQbsp_curve *piece, double dist, const double normal[3], int side, VOQbsp_curve **slot,
                 bool *warned, int *rc) {
  if (!*slot) BSallocvoqcv(piece->order, piece->num_poles, piece->rational, 0, slot, rc);
  if (*rc == 0) BSspnoffset(piece, dist, normal, side, slot, rc);
  if (*rc == BSRC_OFFSET_PASSES) *warned = true, *rc = 0;
  // The joins extend and merge the offset as an open piece, whatever its ends.
  if (*rc == 0) (*slot)->phy_closed = 0;
}

bool valid_slot(const VOQbsp_curve *cv) { return BScvcheck(cv) == 0 && cv->order >= 2; }

}  // namespace

void bswhole::pair_offset(const VOQbsp_curve *A, const VOQbsp_curve *B, int mode, double dist, std::int16_t corner,
                          int side, const double normal[3], bool a_starts, bool b_ends, std::int16_t *trim_flag,
                          double trim_point[3], VOQbsp_curve **offA, VOQbsp_curve **offB, std::int16_t *arc_flag,
                          VOQbsp_curve **arc, int *status, int *rc) {
  *rc = 0;
  bool warned = false;
  do {
    if (!A || !B || !normal || !trim_flag || !trim_point || !offA || !offB || !arc_flag || !arc || !status) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *status = 0, *arc = nullptr, *arc_flag = 0;
    if ((*rc = BScvcheck(A)) != 0 || (*rc = BScvcheck(B)) != 0) break;
    if (mode < 1 || mode > 5 || !std::isfinite(dist) || (side != 1 && side != -1) || !BSallfinite(3, normal) ||
        !BSallfinite(3, trim_point) || A->order < 2 || B->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((mode != 1 && mode != 4 && !*offA) || (mode == 5 && !*offB)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if ((mode != 1 && mode != 4 && !valid_slot(*offA)) || (mode == 5 && !valid_slot(*offB))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double d = std::fabs(dist);
    const int sd = dist < 0 ? -side : side;

    if (mode != 5) {
      const bool da = bswhole::flat_degenerate(A, rc);
      const bool db = *rc == 0 && bswhole::flat_degenerate(B, rc);
      if (*rc != 0) break;
      *status = (da ? 1 : 0) + (db ? 2 : 0);
      if (*status != 0) break;
      if (mode == 1 || mode == 4) offset_into(A, d, normal, sd, offA, &warned, rc);
      if (*rc == 0) offset_into(B, d, normal, sd, offB, &warned, rc);
      if (*rc != 0) break;
    }

    // The corner, from unit tangents: a reversal whose derivatives differ in length must still read as a
    // reversal (a gap), not as a straight run whose offsets could be merged.
    double K[3], Ta[3], S[3], Tb[3];
    if (!bswhole::end_direction(A, true, K, Ta, rc) || !bswhole::end_direction(B, false, S, Tb, rc)) break;
    double ea[3], sb[3];
    BScveval_n(*offA, bsoffset::end_of(*offA), 0, ea, rc);
    if (*rc == 0) BScveval_n(*offB, bsoffset::start_of(*offB), 0, sb, rc);
    if (*rc != 0) break;
    int kind = 1;
    if (std::hypot(ea[0] - sb[0], ea[1] - sb[1]) < BStoltab[bstol::dist_tol]) {
      if (!(*offA)->periodic) {
        double mid[3];
        for (int c = 0; c < 3; ++c) mid[c] = (ea[c] + sb[c]) / 2;
        bsoffset::set_pole(*offA, (*offA)->num_poles - 1, mid);
        bsoffset::set_pole(*offB, 0, mid);
      }
    } else {
      const double p0[3] = {K[0] - Ta[0], K[1] - Ta[1], 0}, p1[3] = {K[0], K[1], 0},
                   p2[3] = {K[0] + Tb[0], K[1] + Tb[1], 0};
      if (!BSzigzag(rc, p0, p1, p2, normal, &sd, &kind)) break;
    }

    if (kind == 2) {
      int unused = 0;
      BScvinttrmd(d, d, *offA, *offB, mode, trim_point, trim_flag, &unused, rc);
      if (*rc != BSRC_NO_JOIN) break;
      // The offsets do not reach each other: both are extended until they meet.
      *rc = 0;
      OwnedCurve extA, extB;
      const VOQbsp_curve *a = *offA, *b = *offB;
      BSallocvoqcv(a->order, a->num_poles + 2 * a->order - 2, a->rational, 0, &extA.cv, rc);
      if (*rc == 0) BSallocvoqcv(b->order, b->num_poles + 2 * b->order - 2, b->rational, 0, &extB.cv, rc);
      if (*rc != 0) break;
      std::int16_t flag = 0;
      VOQbsp_curve *line = nullptr;
      BSexttrmcmp(a, b, d, d, trim_flag, trim_point, &line, &flag, extA.cv, extB.cv, rc);
      if (*rc != 0) {
        if (line) {
          int ignored = 0;
          BSfreevoqcv(line, &ignored);
        }
        if (*rc == BSRC_NO_JOIN) *rc = 0, *status = 3;
        break;
      }
      // Round corners: an offset that the extension reduced to a point (a piece too short to keep an offset of its
      // own between two corners) would leave the mitre point, off every circle about the next corner, for that
      // corner's arc to start from. The offsets stay as they were, joined by a straight bridge, and the loop the
      // bridge closes with the next corner's arc is cut away with the offset's other loops. At an end of the curve
      // no corner lies beyond the reduced piece and nothing closes that loop: the bridge would run nearer to the
      // corner than the distance, while the mitre point, on the reduced piece's offset continued past its far
      // end, keeps it and is where the offset ends.
      const bool at_end = flag == -1 ? a_starts : b_ends;
      if (corner != 0 && (flag == -1 || flag == -2) && !at_end) {
        if (line) {
          int ignored = 0;
          BSfreevoqcv(line, &ignored);
        }
        if (*trim_flag) BSoftrmfrnt(*offA, trim_point, rc);
        *trim_flag = 0;
        double from[3], to[3];
        if (*rc == 0) BScveval_n(*offA, bsoffset::end_of(*offA), 0, from, rc);
        if (*rc == 0) BScveval_n(*offB, bsoffset::start_of(*offB), 0, to, rc);
        if (*rc == 0) bswhole::line_curve(from, to, 0, 1, arc, rc);
        if (*rc == 0) *arc_flag = 1;
        break;
      }
      if (line) *arc = line, *arc_flag = 1;
      if (flag == -1) *status = 1;
      if (flag == -2) *status = 2;
      std::swap(*offA, extA.cv);
      std::swap(*offB, extB.cv);
      break;
    }

    // A front cut left by the previous pair is made before this corner is joined.
    if (*trim_flag) {
      BSoftrmfrnt(*offA, trim_point, rc);
      if (*rc != 0) break;
    }
    *trim_flag = 0;
    if (kind != 1) {
      int code = BSJOIN_NONE;
      BSofk3arc(A, B, *offA, *offB, corner, d, d, normal, sd, &code, arc, rc);
      if (*rc == 0 && *arc) *arc_flag = 1;
    }
  } while (false);
  if (*rc != 0 && arc && *arc) {
    int ignored = 0;
    BSfreevoqcv(*arc, &ignored);
    *arc = nullptr;
    *arc_flag = 0;
  }
  if (*rc == 0 && warned) *rc = BSRC_OFFSET_PASSES;
  BSexit(rc, "BS2cvsoffpg", "bs2cvsoffpg");
}

void BS2cvsoffpg(const VOQbsp_curve *A, const VOQbsp_curve *B, int mode, double dist, std::int16_t corner, int side,
                 const double normal[3], std::int16_t *trim_flag, double trim_point[3], VOQbsp_curve **offA,
                 VOQbsp_curve **offB, std::int16_t *arc_flag, VOQbsp_curve **arc, int *status, int *rc) {
  // Seen alone, either piece may have a corner beyond it.
  bswhole::pair_offset(A, B, mode, dist, corner, side, normal, false, false, trim_flag, trim_point, offA, offB,
                       arc_flag, arc, status, rc);
}
