// Joins, fillets and extensions of curve ends. End-pole moves (bspline/end_pole_moves.cpp): a pole next to an
// end is moved to a prescribed point and the poles between it and the far end follow by chord length, so the
// curve keeps its end points and does not kink.
#pragma once

#include "bspline/bspline.h"

// Poles 1 and num_poles - 2 of curve (in place) moved to first_point and last_point (Cartesian, also for a
// rational curve) as the flags ask, the poles between following: the first move, then the last on its result.
// Poles 0 and num_poles - 1 never move. Neither flag: nothing. rc -1 for any failure (fewer than 4 poles, a NULL
// argument, a point, pole or weight that is not finite, a weight that is not positive, no memory); the curve is
// then untouched.
void BSmodcvtnpl(VOQbsp_curve *curve, BSboolean move_first, const double first_point[3], BSboolean move_last,
                 const double last_point[3], int *rc);
// Point k of the row of n points (rows of 3) moved to new_point, points 0 .. k following from point 0 and
// points k .. n - 1 from point n - 1 by chord length; the row's ends stay unless k is one of them. out NULL
// works in place. rc -2 for k outside 0 .. n - 1, fewer than 2 points or a point that is not finite; 3 for a
// NULL row or point; -13 without memory; out is written only on success.
void BSmodshppts(int n, double *points, int k, const double new_point[3], double *out, int *rc);
// The last point (which 0) or the first (which nonzero) of the row moved to new_point, interior point i moved
// by the same displacement scaled by its chord-length distance from the fixed end over the whole length (by
// its index over n - 1 when all points coincide). Errors as BSmodshppts.
void BSmodnplpts(int n, double *points, int which, const double new_point[3], double *out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Circular fillets (bspline/fillets.cpp). side1 and side2 are points on or near the first and the second curve
// (their perpendicular feet seed the search), corner the point on whose side of each curve the centre lies. The
// whole tolerance table is the same after each call as before, on every path. Return codes: -1 for curves that
// are a point or spatial, not in one plane, parallel or non-meeting lines, a tangent point off its curve; -6 when
// Newton needs 25 iterations or more or the arc degenerates; -2 for a radius at or below 0 or not finite (the table
// untouched), a non-finite point, or a normal that cannot be had; 33 without scratch memory.

// The arc of the radius tangent to two curves of one plane, from the tangent point on cv1 (parameter par[0]) to
// the one on cv2 (par[1]), into arc (room for 7 poles, 7 weights and 10 knots), and its centre. A radius below
// basis_tol sets the dependent tolerances from a thousandth of it for the call.
BSboolean BSfillet(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double side1[3],
                   const double side2[3], const double corner[3], const double *radius, VOQbsp_curve *arc,
                   double centre[3], double par[2]);
// The point at distance r from a planar curve at u along its in-plane normal turned toward ref.
BSboolean BSoffsetpt(int *rc, const VOQbsp_curve *cv, const double *u, const double ref[3], const double *r,
                     double out[3]);
// That unit normal (the mean tangent at a corner knot); -2 for a curve that is not planar, ref on the curve, or
// a tangent of length 0.
BSboolean BSget_u_nor(int *rc, const VOQbsp_curve *cv, const double *u, const double ref[3], double nor[3]);
// f = offset point of cv2 at u2 minus that of cv1 at u1.
BSboolean BSeval(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double *u1, const double *u2,
                 const double *r, const double ref[3], double f[3]);
// Start values: the feet of the side points (their nearest points where there is no foot), replaced by the best
// of n x n samples in windows around them (ties to the later sample).
BSboolean BSgoodstart(int *rc, const int *n, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double side1[3],
                      const double side2[3], const double ref[3], const double *r, double start[2]);
// The Newton residual of BSfillet: x clamped into the curves' ranges, f the xy part of BSeval.
BSboolean BSfilletres(int *rc, double x[2], double f[2], void *data_address);
// The fillet between two pieces that are nearly in the plane through cv1's first pole normal to normal: the planar
// fillet of their projections along normal, with 5 poles at least (a 3-pole arc gets the middle of its range as a
// double knot), its two end poles on each side lifted onto the tangent line of the piece in space. result is a
// caller-allocated rational record; an arc with more poles than result->num_poles on entry gives -2 with result
// untouched. -1 also when a tangent parameter cannot be found within dist_tol or a lift misses the tangent line by
// dist_tol or more; result then holds partly lifted Cartesian poles and is not a curve.
void BSfillet3d(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double radius, const double side1[3],
                const double side2[3], const double corner[3], const double normal[3], VOQbsp_curve *result,
                int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Conic arcs lengthened or shortened by an arc length (bspline/conic_extension.cpp): the arc is continued to its
// whole extended conic (BSconextend, bspline/conics.h) and the result cut out of that.

// Codes beyond the core's.
enum : int {
  BSRC_CONIC_TOO_SHORT = 5,  // the extended conic holds less than the requested length: the longest arc is given
  BSRC_ZERO_STRETCH = 35,    // BSptsdlcv: no length between the start parameter and the far end
};

// The conic arc curve (order 3, open, of conic type mode 6 .. 9) lengthened (dist > 0) or shortened at one end so
// that its arc length changes by dist: at its end when par lies in the second half of its range, else at its
// start, the other end staying where it is and the result running the input's way. *out is the caller's
// BSallocvoqcv record, its num_poles the room it has: a larger result, and the weight normalisation at the moved
// end, may replace it by a new record (the old one released). An ellipse or circle lengthened to its whole
// perimeter or more gives the whole closed conic. Tolerance entry 15 is lowered to |dist| / 100 during the call
// and has its old value again on every return. rc -2: order not 3, |dist| below dist_tol, par outside the range,
// a closed arc, a mode outside 6 .. 9, a non-finite dist or par, or a shortening that leaves less than dist_tol;
// -1: an end of the arc not found on its extended conic; 5: the extended conic holds less than the target (the
// longest arc is in *out); 3: a NULL argument; callees' codes pass through.
void BScncxtdst(std::int16_t mode, VOQbsp_curve *curve, double dist, double par, VOQbsp_curve **out, int *rc);
// The point at arc length *dist (>= 0) from *from_par along cv, towards the side where toward_point's foot on cv
// lies (within half a turn of a closed curve). Past the far end a closed curve runs on over its seam; an open one
// continues along the polynomial (or rational) continuation of its end span (BSpoly_ext), rc -2 when that is
// shorter than needed. The side is that of toward_point's perpendicular foot, or of its nearest point when it has
// none (beyond an end). rc 35 for no length between *from_par and the far end, -2 for a non-finite or
// out-of-range argument; point_out is written only on success.
BSboolean BSptsdlcv(int *rc, VOQbsp_curve *cv, const double *from_par, const double toward_point[3],
                    const double *dist, double point_out[3]);
