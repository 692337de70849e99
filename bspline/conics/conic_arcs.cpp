// General conic arcs as rational quadratic curves: the arc between two end points with a tangent line at each,
// shaped by a fifth point on it; the form from three points with tangents at two of them; and the transition
// conic that rounds an offset corner.
//
// A one-segment arc A, D, B (D the apex where the end tangents meet) with weights 1 - rho, rho, 1 - rho passes
// through (1 - rho)(A + B)/2 + rho D; rho follows from the fifth point's barycentric coordinates in the triangle
// A, D, B. Where the apex runs far away (nearly parallel tangents) or the arc takes the far side of its chord,
// one segment would be ill-conditioned or need a negative weight, so the arc is split at its shoulder into two.
// Ellipses and circles are finally rebuilt in the circular-arc form of BSprepcarc (through the ellipse's own
// axes), so that every elliptic arc of the library has the same parametrisation and segment count.
#include "bspline/conics.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

using bsmeasure::cross3;
using bsmeasure::dot3;

constexpr int kTypeTol = 6;         // tolerance entry of the parabola and circle tests
constexpr double kRhoSnap = 1e-7;   // a shoulder this near 1/2 is a parabola
constexpr double kSplitSine = 0.1;  // tangents closer to parallel than this take two segments
constexpr double kQuarterRho = 0.4142135623730951;

double norm3(const double v[3]) { return std::sqrt(dot3(v, v)); }

void sub3(const double a[3], const double b[3], double out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = a[k] - b[k];
}

void neg3(double v[3]) {
  for (int k = 0; k < 3; ++k) v[k] = -v[k];
}

// out = a + s d
void along(const double a[3], double s, const double d[3], double out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = a[k] + s * d[k];
}

void mid3(const double a[3], const double b[3], double out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = (a[k] + b[k]) / 2;
}

// rc for point arguments: 3 for a missing one, -2 for one that is not finite.
int points_failure(std::initializer_list<const double *> points) {
  for (const double *p : points)
    if (!p) return BSRC_NULL_CURVE;
  for (const double *p : points)
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return BSRC_OUT_OF_RANGE;
  return 0;
}

// A record of our own, as large as the largest arc BSprepcarc writes.
using LocalArc = bsknots::FixedCurve<7, 3>;

// The poles A, Q0, M, M, Q2, B of the two segments of a split, M the shoulder point midway between Q0 and Q2.
// Copied through locals: an output may be one of the inputs.
void write_split(const double A[3], const double Q0[3], const double Q2[3], const double B[3], double *out[6]) {
  double P[6][3];
  std::memcpy(P[0], A, sizeof P[0]);
  std::memcpy(P[1], Q0, sizeof P[1]);
  mid3(Q0, Q2, P[2]);
  std::memcpy(P[3], P[2], sizeof P[3]);
  std::memcpy(P[4], Q2, sizeof P[4]);
  std::memcpy(P[5], B, sizeof P[5]);
  for (int i = 0; i < 6; ++i) std::memcpy(out[i], P[i], sizeof P[i]);
}

// The half of a one-segment arc of shoulder rho, renormalised to end weights 1.
double half_rho(double rho) { return 1 / (std::sqrt(2 * (1 - rho)) + 1); }

// An elliptic segment of end legs la, lc, chord lb and weight ratio q = w0 w2 / w1^2 is a circle's when its legs
// are equal and its weight is the cosine of the angle between chord and leg. The weight test alone, q lb^2 =
// 4 la lc, holds on a whole family of ellipses whose unequal legs make up the product: those stay ellipses.
bool is_circle_segment(double q, double la, double lb, double lc, double tol) {
  return std::fabs(la - lc) < tol * std::max(la, lc) && std::fabs(q * lb * lb / (4 * la * lc) - 1) < tol;
}

