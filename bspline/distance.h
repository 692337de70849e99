// The point/curve distance area of the B-spline library: the exact nearest point of one span given as a Legendre
// series on [-1, 1], and the distance equation it rests on.
//
// Layouts: a curve of degree n is dim component series of n + 1 Legendre coefficients one after another, followed
// by the weight series when rational (BSTRUE); points are npts rows of dim doubles; active flags are one byte per
// point (0: the point is skipped and its outputs are left alone). Distances, bounds and tolerances are Euclidean;
// the largest finite double as a bound means that no bound is known yet. A per-point status is 0 when a result at
// most the bound was found, -12 when nothing beat it.
//
// Conventions are the core's (bspline/bspline.h). A coefficient, point, tolerance or bound that is not finite is
// refused with rc -2, and so is a distance equation above degree 320 (polynomial n > 160, rational n > 107).
#pragma once

#include "bspline/bspline.h"

// Codes beyond the core's.
enum : int {
  BSRC_NOT_BEATEN = -12,      // nothing at most the bound
  BSRC_COUNT_OVERFLOW = 44,   // more nearest parameters or intervals than a 16-bit count holds
};

// ---------------------------------------------------------------------------------------------------------------
// The distance equation (bspline/distance/legendre_distance.cpp): (X(t) - p) . X'(t) as a Legendre series per active point,
// into the caller's room equations[i] (2n coefficients, degree 2n - 1, for a polynomial curve; 3n - 1, degree
// 3n - 2, for a rational one, whose equation is that function times w^3). degrees[i] is the degree, -1 for n = 0.

// Forms the equations and their tolerance M tol / S (M the least coefficient sum of an equation, S the curve's
// variation sum over its coefficients above the constant one, those of P - p w about the first active point p
// divided by |w[0]| when rational; the largest finite double when S is 0). Both are formed from the curve moved
// to that point, so that they do not depend on where the curve and its points lie. npts < 1 or no active point:
// rc 0 and nothing written.
void BSformeqe(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points,
               const unsigned char *active, double tol, int *degrees, double *const *equations, double *eqtol,
               int *rc);
