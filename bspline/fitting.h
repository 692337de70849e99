// Curve fitting of the B-spline library: the point-fitting solvers that compute the poles (and weights) of a
// curve of given order and knots from data points with given parameters, and the parameters and knots such a
// fit needs.
//
// Conventions are the core's (bspline/bspline.h). Data are n points of dim doubles each, in weighted form when a
// weights array comes with them; parameters are n non-decreasing doubles and span indices their knot spans as
// BSfndspnarr gives them. Poles come back as num_poles rows of dim doubles; of each pole the solvers compute the
// first `solved` coordinates and set the others to 0. The work arrays are the caller's: the matrix holds
// rows x order doubles, the right-hand sides rows x dim (rows x (order + 2) for the banded periodic solver), the
// periodic work array num_poles - order + 1 rows of dim (rows: n for free ends or rational data, n - 2 for fixed
// ends, n - 1 for periodic fits).
//
// Return codes: -2 for a size or code out of range, too few rows for the unknowns, a damaged or non-finite
// argument or a construction that does not exist; 3 for a missing array; 49 for a data weight that is not
// positive or a fitted weight below 0.001; 33 without scratch memory; the codes of the solvers beneath pass up.
#pragma once

#include <cstdint>

#include "bspline/bspline.h"

// End tangent codes of BSfitratpts and BSfndtnpol2 (one per end).
enum : int {
  BSTAN_POLE = -1,       // the value is the tangent pole itself (weighted; its weight passed separately)
  BSTAN_ESTIMATE = 0,    // the tangent is estimated from the data
  BSTAN_DIRECTION = 1,   // the value is a unit tangent direction
  BSTAN_KNOT_RATIO = 3,  // no tangent: the pole lies on the line of its neighbours at the knot ratio
};

// Constraint types of BSnpftwcns2: the poles fixed at each end, which must stand in poles on entry.
enum : int {
  BSCNS_FREE = 0,         // none; every point is a row
  BSCNS_ENDS = 1,         // the end poles; points 1 .. n-2 are the rows (so for every type but 0)
  BSCNS_TANGENTS = 2,     // end and tangent poles
  BSCNS_THREE = 3,        // three poles at each end
  BSCNS_HIGH = 4,         // (order - 1) / 2 + 1 poles at each end
  BSCNS_START_RATIO = 5,  // as 2, the start tangent pole placed by the knot ratio
  BSCNS_END_RATIO = 6,    // as 2, the end tangent pole placed by the knot ratio
  BSCNS_BOTH_RATIO = 7,   // as 2, both tangent poles placed by the knot ratio
};

// The driver: straight copies, all points at one place, uniform or fitted weights, then the open (end_type 0
// free, 1 end points fixed, 2 end points and tangents) or periodic solver. The reserved words are not read.
// weights NULL: polynomial data (out_weights not written).
void BSfitratpts(int n, const double *points, const double *weights, const double *params, const int *span_index,
                 std::int16_t order, int num_poles, const double *knots, int dim, int solved, std::int16_t periodic,
                 int end_type, int start_code, int end_code, const double *start_value, const double *end_value,
                 std::int32_t reserved1, std::int32_t reserved2, double start_weight, double end_weight,
                 std::int32_t reserved3, double reserved4, std::int32_t reserved5, double *matrix, double *rhs,
                 double *periodic_work, double *poles, double *out_weights, int *rc);

// Open banded least squares under a constraint type.
void BSnpftwcns2(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, int type, double *matrix, double *rhs,
                 double *poles, int *rc);

// Periodic least squares on num_poles - order + 1 distinct poles (the others repeat them): dense, and banded
// with the wrap-around poles as a dense border (at least 2 order - 1 distinct poles).
void BSperiodfit(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, double *matrix, double *rhs,
                 double *periodic_work, double *poles, int *rc);
void BSprftwbsol(int n, const double *data, const double *params, const int *span_index, std::int16_t order,
                 int num_poles, const double *knots, int dim, int solved, double *matrix, double *rhs,
                 double *periodic_work, double *poles, int *rc);

// The tangent pole at the start (end 0) or the end (end 1), dim doubles into pole; with dim 1 the data are
// weights and the result the tangent pole's weight. Codes -1, 0 and 1.
void BSfndtnpol2(int n, const double *data, const double *weights, const double *params, std::int16_t order,
                 int num_poles, const double *knots, int dim, int code, std::int16_t end, double pole_weight,
                 const double *value, double *pole, int *rc);

