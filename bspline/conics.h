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
// nearer the curve's first pole (F1 beside it) and V1, M1 turning the way the curve runs. Poles too unevenly
// weighted for the planarity test are judged on the curve refined once and then on its segments in standard form
// (end weights 1), halved, which evens out weights that fall over the whole curve. rc 3 for a NULL
// record or array; -2 for another order or pole count, a non-finite value, or a hyperbolic or parabolic segment
// whose end weights have a product of at most 3e-10; -1 for poles out of one plane, for weights that even the
// standard form leaves too uneven (an end weight that is not positive), for an ellipse whose first axis is the
// shorter or a negative singular value; -6 for a vanishing middle weight or a degenerate plane or axis; -7 for a
// segment whose three poles are collinear; -13 without memory for the refinement; 33 without scratch memory; 50
// for a segment whose weight changes sign.
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

// ---------------------------------------------------------------------------------------------------------------
// Circular arcs and circles as rational quadratic curves. The record and its arrays are the caller's, with room
// for 7 poles and 10 knots; poles come out weighted. Order 3, rational, non_uniform 1, planar 1, periodic 0;
// one segment (3 poles, knots 0 0 0 1 1 1), two (5 poles, inner knot 1/2 doubled) or three (7 poles, 1/3 and 2/3
// doubled), weights 1, cos h, 1 per segment with h half a segment's sweep. A whole circle is the 3-segment form
// with phy_closed 1 and w = 1/2. Non-finite input gives rc -2, a NULL argument rc 3.

// Segments of an arc of sweep a (radians): 1 up to 2 pi/3, 2 up to 4 pi/3, 3 above. The switches sit at fixed
// literals, so that every routine that must agree on the count agrees.
namespace bsconics {
inline int arc_segments(double a) { return a > 4.188790204786413 ? 3 : a > 2.0943951023932175 ? 2 : 1; }
}  // namespace bsconics

// The arc counter-clockwise about normal from start to end around centre; end is first pulled onto the start's
// radius along its ray. normal_out (may be NULL) receives the unit normal, type_out (may be NULL)
// BSCONIC_CIRCLE. rc -2: two of the points coincide, the normal leans out of the plane of the start and end
// directions (beyond 1e-6), or the tangents of a one-segment arc are parallel; -5: the arc is too flat to carry a
// middle pole; 3: cv or one of its arrays is NULL; -6 from a null normal.
BSboolean BSprepcarc(int *rc, const double start[3], const double centre[3], const double end[3],
                     const double normal[3], VOQbsp_curve *cv, double normal_out[3], int *type_out);
// The arc from p1 through p2 to p3; its ends are exactly p1 and p3. rc -7 for collinear points.
BSboolean BSarc3pts(int *rc, const double p1[3], const double p2[3], const double p3[3], VOQbsp_curve *cv);
// Whole circles about centre, counter-clockwise about the normal. BSprepcirc starts where BSbasisvect's first
// in-plane axis points; rc -2 for a radius at most dist_tol. BSprepcircp starts at point, which must lie within
// dist_tol of the plane through the centre normal to `normal` (rc -2 otherwise, and for a radius or normal of
// length at most dist_tol). A failed frame step answers its own code, or -1.
BSboolean BSprepcirc(int *rc, const double centre[3], const double *radius, const double normal[3],
                     VOQbsp_curve *cv, double normal_out[3], int *type_out);
BSboolean BSprepcircp(int *rc, const double centre[3], const double point[3], const double normal[3],
                      VOQbsp_curve *cv, double normal_out[3], int *type_out);
// The circle of the given radius about centre in a plane normal to (0, 0, 1); rc -2 for a radius <= 0.
BSboolean BScirrdcr(int *rc, const double *radius, const double centre[3], VOQbsp_curve *cv);
// 1, cos(sweep_h), 1.
void BScarcwts(double sweep_h, double weights[3]);
// Radius and centre of curvature at *u from the left and, where the curve has two sides there (*two_sided),
// from the right (otherwise copies of the left). rc -6 for a degenerate curve (curvatures and radii 0,
// centre_left its first pole, centre_right the origin), a vanishing first derivative or a curvature at most
// dist_sqtol; the curvature outputs are then left alone.
BSboolean BSrdcencrcv(int *rc, const VOQbsp_curve *cv, const double *u, BSboolean *two_sided, double *curv_left,
                      double *curv_right, double *radius_left, double *radius_right, double centre_left[3],
                      double centre_right[3]);
