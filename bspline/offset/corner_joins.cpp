// What fills the gap between the offsets of two pieces that meet at an outer corner: a circular arc or a conic
// for a curved join; straight extensions of line offsets, segments and polylines for a sharp one. The work is
// done in the plane normal to the offset normal, at z = 0 of a frame whose z axis is that normal; the caller's
// offsets change only when the whole join succeeds.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "bspline/numerics.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::Crossings;

constexpr int kParallelTol = 4;      // tolerance entry: an end tangent parallel to the curve's
constexpr double kAxisTol = 1e-15;   // a normal this close to (0, 0, 1) needs no frame
constexpr double kTinyLeg = 1.401298464324817e-45;
constexpr double kReach = 3;         // the probing lines run this many times the larger distance

using bsknots::cartesian_pole;

void set3(double out[3], double x, double y, double z) { out[0] = x, out[1] = y, out[2] = z; }
void lift(const double p[3], double z, double out[3]) { set3(out, p[0], p[1], z); }
double dot2(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1]; }

void set_pole(VOQbsp_curve *cv, int i, const double p[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) cv->poles[3 * i + c] = p[c] * w;
}

// An order-2 curve through n points with clamped knots 0 and 1 and the given interior ones, into a new record.
void polyline(int n, const double *pts, const double *inner, VOQbsp_curve **out, int *rc) {
  BSallocvoqcv(2, n, BSFALSE, 0, out, rc);
  if (*rc != 0) return;
  VOQbsp_curve *cv = *out;
  cv->order = 2;
  cv->periodic = 0;
  cv->non_uniform = n > 2 ? 1 : 0;
  cv->num_poles = n;
  cv->num_knots = n + 2;
  cv->rational = 0;
  cv->weights = nullptr;
  cv->planar = 0;
  cv->phy_closed = 0;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
  std::memcpy(cv->poles, pts, sizeof(double) * 3 * static_cast<std::size_t>(n));
  cv->knots[0] = cv->knots[1] = 0.0;
  for (int i = 0; i < n - 2; ++i) cv->knots[2 + i] = inner[i];
  cv->knots[n] = cv->knots[n + 1] = 1.0;
}

void segment(const double p[3], const double q[3], VOQbsp_curve **out, int *rc) {
  double pts[6];
  std::memcpy(pts, p, sizeof(double) * 3);
  std::memcpy(pts + 3, q, sizeof(double) * 3);
  polyline(2, pts, nullptr, out, rc);
}

// The state of one join. Points and directions live in the frame; E, S, K, a and b at z = 0 with the z
// coordinates of E, S and the corner set aside.
struct Join {
  Join(const VOQbsp_curve *a_piece, const VOQbsp_curve *b_piece, std::int16_t corner_code, double d1, double d2,
       int side_sign, int *code_out, VOQbsp_curve **arc_out)
      : A(a_piece), B(b_piece), corner(corner_code), dist1(d1), dist2(d2), side(side_sign), code(code_out),
        arc(arc_out) {}
  Join(const Join &) = delete;
  Join &operator=(const Join &) = delete;

  const VOQbsp_curve *A, *B;
  std::int16_t corner;
  double dist1, dist2;
  int side;
  int *code;
  VOQbsp_curve **arc;

  bool framed = false;
  double M[9] = {};
  bsknots::ScratchCurve copy_a, copy_b, trimmed;
  VOQbsp_curve *wa = nullptr, *wb = nullptr;  // working offsets (one record when the caller passed one)
  VOQbsp_curve *flat_a = nullptr, *flat_b = nullptr;
  bool changed_a = false, changed_b = false;  // an end pole moved, or the offset trimmed
  bool line_a = false, line_b = false;
  double E[3] = {}, S[3] = {}, K[3] = {}, zE = 0, zS = 0, zK = 0, a[3] = {}, b[3] = {}, dA[3] = {}, dB[3] = {};

