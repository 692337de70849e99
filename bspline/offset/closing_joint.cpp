// The closing joint of a closed composite curve's offset: the offset of the last component is joined to the
// offset of the first one once all pieces exist. The corner of the input chain at its closing point decides how:
// a straight-on corner levels, snaps, trims or extends the two end pieces; a corner towards the offset side trims
// them against each other (or one of them against the piece beyond a vanished neighbour), extends them, or bridges
// them with a line; a corner away from it is closed by the caller's corner mode. All of it happens on copies that
// go to the caller only when the whole joint succeeded.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::Crossings;
using bsoffset::FlatZ;
using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::pole_point;
using bsoffset::set_pole;
using bsoffset::start_of;

constexpr int kTrimLast = 3;     // BScvinttrmd: last join of a chain, both pieces cut at once
constexpr int kTrimClosing = 4;  // BScvinttrmd: closing join
constexpr double kFarAway = 9999999.99;

bool copy_into(const VOQbsp_curve *cv, OwnedCurve &into, int *rc) {
  BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, &into.cv, rc);
  return *rc == 0 && BScv_copy(rc, cv, into.cv);
}

struct Range {
  double a = 0, b = 0;
  explicit Range(const VOQbsp_curve *cv) : a(start_of(cv)), b(end_of(cv)) {}
  bool put(VOQbsp_curve *cv, int *rc) const {
    BSofrparcv(cv, a, b, rc);
    return *rc == 0;
  }
};

// Work records are released once done with; a release that fails turns a success into -1.
bool release_work(std::initializer_list<OwnedCurve *> work, int *rc) {
  for (OwnedCurve *w : work)
    if (w->release() != 0 && *rc == 0) *rc = -1;
  return *rc == 0;
}

// The last pole of a onto the first pole of b, weighted as a's own.
void snap_ends(VOQbsp_curve *a, const VOQbsp_curve *b) {
  double s[3];
  pole_point(b, 0, s);
  set_pole(a, a->num_poles - 1, s);
}

// The work of one closing joint: the copies, the joint piece and the entry it adds.
struct Joint {
  const VOQbsp_curve *in_last = nullptr, *in_first = nullptr;
  double d_prev = 0, d_last = 0, d_first = 0, d_second = 0;
  int ncomp = 0;
  std::int16_t *pending = nullptr;
  double *corner = nullptr;
  OwnedCurve prev, last, first, second, joint;
  bool appended = false;
  int code = BSJOIN_SEGMENT;

  // Both end pieces extended until they meet (BSexttrmcmp) into two new records; the connecting line it may give
  // goes to extra. rc -12 is left for the caller to judge.
  bool extend(OwnedCurve &e1, OwnedCurve &e2, OwnedCurve &extra, int *rc) {
    const VOQbsp_curve *l = last.cv, *f = first.cv;
    BSallocvoqcv(l->order, l->num_poles + 2 * l->order, l->rational, 0, &e1.cv, rc);
    if (*rc == 0) BSallocvoqcv(f->order, f->num_poles + 2 * f->order, f->rational, 0, &e2.cv, rc);
    if (*rc != 0) return false;
    std::int16_t collapsed = 0;
    BSexttrmcmp(last.cv, first.cv, d_last, d_first, pending, corner, &extra.cv, &collapsed, e1.cv, e2.cv, rc);
    return *rc == 0;
  }

  // The extended pieces take the place of the end pieces, on the end pieces' ranges.
  bool take_extended(OwnedCurve &e1, OwnedCurve &e2, int *rc) {
    if (!Range(last.cv).put(e1.cv, rc) || !Range(first.cv).put(e2.cv, rc)) return false;
    std::swap(last.cv, e1.cv);
    std::swap(first.cv, e2.cv);
    return true;
  }

  // A line joint: the extension's own connecting line, or a segment from the last piece's end to the first's
  // start.
  bool straight(const VOQbsp_curve *extra, int *rc) {
    if (extra) {
      if (!copy_into(extra, joint, rc)) return false;
    } else {
      double e[3], s[3];
      BScveval_n(last.cv, end_of(last.cv), 0, e, rc);
      if (*rc == 0) BScveval_n(first.cv, start_of(first.cv), 0, s, rc);
      if (*rc == 0) BSallocvoqcv(2, 2, BSFALSE, 0, &joint.cv, rc);
      int how = 0;
      if (*rc != 0 || !BSlngen(rc, e, s, joint.cv, &how)) return false;
    }
    appended = true, code = BSJOIN_SEGMENT;
    return true;
  }

  // A vanished end piece is what is left of it: an order-2 point curve at the corner point.
  bool point_curve(OwnedCurve &piece, int *rc) {
    OwnedCurve dot;
    BSallocvoqcv(2, 2, BSFALSE, 0, &dot.cv, rc);
    if (*rc == 0) BSptcvgen(corner, 2, BSFALSE, dot.cv, rc);
    if (*rc != 0) return false;
    std::swap(piece.cv, dot.cv);
    return release_work({&dot}, rc);
  }

