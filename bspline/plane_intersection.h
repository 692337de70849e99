// Where a B-spline curve meets a plane (bspline/intersect/plane_intersection.cpp): isolated points and the parameter ranges over
// which the curve lies in the plane, from the signed distances of the poles treated as a scalar B-spline.
#pragma once

#include "bspline/bspline.h"

// Codes beyond the core's.
enum : int {
  BSRC_PLANE_ROOM = 44,  // more intersections than the caller's arrays of pole-count entries can hold
};

// The points where curve meets the plane through plane_point with normal plane_normal (any length), each once,
// ascending in parameter, and the ranges [seg_start, seg_end] that lie in the plane, to tolerance entry 12. A closed
// curve reports its seam point once, and a range running across its seam as one range whose start exceeds its end. The
// arrays take room for num_poles entries (int_points 3 doubles each); nothing is written past that: rc 44 when the
// result does not fit. rc 3 for a NULL argument; -2 for an order below 1, fewer poles than the order, decreasing knots,
// or a pole, weight, knot or plane point that is not finite; -6 for a normal of length zero or not finite. The counts
// are 0 on failure. TRUE exactly when rc is 0.
BSboolean BSpl_cv_int(int *rc, const VOQbsp_curve *curve, const double plane_point[3], const double plane_normal[3],
                      int *n_int, double *int_points, double *int_params, int *n_seg, double *seg_start,
                      double *seg_end);
// Signed distances of the poles from the plane (weighted for a rational curve: the poles of coef are), as a scalar
// B-spline handed to BSfndrtbsp1. coef: dim rows of n_poles, then the weights when rational. roots needs room for
// (order - 1)(n_poles - order + 1) values, zero_ranges for 2 (n_poles - order + 1). rc -6 for a normal of length zero
// or not finite over dim components; 33 without scratch memory.
void BSxbspcvpl(int dim, int order, int n_poles, int rational, const double *coef, const double *knots,
                const double *plane_point, const double *plane_normal, double tol, int *n_roots, double *roots,
                int *n_zero, double *zero_ranges, int *rc);
// Roots and zero ranges of a scalar B-spline, span by span: roots within one span and at junctions listed as often as
// their multiplicity (a junction root 1 for a crossing, 2 for a touch), none inside or at the ends of a zero range;
// neighbouring zero spans merge. roots needs room for (order - 1)(n_poles - order + 1) values, zero_ranges for 2
// (n_poles - order + 1). rc -2 for n_poles below the order, a value or knot that is not finite, knots that decrease or
// a tol that is not a finite non-negative number; -13 without scratch memory; errors of the span root finder pass
// through.
void BSfndrtbsp1(int order, int n_poles, const double *values, const double *knots, double tol, int *n_roots,
                 double *roots, int *n_zero, double *zero_ranges, int *rc);
// Roots in interval of the Bezier polynomial with n coefficients (degree n - 1), ascending and repeated by
// multiplicity; *n_roots -1 when every coefficient is within tol of 0 (or n < 1). roots needs room for n - 1.
void BSfndrtbez1(int n, const double *coef, const double interval[2], double tol, int *n_roots, double *roots,
                 int *rc);