// An elliptic arc already written into cv (weighted poles, ends start and end) rebuilt as BSprepcarc's circular
// arc: through the ellipse's axis frame, where stretching the minor axis by major/minor makes it a circle.
bool to_circular_form(VOQbsp_curve *cv, int type, const double start[3], const double end[3],
                      const double normal[3], int *rc) {
  int ctype = 0;
  double Z[3], a = 0, b = 0, V1[3], M1[3];
  BSconicprp(cv, &ctype, Z, &a, &b, nullptr, nullptr, V1, nullptr, M1, nullptr, rc);
  if (*rc != 0) return false;
  if (ctype != BSCONIC_ELLIPSE && ctype != BSCONIC_CIRCLE) {
    *rc = BSRC_NOT_CONIC;
    return false;
  }
  if (type == BSCONIC_CIRCLE || ctype == BSCONIC_CIRCLE) {
    if (!BSprepcarc(rc, start, Z, end, normal, cv, nullptr, nullptr)) return false;
  } else {
    double frame[9];
    const BSboolean sense = BSTRUE;
    const double one = 1, origin[3] = {0, 0, 0}, ratio = a / b;
    LocalArc local, arc;
    if (!BSlocalcord(rc, Z, V1, M1, &sense, frame) || !BScvoton(rc, Z, frame, &one, cv, &local.cv)) return false;
    // The circle's start, end and the start's tangent point; the normal comes from the stretched tangent point
    // too, since an unstretched one can turn the sense of a short arc on a slender ellipse.
    double s[3], e[3], t[3], n[3];
    const int last = local.cv.num_poles - 1;
    for (int k = 0; k < 3; ++k) {
      s[k] = local.poles[k] / local.weights[0];
      t[k] = local.poles[3 + k] / local.weights[1];
      e[k] = local.poles[3 * last + k] / local.weights[last];
    }
    s[1] *= ratio, t[1] *= ratio, e[1] *= ratio;
    cross3(s, t, n);
    if (!BSnorvec(rc, n) || !BSprepcarc(rc, s, origin, e, n, &arc.cv, nullptr, nullptr)) return false;
    for (int i = 0; i < arc.cv.num_poles; ++i) arc.poles[3 * i + 1] /= ratio;
    if (!BScvntoo(rc, Z, frame, &one, &arc.cv, cv)) return false;
  }
  return true;
}

}  // namespace