  // Into the frame, in place (points and vectors alike: the frame's origin is the world's).
  void to_frame(double p[3], int *rc) const {
    if (framed) BSptsoldtnw(kZero, M, 1.0, 1, BSFALSE, p, nullptr, p, rc);
  }
  static constexpr double kZero[3] = {0, 0, 0};
};

// A work copy of cv in the frame.
bool take_copy(const Join &j, const VOQbsp_curve *cv, bsknots::ScratchCurve &into, VOQbsp_curve **work, int *rc) {
  if (!into.take(cv->order, cv->num_poles, cv->rational != 0)) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  const double one = 1.0;
  if (j.framed)
    BScvoton(rc, Join::kZero, j.M, &one, cv, &into.cv);
  else
    BScv_copy(rc, cv, &into.cv);
  *work = &into.cv;
  return *rc == 0;
}

// The copy of cv with every z set to 0, into a new record.
bool flatten(const VOQbsp_curve *cv, VOQbsp_curve **out, int *rc) {
  BSallocvoqcv(cv->order, cv->num_poles, cv->rational, 0, out, rc);
  if (*rc == 0) BScv_copy(rc, cv, *out);
  if (*rc != 0) return false;
  for (int i = 0; i < cv->num_poles; ++i) (*out)->poles[3 * i + 2] = 0.0;
  return true;
}

// An offset of order 2 whose poles share one z: only such an offset is extended by moving its end pole.
bool is_line(const VOQbsp_curve *cv) {
  if (cv->order != 2) return false;
  double p0[3], p[3];
  cartesian_pole(*cv, 0, p0);
  for (int i = 1; i < cv->num_poles; ++i) {
    cartesian_pole(*cv, i, p);
    if (std::fabs(p[2] - p0[2]) > BStoltab[bstol::zero_tol]) return false;
  }
  return true;
}

// The direction of the polygon's end leg at z = 0 (the leg into the last pole, or out of the first), the leg
// over two poles when the end leg has next to no length.
void end_leg(const VOQbsp_curve *cv, bool at_end, double v[3]) {
  const int n = cv->num_poles;
  double p[3], q[3];
  auto leg = [&](int far) {
    if (at_end) {
      cartesian_pole(*cv, n - 1 - far, p), cartesian_pole(*cv, n - 1, q);
    } else {
      cartesian_pole(*cv, 0, p), cartesian_pole(*cv, far, q);
    }
    set3(v, q[0] - p[0], q[1] - p[1], 0.0);
  };
  leg(1);
  const double big = std::fmax(std::fabs(v[0]), std::fabs(v[1]));
  if (big * big < kTinyLeg && n > 2) leg(2);
}

// The unit end tangent of an offset from its polygon, or from its curve's polygon when the offset has no extent.
bool end_tangent(Join &j, const VOQbsp_curve *off, const VOQbsp_curve *flat, const VOQbsp_curve *piece,
                 bool at_end, double t[3], int *rc) {
  BSboolean degenerate = BSFALSE;
  // An offset whose ends lie far apart has nothing for the degeneracy test to find.
  if (bstest::slow_roads() || !bsknots::clamped_extent(*flat)) BStstcvdegn(flat, &degenerate, rc);
  if (*rc != 0) return false;
  if (!degenerate) {
    end_leg(off, at_end, t);
  } else {
    bsknots::ScratchCurve local;
    VOQbsp_curve *framed_piece = nullptr;
    if (!take_copy(j, piece, local, &framed_piece, rc)) return false;
    end_leg(framed_piece, at_end, t);
  }
  return BSnorvec(rc, t) == BSTRUE;
}

// Curve point and first derivative at u, with z set aside: z gets the point's z, the derivative's z is 0.
bool eval_flat(const VOQbsp_curve *cv, double u, double P[3], double D[3], double *z, int *rc) {
  double out[6];
  BScveval_n(cv, u, 1, out, rc);
  if (*rc != 0) return false;
  set3(P, out[0], out[1], 0.0);
  set3(D, out[3], out[4], 0.0);
  if (z) *z = out[2];
  return true;
}

