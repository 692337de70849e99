// Offset pieces that neither meet nor cross, joined by extending them: both continued past their chosen ends
// (straight pieces straight, curved ones along their end span's own function) and cut at a crossing of the
// continuations; when that grows a piece too far, straight rays of a reach proportional to the offset distance
// are tried, and at last a connecting line.
#include <algorithm>
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsknots::ScratchCurve;
using bsoffset::Crossings;
using bsoffset::OwnedCurve;
using bsoffset::end_of;
using bsoffset::start_of;
using bsoffset::pole_point;
using bsoffset::set_pole;


double distance(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// cv continued past its end (at_end) or its start into work (room for num_poles + 2 order - 2 poles).
void extend_end(const VOQbsp_curve *cv, bool at_end, VOQbsp_curve *work, int *rc) {
  const int k = cv->order, n = cv->num_poles;
  ScratchCurve own, piece;
  if (!own.take(k, n, cv->rational) || !piece.take(k, 2 * k - 1, cv->rational)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  // The joins below read clamped ends.
  if (!BScv_copy(rc, cv, &own.cv) || !BScnvtomkt(rc, &own.cv)) return;
  const double a = start_of(&own.cv), b = end_of(&own.cv);
  int kind = 0;
  double dir[3];
  BSptlnplan(n, 0, own.cv.poles, own.cv.rational ? own.cv.weights : nullptr, &kind, dir, rc);
  if (*rc == BSRC_DEGENERATE && own.cv.rational) {
    // Weights too uneven for the weighted test (a wide arc in one span): its Cartesian poles tell whether the
    // curve runs on a line.
    BSscratch<48> store;
    double *cart = store.take(3 * static_cast<std::size_t>(n));
    if (!cart) {
      *rc = BSRC_NO_SCRATCH;
      return;
    }
    for (int i = 0; i < n; ++i) pole_point(&own.cv, i, cart + 3 * i);
    BSptlnplan(n, 0, cart, nullptr, &kind, dir, rc);
  }
  if (*rc != 0) return;
  const BSboolean no_test = BSFALSE;
  if (kind == BSKIND_LINE) {
    // Straight on, ten times the chord, in the curve's order.
    double p0[3], pn[3], far[3];
    pole_point(&own.cv, 0, p0);
    pole_point(&own.cv, n - 1, pn);
    for (int c = 0; c < 3; ++c) far[c] = at_end ? pn[c] + 10 * (pn[c] - p0[c]) : p0[c] - 10 * (pn[c] - p0[c]);
    BSlngenord(at_end ? pn : far, at_end ? far : p0, cv->order, BSFALSE, &piece.cv, rc);
    if (*rc != 0) return;
    const double lo = at_end ? b : a - 10 * (b - a), hi = at_end ? b + 10 * (b - a) : a;
    for (int i = 0; i < k; ++i) piece.cv.knots[i] = lo, piece.cv.knots[k + i] = hi;
    BScomb2cvs(at_end ? &own.cv : &piece.cv, at_end ? &piece.cv : &own.cv, work, rc);
    if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
    if (*rc == 0 && work->rational) {
      // Any common factor keeps the geometry; the continued end gets weight 1.
      const int m = work->num_poles, i = at_end ? m - 1 : 0;
      const double w = work->weights[i];
      for (int j = 0; j < m; ++j) {
        for (int c = 0; c < 3; ++c) work->poles[3 * j + c] /= w;
        work->weights[j] /= w;
      }
    }
    return;
  }
  const std::int16_t flag = at_end ? 1 : 0;
  if (n == k) {
    BSpoly_ext(rc, &own.cv, &flag, work);
    return;
  }
  // The end span continued, the rest of the curve put in front of it (or after it).
  ScratchCurve span, rest;
  if (!span.take(k, k, cv->rational) || !rest.take(k, n, cv->rational)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  const int s = at_end ? n - 1 : k - 1;
  double from = at_end ? a : own.cv.knots[k], to = at_end ? own.cv.knots[n - 1] : b;
  if (!BSextrcvspn(rc, &s, &own.cv, &span.cv, &no_test, &no_test) || !BScnvtomkt(rc, &span.cv) ||
      !BSpoly_ext(rc, &span.cv, &flag, &piece.cv) || !BSactivsplt(rc, &own.cv, &from, &to, &rest.cv, &no_test))
    return;
  const VOQbsp_curve *first = at_end ? &rest.cv : &piece.cv, *second = at_end ? &piece.cv : &rest.cv;
  double e[3], f[3];
  pole_point(first, first->num_poles - 1, e);
  pole_point(second, 0, f);
  if (distance(e, f) > BStoltab[bstol::dist_tol]) {
    // The curve jumps where its end span begins: combining would pull the span onto the far side of the jump.
    bsoffset::join_across_jump(first, second, work);
    return;
  }
  BScomb2cvs(first, second, work, rc);
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;
}

// Both work curves cut at the crossing of their continuations nearest the two chosen ends, into out1 and out2.
// With points given, a cut that leaves a piece one point (the crossing within its parameters' tolerances of the
// end it keeps) makes that piece the point of order 2 where it is cut, and says so in points; without, it is
// refused as one point (rc -2).
void cut_continuations(VOQbsp_curve *e1, VOQbsp_curve *e2, const bool at_end[2], const double ends[2][3],
                       VOQbsp_curve *out1, VOQbsp_curve *out2, bool *points, int *rc) {
  Crossings x;
  x.find(e1, e2, rc);
  if (*rc != 0) return;
  const double tol = 10 * BStoltab[bstol::dist_tol];
  double u1 = 0, u2 = 0;
  if (x.n_int > 0) {
    int best = 0;
    double least = 0;
    for (int i = 0; i < x.n_int; ++i) {
      const double sum = distance(x.pts + 3 * i, ends[0]) + distance(x.pts + 3 * i, ends[1]);
      if (i == 0 || sum < least) best = i, least = sum;
    }
    u1 = x.par1[best], u2 = x.par2[best];
  } else if (x.n_over > 0) {
    // Running over each other: the second piece's end is on the first's continuation, and back again.
    double base[3], d = 0, at[3];
    BSmdstptcv(e1, ends[1], &u1, base, &d, rc);
    if (*rc == 0 && d > tol) *rc = BSRC_NOT_JOINED;
    if (*rc == 0) BScveval_n(e1, u1, 0, at, rc);
    if (*rc == 0) BSmdstptcv(e2, at, &u2, base, &d, rc);
    if (*rc == 0 && d > tol) *rc = BSRC_NOT_JOINED;
    if (*rc != 0) return;
  } else {
    *rc = BSRC_NO_JOIN;
    return;
  }
  const BSboolean no_test = BSFALSE;
  // The ends not continued: the start of a curve continued at its end, and the other way round.
  double keep1 = at_end[0] ? start_of(e1) : end_of(e1), keep2 = at_end[1] ? start_of(e2) : end_of(e2);
  if (!points) {
    if (BSactivsplt(rc, e1, &keep1, &u1, out1, &no_test)) BSactivsplt(rc, e2, &u2, &keep2, out2, &no_test);
    return;
  }
  VOQbsp_curve *const e[2] = {e1, e2}, *const out[2] = {out1, out2};
  const double lo[2] = {keep1, u2}, hi[2] = {u1, keep2}, at[2] = {u1, u2};
  for (int i = 0; i < 2; ++i) {
    double a = lo[i], b = hi[i];
    points[i] = false;
    if (bsknots::active_split(rc, e[i], &a, &b, out[i], &no_test, false, &points[i])) continue;
    if (*rc != 0) return;
    if (!points[i]) {
      *rc = BSRC_OUT_OF_RANGE;
      return;
    }
    double p[3];
    BScveval_n(e[i], at[i], 0, p, rc);
    if (*rc == 0) BSptcvgen(p, 2, BSFALSE, out[i], rc);
    if (*rc != 0) return;
  }
}

// The two chosen end poles moved onto their common midpoint.
void meet_at_midpoint(VOQbsp_curve *out1, VOQbsp_curve *out2, const bool at_end[2]) {
  const int i1 = at_end[0] ? out1->num_poles - 1 : 0, i2 = at_end[1] ? out2->num_poles - 1 : 0;
  double p1[3], p2[3], mid[3];
  pole_point(out1, i1, p1);
  pole_point(out2, i2, p2);
  for (int c = 0; c < 3; ++c) mid[c] = 0.5 * (p1[c] + p2[c]);
  set_pole(out1, i1, mid);
  set_pole(out2, i2, mid);
}

// Room for the continuation of cv: num_poles + 2 order - 2 poles.
bool continuation_room(const VOQbsp_curve *cv, OwnedCurve *work, int *rc) {
  BSallocvoqcv(cv->order, cv->num_poles + 2 * cv->order - 2, cv->rational, 0, &work->cv, rc);
  return *rc == 0;
}

// The z coordinates of n poles saved into z and set to 0; put back by restore_z.
void flatten_z(VOQbsp_curve *cv, double *z) {
  for (int i = 0; i < cv->num_poles; ++i) z[i] = cv->poles[3 * i + 2], cv->poles[3 * i + 2] = 0.0;
}
void restore_z(VOQbsp_curve *cv, const double *z) {
  for (int i = 0; i < cv->num_poles; ++i) cv->poles[3 * i + 2] = z[i];
}

}  // namespace

void BSpolyxcvcv(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const std::int32_t ends[2], VOQbsp_curve *out1,
                 VOQbsp_curve *out2, int *rc) {
  bsoffset::extend_to_meet(cv1, cv2, ends, out1, out2, nullptr, rc);
  BSexit(rc, "BSpolyxcvcv", "bspolyxcvcv");
}

void bsoffset::extend_to_meet(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const std::int32_t ends[2],
                              VOQbsp_curve *out1, VOQbsp_curve *out2, bool *points, int *rc) {
  *rc = 0;
  if (points) points[0] = points[1] = false;
  if (!cv1 || !cv2 || !ends || !out1 || !out2) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv1)) != 0 || (*rc = BScvcheck(cv2)) != 0) {
  } else if (cv1->phy_closed || cv2->phy_closed) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const bool at_end[2] = {static_cast<std::int16_t>(ends[0]) != 0, static_cast<std::int16_t>(ends[1]) != 0};
    double p[2][3];
    pole_point(cv1, at_end[0] ? cv1->num_poles - 1 : 0, p[0]);
    pole_point(cv2, at_end[1] ? cv2->num_poles - 1 : 0, p[1]);
    if (distance(p[0], p[1]) < BStoltab[bstol::dist_tol]) {
      if (BScv_copy(rc, cv1, out1) && BScv_copy(rc, cv2, out2)) meet_at_midpoint(out1, out2, at_end);
    } else {
      OwnedCurve e1, e2;
      if (continuation_room(cv1, &e1, rc) && continuation_room(cv2, &e2, rc)) {
        extend_end(cv1, at_end[0], e1.cv, rc);
        if (*rc == 0) extend_end(cv2, at_end[1], e2.cv, rc);
        if (*rc == 0) cut_continuations(e1.cv, e2.cv, at_end, p, out1, out2, points, rc);
        if (*rc == 0 && points && (points[0] || points[1])) {
          // The piece that is one point is where the other one ends.
          const int keep = points[0] ? 1 : 0;
          VOQbsp_curve *kept = keep ? out2 : out1, *gone = keep ? out1 : out2;
          double q[3];
          pole_point(gone, 0, q);
          if (!points[keep]) set_pole(kept, at_end[keep] ? kept->num_poles - 1 : 0, q);
        } else if (*rc == 0) {
          meet_at_midpoint(out1, out2, at_end);
        }
      }
      const int code1 = e1.release(), code2 = e2.release();
      if (*rc == 0) *rc = code1 != 0 ? code1 : code2;
    }
  }
}