BSboolean BSconicgen0(int *rc, VOQbsp_curve *cv) {
  *rc = 0;
  if (!cv || !cv->poles || !cv->knots) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    cv->order = 3;
    cv->periodic = 0;
    cv->non_uniform = 1;
    cv->num_poles = 0;
    cv->num_knots = 0;
    cv->planar = 1;
    cv->phy_closed = 0;
    cv->num_boundaries = 0;
    cv->bdrys = nullptr;
  }
  BSexit(rc, "BSconicgen0", "bsconicgen0");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSrhosplit1(int *rc, const double A[3], const double D[3], const double B[3], const double *rho,
                      double A_out[3], double Q0[3], double M[3], double M_again[3], double Q2[3], double B_out[3],
                      double *rho_half) {
  *rc = points_failure({A, D, B});
  if (*rc == 0 && !(rho && std::isfinite(*rho) && *rho < 1)) *rc = rho ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
  if (*rc == 0) {
    double q0[3], q2[3], DA[3], DB[3];
    sub3(D, A, DA);
    sub3(D, B, DB);
    along(A, *rho, DA, q0);
    along(B, *rho, DB, q2);
    double *out[6] = {A_out, Q0, M, M_again, Q2, B_out};
    write_split(A, q0, q2, B, out);
    *rho_half = half_rho(*rho);
  }
  BSexit(rc, "BSrhosplit1", "bsrhosplit1");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSrhosplit2(int *rc, const double A[3], const double B[3], const double dir[3], const double *s,
                      double A_out[3], double Q0[3], double M[3], double M_again[3], double Q2[3], double B_out[3],
                      double *rho_half) {
  *rc = points_failure({A, B, dir});
  if (*rc == 0 && !(s && std::isfinite(*s))) *rc = s ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
  if (*rc == 0) {
    double q0[3], q2[3];
    along(A, *s, dir, q0);
    along(B, *s, dir, q2);
    double *out[6] = {A_out, Q0, M, M_again, Q2, B_out};
    write_split(A, q0, q2, B, out);
    *rho_half = kQuarterRho;
  }
  BSexit(rc, "BSrhosplit2", "bsrhosplit2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSconicgen4(int *rc, VOQbsp_curve *cv, const int *form, int *type_out, const double *rho,
                      const double *rho_half, const double A[3], const double D[3], const double B[3],
                      const double A2[3], const double Q0[3], const double M[3], const double Q2[3],
                      const double B2[3], double normal_out[3]) {
  *rc = 0;
  BSboolean built = BSFALSE;
  bool written = false;
  do {
    if (!cv || !cv->poles || !cv->knots || !form) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (*form != 1 && *form != 3) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool one = *form == 1;
    const int n = one ? 3 : 5;
    const double *r = one ? rho : rho_half;
    const double *P[5] = {A, D, B, nullptr, nullptr};
    if (!one) P[0] = A2, P[1] = Q0, P[2] = M, P[3] = Q2, P[4] = B2;
    if ((*rc = one ? points_failure({A, D, B}) : points_failure({A2, Q0, M, Q2, B2})) != 0) break;
    // A shoulder outside (0, 1) gives a weight that is not positive: no arc between the ends.
    if (!r || !(*r > 0 && *r < 1)) {
      *rc = r ? BSRC_OUT_OF_RANGE : BSRC_NULL_CURVE;
      break;
    }
    static const double kKnots1[6] = {0, 0, 0, 1, 1, 1}, kKnots3[8] = {0, 0, 0, 0.5, 0.5, 1, 1, 1};
    cv->order = 3;
    cv->periodic = 0;
    cv->non_uniform = 1;
    cv->planar = 1;
    cv->phy_closed = 0;
    cv->num_boundaries = 0;
    cv->bdrys = nullptr;
    cv->rational = 1;
    cv->num_poles = n;
    cv->num_knots = n + 3;
    std::memcpy(cv->knots, one ? kKnots1 : kKnots3, (n + 3) * sizeof(double));
    for (int i = 0; i < n; ++i) std::memcpy(cv->poles + 3 * i, P[i], 3 * sizeof(double));
    written = true;
    double w[5];
    for (int i = 0; i < n; ++i) w[i] = i % 2 ? *r : 1 - *r;
    double a[3], b[3], c[3], nrm[3];
    sub3(P[1], P[0], a);
    sub3(P[2], P[0], b);
    sub3(P[1], P[2], c);
    const double la = norm3(a), lb = norm3(b), lc = norm3(c);
    if (!BSnorvec(rc, a) || !BSnorvec(rc, b) || !BSnorvec(rc, c)) break;
    cross3(a, b, nrm);
    if (!BSnorvec(rc, nrm)) break;
    if (normal_out) std::memcpy(normal_out, nrm, sizeof nrm);
    const double tol = BStoltab[kTypeTol], q = w[0] * w[2] / (w[1] * w[1]);
    int type = BSCONIC_HYPERBOLA;
    if (std::fabs(q - 1) < tol)
      type = BSCONIC_PARABOLA;
    else if (q >= 1 + tol)
      type = is_circle_segment(q, la, lb, lc, 100 * tol) ? BSCONIC_CIRCLE : BSCONIC_ELLIPSE;
    if (type == BSCONIC_PARABOLA) {
      cv->rational = 0;
      if (cv->weights) std::fill(cv->weights, cv->weights + n, 1.0);
    } else if (!cv->weights) {
      *rc = BSRC_NULL_CURVE;
      break;
    } else {
      std::memcpy(cv->weights, w, n * sizeof(double));
      BSwght_p(rc, cv->poles, cv->weights, &n, cv->poles);
      if (type == BSCONIC_HYPERBOLA) {
        VOQbsp_curve *out = cv;  // equal end weights: renormalised in place, no knot inserted
        BSchgecvwts(cv, &out, rc);
        if (*rc != 0) break;
      } else if (!to_circular_form(cv, type, P[0], P[n - 1], nrm, rc)) {
        break;
      }
      // End weights are 1 now: the ends the caller gave are kept exactly, not as rounded through the weights
      // or a frame.
      std::memcpy(cv->poles, P[0], 3 * sizeof(double));
      std::memcpy(cv->poles + 3 * (cv->num_poles - 1), P[n - 1], 3 * sizeof(double));
    }
    if (type_out) *type_out = type;
    built = BSTRUE;
  } while (false);
  // A record left with poles would read as a curve to a caller that looks no further than the pole count.
  if (!built && written) cv->num_poles = cv->num_knots = 0;
  BSexit(rc, "BSconicgen4", "bsconicgen4");
  return built;
}

BSboolean BSconicgen3(int *rc, const double A[3], const double B[3], const double TA[3], const double TB[3],
                      const double S[3], VOQbsp_curve *cv, double normal_out[3], int *type_out) {
  *rc = 0;
  BSboolean built = BSFALSE;
  do {
    if ((*rc = points_failure({A, B, TA, TB, S})) != 0) break;
    int lrc = 0;
    if (!BSpoint3(&lrc, A, B, TA, TB)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!BSconicgen0(&lrc, cv)) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    const double tol = BStoltab[bstol::dist_tol];
    double dA[3], dB[3], e1[3], e2[3], c[3], na[3], nb[3];
    sub3(TA, A, dA);
    sub3(TB, B, dB);
    sub3(A, S, e1);
    sub3(B, S, e2);
    sub3(B, A, c);
    const double ldA = norm3(dA), ldB = norm3(dB), lc = norm3(c);
    cross3(c, dA, na);
    cross3(c, dB, nb);
    if (dot3(na, nb) < 0) neg3(dB), neg3(nb);
    const double lna = norm3(na), lnb = norm3(nb);
    // A tangent point on its end point, or a tangent along the chord, leaves no apex: the shoulder below would
    // be 0/0. The second bound keeps the test a distance of the tangent point from the chord at every scale.
    const double chordal = tol * std::max(1.0, lc);
    if (ldA < tol || ldB < tol || lna < chordal || lnb < chordal) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // A fifth point off the plane of the tangents would mix two planes in the areas below.
    double AS[3];
    sub3(S, A, AS);
    if (std::fabs(dot3(AS, na)) > tol * lna) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double m1[3], m2[3], m3[3];
    cross3(e2, dB, m1);
    cross3(e1, e2, m2);
    cross3(dA, e1, m3);
    const double a = dot3(m1, nb), b = dot3(m3, na), lm1 = norm3(m1), lm2 = norm3(m2), lm3 = norm3(m3);
    if (a * b < 0 || (a < 0 && b < 0) || lm2 < tol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    // On a tangent line the fifth point makes an end weight 0: two line segments, no conic.
    if (lm1 <= tol * ldB || lm3 <= tol * ldA) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double k[3];
    cross3(dA, dB, k);
    const double lk = norm3(k), sine = lk / (ldA * ldB);
    double side = dot3(na, m2);
    int form = 3;
    double rho = 0, rho_half = 0, D[3] = {0, 0, 0}, P[6][3];
    double *split[6] = {P[0], P[1], P[2], P[3], P[4], P[5]};
    if (sine >= tol) {
      if (dot3(na, k) < 0) neg3(dA), neg3(dB), neg3(na), side = -side;
      // The apex D = A + ta dA = B + tb dB; rho from the areas of the triangles that S forms with A, D and B.
      const double g = 2 * std::sqrt(lm1 * lm3), ta = lnb / lk, tb = lna / lk;
      rho = (lm2 / ta) / (std::sqrt(lna / lnb) * g + lm2 / ta);
      if (std::fabs(0.5 - rho) < kRhoSnap) rho = 0.5;
      if (side < 0 && rho > 0.5 - kRhoSnap) {
        *rc = BSRC_OUT_OF_RANGE;  // the far side of a parabola or hyperbola runs through infinity
        break;
      }
      // Beyond the chord the arc is the complement of the near one: the same conic with a negative middle weight.
      if (side < 0) rho = rho / (2 * rho - 1);
      if (sine <= kSplitSine) {
        double q0[3], q2[3];
        along(A, rho * ta, dA, q0);
        along(B, rho * tb, dB, q2);
        write_split(A, q0, q2, B, split);
        rho_half = half_rho(rho);
      } else {
        along(A, ta, dA, D);
        if (side >= 0)
          form = 1;
        else if (!BSrhosplit1(&lrc, A, D, B, &rho, P[0], P[1], P[2], P[3], P[4], P[5], &rho_half)) {
          *rc = BSRC_NOT_CONIC;
          break;
        }
      }
    } else {
      // Parallel tangents: half an ellipse, A and B the ends of a diameter; s scales the conjugate half-diameter.
      if (side < 0) neg3(dA);
      double u[3];
      cross3(e2, dA, u);
      const double s = lm2 / (2 * std::sqrt(lm3 * norm3(u)));
      if (!BSrhosplit2(&lrc, A, B, dA, &s, P[0], P[1], P[2], P[3], P[4], P[5], &rho_half)) {
        *rc = BSRC_NOT_CONIC;
        break;
      }
    }
    if (!BSconicgen4(&lrc, cv, &form, type_out, &rho, &rho_half, A, D, B, P[0], P[1], P[2], P[4], P[5],
                     normal_out)) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSconicgen3", "bsconicgen3");
  return built;
}

BSboolean BSbranch(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                   const double T1[3]) {
  bool same = false;
  if ((*rc = points_failure({P0, P1, P2, T0, T1})) == 0) {
    double t0[3], t1[3], d[3], x[3], y[3];
    sub3(T1, P1, t1);
    sub3(P1, P2, d);
    cross3(d, t1, x);
    sub3(P1, P0, d);
    cross3(d, t1, y);
    same = dot3(x, y) > 0;
    sub3(T0, P0, t0);
    sub3(P0, P2, d);
    cross3(t0, d, x);
    sub3(P1, P0, d);
    cross3(d, t0, y);
    same = same && dot3(x, y) > 0;
  }
  BSexit(rc, "BSbranch", "bsbranch");
  return same ? BSTRUE : BSFALSE;
}

BSboolean BScotan32(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                    const double T1[3], double out[3]) {
  BSboolean found = BSFALSE;
  do {
    if ((*rc = points_failure({P0, P1, P2, T0, T1})) != 0 || !out) {
      if (!out) *rc = BSRC_NULL_CURVE;
      break;
    }
    // Pascal's line of the hexagon P0 P0 P2 P2 P1 P1 through X1 and X2 meets line P0 P1 on the tangent at P2. A
    // point that does not exist lies at infinity in the direction of its parallel lines.
    int lrc = 0;
    double X1[3], X2[3], Y[3];
    const bool has1 = BSxln(&lrc, P1, P2, P0, T0, X1), has2 = BSxln(&lrc, P2, P0, P1, T1, X2);
    bool met = true;
    if (!has1 && !has2) {
      for (int k = 0; k < 3; ++k) out[k] = P0[k] - P1[k] + P2[k];
    } else if (!has1) {
      for (int k = 0; k < 3; ++k) Y[k] = X2[k] + P1[k] - P2[k];
      met = BSxln(&lrc, P0, P1, X2, Y, out);
    } else if (!has2) {
      for (int k = 0; k < 3; ++k) Y[k] = X1[k] + P0[k] - P2[k];
      met = BSxln(&lrc, P0, P1, X1, Y, out);
    } else if (!BSxln(&lrc, P0, P1, X1, X2, out)) {
      // Pascal's line parallel to P0 P1: the tangent at P2 is too. Any other failure means degenerate data.
      met = lrc == 45;
      if (met)
        for (int k = 0; k < 3; ++k) out[k] = P1[k] - P0[k] + P2[k];
    }
    if (!met) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    found = BSTRUE;
  } while (false);
  BSexit(rc, "BScotan32", "bscotan32");
  return found;
}

BSboolean BSmaxext(int *rc, const int *n, const double *const pts[], const double *const tans[], int *i, int *j) {
  *rc = 0;
  BSboolean found = BSFALSE;
  BSscratch<16> work;
  do {
    if (!n || !pts || !tans || !i || !j) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (*n < 3) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int m = 0; m < *n && *rc == 0; ++m) *rc = points_failure({pts[m], tans[m]});
    if (*rc != 0) break;
    // The points other than a pair, as the pointer list that BSssln reads.
    double *block = work.take((static_cast<std::size_t>(*n) * sizeof(double *) + sizeof(double) - 1) /
                              sizeof(double));
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    const double **others = reinterpret_cast<const double **>(block);
    const int count = *n - 2;
    auto gather = [&](int p, int q) {
      for (int m = 0, o = 0; m < *n; ++m)
        if (m != p && m != q) others[o++] = pts[m];
    };
    int lrc = 0;
    const int genus = BSgenus(&lrc, pts[0], pts[1], pts[2], tans[0], tans[1]);
    if (genus == BSCONIC_ELLIPSE) {
      gather(0, 1);
      if (!BSssln(&lrc, pts[0], pts[1], &count, others)) {
        *rc = 28;
        break;
      }
      *i = 0, *j = 1;
      found = BSTRUE;
      break;
    }
    if (genus != BSCONIC_PARABOLA && genus != BSCONIC_HYPERBOLA) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    // On an open conic the ends are the pair whose tangents close a triangle around all the other points.
    for (int q = 1; q < *n && !found && *rc == 0; ++q)
      for (int p = 0; p < q && !found && *rc == 0; ++p) {
        gather(p, q);
        if (!BSssln(&lrc, pts[p], pts[q], &count, others)) continue;
        double X[3];
        if (!BSxln(rc, pts[p], tans[p], pts[q], tans[q], X)) break;
        double e[3], f[3], x[3];
        sub3(pts[q], pts[p], e);
        sub3(X, pts[p], f);
        cross3(e, f, x);
        const double whole = norm3(x);
        // Q within about dist_tol of the triangle, at every scale: a doubled area per unit of side length.
        const double tol = BStoltab[bstol::dist_tol] * std::max({1.0, norm3(e), norm3(f)});
        bool inside = true;
        for (int m = 0; m < count && inside; ++m) {
          const double *Q = others[m];
          const double *corner[4] = {pts[p], pts[q], X, pts[p]};
          double sum = 0, u[3], v[3];
          for (int side = 0; side < 3; ++side) {
            sub3(corner[side], Q, u);
            sub3(corner[side + 1], Q, v);
            cross3(u, v, x);
            sum += norm3(x);
          }
          inside = std::fabs(sum - whole) <= tol;
        }
        if (inside) *i = p, *j = q, found = BSTRUE;
      }
    if (!found && *rc == 0) *rc = BSRC_NOT_CONIC;
  } while (false);
  BSexit(rc, "BSmaxext", "bsmaxext");
  return found;
}

BSboolean BSconic32(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                    const double T1[3], VOQbsp_curve *cv, double normal_out[3], int *type_out) {
  BSboolean built = BSFALSE;
  do {
    if ((*rc = points_failure({P0, P1, P2, T0, T1})) != 0) break;
    int lrc = 0;
    bool bad = false;
    const double *triples[5][3] = {{P0, P2, P1}, {P0, P2, T0}, {P0, P2, T1}, {P0, P1, T0}, {P2, P1, T1}};
    for (const auto &t : triples) bad = bad || BScollin(&lrc, t[0], t[1], t[2]) || lrc != 0;
    bad = bad || !BSpoint3(&lrc, P0, P2, P1, T0) || !BSpoint3(&lrc, P0, P2, P1, T1);
    double T[3];
    bad = bad || !BSbranch(&lrc, P0, P2, P1, T0, T1) || !BScotan32(&lrc, P0, P2, P1, T0, T1, T);
    if (bad) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double *pts[3] = {P0, P2, P1}, *tans[3] = {T0, T1, T};
    const int n = 3;
    int i = 0, j = 0;
    if (!BSmaxext(&lrc, &n, pts, tans, &i, &j)) {
      *rc = lrc == 43 || lrc == 45 || lrc == 46 || lrc == 28 ? lrc : BSRC_NOT_CONIC;
      break;
    }
    const int k = 3 - i - j;
    if (!BSconicgen3(&lrc, pts[i], pts[j], tans[i], tans[j], pts[k], cv, normal_out, type_out)) {
      *rc = BSRC_NOT_CONIC;
      break;
    }
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSconic32", "bsconic32");
  return built;
}

void BStransconc(const double P1[3], const double P2[3], const double P3[3], const double Q[3], VOQbsp_curve *cv,
                 int *rc) {
  do {
    if ((*rc = points_failure({P1, P2, P3, Q})) != 0) break;
    const double tol = BStoltab[bstol::zero_tol];
    double u1[3], u2[3], u3[3], M[3];
    sub3(P1, Q, u1);
    sub3(P2, Q, u2);
    sub3(P3, Q, u3);
    const double d1 = norm3(u1), d2 = norm3(u2), d3 = norm3(u3);
    // Without the corner direction there is nowhere to put the middle point.
    if (d2 <= tol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int k = 0; k < 3; ++k) u2[k] /= d2;
    if (d1 <= tol || d3 <= tol) {
      for (int k = 0; k < 3; ++k) M[k] = (5 * P2[k] + P3[k] + P1[k]) / 7;
    } else {
      for (int k = 0; k < 3; ++k) u1[k] /= d1, u3[k] /= d3;
      const double a1 = std::acos(std::clamp(dot3(u1, u2), -1.0, 1.0));
      const double a2 = std::acos(std::clamp(dot3(u2, u3), -1.0, 1.0));
      const double r = a1 + a2 > 0 ? d1 + (d3 - d1) * a1 / (a1 + a2) : (d1 + d3) / 2;
      int type = 0, lrc = 0;
      double dist = 0, closest[6], params[2], mid[3];
      if (!BSdistll(&lrc, Q, P2, P1, P3, &type, &dist, closest, params)) {
        *rc = lrc;
        break;
      }
      mid3(closest, closest + 3, mid);
      sub3(mid, Q, mid);
      const double h = norm3(mid);
      const double t = h <= r && r <= d2 ? r : r > d2 ? (4 * d2 + h) / 5 : (4 * h + d2) / 5;
      along(Q, t, u2, M);
    }
    double T1[3], normal[3];
    for (int k = 0; k < 3; ++k) T1[k] = 2 * P3[k] - P2[k];
    int type = 0;
    BSconic32(rc, P1, M, P3, P2, T1, cv, normal, &type);
  } while (false);
  BSexit(rc, "BStransconc", "bstransconc");
}
