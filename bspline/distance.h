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
  BSRC_NOT_BEATEN = -12,  // nothing at most the bound
};

// ---------------------------------------------------------------------------------------------------------------
// The distance equation (bspline/legendre_distance.cpp): (X(t) - p) . X'(t) as a Legendre series per active point,
// into the caller's room equations[i] (2n coefficients, degree 2n - 1, for a polynomial curve; 3n - 1, degree
// 3n - 2, for a rational one, whose equation is that function times w^3). degrees[i] is the degree, -1 for n = 0.

// Forms the equations and their tolerance M tol / S (M the least coefficient sum of an equation, S the curve's
// variation sum over its coefficients above the constant one, divided by |w[0]| when rational; the largest finite
// double when S is 0). npts < 1 or no active point: rc 0 and nothing written.
void BSformeqe(int n, int dim, BSboolean rational, const double *coef, int npts, const double *points,
               const unsigned char *active, double tol, int *degrees, double *const *equations, double *eqtol,
               int *rc);
// The polynomial and rational bodies; rc -2 for n < 0, 33 without scratch memory.
void BSformeqep(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc);
void BSformeqer(int n, int dim, const double *coef, int npts, const double *points, const unsigned char *active,
                int *degrees, double *const *equations, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Nearest point of a Legendre curve (bspline/legendre_distance.cpp). tol is the distance tolerance (entry 1).

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
// the slot table cannot be allocated.
void BSmdptlgcv1(int n, int dim, BSboolean rational, const double *coef, const double *point, double tol,
                 double bound, double dist, double *bound_out, double *dist_out, double *par_out, double *point_out,
                 int *rc);
// Test support: the slot count of the first pass of the next BSmdptlgcv1 searches (0: 8 (n + 1), the default).
void BSmdptlgslots(int first);
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