  void straight_on(int *rc);
  void towards_side(int *rc);
  void away_from_side(std::int16_t mode, const VOQbsp_curve *off_last, const VOQbsp_curve *off_first,
                      const double normal[3], int side, int *rc);
  bool corner_onto_last(int *rc);
  bool meets(double da, double db, VOQbsp_curve *a, VOQbsp_curve *b, int *rc);
};

// The corner runs straight on: the end pieces are levelled, snapped, trimmed at their crossing or extended.
void Joint::straight_on(int *rc) {
  double E[3], S[3];
  pole_point(last.cv, last.cv->num_poles - 1, E);
  pole_point(first.cv, 0, S);
  const double tol = BStoltab[bstol::dist_tol];
  if (std::hypot(E[0] - S[0], E[1] - S[1]) < tol) {
    // The ends meet in the plane; a height step is closed at the last piece, a small one left as it is.
    const double dz = E[2] - S[2];
    if (dz * dz > tol) snap_ends(last.cv, first.cv);
    return;
  }
  int n_int = 0;
  {
    FlatZ z1, z2;
    if (!z1.flatten(last.cv) || !z2.flatten(first.cv)) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    Crossings x;
    x.find(last.cv, first.cv, rc);
    if (*rc != 0) return;
    n_int = x.n_int;
  }
  if (n_int > 0) {
    const Range r1(last.cv), r2(first.cv);
    *pending = 0;
    int spare = 0;
    BScvinttrmd(d_last, d_first, last.cv, first.cv, kTrimLast, corner, pending, &spare, rc);
    if (*rc == 0) {
      // The trim cut both at the crossing latest on the last piece: its end and the first piece's start are the
      // crossing's parameters, also where a cut left a point curve on a range of its own.
      const double u1 = end_of(last.cv), u2 = start_of(first.cv);
      BSjntmtchz2(0, last.cv, first.cv, &u1, &u2, rc);
      if (*rc == 0 && r1.put(last.cv, rc)) r2.put(first.cv, rc);
      return;
    }
    // A crossing only at the seam itself, with the far ends close: they are extended instead.
    if (*rc != BSRC_NO_JOIN) return;
    *rc = 0;
  }
  OwnedCurve e1, e2, extra;
  if (extend(e1, e2, extra, rc) && !extra.cv) {
    take_extended(e1, e2, rc);
  } else if (*rc == 0 || *rc == BSRC_NO_JOIN) {
    // The extension does not serve: the ends are snapped together.
    *rc = 0;
    snap_ends(last.cv, first.cv);
    if (Range(last.cv).put(last.cv, rc)) Range(first.cv).put(first.cv, rc);
  }
  if (*rc == 0) release_work({&e1, &e2, &extra}, rc);
}

// After a trim at the corner: the last piece ends where the corner point lies on the first piece.
bool Joint::corner_onto_last(int *rc) {
  double u = std::numeric_limits<double>::quiet_NaN();
  {
    FlatZ flat;
    if (!flat.flatten(first.cv)) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    // The corner point carries the first piece's height; flat, it is looked for where that piece lies flat.
    const double in_plane[3] = {corner[0], corner[1], 0.0};
    BSboolean on = BSFALSE;
    BSprptoncv(rc, first.cv, in_plane, &u, &on);
    if (*rc == 0 && std::isnan(u)) {
      // Outside the widened pole box the parameter is not written: the nearest point gives it.
      double base[3], dist = 0;
      BSmdstptcv(first.cv, in_plane, &u, base, &dist, rc);
    }
  }
  double F[3];
  if (*rc == 0) BScveval_n(first.cv, u, 0, F, rc);
  if (*rc != 0) return false;
  const int n = last.cv->num_poles;
  double p[3];
  pole_point(last.cv, n - 1, p);
  if (std::hypot(p[0] - F[0], p[1] - F[1]) >= kFarAway) pole_point(last.cv, 0, p);
  if (std::sqrt((p[0] - F[0]) * (p[0] - F[0]) + (p[1] - F[1]) * (p[1] - F[1]) + (p[2] - F[2]) * (p[2] - F[2])) >
      BStoltab[bstol::dist_tol])
    set_pole(last.cv, n - 1, F);
  return true;
}

// a trimmed against b at the closing corner, b then cut back to the corner point, both on their former ranges.
// False when they do not meet (rc 0) or on failure.
bool Joint::meets(double da, double db, VOQbsp_curve *a, VOQbsp_curve *b, int *rc) {
  const Range ra(a), rb(b);
  int spare = 0;
  BScvinttrmd(da, db, a, b, kTrimClosing, corner, pending, &spare, rc);
  if (*rc == BSRC_NO_JOIN) {
    *rc = 0;
    return false;
  }
  if (*rc == 0) BScvtrmpt(b, corner, rc);
  return *rc == 0 && ra.put(a, rc) && rb.put(b, rc);
}

