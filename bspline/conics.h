// Conics as rational quadratic curves: recognising which conic a planar quadratic curve lies on and reporting its
// geometry (centre, semi-axes, foci, vertices, ends of the minor axis), and the power and normal forms of a
// quadratic segment behind it.
//
// Conventions are the core's (bspline/bspline.h): rc set to 0 on entry and nonzero on failure, every routine
// leaving through BSexit under its exact name, 16-bit booleans, points and vectors as arrays of 3 doubles.
// Outputs that a conic type does not fill, and every output of a failing call, are left as the caller had them;
// a NULL output pointer is skipped.
#pragma once

#include "bspline/bspline.h"

#include <cstdint>

// Conic type codes, shared with the routines that build conic arcs.
enum : int {
  BSCONIC_PARABOLA = 6,
  BSCONIC_HYPERBOLA = 7,
  BSCONIC_ELLIPSE = 8,
  BSCONIC_CIRCLE = 9,
};

// Codes beyond the core's.
enum : int {
  BSRC_NOT_CONIC = -1,       // poles not in one plane; an ellipse whose first axis is the shorter; a negative
                             // singular value
  BSRC_COLLINEAR_POLES = -7, // the three poles of a segment lie on one line
  BSRC_NO_NORMAL_FORM = 50,  // the weight of a segment changes sign or vanishes at an end; non-finite values
};

// ---------------------------------------------------------------------------------------------------------------
// Conic properties. Outputs in this order after the type: centre Z; a (radius of a circle, major semi-axis of an
// ellipse, real semi-axis of a hyperbola); b (minor semi-axis of an ellipse); foci F1, F2; vertices V1, V2 on the
// major axis; ends M1, M2 of the minor axis. Filled per type:
//   6 parabola   F1 (focus), V1 (vertex)
//   7 hyperbola  Z, a, F1 and V1 on the branch of the segment, M1 and M2 = V1 -/+ b along the minor direction
//   8 ellipse    all
//   9 circle     Z, a (and b = a when BSconicprp finds the circle from the power form)

// An order-3 curve of 3, 5, 7 or 9 poles, judged on its longest non-degenerate span. An ellipse has V1 the vertex
// nearer the curve's first pole (F1 beside it) and V1, M1 turning the way the curve runs. rc -2 for another order
// or pole count or a non-finite value, -1 for poles out of one plane, -13 without memory for the refinement that
// unevenly weighted poles need, 50 for a segment whose weight changes sign.
void BSconicprp(const VOQbsp_curve *cv, int *type, double Z[3], double *a, double *b, double F1[3], double F2[3],
                double V1[3], double V2[3], double M1[3], double M2[3], int *rc);

// One segment with unweighted poles P0, P1, P2 and weights w0, w1, w2 in the plane of unit normal `normal`.
// rc -7 for collinear poles, -2 for w0 w2 <= 3e-10 or a non-finite value, -6 for |w1| <= 3e-10.
BSboolean BScncprop(int *rc, const double normal[3], const double P0[3], const double P1[3], const double P2[3],
                    const double *w0, const double *w1, const double *w2, int *type, double Z[3], double *a,
                    double *b, double F1[3], double F2[3], double V1[3], double V2[3], double M1[3], double M2[3]);

// ---------------------------------------------------------------------------------------------------------------
// Centre and principal semi-axes of an elliptic segment: the segment is Z + A1 cos t + A2 sin t up to a change of
// parameter, with |A1| >= |A2| (a circle: two perpendicular radii). rc -2 when the segment is not elliptic.

// bez: order 3, 3 poles, rational (else rc -2).
void BSbsp2conic_n(const VOQbsp_curve *bez, double Z[3], double A1[3], double A2[3], int *rc);
// coef: the power form on [-1, 1] of (x w, y w, z w, w), component after component (x0 x1 x2 y0 ... w2); it is
// replaced by its normal form when the weight has a linear term. rational 0 (a polynomial form) gives rc -2.
void BScan2conic_n(int rational, double coef[12], double Z[3], double A1[3], double A2[3], int *rc);
// The normal form of a rational quadratic in power form (ncomp components of 3 coefficients, the weight last):
// the same curve under a rational change of parameter that keeps s = -1 and s = 1 and clears the weight's linear
// term. out may be coef. rc 50 when the end weights have opposite signs or one is 0, or a value is not finite.
void BSnormfrdg2_n(int ncomp, const double *coef, double *out, int *rc);
// Bezier coefficients (degree + 1 per component) to the power form on [-1, 1]; pow must not overlap bez.
void BSbeztopow(int ncomp, int degree, const double *bez, double *pow);

// ---------------------------------------------------------------------------------------------------------------
// Plane of a rational quadratic Bezier segment (order 3, 3 poles, rational; else rc -2).

// Two vectors spanning the plane; both zero when the segment's coefficient vectors are shorter than tol.
void BSbezprop(const VOQbsp_curve *bez, double tol, double A[3], double B[3], int *rc);
// The unit normal of that plane.
void BScncbeznrm(const VOQbsp_curve *bez, double normal[3], int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Conic type before any curve exists.

// An axis direction alpha u + beta v (unit length) of the conic with Bezier triangle legs u = P0 - P1 and
// v = P2 - P1 (uu = u.u ...), k4 = k / 4 with k = w0 w2 / w1^2, G = uu vv - uv^2 and lambda a root of
// lambda^2 - 2 f lambda + G (k - 1). Always TRUE.
BSboolean BSeigcon(int *rc, const double *uu, const double *uv, const double *vv, const double *k4, const double *G,
                   const double *lambda, double *alpha, double *beta);
// The type (6, 7 or 8) of the conic through A and B with tangent lines A-TA and B-TB that passes through M;
// 0 with rc -2 for a tangent of zero length, a non-finite value or M on a tangent line.
std::int16_t BSgenus(int *rc, const double A[3], const double B[3], const double M[3], const double TA[3],
                     const double TB[3]);
