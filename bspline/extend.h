// Joins, fillets and extensions of curve ends. End-pole moves (bspline/extend/end_pole_moves.cpp): a pole next to an
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
// Circular fillets (bspline/extend/fillets.cpp). side1 and side2 are points on or near the first and the second curve
// (their perpendicular feet seed the search), corner the point on whose side of each curve the centre lies. The
// whole tolerance table is the same after each call as before, on every path. Return codes: -1 for curves that
// are a point or spatial, not in one plane, parallel or non-meeting lines, a tangent point off its curve; -6 when
// Newton needs 25 iterations or more, the offsets are still apart where it stops, or the arc degenerates; -2 for a
// radius at or below 0 or not finite (the table untouched), a non-finite point, or a normal that cannot be had; 33
// without scratch memory.

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
// Conic arcs lengthened or shortened by an arc length (bspline/conics/conic_extension.cpp): the arc is continued to its
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

// ---------------------------------------------------------------------------------------------------------------
// Two curves connected end to start (bspline/extend/curve_connection.cpp). The inputs are only read; an input that is
// not clamped is worked on (and handed out) as its clamped copy, so that end poles are end points. A NULL curve
// answers rc 3; non-finite poles, weights or knots, a weight that is not positive, an order below 2 or an empty
// parameter range answer -2.

enum : int {
  BSRC_EXTENSIONS_APART = -12,  // BSlinxcvcv: the straight extensions neither cross nor overlap
};

// cv1's end joined to cv2's start. mode 0: both trimmed (or extended) where their straight extensions cross
// (BSlinxcvcv, ends {1, 0}); extensions that never meet fall back to a connecting line with rc 0. mode 2: cv1's
// last pole moved onto cv2's start (reweighted when rational) when cv1's end is straight and the gap runs along
// it; mode 3 and above: cv2's first pole onto cv1's end likewise; otherwise, and for mode 1 and every other value
// below 2, a connecting line. With a line, *first is the copy of cv1, *second the line (order 2, 2 poles, not
// rational) and *third the copy of cv2; without one, *first and *second are the connected curves and *third is
// not written. The records are new (BSallocvoqcv) and the caller's to release. A gap shorter than dist_tol is
// closed by the pole move in modes 2 and 3; in mode 1 it answers -6 (BSlngen). On failure nothing stays
// allocated and the three output pointers are NULL. Callees' codes pass through; -2 also for a closed curve in
// mode 0.
void BSlineconcvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int mode, VOQbsp_curve **first,
                  VOQbsp_curve **second, VOQbsp_curve **third, int *rc);
// The selected ends (ends[i] 0 the start, 1 the end) of cv1 and cv2 brought together: mode 0 changes both, 1 only
// cv1, 2 only cv2; out1 and out2 receive the curves (changed or copied) and need room for num_poles - 2 + 2 order
// poles of their curve. Ends closer than dist_tol meet at their midpoint (mode 0), at cv2's end (1) or at cv1's
// end (2) by moving end poles. Otherwise the changing curves are extended straight (BSlinxcvext) and intersected:
// of the crossings the one with the least distance to the changing ends wins (the first of equal ones); with
// only common stretches, the stretch end nearest the scanned curve's end (cv2's in mode 2, else cv1's), which in
// mode 0 moves halfway back towards cv1's end, cv2 following by projection. Each changing curve is trimmed there
// to its far end; in mode 0 both junction poles then lie on their midpoint. rc -2 for a closed curve or an ends
// or mode value out of range, -12 when the extensions do not meet, -1 when the mode-0 junction of a common
// stretch projects farther than 10 dist_tol; 33 without scratch memory.
void BSlinxcvcv(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const int ends[2], int mode, VOQbsp_curve *out1,
                VOQbsp_curve *out2, int *rc);