// The corner turns towards the offset side: the end pieces overlap and are trimmed against each other.
void Joint::towards_side(int *rc) {
  *pending = 0;
  const Range r_last(last.cv), r_first(first.cv);
  int spare = 0;
  BScvinttrmd(d_last, d_first, last.cv, first.cv, kTrimClosing, corner, pending, &spare, rc);
  if (*rc != 0 && *rc != BSRC_NO_JOIN) return;
  if (*rc == 0 && spare == 0) {
    if (r_last.put(last.cv, rc) && r_first.put(first.cv, rc)) corner_onto_last(rc);
    return;
  }
  *rc = 0;
  // One of the end pieces may have vanished at the corner: its neighbour is tried against the other end piece.
  const bool vanished_first = ncomp > 3 && second.cv && meets(d_last, d_second, last.cv, second.cv, rc);
  if (*rc != 0) return;
  const bool vanished_last =
      !vanished_first && ncomp > 3 && prev.cv && meets(d_prev, d_first, prev.cv, first.cv, rc);
  if (*rc != 0) return;
  const bool tail = vanished_first || vanished_last;
  OwnedCurve extra;
  if (!tail) {
    OwnedCurve e1, e2;
    const bool met = extend(e1, e2, extra, rc);
    if (!met && *rc != BSRC_NO_JOIN) return;
    // Nothing meets: a line from the end of the one to the start of the other.
    *rc = 0;
    if (!take_extended(e1, e2, rc) || !release_work({&e1, &e2}, rc)) return;
    if (!met) {
      straight(nullptr, rc);
      return;
    }
  }
  if (extra.cv) {
    if (straight(extra.cv, rc)) release_work({&extra}, rc);
    return;
  }
  if (vanished_last && !point_curve(last, rc)) return;
  if (vanished_first) point_curve(first, rc);
}

// The corner turns away from the offset side: the gap is closed by the corner mode, as at any corner of the
// chain. The modes of the corner joins answer as they do there; every other mode takes a sharp corner.
void Joint::away_from_side(std::int16_t mode, const VOQbsp_curve *off_last, const VOQbsp_curve *off_first,
                           const double normal[3], int side, int *rc) {
  if (mode == 0 || mode == 2) {
    std::int16_t no_trim = 0;
    double point[3] = {corner[0], corner[1], corner[2]};
    int n = 0, indices[2] = {0, 0};
    double dists[2] = {0, 0};
    OwnedCurve o1, o2, o3;
    BScmpextoff(in_last, in_first, off_last, off_first, mode, d_last, d_first, normal, side, 0, &no_trim, point, &n,
                indices, dists, &o1.cv, &o2.cv, &o3.cv, rc);
    if (*rc != 0) return;
    std::swap(last.cv, o1.cv);
    if (n < 2) {
      std::swap(first.cv, o2.cv);
    } else {
      // A connection's line takes the first piece's slot; a corner curve is appended.
      std::swap(first.cv, mode == 2 ? o2.cv : o3.cv);
      std::swap(joint.cv, mode == 2 ? o3.cv : o2.cv);
      appended = true, code = indices[0];
    }
    release_work({&o1, &o2, &o3}, rc);
    return;
  }
  // The corner curve is made about the components' corner; it looks only at the sizes of the distances.
  VOQbsp_curve *arc = nullptr;
  int arc_code = BSJOIN_NONE;
  BSofk3arc(in_last, in_first, last.cv, first.cv, mode == 1 ? 1 : 0, std::fabs(d_last), std::fabs(d_first), normal,
            side, &arc_code, &arc, rc);
  OwnedCurve made;
  made.cv = arc;
  if (*rc != 0 || !made.cv) return;
  std::swap(joint.cv, made.cv);
  appended = true, code = arc_code;
  release_work({&made}, rc);
}

}  // namespace

namespace bsoffset {
void level_joint(std::uint16_t which, VOQbsp_curve *cv1, VOQbsp_curve *cv2, const double *u1, const double *u2,
                 int *rc) {
  *rc = 0;
  if (!cv1 || !cv2 || !u1 || !u2) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv1)) == 0 && (*rc = BScvcheck(cv2)) == 0) {
    double a[4] = {0, 0, 0, 1}, b[4] = {0, 0, 0, 1};
    if (!std::isfinite(*u1) || !std::isfinite(*u2)) *rc = BSRC_OUT_OF_RANGE;
    if (*rc == 0) BScvarrev0w(cv1, 1, u1, a, rc);
    if (*rc == 0) BScvarrev0w(cv2, 1, u2, b, rc);
    if (*rc == 0) {
      // Heights are compared, and poles set, in Cartesian terms: a weight is no part of the point.
      for (double *h : {a, b})
        for (int c = 0; c < 3; ++c) h[c] /= h[3];
      if (std::fabs(a[2] - b[2]) > BStoltab[bstol::dist_tol]) {
        if (which != 0)
          set_pole(cv1, cv1->num_poles - 1, b);
        else
          set_pole(cv2, 0, a);
      }
    }
  }
}
}  // namespace bsoffset