// Unit tangent at p0 (end 0) or p2 (end 1) of three points: the mean of the circle's tangent and the chord, or
// the chord when the points are collinear.
void BStanffit(std::int16_t end, const double p0[3], const double p1[3], const double p2[3], double tangent[3],
               int *rc);

// The fit with end tangents for orders of 5 or more, by way of a curve of order 3 or 4 on the same breakpoints;
// the end poles stand in poles on entry. A pole weight is read for a code -1 end; the others take theirs from
// the weight data.
void BSfttnhiord(int n, const double *data, const double *weights, const double *params, const int *span_index,
                 std::int16_t order, int num_poles, const double *knots, int dim, int solved, int start_code,
                 int end_code, const double *start_value, const double *end_value, double start_pole_weight,
                 double end_pole_weight, double *matrix, double *rhs, double *poles, int *rc);

// Chord-length or centripetal parameters averaged over `sets` point sets of n points (set s from point s n);
// `used` of the dim coordinates are measured; *length the mean total. order is not read.
void BSavgprsfft(int sets, int n, const double *points, const double *weights, int dim, int used, std::int16_t order,
                 double *length, double *params, int *rc);

// Knots and span indices for num_spans spans from n parameters (method 4); knots needs num_spans + 2 order - 1
// doubles. rc -1 for a first or last span shorter than tol, with everything written.
void BSkts_f_fit(std::int16_t order, std::int16_t periodic, int method, double tol, int num_spans, int n,
                 const double *params, int *num_knots, double *knots, int *span_index, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Curve fitting through or near points (bspline/fitting/curve_fitting.cpp)

// A curve of the given order through (end_type 1 or 2 with as many poles as points) or near n points: the
// degenerate sets (all points at one place, a polyline of order 2 without search) settled directly, parameters
// and knots computed where params, knots or span_index are NULL, a planar set fitted in its own plane, and with
// search 0 or 2 and computed knots the smallest span count whose largest deviation stays within tolerance.
// *curve receives a new record (BSallocvoqcv) that belongs to the caller also after a failure (release it with
// BSfreevoqcv when it is not NULL). A code-1 end value is normalised in place when the points are planar. The
// reserved words are not read.
// rc -2 for a bad argument (n < 1; a NULL points, curve or deviation output; order < 2; missing parameters, knots
// or spans for end_type 0 or 1; a point count that does not suit the given knots; a periodic fit of fewer than 4
// points or with open ends; a value that is not finite); 49 for a weight that is not positive; -1 when the search
// ended at its most spans above tolerance or at a span count whose fit failed (the last curve fitted and its
// deviations in place, as when a later round's fit fails with another code; no curve when its first fit failed);
// 33 without scratch.
void BSfitratcv(int n, double *points, double *weights, double *params, int *span_index, std::int16_t order,
                int num_knots, double *knots, std::int16_t periodic, int end_type, int start_code, int end_code,
                double *start_value, double *end_value, std::int32_t reserved1, std::int32_t reserved2,
                double start_weight, double end_weight, std::int32_t reserved3, double reserved4,
                std::int32_t reserved5, std::int16_t search, double tolerance, VOQbsp_curve **curve, double *mean_dev,
                double *max_dev, int *max_index, double *max_point, int *rc);

// Mean and largest distance of the n points (weighted when weights are given) from curve, the index of the
// farthest (the first of equals) and its nearest curve point. Index and point keep what they held when every
// distance is 0. Reports no name of its own.
void BSfitraterr(int n, const double *points, const double *weights, const VOQbsp_curve *curve, double *mean_dev,
                 double *max_dev, int *max_index, double *max_point, int *rc);

// Rows and columns of the fitting matrix: periodic n - 1 by num_poles - order + 1; open rows n (rational or
// end_type 0) or n - 2 (end_type 1 to 4) by order columns (rows left alone for another open end_type).
void BSftmatsz(BSboolean rational, int n, int num_poles, std::int16_t order, std::int16_t periodic, int end_type,
               int *rows, int *cols, int *rc);

// Fills what given[] marks as missing: [0] the parameters (chord or centripetal), [1] the knot vector for
// num_spans spans (room for num_spans + 2 order - 1), [2] the span indices.
void BSktsprsfft(int n, const double *points, const double *weights, std::int16_t order, std::int16_t periodic,
                 int num_spans, const BSboolean given[3], double *params, int *num_knots, double *knots,
                 int *span_index, int *rc);

// *coincident 1 when the n points (weighted when weights are given) lie at one place.
void BScoincdpts(int n, const double *points, const double *weights, BSboolean *coincident, int *rc);