// Whether the offsets' end tangents are parallel to the curve's (the ends are true offsets): |A' x offA'| and
// |B' x offB'| in the plane, from derivatives as evaluated.
bool ends_parallel(const Join &j, int *rc) {
  double P[3], dOa[3], dOb[3];
  if (!eval_flat(j.wa, j.wa->knots[j.wa->num_poles], P, dOa, nullptr, rc) ||
      !eval_flat(j.wb, j.wb->knots[j.wb->order - 1], P, dOb, nullptr, rc))
    return false;
  const double w1 = std::fabs(j.dA[0] * dOa[1] - j.dA[1] * dOa[0]);
  const double w2 = std::fabs(j.dB[0] * dOb[1] - j.dB[1] * dOb[0]);
  const double tol = BStoltab[kParallelTol];
  return w1 <= tol && w2 <= tol;
}

bool new_conic(Join &j, int *rc) {
  BSallocvoqcv(3, 9, BSTRUE, 0, j.arc, rc);
  return *rc == 0;
}

bool new_arc(Join &j, int *rc) {
  BSallocvoqcv(3, 7, BSTRUE, 0, j.arc, rc);
  return *rc == 0;
}

// Arcs and conics are built level, at the corner's height: their constructions need their points in one plane
// normal to the normal. Ends at other heights (a piece rising only along the normal was left out between the
// offsets) are then reached by moving the poles along the normal, from z0 at the start to z1 at the end in
// proportion to their knot averages. That leaves the curve's shape in the plane as it is, since the weights do
// not change, and keeps it between the two heights.
void climb(const Join &j, VOQbsp_curve *cv, double z0, double z1) {
  if (z0 == j.zK && z1 == j.zK) return;
  const int k = cv->order, n = cv->num_poles;
  auto greville = [&](int i) {
    double g = 0;
    for (int m = 1; m < k; ++m) g += cv->knots[i + m];
    return g / (k - 1);
  };
  const double g0 = greville(0), span = greville(n - 1) - g0;
  for (int i = 0; i < n; ++i) {
    const double f = i == 0 ? 0.0 : i == n - 1 ? 1.0 : (greville(i) - g0) / span;
    cv->poles[3 * i + 2] = (z0 + (z1 - z0) * f) * (cv->rational ? cv->weights[i] : 1.0);
  }
}

// The conic from P (z zP) to Q (z zQ) in the triangle P, X, Q about the corner.
void transconc(Join &j, const double P[3], double zP, const double X[3], const double Q[3], double zQ, int *rc) {
  double Pz[3], Xz[3], Qz[3], Kz[3];
  lift(P, j.zK, Pz), lift(X, j.zK, Xz), lift(Q, j.zK, Qz), lift(j.K, j.zK, Kz);
  if (!new_conic(j, rc)) return;
  BStransconc(Pz, Xz, Qz, Kz, *j.arc, rc);
  if (*rc != 0) return;
  climb(j, *j.arc, zP, zQ);
  *j.code = BSJOIN_CONIC;
}

// The part of cv between u1 and u2 written back over cv.
void trim(Join &j, VOQbsp_curve *cv, double u1, double u2, int *rc) {
  if (!j.trimmed.take(cv->order, cv->num_poles, cv->rational != 0)) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  if (BSactivsplt(rc, cv, &u1, &u2, &j.trimmed.cv, nullptr)) BScv_copy(rc, &j.trimmed.cv, cv);
}

// The sharp join at the mitre point X of the two end tangents: line offsets are extended to X, the others are
// joined to it by segments.
void mitre(Join &j, const double X2[3], int *rc) {
  double X[3], Ez[3], Sz[3];
  lift(X2, j.zK, X), lift(j.E, j.zE, Ez), lift(j.S, j.zS, Sz);
  if (j.line_a) set_pole(j.wa, j.wa->num_poles - 1, X), j.changed_a = true;
  if (j.line_b) set_pole(j.wb, 0, X), j.changed_b = true;
  if (j.line_a && j.line_b) return;
  if (j.line_a) {
    segment(X, Sz, j.arc, rc);
  } else if (j.line_b) {
    segment(Ez, X, j.arc, rc);
  } else {
    const double pts[9] = {Ez[0], Ez[1], Ez[2], X[0], X[1], X[2], Sz[0], Sz[1], Sz[2]}, inner[1] = {0.5};
    polyline(3, pts, inner, j.arc, rc);
    if (*rc == 0) *j.code = BSJOIN_POLYLINE;
    return;
  }
  if (*rc == 0) *j.code = BSJOIN_SEGMENT;
}