void BSjntmtchz2(std::uint16_t which, VOQbsp_curve *cv1, VOQbsp_curve *cv2, const double *u1, const double *u2,
                 int *rc) {
  bsoffset::level_joint(which, cv1, cv2, u1, u2, rc);
  BSexit(rc, "BSjntmtchz2", "bsjntmtchz2");
}

void BScmpoffcls(const VOQbsp_curve *in_last, const VOQbsp_curve *in_first, const VOQbsp_curve *off_prev,
                 const VOQbsp_curve *off_last, const VOQbsp_curve *off_first, const VOQbsp_curve *off_second,
                 double d_prev, double d_last, double d_first, double d_second, int ncomp, std::int16_t corner_mode,
                 const double normal[3], int side, int *count, int *codes, double *dists,
                 std::int16_t *pending_flag, double corner_point[3], VOQbsp_curve **new_prev,
                 VOQbsp_curve **new_last, VOQbsp_curve **new_first, VOQbsp_curve **new_second,
                 VOQbsp_curve **joint, int *rc) {
  *rc = 0;
  for (VOQbsp_curve **o : {new_prev, new_last, new_first, new_second, joint})
    if (o) *o = nullptr;
  if (!in_last || !in_first || !off_last || !off_first || !normal || !count || !codes || !dists ||
      !pending_flag || !corner_point || !new_last || !new_first || !joint || (off_prev && !new_prev) ||
      (off_second && !new_second)) {
    *rc = BSRC_NULL_CURVE;
    BSexit(rc, "BScmpoffcls", "bscmpoffcls");
    return;
  }
  for (const VOQbsp_curve *cv : {in_last, in_first, off_prev, off_last, off_first, off_second})
    if (*rc == 0 && cv) *rc = BScvcheck(cv);
  if (*rc == 0 && (!BSallfinite(3, normal) || (*pending_flag && !BSallfinite(3, corner_point)) ||
                   (side != 1 && side != -1) || *count < 0 || ncomp < 1))
    *rc = BSRC_OUT_OF_RANGE;
  // The distances of the pieces beyond the end pieces mean something only when those pieces are given.
  for (double d : {off_prev ? d_prev : 0.0, d_last, d_first, off_second ? d_second : 0.0})
    if (*rc == 0 && !std::isfinite(d)) *rc = BSRC_OUT_OF_RANGE;
  Joint j;
  j.in_last = in_last, j.in_first = in_first, j.ncomp = ncomp, j.pending = pending_flag, j.corner = corner_point;
  j.d_prev = d_prev, j.d_last = d_last, j.d_first = d_first, j.d_second = d_second;
  if (*rc == 0 && copy_into(off_last, j.last, rc) && copy_into(off_first, j.first, rc) &&
      (!off_prev || copy_into(off_prev, j.prev, rc)) && (!off_second || copy_into(off_second, j.second, rc))) {
    double P[6], T2[6];
    BScveval_n(in_last, end_of(in_last), 1, P, rc);
    if (*rc == 0) BScveval_n(in_first, start_of(in_first), 1, T2, rc);
    int turn = 0;
    if (*rc == 0 && BSnorvec(rc, P + 3) && BSnorvec(rc, T2 + 3)) {
      double before[3], after[3];
      for (int c = 0; c < 3; ++c) before[c] = P[c] - P[3 + c], after[c] = P[c] + T2[3 + c];
      BSzigzag(rc, before, P, after, normal, &side, &turn);
    }
    if (*rc == 0) {
      if (turn == 1)
        j.straight_on(rc);
      else if (turn == 2)
        j.towards_side(rc);
      else
        j.away_from_side(corner_mode, off_last, off_first, normal, side, rc);
    }
  }
  if (*rc == 0) {
    if (j.appended) {
      codes[*count] = j.code;
      dists[*count] = std::max(d_last, d_first);
      ++*count;
    }
    if (off_prev) std::swap(*new_prev, j.prev.cv);
    std::swap(*new_last, j.last.cv);
    std::swap(*new_first, j.first.cv);
    if (off_second) std::swap(*new_second, j.second.cv);
    std::swap(*joint, j.joint.cv);
  }
  BSexit(rc, "BScmpoffcls", "bscmpoffcls");
}