// curve extended straight at its end (at_end nonzero) or start, end_param being that end's parameter (within the
// knot tolerance; -2 otherwise), P and D the point and derivative there: order 2 moves the end pole to P + 10 D
// (P - 10 D at the start), keeping its weight; a higher order k gets a straight polynomial piece of k evenly
// spaced poles out to P + 10 D on a parameter range ten times the curve's, joined at the end (BScomb2cvs, whose
// rc 59 passes for an end derivative too short to extend), its end weights brought to 1 when rational. out needs
// room for num_poles - 2 + 2k poles and num_poles - 2 + 3k knots.
void BSlinxcvext(const VOQbsp_curve *curve, double end_param, BSboolean at_end, VOQbsp_curve *out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Polynomial continuation of a curve end (bspline/extend/end_continuation.cpp): the end span's polynomial (homogeneous for
// a rational curve) runs on past the end, so the old range keeps its points. Orders above 16 answer rc -2; a
// target that is not finite, or inside the range (its ends included), answers -2.

// Codes beyond the core's.
enum : int {
  BSRC_BLOWS_UP = 12,            // the continued poles run away (one moves 10000 times farther than the one before)
  BSRC_WEIGHTS_UNREPAIRED = 50,  // order - 1 knots at the old end did not lift the weights to a quarter of the mean
  BSRC_CLOSES_CIRCLE = 56,       // the continuation of a circular arc would close the circle
};

// The continuation flag: 0 nothing limited the continuation; 1 it was cut back before a turning point, or the
// curve is not continued at all (a short result is to be finished with a straight piece); 2 it runs back over the
// curve and is valid up to the self-overlap nearest the old end.

// cv continued to target (beyond its end, or before its start), checked by BSxtpolcv01: *out a new BSallocvoqcv
// record (the caller releases it with BSfreevoqcv), *reached the parameter up to which the continuation is valid,
// *flag as above. When the pole continuation fails, the end span's Bezier form is continued instead (BSpolyextfc)
// and joined on. rc 56 for an arc that would close its circle, -1 when the check leaves no result, else the codes
// of the routines below; on any failure *out is NULL.
void BSextpolcv0(const VOQbsp_curve *cv, double target, std::uint16_t *flag, VOQbsp_curve **out, double *reached,
                 int *rc);
// The continuation itself: BSxtpolcvrc from level 0.
void BSxtpolcv00(const VOQbsp_curve *cv, double target, VOQbsp_curve **out, double *reached, int *rc);
// One level of it (*level counts the levels). A rational continuation whose weights fall below a quarter of their
// mean is retried up to the parameter where the end span's weight function reaches 0.004 (at most 10 levels, rc -1
// beyond); where the weights dip without reaching it, knots at the old end are inserted (rc 50 when order - 1 do not
// suffice). *out is NULL on failure.
void BSxtpolcvrc(const VOQbsp_curve *cv, double target, int *level, VOQbsp_curve **out, double *reached, int *rc);
// The pole arithmetic on raw arrays: dim 3 (poles) or 4 (weighted poles with their weight), num_poles of them, the
// range [start, end] and knots of the curve: the order - 1 poles at the continued end replaced by the blossom of the
// end span with the target for the end knots, and those order knots set to the target. The outputs may be the
// inputs. rc 12 when the poles blow up (dim 3 only) or would move the old range.
void BSextpolcv1(int dim, int order, int num_poles, const double *poles, const double *knots, double start, double end,
                 double target, double *out_poles, double *out_knots, int *rc);
// The Bezier span continued past its end (at_end) or start to factor (at least 2) times its parameter length, into
// out (room for 2 order - 1 poles), the span's own range kept at the other side; a rational span whose weights would
// fall below a quarter of their mean is continued less far, as two spans. rc -2 for a span that is not a single open
// span of order 2 .. 16 or a factor below 2; -1 when no shorter reach gives usable weights.
BSboolean BSpolyextfc(const VOQbsp_curve *bezier, BSboolean at_end, int factor, VOQbsp_curve *out, int *rc);
// The check of a continuation (the whole continued curve `continued`, valid up to reached_in) of cv: one that has
// turned back is cut before the turning point (flag 1, continued again up to there); one that runs back over the
// curve keeps its record, with *reached the overlap end on the continuation nearest the old end (flag 2); one that
// crosses the curve is dropped (*out a copy of cv, flag 1). A turn that cannot be placed leaves *out NULL with rc 0.
// A failure of the self-intersection test leaves the continuation unchecked and is not reported. reached_in inside
// cv's range: *out a copy of cv.
void BSxtpolcv01(const VOQbsp_curve *cv, BSboolean is_arc, const VOQbsp_curve *continued, double reached_in,
                 std::uint16_t *flag, VOQbsp_curve **out, double *reached, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Curve ends lengthened or shortened by an arc length (bspline/extend/arc_length_extension.cpp). The end is the one nearer,
// in parameter, to the nearest point of end_point on the curve (its first nearest parameter, else the start of its
// first interval of nearest points; neither answers rc -1). dist > 0 lengthens, dist < 0 shortens, dist 0 gives a
// copy. *out is the caller's BSallocvoqcv record, its num_poles (num_knots, weights) on entry the room it has: a
// larger result replaces it by a new record (BSreallocvoqcv, the old one released); the changed end of a rational
// result gets weight 1 (which may replace it too). Curves whose poles lie on one line are lengthened or shortened
// along it; poles at one point answer -2. A shortening that leaves less than dist_tol gives a curve of the curve's
// order with all poles at the far end point, over the old range. Return codes: 3 a NULL argument; -2 a damaged
// record (or its check's code), a non-finite dist or point, a shortening longer than the curve; callees' codes pass.

enum : int {
  BSRC_EXTENSION_SHORT = 5,  // the continuation of the end span holds less than dist (BSpolyxd0; BSpolxtdst0 then
                             // gives its longest trial)
};

// The end span's polynomial continued in parameter steps of dist over the end speed (BSextpolcv0) until the added
// piece holds dist, then continued to the parameter at dist along it: the old range keeps its points and the new
// end lies on the continued polynomial. A continuation cut before a turning point, or doubling over the curve from
// the end itself (an end that stands still), gives the straight extension (BSpolxtdlin); one limited at its
// self-overlap short of dist gives the continuation up to there; a rational one whose end weight passes 4.0 short
// of dist stops there; after 10 further steps short of dist BSpolyxd0 takes over, and its rc 5 gives the last trial
// with rc 5. *achieved: dist, or the length added where it stops short.
// A lengthening below dist_tol, which no length measure resolves, takes the one step. A closed curve to be
// lengthened answers -2, as does one of order above 16 that is not straight (BSextpolcv0).
void BSpolxtdst0(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out,
                 double *achieved, int *rc);
// BSpolxtdst0 without the achieved length.
void BSpolyxtdst(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out, int *rc);
// The same by one construction: the end span's Bezier form continued (BSpoly_ext, then BSpolyextfc farther when
// that holds less than dist; rc 5 with *out untouched when neither does), cut at dist and joined on. A piece that
// meets the curve anywhere but at the joint answers -2, as do a closed curve, a shortening by more than the
// length less dist_tol, a lengthening below dist_tol (too short a piece to cut) and one of order above 16.
void BSpolyxd0(const VOQbsp_curve *curve, const double end_point[3], double dist, VOQbsp_curve **out, int *rc);
// The straight extension of the clamped curve at its end (at_end) or start by dist along the end leg (from the
// nearest pole that differs from the end pole), length being the curve's arc length: dist <= 0 gives one straight
// curve of the curve's order from the far end pole to the new end point, else a straight piece of the curve's
// order joined at the end pole by a knot of multiplicity order - 1 (num_poles + order - 1 poles, non_uniform 1;
// a polyline keeps its corners). The new end parameter moves by dist times the range over length. out must have the room (rc -2
// otherwise, unwritten); -2 also for an unclamped curve, -6 for a curve of no length or no end leg.
void BSpolxtdlin(const VOQbsp_curve *curve, BSboolean at_end, double dist, double length, VOQbsp_curve *out, int *rc);