// E, K and S on one line: the curve turns back on itself at K. A square end of half-width d, or a half circle
// (a conic when the offsets' ends are not true offsets) through the point d beyond the corner.
void BSofk3col(Join &j, double d, int *rc) {
  *rc = 0;
  if (j.corner == 0) {
    double G[3], H[3];
    set3(G, j.E[0] + d * j.a[0], j.E[1] + d * j.a[1], j.zE);
    set3(H, j.S[0] - d * j.b[0], j.S[1] - d * j.b[1], j.zS);
    if (j.line_a) set_pole(j.wa, j.wa->num_poles - 1, G), j.changed_a = true;
    if (j.line_b) set_pole(j.wb, 0, H), j.changed_b = true;
    if (j.line_a && j.line_b) {
      segment(G, H, j.arc, rc);
      if (*rc == 0) *j.code = BSJOIN_SEGMENT;
    } else {
      // The square end's corners G and H, with the ends of the offsets that are not extended.
      static const double kOnlyA[1] = {0.66667}, kOnlyB[1] = {0.33333}, kNeither[2] = {0.25, 0.75};
      double pts[12];
      int n = 0;
      auto put = [&](const double *p) { std::memcpy(pts + 3 * n++, p, sizeof(double) * 3); };
      double Ez[3], Sz[3];
      lift(j.E, j.zE, Ez), lift(j.S, j.zS, Sz);
      if (!j.line_a) put(Ez);
      put(G), put(H);
      if (!j.line_b) put(Sz);
      const double *inner = j.line_a ? kOnlyA : j.line_b ? kOnlyB : kNeither;
      polyline(n, pts, inner, j.arc, rc);
      if (*rc == 0) *j.code = BSJOIN_POLYLINE;
    }
  } else {
    double Ez[3], Sz[3];
    lift(j.E, j.zK, Ez), lift(j.S, j.zK, Sz);
    const bool parallel = ends_parallel(j, rc);
    if (*rc == 0 && !parallel) {
      double P1[3], P2[3], m[3], Q[3];
      set3(P1, j.E[0] + j.a[0], j.E[1] + j.a[1], j.zK);
      set3(P2, j.S[0] + j.b[0], j.S[1] + j.b[1], j.zK);
      set3(m, (j.a[0] - j.b[0]) / 2, (j.a[1] - j.b[1]) / 2, 0.0);
      if (BSnorvec(rc, m) && new_conic(j, rc)) {
        set3(Q, j.K[0] + d * m[0], j.K[1] + d * m[1], j.zK);
        BSconic32(rc, Ez, Q, Sz, P1, P2, *j.arc, nullptr, nullptr);
        if (*rc == 0) climb(j, *j.arc, j.zE, j.zS), *j.code = BSJOIN_CONIC;
      }
    } else if (*rc == 0) {
      // The half circle bulges to the offset side of the chord from E to S.
      double u[3], n[3], Mid[3];
      const double up[3] = {0, 0, 1};
      set3(u, j.S[0] - j.E[0], j.S[1] - j.E[1], 0.0);
      BSvcross(rc, u, up, n);
      if (BSnorvec(rc, n) && new_arc(j, rc)) {
        set3(Mid, (j.E[0] + j.S[0]) / 2 + j.side * d * n[0], (j.E[1] + j.S[1]) / 2 + j.side * d * n[1], j.zK);
        BSarc3pts(rc, Ez, Mid, Sz, *j.arc);
        if (*rc == 0) climb(j, *j.arc, j.zE, j.zS), *j.code = BSJOIN_ARC;
      }
    }
  }
  BSexit(rc, "BSofk3col", "bsofk3col");
}