void BSexttrmln(VOQbsp_curve *ray, int mode, double *ray_z, double *piece_z, double tol, double knot_tol,
                VOQbsp_curve *out1, VOQbsp_curve *out2, int *count, std::int16_t *flag, int *rc) {
  *rc = 0;
  if (count) *count = 0;
  if (flag) *flag = 0;
  const bool forward = mode == 1 || mode == 3;  // the ray runs forward into out2; else out1 runs into the ray
  VOQbsp_curve *cut = forward ? out2 : out1, *other = forward ? out1 : out2;
  if (!ray || !ray_z || !piece_z || !out1 || !out2 || !count || !flag) {
    *rc = BSRC_NULL_CURVE;
  } else if (mode < 1 || mode > 4 || !std::isfinite(tol) || !std::isfinite(knot_tol) || tol < 0 || knot_tol < 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((*rc = BScvcheck(ray)) != 0 || (*rc = BScvcheck(out1)) != 0 || (*rc = BScvcheck(out2)) != 0) {
  } else {
    Crossings x;
    flatten_z(ray, ray_z);
    flatten_z(cut, piece_z);
    x.find(forward ? ray : out1, forward ? out2 : ray, rc);
    restore_z(ray, ray_z);
    restore_z(cut, piece_z);
    if (*rc == 0 && x.n_int > 0) {
      *count = x.n_int;
      // Farthest along the ray, or latest on out1.
      int best = 0;
      for (int i = 1; i < x.n_int; ++i)
        if (x.par1[i] >= x.par1[best]) best = i;
      const double u_ray = forward ? x.par1[best] : x.par2[best], u_cut = forward ? x.par2[best] : x.par1[best];
      double xr[3], xc[3];
      BScveval_n(ray, u_ray, 0, xr, rc);
      if (*rc == 0) BScveval_n(cut, u_cut, 0, xc, rc);
      const double s_other = start_of(other), e_other = end_of(other);
      if (*rc != 0) {
      } else if (mode >= 3) {
        // The piece behind the ray's start has nothing left before the crossing.
        BSptcvgen(xr, other->order, other->rational, other, rc);
        *flag = mode == 3 ? -1 : -2;
      } else {
        const bool at_end = mode == 1;
        if (std::fabs(xr[2] - xc[2]) >= tol || other->order != 2) {
          // The ray's stretch up to the crossing is merged onto the piece.
          const double r0 = start_of(ray), r1 = end_of(ray);
          double lo = at_end ? r0 : std::fmax(r0, u_ray - tol), hi = at_end ? std::fmin(r1, u_ray + tol) : r1;
          const BSboolean no_test = BSFALSE;
          ScratchCurve part, merged;
          if (!part.take(2, 2, BSFALSE) ||
              !merged.take(other->order, other->num_poles + 2 * other->order, other->rational)) {
            *rc = BSRC_NO_SCRATCH;
          } else if (BSactivsplt(rc, ray, &lo, &hi, &part.cv, &no_test) &&
                     BSmerge_cv(rc, at_end ? other : &part.cv, at_end ? &part.cv : other, &merged.cv)) {
            BScv_copy(rc, &merged.cv, other);
          }
        }
        if (*rc == 0) set_pole(other, at_end ? other->num_poles - 1 : 0, xc);
        if (*rc == 0) BSofrparcv(other, s_other, e_other, rc);
      }
      // The cut piece keeps what lies beyond the crossing, towards its far end.
      if (*rc == 0) {
        const double s_cut = start_of(cut), e_cut = end_of(cut), far = forward ? e_cut : s_cut;
        OwnedCurve work;
        BSallocvoqcv(cut->order, cut->num_poles, cut->rational, 0, &work.cv, rc);
        if (*rc == 0 && std::fabs(far - u_cut) >= knot_tol) {
          const BSboolean no_test = BSFALSE;
          double from = u_cut, to = far;
          if (BSactivsplt(rc, cut, &from, &to, work.cv, &no_test)) BScv_copy(rc, work.cv, cut);
        } else if (*rc == 0) {
          BSptcvgen(xc, cut->order, cut->rational, cut, rc);
          *flag = mode == 2 ? -1 : -2;
        }
        if (*rc == 0) BSofrparcv(cut, s_cut, e_cut, rc);
        const int code = work.release();
        if (*rc == 0) *rc = code;
      }
    }
  }
  BSexit(rc, "BSexttrmln", "bsexttrmln");
}

namespace {

// The ray between a pole point and the far point at reach along d_to - d_from (backward: against it), level at
// the pole's height, from the pole (from_pole) or up to it. False, with rc untouched, when the poles give no
// direction or the ray no length: no ray can be drawn there.
bool make_ray(const double pole[3], const double d_from[3], const double d_to[3], double reach, bool from_pole,
              bool backward, VOQbsp_curve *ray, int *rc) {
  const double len = distance(d_from, d_to);
  if (!(len > 0)) return false;
  double far[3];
  for (int c = 0; c < 3; ++c) far[c] = pole[c] + (backward ? -reach : reach) * (d_to[c] - d_from[c]) / len;
  far[2] = pole[2];
  if (!(distance(pole, far) > BStoltab[bstol::dist_tol])) return false;
  int code = 0;
  return BSlngen(rc, from_pole ? pole : far, from_pole ? far : pole, ray, &code);
}

}  // namespace

void BSexttrmcmp(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double d1, double d2, std::int16_t *trim_flag,
                 const double point[3], VOQbsp_curve **line, std::int16_t *flag, VOQbsp_curve *out1,
                 VOQbsp_curve *out2, int *rc) {
  (void)point;
  *rc = 0;
  if (!cv1 || !cv2 || !trim_flag || !line || !flag || !out1 || !out2) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv1)) != 0 || (*rc = BScvcheck(cv2)) != 0) {
  } else if (!std::isfinite(d1) || !std::isfinite(d2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // Composite components carry signed distances: the reach goes by their size.
    double dmax = std::fmax(std::fabs(d1), std::fabs(d2)), r = 0;
    const double dmin = std::fmin(std::fabs(d1), std::fabs(d2));
    if (dmax <= 1.0020841800044864e-292)
      dmax = BStoltab[bstol::chrdht_tol];
    else
      r = dmin / dmax;
    double f = r <= 0.3 ? 3.0 : r <= 0.5 ? 2.0 : r <= 0.8 ? 1.5 : 1.0;
    if (cv1->num_poles == 2 && cv2->num_poles == 2 && r > 0) {
      double l1 = 0, l2 = 0;
      const int two = 2;
      if (BScumdist(rc, &two, cv1->poles, cv1->rational ? cv1->weights : nullptr, &l1))
        BScumdist(rc, &two, cv2->poles, cv2->rational ? cv2->weights : nullptr, &l2);
      f = 2 * std::fmax(l1, l2) / dmax;
    }
    *flag = 0;
    bool done = false;
    if (*rc == 0) {
      const std::int32_t ends[2] = {1, 0};
      int erc = 0;
      BSpolyxcvcv(cv1, cv2, ends, out1, out2, &erc);
      // Any other failure only says the continuations do not meet, and another join is tried; memory running
      // out says nothing about the geometry, and no other join would fare better.
      if (erc == BSRC_NO_SCRATCH || erc == BSRC_ALLOC_CURVE) *rc = erc;
      if (erc == 0) {
        double len[4] = {0, 0, 0, 0};
        const VOQbsp_curve *curves[4] = {cv1, cv2, out1, out2};
        for (int i = 0; i < 4 && *rc == 0; ++i) {
          VOQbsp_curve view = *curves[i];
          double a = start_of(&view), b = end_of(&view);
          BSboolean status = BSFALSE;
          BSarclen(rc, &status, &view, &a, &b, nullptr, &len[i]);
        }
        if (*rc == 0 && len[2] - len[0] <= f * dmax && len[3] - len[1] <= f * dmax) {
          *flag = 1;
          done = true;
          // A 2-pole line comes back a line of 2 poles: the continuation's joint pole lies on it.
          for (int i = 0; i < 2; ++i) {
            const VOQbsp_curve *in = i ? cv2 : cv1;
            VOQbsp_curve *out = i ? out2 : out1;
            if (in->order == 2 && in->num_poles == 2 && out->order == 2 && out->num_poles == 3) {
              for (int c = 0; c < 3; ++c) out->poles[3 + c] = out->poles[6 + c];
              if (out->rational) out->weights[1] = out->weights[2];
              out->knots[2] = out->knots[3], out->knots[3] = out->knots[4];
              out->num_poles = 2, out->num_knots = 4, out->non_uniform = 0;
            }
          }
        }
      }
    }
    if (*rc == 0 && !done && BScv_copy(rc, cv1, out1) && BScv_copy(rc, cv2, out2)) {
      BSboolean degenerate = BSFALSE;
      BStstcvdegn(out1, &degenerate, rc);
      if (*rc == 0 && degenerate) {
        // A piece with no length is carried to the next one's start.
        double s[3];
        pole_point(out2, 0, s);
        set_pole(out1, out1->num_poles - 1, s);
        done = true;
      }
    }
    if (*rc == 0 && !done) {
      if (f == 1.0) f = 3.0;
      const double reach = f * dmax, tol = BStoltab[bstol::dist_tol];
      double ktol1 = 0, ktol2 = 0;
      bsoffset::knot_tolerance(out2, &ktol2, rc);
      if (*rc == 0) bsoffset::knot_tolerance(out1, &ktol1, rc);
      BSscratch<100> zs;
      double ray_z[2];
      double *piece_z = zs.take(static_cast<std::size_t>(std::max(out1->num_poles, out2->num_poles)));
      ScratchCurve ray;
      if (*rc == 0 && (!piece_z || !ray.take(2, 2, BSFALSE))) *rc = BSRC_NO_SCRATCH;
      int count = 0;
      for (int mode = 1; mode <= 4 && *rc == 0 && count == 0; ++mode) {
        const VOQbsp_curve *p = mode == 1 || mode == 3 ? out1 : out2;
        const int n = p->num_poles;
        double a[3], b[3];
        // Ray 1 on from out1's end, 2 up to out2's start, 3 back from out1's start, 4 on from out2's end.
        pole_point(p, mode == 1 || mode == 4 ? n - 2 : 0, a);
        pole_point(p, mode == 1 || mode == 4 ? n - 1 : 1, b);
        const double *pole = mode == 1 || mode == 4 ? b : a;
        ray.cv.weights = nullptr;
        if (!make_ray(pole, a, b, reach, mode != 2, mode == 2 || mode == 3, &ray.cv, rc)) continue;
        std::int16_t collapse = 0;
        BSexttrmln(&ray.cv, mode, ray_z, piece_z, tol, mode == 1 || mode == 3 ? ktol2 : ktol1, out1, out2, &count,
                   &collapse, rc);
        if (*rc == 0 && count > 0 && mode >= 3 && collapse != 0) *flag = collapse;
      }
      if (*rc == 0 && count == 0) {
        *trim_flag = 0;
        if (d1 == d2) {
          *rc = BSRC_NO_JOIN;
        } else {
          VOQbsp_curve *joint = nullptr;
          BSallocvoqcv(2, 2, BSFALSE, 0, &joint, rc);
          double e[3], s[3];
          pole_point(out1, out1->num_poles - 1, e);
          pole_point(out2, 0, s);
          int code = 0;
          if (*rc == 0 && BSlngen(rc, e, s, joint, &code)) {
            *line = joint;
          } else if (joint) {
            int ignored = 0;
            BSfreevoqcv(joint, &ignored);
          }
        }
      }
    }
  }
  BSexit(rc, "BSexttrmcmp", "bsexttrmcmp");
}