// The polynomial and rational bodies; rc -2 for n < 0, 33 without scratch memory.
void BSformeqep(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc);
void BSformeqer(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Nearest point of a Legendre curve (bspline/distance/legendre_distance.cpp). tol is the distance tolerance (entry 1).

// For each active point: the nearest curve point if it is at most bound_in (par_out in [-1, 1], point_out dim
// doubles per point, bound_out the smaller of the bound and the distance). The curve's ends win ties within tol/2,
// t = 1 over t = -1. Inputs may be the same arrays as the outputs. rc 0 or a failure of the search.
void BSmdptlgcv(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points, double tol,
                const double *bound_in, const double *dist_in, const unsigned char *active, double *bound_out,
                double *dist_out, double *par_out, double *point_out, int *status, int *rc);
// The end candidates for every point: rc 0 when some point took an end, -12 when none did.
void BSmdptlgend(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points, double tol,
                 const double *bound_in, const double *dist_in, double *bound_out, double *dist_out,
                 double *par_out, double *point_out, int *rc);
// The branch-and-bound search for one point (ends excluded): rc 0 with a result below dist, -12 without, -13 when
// the slot table cannot be allocated, 49 when a pass looks at 2^20 pieces without settling (no bound tells the
// curve's pieces apart).
void BSmdptlgcv1(int n, int dim, BSboolean rational, const double *coef, const double *point, double tol,
                 double bound, double dist, double *bound_out, double *dist_out, double *par_out, double *point_out,
                 int *rc);
// A line piece (c0, c1 per component, then w0, w1 when rational): the nearest point, its parameter in [-1, 1] and
// distance. rc -2 when both end weights vanish, 33 without scratch memory.
void BSmdptlnlg(int dim, BSboolean rational, const double *coef, const double *point, double tol, double *dist,
                double *par, double *curve_point, int *rc);
// Which piece to explore first (which = 1: the first) from the L1 distances of the active points to the pieces'
// means; surface pieces have (u + 1)(v + 1) coefficients per component, curves v = 0. rc 0 or 33.
void BSreassurf(int u1, int v1, int dim, BSboolean rational, const double *coef1, int u2, int v2,
                const double *coef2, int npts, const double *points, const unsigned char *active, BSboolean *which,
                int *rc);
// Both halves of every component (BShlfcpolgd), stopping at the first failure.
void BSmdlghlfcv(int degree, int ncomp, const double *coef, double *half1, double *half2, int *rc);
// Effective degree of a piece and its coefficients packed with stride m + 1 (out may be coef); -1 when the whole
// piece is within tol. BSmdlgeffdr: dim point components and the weight, with tolerances scaled by a lower
// bound W of the weight (m = degree when W < 0).
void BSmdlgeffdg(int degree, int ncomp, const double *coef, double tol, int *m, double *out);
void BSmdlgeffdr(int degree, int dim, const double *coef, double tol, int *m, double *out);
// flag 1 when the piece lies within tol of one point, written to point.
void BSmdlgptpc(int degree, int dim, BSboolean rational, const double *coef, double tol, BSboolean *flag,
                double *point);

// ---------------------------------------------------------------------------------------------------------------
// Nearest points of a B-spline curve (bspline/distance/point_distance.cpp). The curve comes loose: degree >= 1, n >= degree
// + 1 poles in component-major order (all x, all y, ..., then the weights when rational; coordinates weighted),
// n + degree + 1 non-decreasing knots; any ends (clamped or not) and multiplicities. tol is the distance tolerance
// (entry 1). Per-point arrays as above; an input array may be the output array. A curve that is not like that,
// a weight that is not positive, npts < 0, or a point, tolerance or bound that is not finite answers rc -2 with
// nothing written, and so does a pole (divided by its weight) or a point with a coordinate beyond 2^500 in
// magnitude, whose squared distances overflow; npts = 0 answers rc 0.

// For each point: the global nearest point (dist_out, par_out in [knot[degree], knot[n]], point_out) when it is at
// most bound_in, and bound_out the smaller of the two. The curve's interpolated poles (ends and knots of
// multiplicity degree) win ties within tol/2. A planar (dim 2) rational quadratic circle or arc is tried in closed
// form first. rc 0; -12 when some point got nothing at most its bound; -13 when the curve's Bezier form would
// exceed 1,000,000 doubles; 33 without scratch memory.
void BSmdptbscv(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
                const double *points, double tol, const double *bound_in, const double *dist_in, double *bound_out,
                double *dist_out, double *par_out, double *point_out, int *rc);
// The interpolated poles as candidates (last first; a pole replaces a result up to tol/2 nearer). rc 0 when some
// point took a pole, -12 when none did. Reports nothing to the trace.
void BSmdptintpls(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots,
                  int npts, const double *points, double tol, const double *bound_in, const double *dist_in,
                  double *bound_out, double *dist_out, double *par_out, double *point_out, int *rc);
// The branch-and-bound for one point (npts must be 1), without the pole candidates: a result only when it is at
// most bound and below *dist_out. rc 0, -12, -13, 33.
void BSmdptbscv1(int degree, int dim, BSboolean rational, int n, const double *poles, const double *knots, int npts,
                 const double *point, double tol, double bound, double *dist_out, double *par_out, double *point_out,
                 int *rc);
// Which of two pole blocks (component-major, count poles each) to explore first: which = 1 the first.
void BSdcdbsp12(int dim, BSboolean rational, int count1, const double *poles1, int count2, const double *poles2,
                int npts, const double *points, const unsigned char *active, int *which, int *rc);
// One Bezier span (component-major, degree + 1 poles) through its Legendre form; par_out in [0, 1].
void BSmdptbzcv(int degree, int dim, BSboolean rational, const double *poles, int npts, const double *points,
                double tol, const double *bound_in, const double *dist_in, const unsigned char *active,
                double *bound_out, double *dist_out, double *par_out, double *point_out, int *status, int *rc);
// Parameters within tol of an end of the range snap to it; on a closed range a seam value takes the side its
// neighbours come from (the previous values rising: umax), judged against the middle (umin + umax)/2 where there
// are too few neighbours. pairs 1: (u, v) pairs, v against its own range. count < 2 changes nothing; rc is 0.
void BSchkuvpars(BSboolean pairs, double umin, double umax, double vmin, double vmax, BSboolean u_closed,
                 BSboolean v_closed, double tol, int count, double *pars, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// A circular arc in closed form (bspline/distance/circle_distance.cpp): the curve as BSgeocrcbsp describes it (n x, n y, n
// weights; n + 3 knots), its centre, the middle point of the arc and half its sweep h. Only these two routines
// report to the trace (under their own names), and none calls the test hook.

// rc 0 with the distance, curve point and parameter; 50 when the point's direction lies outside the arc (the
// caller searches in general); -2 for a missing array; or BSinvbspcrc's code.
void BSmdptcrcv(int n, const double *knots, const double *poles, const double centre[2], const double middle[2],
                double h, const double point[2], double *dist, double *curve_point, double *par, int *rc);
// The parameter of the angle (from the arc's middle) on a curve of equal symmetric segments of two knots each.
// rc -1 when the curve is not made so, -12 when the angle lies off the arc, 33, or a failure of BSbstobez.
void BSinvbspcrc(double angle, int n, const double *knots, const double *poles, double *par, int *rc);
// t = tan(theta / 2) of the direction (dx, dy) of length r, without cancellation; flag 1 when theta = pi.
void BShlfangtan(double r, double dx, double dy, BSboolean *flag, double *t);

// ---------------------------------------------------------------------------------------------------------------
// Nearest points span by span (bspline/distance/span_point_distance.cpp), for many points that follow the curve: the curve
// as for BSmdptbscv with dim 1 to 3; each point's result bounds the search of the next (never changing a result).
// dist_out, point_out (dim doubles each) and par_out per point. rc 0; 50 for order above 16; -13 when a span
// needs more than 50 halvings deep; 33 without scratch memory; -2 as for BSmdptbscv. A failure leaves the later
// points' outputs unchanged.
void BSmdptsbscv(int degree, int n, int dim, BSboolean rational, const double *poles, const double *knots, int npts,
                 const double *points, double tol, double *dist_out, double *point_out, double *par_out, int *rc);
// One point against one Bezier span (component-major) on [0, 1]: dist_out the largest finite double when no piece
// came within bound + max(tol, 0.001). rc 0, 50 (order above 16), -13 (a 51st level).
void BSmdptbezcv(int degree, int dim, BSboolean rational, const double *poles, const double *point, double tol,
                 double bound, double *dist_out, double *point_out, double *par_out, int *rc);
// Box of a span's Cartesian poles: dim minima, then dim maxima.
void BSbzboxpl(int order, int dim, BSboolean rational, const double *poles, double *box);
void BSbzboxdst(int degree, int dim, BSboolean rational, const double *poles, const double *point, double *sq);
void BSptboxdst(int dim, const double *point, const double *box, double *sq);
// de Casteljau at 1/2 on each of ncomp components.
void BSbzhalve(int degree, int ncomp, const double *poles, double *left, double *right);
// flag 1 when every interior pole lies within sqrt(1.8) tol of the chord line (always for degree < 2).
void BSbzflat(int degree, int dim, BSboolean rational, const double *poles, double tol, BSboolean *flag);
// The point of a chord (P0, w0, P1, w1 pole by pole) nearest to point: squared distance, the point, t in [0, 1].
void BSmdptchord(int dim, BSboolean rational, const double *chord, const double *point, double tol, double *sq,
                 double *q, double *t);
// Newton steps on (X - p) . X' from *t; converged 0 leaves every output untouched.
void BSmdptbznwt(int degree, int dim, BSboolean rational, const double *poles, const double *point, double tol,
                 double *sq, double *t, double *q, BSboolean *converged, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Point on a curve, curve onto a plane (bspline/distance/point_on_curve.cpp).

// on = 1 when pt lies within dist_tol of cv. u is written (the nearest parameter) only when pt lies in the box of
// the poles widened by dist_tol: a point outside it is off the curve and u keeps its value. FALSE with rc -2 for
// a non-finite point, the record's code for a damaged one, or a failure of the nearest-point search.
BSboolean BSprptoncv(int *rc, const VOQbsp_curve *cv, const double pt[3], double *u, BSboolean *on);
// cv projected onto the plane (plane_pt, normal) along dir into out (arrays as large as cv's; out may be cv):
// same knots and weights, planar flag from the new poles. normal is normalised in place. A zero or non-finite
// normal or direction answers rc -6 and a direction within tolerance entry 3 of the plane rc 13, both with out
// untouched.
BSboolean BSprj_cv_pl(int *rc, const VOQbsp_curve *cv, const double plane_pt[3], double normal[3],
                      const double dir[3], VOQbsp_curve *out);

// ---------------------------------------------------------------------------------------------------------------
// Perpendicular feet (bspline/distance/perpendicular_feet.cpp). A span polynomial is k coefficients of four doubles (x, y,
// z, w; weighted, w = 1 when not rational) in powers of the local parameter s in [0, 1]. Position codes: 1 at the
// start of the span, -1 at its end, 0 inside.

// The foot of a perpendicular from pt nearest to pt_dist (callers pass the same point twice); the curve's ends
// count only when pt lies on them within dist_sqtol. Not the global nearest point (BSmdstptcv is): a point whose
// only nearest point is an end with no perpendicular there gets found 0. Spans are solved nearest box first and
// the search stops once the next box lies beyond the best foot. found 0 with rc 0 when no foot exists (the centre
// of an arc, whose span equation vanishes, included). rc -1 for a foot mapped outside the range by the knot
// tolerance (at least four roundings of the range's ends), -2 for a non-finite point or an order below 2, 33
// without scratch memory. Tolerance entry 8 is the same after the call as before, on every path.
BSboolean BSperpa(int *rc, const VOQbsp_curve *cv, const double pt[3], const double pt_dist[3], BSboolean *found,
                  double *u, int *position);
// The foot within one span: the root of BSperpr(pt) nearest to pt_dist (ties keep the first). When the equation
// vanishes identically, found stays 0, position 0 and s is the guess for pt_dist (0.5 when that vanishes too,
// else the nearest root or the nearer end).
BSboolean BSperpr1(int *rc, const std::int16_t *order, const double *coef, const double pt[3],
                   const double pt_dist[3], BSboolean *found, double *s, int *position);
// The roots in [0, 1] of (X - w pt) . (X' w - X w'), 3(k - 1) - 1 at most (roots needs that room); nroots -1 when
// it vanishes identically. rc -2 for order below 2, 33 without scratch memory.
BSboolean BSperpr(int *rc, const std::int16_t *order, const double *coef, const double pt[3], int *nroots,
                  double *roots);
// The span [knots[span], knots[span + 1]] (span in order - 1 .. num_poles - 1, else rc -2) as a polynomial on
// [0, 1]; skip = 1 and coef untouched when it is narrower than the curve's knot tolerance.
BSboolean BSspnpow01(int *rc, const VOQbsp_curve *cv, const int *span, BSboolean *skip, std::int16_t *order_out,
                     double *coef);
// Lower bounds of the squared distance from pt to each listed span (span indices as BScvndegspn gives them): the
// distance to the box of the span's Cartesian poles, 0 inside.
void BScvspndst(const VOQbsp_curve *cv, const double pt[3], int count, const int *spans, double *dist, int *rc);
// Bezier coefficients (four doubles each) to power coefficients of the same span on [0, 1].
BSboolean BScbzpr(int *rc, const std::int16_t *order, const double *bez, double *coef);

// ---------------------------------------------------------------------------------------------------------------
// Every nearest point of a curve (bspline/distance/normals_distance.cpp). Not BSmdstptcv (bspline/intersect.h), which gives
// one global nearest point: this one lists every nearest parameter and every parameter interval at the minimal
// distance. Both set the weights pointer of a non-rational curve to NULL (the library's convention for such
// records). Arrays come from BSdbgmalloc only with a count above 0, in the order the values were found, and are the
// caller's to release with BSdbgfree, also after a failure; callers set both pointers to NULL first. A damaged
// record answers its BScvcheck code, a non-finite point rc -2, a NULL output 3, more than 32767 values 44, a
// refused list node -13, a refused array 33. Tolerance entry 8 is the same after the call as before, on every path.

// The feet of all perpendiculars from point (ascending within a span, a root shared by two spans once) and the
// intervals (start, end pairs) where every point is a foot.
BSboolean BSnormals(int *rc, VOQbsp_curve *curve, const double point[3], std::int16_t *num_params, double **params,
                    std::int16_t *num_intervals, double **intervals);
// The nearest parameters (ascending) among the feet, the two ends, the cusps and both sides of every jump, all
// within dist_tol of min_dist, and the intervals of feet at that distance; a parameter inside a reported interval
// is not listed. rc -1 when the feet cannot be had although nothing failed. Both counts are 0 after any failure of
// the search.
void BSmdistptcv(VOQbsp_curve *curve, const double point[3], std::int16_t *num_intervals, std::int16_t *num_params,
                 double **params, double *min_dist, double **intervals, int *rc);