// Equal distances: the offsets' ends lie on one circle about the corner.
void equal_join(Join &j, bool collinear, double d, int *rc) {
  if (collinear) {
    BSofk3col(j, d, rc);
    return;
  }
  if (j.corner != 0) {
    const bool parallel = ends_parallel(j, rc);
    if (*rc != 0) return;
    if (parallel) {
      double Ez[3], Sz[3], Kz[3];
      lift(j.E, j.zK, Ez), lift(j.S, j.zK, Sz), lift(j.K, j.zK, Kz);
      double u[3], v[3], w[3];
      BSvdiff(rc, u, Kz, Ez);
      BSvdiff(rc, v, Kz, Sz);
      BSvcross(rc, u, v, w);
      if (!new_arc(j, rc)) return;
      BSprepcarc(rc, Ez, Kz, Sz, w, *j.arc, nullptr, nullptr);
      if (*rc == BSRC_ZERO_INTERVAL) {
        // An arc that the rounding of its points far from the origin leaves too flat to build (a corner that
        // hardly turns, its ends some ulps of the coordinates apart across): its chord, which strays from it by
        // less than those ulps, joins the ends instead.
        BSfreevoqcv(*j.arc, rc);
        *j.arc = nullptr;
        double Ea[3], Sa[3];
        lift(j.E, j.zE, Ea), lift(j.S, j.zS, Sa);
        if (*rc == 0) segment(Ea, Sa, j.arc, rc);
        if (*rc == 0) *j.code = BSJOIN_SEGMENT;
        return;
      }
      if (*rc == 0) climb(j, *j.arc, j.zE, j.zS), *j.code = BSJOIN_ARC;
    } else {
      // Tangent to both offsets: the corner of the triangle is where their end tangents meet.
      double X[3], Ea[3], Sb[3];
      set3(Ea, j.E[0] - j.a[0], j.E[1] - j.a[1], 0.0);
      set3(Sb, j.S[0] + j.b[0], j.S[1] + j.b[1], 0.0);
      if (BSxln(rc, Ea, j.E, j.S, Sb, X)) transconc(j, j.E, j.zE, X, j.S, j.zS, rc);
    }
    return;
  }
  double X[3], Ea[3], Sb[3];
  set3(Ea, j.E[0] + j.a[0], j.E[1] + j.a[1], 0.0);
  set3(Sb, j.S[0] - j.b[0], j.S[1] - j.b[1], 0.0);
  if (!BSxln(rc, j.E, Ea, Sb, j.S, X)) {
    *rc = BSRC_NO_JOIN;  // the end tangents are parallel: there is no mitre point
    return;
  }
  mitre(j, X, rc);
}