// TRUE when all n points (3 doubles each, one after another) coincide within dist_tol. rc 33 without scratch.
BSboolean BScoincida(int n, const double *pts, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Elliptical arcs from centre, semi-axis ends and angles.

// The ellipse through axis_pt1 and axis_pt2 about centre, or its arc from start_angle through sweep_angle
// (counter-clockwise from the first axis towards the second), into the caller's record *cv (room for 7 poles).
// parametric nonzero: the angles are parametric (x = r1 cos t, y = r2 sin t), else measured at the centre.
// axis1, axis2: unit axis vectors or NULL (then from the axis points). normal_given NULL: the axes' normal is
// formed as a check that they are not parallel. start_pt, end_pt: points on the start and end rays, or NULL;
// an angle from a point is always geometric. A sweep_angle of 2 pi gives the whole ellipse (7 poles,
// phy_closed 1). *is_circle = 1 when the radii agree within dist_tol. rc -2: a radius below dist_tol, axes not
// perpendicular within tolerance entry 3, an arc of no sweep, or a non-finite value.
void BSelarptang(const double centre[3], const double axis_pt1[3], const double axis_pt2[3], double start_angle,
                 double sweep_angle, std::int16_t parametric, const double *axis1, const double *axis2,
                 const void *normal_given, const double *start_pt, const double *end_pt, std::uint16_t *is_circle,
                 VOQbsp_curve **cv, int *rc);
// Between the geometric and the parametric angle of an ellipse with radii a, b: the angle whose tangent is
// k tan(angle), k = a/b (to_parametric nonzero) or b/a, in the same quadrant; angles are first brought into
// [0, 2 pi] by whole turns. rc -2 for a radius that is not positive or a non-finite value.
void BSphyparang(double a, double b, double angle, int to_parametric, double *out, int *rc);
// The parameter in [0, 1] at which the arc that BSprepcarc builds for a sweep of total_angle reaches `angle`
// from its start; 1 past the end. A negative total_angle is a clockwise arc, on which a point phi clockwise from
// the start is asked as -phi (angles always count counter-clockwise). rc -2 for a sweep of magnitude below
// 2.220446049250313e-15 or a non-finite value, -1 when no parameter is found.
void BSangarctou(double total_angle, double angle, double *u, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Arc and circle tests: whether a curve is a circular arc, the circle through three points, and the circle
// description that the polyline extension keeps.

// The fields of the polyline extension's circle description that BScirc_prop fills, in their order; the
// extension routine owns the record and gives the other fields their meaning.
struct BScircdesc {
  std::uint16_t done;  // set to 1 on every call
  std::uint16_t kind;  // 6 asks for the end point, end direction and end angle as well
  double centre[3], start[3], end[3], normal[3];
  double start_dir[3], end_dir[3];  // unit vectors from the centre
  double radius, end_angle;
  const VOQbsp_curve *curve;
};
static_assert(sizeof(BScircdesc) == 176, "the circle description keeps its layout on both platforms");

// rc of the circle recognition for a curve that is not a circle in the standard form (absorbed by BSgeocrcbsp).
enum : int { BSRC_NOT_CIRCLE = -12 };

// Whether a rational curve is a circular arc within tol. *is_arc: 0 not an arc (a polynomial or order-2 curve
// without any evaluation), 1 an open arc, 2 a whole circle (its ends coincide); for 1 and 2 the centre, the
// radius and the arc rebuilt in the standard form of BSprepcarc or BSprepcircp into *arc (room for 7 poles),
// else centre and radius 0. One segment is judged by its equal control legs and the distances from the centre
// to its ends and middle, several by the centres and radii of curvature at the nodes. rc 3 for a NULL argument,
// -2 for a malformed curve, a value that is not finite or a tol that is negative or not finite, 33 without
// scratch memory.
void BStstcvarct(const VOQbsp_curve *cv, double tol, std::uint16_t *is_arc, double centre[3], double *radius,
                 VOQbsp_curve *arc, int *rc);
// BStstcvarct at the distance tolerance.
void BStstcvfarc(const VOQbsp_curve *cv, std::uint16_t *is_arc, double centre[3], double *radius, VOQbsp_curve *arc,
                 int *rc);
// Whether a rational quadratic curve is an arc by its radii of curvature at the ends and nodes: *answer 0 when
// they differ by more than chrdht_tol (or a piece is straight), 2 when all lie within 0.1 dist_tol of their mean,
// else 1; *radius the mean for 1 and 2.
void BStstdrkarc(const VOQbsp_curve *cv, int *answer, double *radius, int *rc);
// The circle through three points: centre, radius and the unit normal (P2 - P1) x (P0 - P1). FALSE with rc -2
// for coincident or collinear points or a value that is not finite.
BSboolean BScircprop(int *rc, const double P0[3], const double P1[3], const double P2[3], double centre[3],
                     double *radius, double normal[3]);
// Fills the description of the arc d->curve from its first three distinct poles (on-curve, corner, on-curve):
// centre, start, normal, unit start direction and radius; for kind 6 also the last pole as end, its unit
// direction and its angle about the normal from the start direction. rc 3 without a record or curve; the
// fields written before a failing step stay.
void BScirc_prop(BScircdesc *d, int *rc);

// The angle in [0, 2 pi] of p about centre, counter-clockwise from x towards y, and its quadrant 1 to 4. A point
// within dist_tol of an axis (an angle of dist_tol / |p - centre| once that exceeds 1) lies on it: angles 0,
// pi/2, pi and 3 pi/2 exactly, in quadrants 1, 2, 3 and 4. from_points 0: x and y are the unit axes; else they
// are points whose directions from the centre are. n is not read. rc -6 for p at the centre, -2 for a value
// that is not finite.
void BSangqdofpt(std::int16_t from_points, const double centre[3], const double x[3], const double y[3],
                 const double n[3], const double p[3], std::int16_t *quadrant, double *angle, int *rc);
// The first run of m consecutive poles (divided by the weights when weights is not NULL) that lie pairwise
// farther apart than dist_tol: copied to out (m points), *first its index. A pole close to one of the run
// restarts the run there. rc -6 when there is no such run, -2 for m < 1, a NULL array or a value that is not
// finite, 33 without scratch memory.
void BSgetndgpts(int n, const double *poles, const double *weights, int m, double *out, int *first, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Recognition of a planar rational quadratic circle. Coefficients in rows: n x values, n y values, n weights (the
// coordinates weighted); knots n + 3. A 2 x 2 frame is row by row: the unit tangent at the middle parameter
// turned clockwise, then the tangent.

// Whether the curve is a counter-clockwise circular arc whose spans all carry the same symmetric weight function
// (the form of BSprepcarc and BSprepcirc), within tol: *is_circle 1 with the centre, the middle point of the arc
// and half its sweep. work (3n doubles) receives the canonical unit circle with the same weights. Another degree,
// dimension or a polynomial curve is no circle (rc 0). rc -2 for a NULL array, n < 3, a tol not finite or <= 0,
// or a value that is not finite; -1 when the canonical rows disagree at a joint; 33 without scratch memory.
void BSgeocrcbsp(int degree, int n, const double *knots, int dim, int rational, const double *coef, double tol,
                 int *is_circle, double centre[2], double mid_point[2], double *work, double *sweep, int *rc);
// The canonical unit circle's weighted x and y rows for the weight row, its middle at angle 0, and half its
// sweep. rc -12 when the weights are not those of a circle in the standard form.
void BSclccvsvrv(int n, const double *weights, const double *knots, double *row_x, double *row_y, double *sweep,
                 int *rc);
// The curve's point and frame at the middle of its parameter range.
void BSlocfrmcrc(int n, const double *knots, const double *coef, double point[2], double frame[4], int *rc);
// out = matrix (dim x dim, row by row) times the dim coordinate rows; the weight row is copied after them.
void BStrbsnf(int n, int dim, const double *coef, const double *matrix, double *out, int *rc);
// The centre's coordinate along the frame's first axis (c1) and its second (c2) from the rotated rows and the
// canonical rows in work; y0 is the middle point's first coordinate. rc -12 when a pole misses the fit by more
// than tol, 33 without scratch memory. Neither reports to the trace.
void BScrcctrn(int n, const double *rotated, double y0, const double *work, double tol, double *c1, int *rc);
void BScrcctrt(int n, const double *rotated, double y0, const double *work, double c1, double tol, double *c2,
               int *rc);

// ---------------------------------------------------------------------------------------------------------------
// General conic arcs from points, tangents and a shoulder value. The record and its arrays are the caller's, with
// room for 7 poles and 10 knots and a weights array. A parabola comes out polynomial (weights, when the array
// exists, all 1), a hyperbola as one or two rational segments with end weights 1, an ellipse or circle in the
// circular-arc form of BSprepcarc (1 to 3 segments); the end poles are the given end points exactly. normal_out
// and type_out may be NULL. A failing builder leaves num_poles and num_knots 0. An ellipse is rebuilt through its
// axis frame and carries that frame's rounding, about 1e-16 of its major axis: within 1e-6 of the parabola's
// shoulder 1/2 (where the major axis grows without bound) that is up to 1e-10 of the arc's size.

// The arc from A to B, tangent to the lines A-TA and B-TB, through S. rc -2: A, B, TA, TB not in one plane or S
// farther than dist_tol from it; a tangent point within dist_tol of its end point or of the chord line AB (or a
// cross product c x dA shorter than dist_tol); S outside the angle of the tangents, on the chord (area below
// dist_tol) or on a tangent line; S beyond the chord of a parabola or hyperbola. rc -1 when the record or its
// arrays are missing or a step fails; 3 for a NULL point.
BSboolean BSconicgen3(int *rc, const double A[3], const double B[3], const double TA[3], const double TB[3],
                      const double S[3], VOQbsp_curve *cv, double normal_out[3], int *type_out);
// Writes the arc: form 1 the segment A, D, B of shoulder rho (weights 1 - rho, rho, 1 - rho); form 3 the two
// segments A2, Q0, M and M, Q2, B2 of shoulder rho_half each (knots 0 0 0 .5 .5 1 1 1). The points of the other
// form are not read (may be NULL). The type follows from the first segment; normal_out is the unit normal of its
// triangle. rc 3 for a missing record, poles, knots or point, or weights for a rational result; -2 for another
// form or a shoulder outside (0, 1) or not finite; -6 for a degenerate triangle.
BSboolean BSconicgen4(int *rc, VOQbsp_curve *cv, const int *form, int *type_out, const double *rho,
                      const double *rho_half, const double A[3], const double D[3], const double B[3],
                      const double A2[3], const double Q0[3], const double M[3], const double Q2[3],
                      const double B2[3], double normal_out[3]);
// Empties the record as an order-3 planar curve (non_uniform 1, periodic 0, no poles, knots or boundaries). rc -2
// for a NULL record, poles or knots.
BSboolean BSconicgen0(int *rc, VOQbsp_curve *cv);
// The arc A, D, B of shoulder rho (below 1; negative for the far side of the chord) split at its shoulder point
// M: outputs A, Q0, M, M, Q2, B and the shoulder of each half. BSrhosplit2: the half ellipse between the
// parallel tangents A + t dir and B + t dir, Q0 = A + s dir, Q2 = B + s dir, rho_half sqrt 2 - 1. rc -2 for a
// value that is not finite or out of range, 3 for a NULL input.
BSboolean BSrhosplit1(int *rc, const double A[3], const double D[3], const double B[3], const double *rho,
                      double A_out[3], double Q0[3], double M[3], double M_again[3], double Q2[3], double B_out[3],
                      double *rho_half);
BSboolean BSrhosplit2(int *rc, const double A[3], const double B[3], const double dir[3], const double *s,
                      double A_out[3], double Q0[3], double M[3], double M_again[3], double Q2[3], double B_out[3],
                      double *rho_half);
// The arc through P0, P1 and P2 tangent at P0 to the line P0-T0 and at P2 to P2-T1. rc -2: collinear or
// non-coplanar data, points on two branches, no tangent at P1; 43, 45, 46 when the tangent lines of the end pair
// do not meet; -1 when no end pair is found or the arc cannot be built.
BSboolean BSconic32(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                    const double T1[3], VOQbsp_curve *cv, double normal_out[3], int *type_out);
// TRUE when, seen from the tangent line P0-T0 and from P1-T1, the two other points lie on one side.
BSboolean BSbranch(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                   const double T1[3]);
// A point out of the tangent line at P2 of the conic through P0, P1, P2 tangent to P0-T0 and P1-T1. rc -1 when
// the construction has no point.
BSboolean BScotan32(int *rc, const double P0[3], const double P1[3], const double P2[3], const double T0[3],
                    const double T1[3], double out[3]);
// The indices of the end points of the arc through n >= 3 points with tangent points tans. An ellipse (genus of
// the first three points) ends at points 0 and 1 (rc 28 when the others are not all on one side of them); an
// open conic at the first pair whose tangent lines meet in X with every other point inside the triangle of the
// pair and X. rc: the code of BSxln when those tangent lines do not meet; -1 when no pair fits or the genus is
// not found; -2 for n < 3 or a value that is not finite.
BSboolean BSmaxext(int *rc, const int *n, const double *const pts[], const double *const tans[], int *i, int *j);
// The conic that rounds the offset corner P1, P2, P3 (P2 where the offset tangents meet) about the corner Q of the
// curves before the offset: from P1 to P3, tangent to P1-P2 and P2-P3, through a middle point M on the ray from
// Q towards P2. rc -2 when P2 is at Q (tolerance entry 16); otherwise BSconic32's.
void BStransconc(const double P1[3], const double P2[3], const double P3[3], const double Q[3], VOQbsp_curve *cv,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Extension of conic arcs (bspline/conics/conic_extension.cpp). The arc is an order-3 curve of type 6 to 9, rational or
// (a parabola) polynomial; pieces and complements come out in the form of the builders above.

enum : int {
  BSRC_CONIC_TYPE = 16,  // a conic type outside 6 .. 9
  BSRC_ARC_CLOSED = -12, // an arc that is already closed has no complement
};

// The arc continued along its conic into out: an ellipse or circle completed to the whole closed curve (the
// complement of BSarccomp joined after the arc, so out starts where the arc starts; an arc already closed, or
// whose ends lie within dist_tol, is copied with phy_closed 1 and weights 1 for a polynomial input), a parabola
// or hyperbola lengthened by the pieces of BSphypxtnd before and after it. The knots are then normalised and
// set by arc length (BSarclnparc); out is rational except for a polynomial parabola. out needs room for
// num_poles + 6 poles. rc 3 for a NULL argument or a missing out array (weights included), 16 for a type outside
// 6 .. 9, -2 for an order other than 3, the record's code for a damaged curve; FALSE on any failure.
BSboolean BSconextend(int *rc, const std::int16_t *type, const VOQbsp_curve *cv, VOQbsp_curve *out);
// The arc of the ellipse or circle of cv's first segment that closes cv, from cv's end to its start, into comp
// (room for 7 poles and 10 knots), built by BSconicgen3 (ellipse) or BSprepcarc (circle). normal: the unit
// normal of cv's plane; unweighted_poles: cv's poles divided by their weights. rc -2 for fewer than 3 poles, an
// order other than 3 or a first segment that is no ellipse or circle; -12 for a closed cv; -1 when the opposite
// point of an end of an arc of more than half an ellipse is not found on it.
BSboolean BSarccomp(int *rc, const double normal[3], const VOQbsp_curve *cv, const double *unweighted_poles,
                    VOQbsp_curve *comp);
// One-segment pieces of the parabola (type 6) or hyperbola (7) of cv before its start and after its end, each
// meeting cv with a common tangent: poles, 6 knots 0 0 0 1 1 1, end weights 1, rational as cv. The records need
// room for 3 poles (weights when cv is rational). rc -2 for another type or order, a hyperbola span whose
// w0 w2 / w1^2 exceeds 1 (an ellipse) or whose continuation has a vanishing weight; 3 for a NULL argument. The
// records are written only on success.
BSboolean BSphypxtnd(int *rc, const std::int16_t *type, const VOQbsp_curve *cv, VOQbsp_curve *before,
                     VOQbsp_curve *after);
