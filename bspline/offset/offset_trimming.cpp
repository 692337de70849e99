// Neighbouring offset pieces cut against each other: the front of a piece cut back to a point, two pieces trimmed
// at their crossing, and a cut piece put back onto the parameter range it had, so that consecutive pieces keep
// meeting at equal parameters. The caller's records stay in place: every replacement is copied into them.
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset {

void knot_tolerance(const VOQbsp_curve *cv, double *tol, int *rc) {
  BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, tol, rc);
}

bool piece_or_point(const VOQbsp_curve *cv, double u, double v, double tol, const double p[3], VOQbsp_curve *work,
                    int *rc) {
  if (std::fabs(v - u) >= tol) {
    const BSboolean no_planar_test = BSFALSE;
    if (BSactivsplt(rc, cv, &u, &v, work, &no_planar_test)) return true;
    if (*rc != BSRC_OUT_OF_RANGE) return false;
  }
  BSptcvgen(p, cv->order, cv->rational, work, rc);
  return *rc == 0;
}

}  // namespace bsoffset

namespace {

using bsoffset::Crossings;
using bsoffset::FlatZ;
using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::start_of;
using bsoffset::knot_tolerance;
using bsoffset::piece_or_point;


// The parameter of the point of the (flattened) cv nearest to p as if p lay in the plane: a height of p would
// only blur the comparison of distances.
void foot_in_plane(const VOQbsp_curve *cv, const double p[3], double *u, int *rc) {
  const double flat[3] = {p[0], p[1], 0.0};
  double base[3], dist = 0;
  BSmdstptcv(cv, flat, u, base, &dist, rc);
}

// The front of cv cut off at the foot of p, on cv's former range (both front-trimming entries).
void trim_front(VOQbsp_curve *cv, const double p[3], int *rc) {
  if (!cv || !p) {
    *rc = BSRC_NULL_CURVE;
    return;
  }
  if ((*rc = BScvcheck(cv)) != 0) return;
  if (!BSallfinite(3, p)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  OwnedCurve work;
  BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, &work.cv, rc);
  double tol = 0, u = 0;
  if (*rc == 0) knot_tolerance(cv, &tol, rc);
  if (*rc == 0) {
    FlatZ flat;
    if (!flat.flatten(cv))
      *rc = BSRC_NO_SCRATCH;
    else
      foot_in_plane(cv, p, &u, rc);
  }
  const double a = start_of(cv), b = end_of(cv);
  if (*rc == 0 && piece_or_point(cv, u, b, tol, p, work.cv, rc) && BScv_copy(rc, work.cv, cv))
    BSofrparcv(cv, a, b, rc);
  const int code = work.release();
  if (*rc == 0) *rc = code;
}

// Whether the first pole of a and the last pole of b (or the other way round) lie closer than dmax in xy.
bool far_ends_close(const VOQbsp_curve *a, int ia, const VOQbsp_curve *b, int ib, double dmax) {
  double pa[3], pb[3];
  bsoffset::pole_point(a, ia, pa);
  bsoffset::pole_point(b, ib, pb);
  return std::hypot(pa[0] - pb[0], pa[1] - pb[1]) < dmax;
}

// The trim itself, into the work records w1 (and w2 in modes 3 and 4); the caller releases them.
void trim_pair(double dmax, VOQbsp_curve *cv1, VOQbsp_curve *cv2, bool both, bool closing, double pt[3],
               std::int16_t *pending, VOQbsp_curve *w1, VOQbsp_curve *w2, int *rc) {
  double tol1 = 0, tol2 = 0;
  knot_tolerance(cv1, &tol1, rc);
  if (*rc == 0) knot_tolerance(cv2, &tol2, rc);
  if (*rc != 0) return;
  const double s1 = start_of(cv1), e1 = end_of(cv1), s2 = start_of(cv2), e2 = end_of(cv2);
  FlatZ z1, z2;
  if (!z1.flatten(cv1) || !z2.flatten(cv2)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  Crossings x;
  x.find(cv1, cv2, rc);
  if (*rc != 0) return;
  bool meet = true;
  double u1 = 0, u2 = 0, X[3] = {0, 0, 0};
  if (x.n_int > 0) {
    // The crossing latest on the first piece: the join keeps the most of it.
    int best = 0;
    for (int i = 1; i < x.n_int; ++i)
      if (x.par1[i] >= x.par1[best]) best = i;
    u1 = x.par1[best], u2 = x.par2[best];
    for (int c = 0; c < 3; ++c) X[c] = x.pts[3 * best + c];
    if (x.n_int == 1 && closing && u1 == s1 && u2 == e2) {
      // The closing join found only the chain's own seam.
      *rc = BSRC_NO_JOIN;
      return;
    }
    // Pieces that meet only where they join, with their far ends within the offset distance, are short beside
    // it: they fold over each other and nothing of them is kept.
    if (u1 == e1 && u2 == s2)
      meet = !far_ends_close(cv1, 0, cv2, cv2->num_poles - 1, dmax);
    else if (u1 == s1 && u2 == e2)
      meet = !far_ends_close(cv1, cv1->num_poles - 1, cv2, 0, dmax);
  } else if (x.n_over > 0) {
    u1 = x.over1[1], u2 = x.over2[1];
    for (int c = 0; c < 3; ++c) X[c] = x.over_pts[3 + c];
  } else {
    meet = false;
  }
  double t = 0;
  if (*pending) foot_in_plane(cv1, pt, &t, rc);
  z1.restore();
  z2.restore();
  if (*rc != 0) return;
  if (!meet) {
    if (*pending) {
      *pending = 0;
      if (!piece_or_point(cv1, t, e1, tol1, pt, w1, rc) || !BScv_copy(rc, w1, cv1)) {
        *rc = BSRC_TRIM_FAILED;
        return;
      }
    }
    *rc = BSRC_NO_JOIN;
    return;
  }
  // The crossing was found flat; the pending point lies on the second piece, so it takes that piece's height.
  double at[3];
  BScveval_n(cv2, u2, 0, at, rc);
  if (*rc != 0) return;
  X[2] = at[2];
  const double from = *pending ? t : s1;
  double first[3], last[3];
  BScveval_n(cv1, from, 0, first, rc);
  if (*rc == 0 && both) BScveval_n(cv2, e2, 0, last, rc);
  if (*rc != 0) return;
  if (!piece_or_point(cv1, from, u1, tol1, first, w1, rc) ||
      (both && !piece_or_point(cv2, u2, e2, tol2, last, w2, rc)) || !BScv_copy(rc, w1, cv1) ||
      (both && !BScv_copy(rc, w2, cv2))) {
    *rc = BSRC_TRIM_FAILED;
    return;
  }
  *pending = 1;
  for (int c = 0; c < 3; ++c) pt[c] = X[c];
}

}  // namespace

void BSofrparcv(VOQbsp_curve *cv, double a, double b, int *rc) {
  *rc = 0;
  bool ok = cv && std::isfinite(a) && std::isfinite(b) && a <= b && BScvcheck(cv) == 0;
  if (ok) {
    const int k = cv->order, n = cv->num_poles;
    double *t = cv->knots;
    const double s = t[k - 1], e = t[n];
    if (a == b) {
      for (int i = 0; i < n + k; ++i) t[i] = a;
    } else if (s != a || e != b) {
      // The knots at the range ends take a and b exactly: the joins compare parameters with the ends exactly.
      int lo = k - 1, hi = n;
      while (lo > 0 && t[lo - 1] == s) --lo;
      while (hi + 1 < n + k && t[hi + 1] == e) ++hi;
      int lrc = 0;
      BSreparmcv(cv, a, b, cv, &lrc);
      ok = lrc == 0;
      for (int i = lo; ok && i < k; ++i) t[i] = a;
      for (int i = n; ok && i <= hi; ++i) t[i] = b;
    }
    // Offset pieces carry no boundaries, and a cut piece's would no longer fit it.
    if (ok) cv->num_boundaries = 0, cv->bdrys = nullptr;
  }
  if (!ok) *rc = BSRC_TRIM_FAILED;
  BSexit(rc, "BSofrparcv", "bsofrparcv");
}

void BScvtrmpt(VOQbsp_curve *cv, const double p[3], int *rc) {
  *rc = 0;
  trim_front(cv, p, rc);
  BSfaulthook("bscvtrmpt", rc);
}

void BSoftrmfrnt(VOQbsp_curve *cv, const double point[3], int *rc) {
  *rc = 0;
  trim_front(cv, point, rc);
  BSfaulthook("bsoftrmfrnt", rc);
}

void BScvinttrmd(double d1, double d2, VOQbsp_curve *cv1, VOQbsp_curve *cv2, int mode, double pt[3],
                 std::int16_t *pending, int *zero_out, int *rc) {
  *rc = 0;
  if (zero_out) *zero_out = 0;
  if (!cv1 || !cv2 || !pt || !pending || !zero_out) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv1)) != 0 || (*rc = BScvcheck(cv2)) != 0) {
  } else if (cv1 == cv2 || !std::isfinite(d1) || !std::isfinite(d2) || (*pending && !BSallfinite(3, pt))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const bool both = mode == 3 || mode == 4;
    OwnedCurve w1, w2;
    BSallocvoqcv(cv1->order, cv1->num_poles, cv1->rational, 0, &w1.cv, rc);
    if (*rc == 0 && both) BSallocvoqcv(cv2->order, cv2->num_poles, cv2->rational, 0, &w2.cv, rc);
    // Composite components carry signed distances; the far-end test measures against their size.
    if (*rc == 0)
      trim_pair(std::fmax(std::fabs(d1), std::fabs(d2)), cv1, cv2, both, mode == 4, pt, pending, w1.cv, w2.cv,
                rc);
    const int code1 = w1.release(), code2 = w2.release();
    if (*rc == 0 && (code1 != 0 || code2 != 0)) *rc = BSRC_TRIM_FAILED;
  }
  BSexit(rc, "BScvinttrmd", "bscvinttrmd");
}