// Unequal distances. The tangent ray of one offset, three times the larger distance long, is cut with the other
// offset; that offset is trimmed back to the cut and the gap filled there.
void unequal_join(Join &j, bool collinear, double d, double dmax, int *rc) {
  double tip[3];
  VOQbsp_curve *line = nullptr;
  bsknots::FixedCurve<2, 2> ray;
  bsknots::FixedCurve<7, 3> circle;

  // From E forward.
  set3(tip, j.E[0] + kReach * dmax * j.a[0], j.E[1] + kReach * dmax * j.a[1], 0.0);
  line = &ray.cv;
  if (!BSlngen(rc, j.E, tip, line, nullptr)) return;
  {
    Crossings c;
    c.find(line, j.flat_b, rc);
    if (*rc != 0) return;
    if (c.n_int > 0) {
      int far = 0;
      for (int i = 1; i < c.n_int; ++i)
        if (c.par1[i] >= c.par1[far]) far = i;
      double X[3];
      set3(X, c.pts[3 * far], c.pts[3 * far + 1], 0.0);
      const double tB = c.par2[far], endB = j.wb->knots[j.wb->num_poles];
      if (j.corner == 0) {
        double Xz[3], Ez[3];
        lift(X, j.zK, Xz), lift(j.E, j.zE, Ez);
        if (j.line_a) {
          set_pole(j.wa, j.wa->num_poles - 1, Xz), j.changed_a = true;
        } else {
          segment(Ez, Xz, j.arc, rc);
          if (*rc != 0) return;
          *j.code = BSJOIN_SEGMENT;
        }
        trim(j, j.wb, tB, endB, rc);
      } else {
        if (!BScirrdcr(rc, &d, X, &circle.cv)) return;
        Crossings r;
        r.find(&circle.cv, j.flat_b, rc);
        if (*rc != 0) return;
        // The first meeting beyond the cut; none beyond it counts as none at all.
        double tm = endB;
        for (int i = 0; i < r.n_int; ++i)
          if (r.par2[i] > tB && r.par2[i] < tm) tm = r.par2[i];
        const double tq = std::fmin((tB + endB) / 2, tm);
        double P[3], D[3], zP = 0, X2[3], Pback[3];
        if (!eval_flat(j.wb, tq, P, D, &zP, rc)) return;
        set3(Pback, P[0] - D[0], P[1] - D[1], 0.0);
        if (!BSxln(rc, j.E, tip, P, Pback, X2)) return;
        transconc(j, j.E, j.zE, X2, P, zP, rc);
        if (*rc == 0) trim(j, j.wb, tq, endB, rc);
      }
      if (*rc == 0) j.changed_b = true;
      return;
    }
  }

  // From S backward.
  set3(tip, j.S[0] - kReach * dmax * j.b[0], j.S[1] - kReach * dmax * j.b[1], 0.0);
  if (!BSlngen(rc, j.S, tip, line, nullptr)) return;
  {
    Crossings c;
    c.find(j.flat_a, line, rc);
    if (*rc != 0) return;
    if (c.n_int > 0) {
      int far = 0;
      for (int i = 1; i < c.n_int; ++i)
        if (c.par1[i] >= c.par1[far]) far = i;
      double Y[3];
      set3(Y, c.pts[3 * far], c.pts[3 * far + 1], 0.0);
      const double tA = c.par1[far], startA = j.wa->knots[j.wa->order - 1];
      if (j.corner == 0) {
        double Yz[3], Sz[3];
        lift(Y, j.zK, Yz), lift(j.S, j.zS, Sz);
        if (j.line_b) {
          set_pole(j.wb, 0, Yz), j.changed_b = true;
        } else {
          // Runs from the trimmed end of the first offset to the second, as every joining curve does.
          segment(Yz, Sz, j.arc, rc);
          if (*rc != 0) return;
          *j.code = BSJOIN_SEGMENT;
        }
        trim(j, j.wa, startA, tA, rc);
      } else {
        if (!BScirrdcr(rc, &d, Y, &circle.cv)) return;
        Crossings r;
        r.find(&circle.cv, j.flat_a, rc);
        if (*rc != 0) return;
        // The first meeting along offA, before the cut; none before it counts as none at all.
        double tm = startA;
        bool met = false;
        for (int i = 0; i < r.n_int; ++i)
          if (r.par2[i] < tA && (!met || r.par2[i] < tm)) tm = r.par2[i], met = true;
        const double tq = std::fmax((tA + startA) / 2, tm);
        double P[3], D[3], zP = 0, X2[3], Pfwd[3];
        if (!eval_flat(j.wa, tq, P, D, &zP, rc)) return;
        set3(Pfwd, P[0] + D[0], P[1] + D[1], 0.0);
        if (!BSxln(rc, P, Pfwd, j.S, tip, X2)) return;
        transconc(j, P, zP, X2, j.S, j.zS, rc);
        if (*rc == 0) trim(j, j.wa, startA, tq, rc);
      }
      if (*rc == 0) j.changed_a = true;
      return;
    }
  }

  // Neither ray meets the other offset.
  const double tiny = BStoltab[bstol::zero_tol];
  if (collinear && j.dist1 > tiny && j.dist2 > tiny) {
    BSofk3col(j, d, rc);
    return;
  }
  double X[3], Ea[3], Sb[3];
  set3(Ea, j.E[0] + j.a[0], j.E[1] + j.a[1], 0.0);
  set3(Sb, j.S[0] - j.b[0], j.S[1] - j.b[1], 0.0);
  if (!BSxln(rc, j.E, Ea, Sb, j.S, X)) return;
  if (j.corner != 0) {
    transconc(j, j.E, j.zE, X, j.S, j.zS, rc);
  } else if (dot2(X, j.a) - dot2(j.E, j.a) >= 0 && dot2(j.S, j.b) - dot2(X, j.b) >= 0) {
    mitre(j, X, rc);
  } else {
    double Ez[3], Sz[3];
    lift(j.E, j.zE, Ez), lift(j.S, j.zS, Sz);
    segment(Ez, Sz, j.arc, rc);
    if (*rc == 0) *j.code = BSJOIN_SEGMENT;
  }
}

void join(Join &j, VOQbsp_curve *offA, VOQbsp_curve *offB, const double normal[3], int *rc) {
  // The frame.
  j.framed = !(std::fabs(normal[0]) <= kAxisTol && std::fabs(normal[1]) <= kAxisTol &&
               std::fabs(normal[2] - 1) <= kAxisTol);
  const BSboolean sense = BSTRUE;
  if (j.framed && !BStrans2(normal, &sense, j.M, rc)) return;
  if (!take_copy(j, offA, j.copy_a, &j.wa, rc)) return;
  if (offB == offA)
    j.wb = j.wa;  // the closing of a closed offset: both of its ends move
  else if (!take_copy(j, offB, j.copy_b, &j.wb, rc))
    return;
  if (!flatten(j.wa, &j.flat_a, rc) || !flatten(j.wb, &j.flat_b, rc)) return;

  cartesian_pole(*j.wa, j.wa->num_poles - 1, j.E);
  cartesian_pole(*j.wb, 0, j.S);
  j.zE = j.E[2], j.zS = j.S[2];
  j.E[2] = j.S[2] = 0.0;
  j.line_a = is_line(j.wa), j.line_b = is_line(j.wb);
  if (!end_tangent(j, j.wa, j.flat_a, j.A, true, j.a, rc) || !end_tangent(j, j.wb, j.flat_b, j.B, false, j.b, rc))
    return;

  double out[6];
  BScveval_n(j.A, j.A->knots[j.A->num_poles], 1, out, rc);
  if (*rc != 0) return;
  std::memcpy(j.K, out, sizeof j.K);
  std::memcpy(j.dA, out + 3, sizeof j.dA);
  BScveval_n(j.B, j.B->knots[j.B->order - 1], 1, out, rc);
  if (*rc != 0) return;
  std::memcpy(j.dB, out + 3, sizeof j.dB);
  j.to_frame(j.K, rc);
  if (*rc == 0) j.to_frame(j.dA, rc);
  if (*rc == 0) j.to_frame(j.dB, rc);
  if (*rc != 0) return;
  j.zK = j.K[2];
  j.K[2] = j.dA[2] = j.dB[2] = 0.0;

  // Offsets that already meet, or a distance of nothing: there is no gap. The coincidence test compares the
  // coordinates one by one, and ends up to 1.4 dist_tol apart pass it; the pieces' ends must meet as the chain's
  // gaps are measured, by their distance, or a corner that turns by about dist_tol over the distance (a tiny
  // chain's short legs) is left open by more than the tolerance.
  const double *pairs[3][2] = {{j.E, j.K}, {j.K, j.S}, {j.E, j.S}};
  for (const auto &p : pairs) {
    double two[6];
    std::memcpy(two, p[0], sizeof(double) * 3);
    std::memcpy(two + 3, p[1], sizeof(double) * 3);
    const BSboolean same = BScoincida(2, two, rc);
    if (*rc != 0) return;
    const bool ends = p[0] == j.E && p[1] == j.S;
    if (same && (!ends || std::hypot(j.E[0] - j.S[0], j.E[1] - j.S[1]) <= BStoltab[bstol::dist_tol])) return;
  }
  const BSboolean collinear = BScollin(rc, j.E, j.K, j.S);
  if (*rc != 0) return;

  const double d = (j.dist1 + j.dist2) / 2, dmax = std::fmax(j.dist1, j.dist2);
  // At equal distances E and S lie on one line with the corner only where the curve turns back on itself, the
  // corner between them. Where they lie on one side of it the curve hardly turns: at a distance of a few dist_tol
  // the line test takes that triangle for a line, and a turn back's half circle would run off the offset.
  const bool turns_back = collinear && (j.E[0] - j.K[0]) * (j.S[0] - j.K[0]) + (j.E[1] - j.K[1]) * (j.S[1] - j.K[1]) < 0;
  if (std::fabs(j.dist1 - j.dist2) < BStoltab[bstol::dist_tol])
    equal_join(j, turns_back, d, rc);
  else
    unequal_join(j, collinear != 0, d, dmax, rc);
}

// The working offset written back over the caller's record (through the frame when one was used); the record
// keeps its boundaries.
void write_back(const Join &j, const VOQbsp_curve *work, VOQbsp_curve *caller, int *rc) {
  const std::int16_t nb = caller->num_boundaries;
  double *bdrys = caller->bdrys;
  const double one = 1.0;
  if (j.framed)
    BScvntoo(rc, Join::kZero, j.M, &one, work, caller);
  else
    BScv_copy(rc, work, caller);
  caller->num_boundaries = nb;
  caller->bdrys = bdrys;
}

// A curve whose check came to `check` that a join can work on.
bool usable(const VOQbsp_curve *cv, int check) { return check == 0 && cv->order >= 2; }

}  // namespace

void BSofk3arc(const VOQbsp_curve *A, const VOQbsp_curve *B, VOQbsp_curve *offA, VOQbsp_curve *offB,
               std::int16_t corner, double dist1, double dist2, const double normal[3], int side, int *code,
               VOQbsp_curve **arc, int *rc) {
  *rc = 0;
  if (code) *code = BSJOIN_NONE;
  if (!A || !B || !offA || !offB || !normal || !code || !arc) {
    *rc = BSRC_NULL_CURVE;
  } else if (const int checks[4] = {BScvcheck(A), BScvcheck(B), BScvcheck(offA), BScvcheck(offB)};
             std::find(checks, checks + 4, BSRC_NULL_CURVE) != checks + 4) {
    *rc = BSRC_NULL_CURVE;
  } else if (!usable(A, checks[0]) || !usable(B, checks[1]) || !usable(offA, checks[2]) ||
             !usable(offB, checks[3]) || !std::isfinite(dist1) ||
             !std::isfinite(dist2) || dist1 < 0 || dist2 < 0 || !BSallfinite(3, normal) ||
             (side != 1 && side != -1)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    Join j(A, B, corner, dist1, dist2, side, code, arc);
    const VOQbsp_curve *given = *arc;
    join(j, offA, offB, normal, rc);
    bool released = true;
    for (VOQbsp_curve *f : {j.flat_a, j.flat_b}) {
      int r = 0;
      if (f) BSfreevoqcv(f, &r);
      released = released && r == 0;
    }
    if (*rc == 0 && !released) *rc = -1;
    // The caller's offsets change only with a join that is complete, and the joining curve leaves in world
    // coordinates.
    if (*rc == 0 && (j.changed_a || (j.changed_b && j.wb == j.wa))) write_back(j, j.wa, offA, rc);
    if (*rc == 0 && j.changed_b && j.wb != j.wa) write_back(j, j.wb, offB, rc);
    if (*rc == 0 && *arc && *arc != given && j.framed) {
      const double one = 1.0;
      BScvntoo(rc, Join::kZero, j.M, &one, *arc, *arc);
    }
  }
  BSexit(rc, "BSofk3arc", "bsofk3arc");
}
