// Representation changes of B-spline curves: knot tolerance, splitting, knot insertion and end clamping,
// multiplicities, degree raising, merging, weights and end weights, reversal, closure, restarting closed curves,
// parameter rescaling and control-polygon lengths. `BScv_copy` is declared with the curve record in bspline.h.
//
// Conventions are the core's (bspline/bspline.h). Knots: a curve of order k with n poles has n + k knots and the
// active range knots[k-1] .. knots[n]; rational poles are stored weighted and every knot operation blends the
// stored poles and the weights with the same coefficients. Several routines here change tolerance entry 8 for
// the length of a nested call and put it back on every path; like the rest of the library they are for one
// thread at a time.
#pragma once

#include "bspline/bspline.h"

#include <cstdint>

// Codes beyond the core's.
enum : int {
  BSRC_NOT_JOINED = -1,         // parameter outside the active range; ends that do not meet; orders that differ
  BSRC_BAD_WEIGHT = -5,         // a weight that is not positive in a polygon length
  BSRC_CLOSED_INPUT = -6,       // a closed curve given to the raw combination
  BSRC_KNOT_OUTSIDE = 35,       // a cut knot outside the knot vector
  BSRC_DEGENERATE_INPUT = 59,   // a degenerate curve was combined (the result is complete)
};

// ---------------------------------------------------------------------------------------------------------------
// Knot tolerance

// Request 0 clears the fixed-tolerance mode, 1 sets it, anything else only reads it; returns the previous value.
int BSkttolmode(int request);
// The tolerance under which two parameters of the curve count as one knot. weights may be NULL.
void BScvkttol2(std::int16_t order, const double *knots, int num_poles, const double *poles, const double *weights,
                double *knot_tol, int *rc);
// The parameter step at u that moves the curve by about dist.
void BSlocknttol(const VOQbsp_curve *cv, double u, double dist, double *par_tol, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Splitting

// The part of cv between *u1 and *u2 (either order), clamped, into out (arrays room for cv's size).
BSboolean BSactivsplt(int *rc, const VOQbsp_curve *cv, const double *u1, const double *u2, VOQbsp_curve *out,
                      const BSboolean *test_planar);
// cv cut at *u into left and right; NULL arrays of left and right are allocated with BSdbgmalloc (the caller
// releases them with BSdbgfree). A cut within the knot tolerance of an end gives an empty part (num_poles 0).
BSboolean BScvsplit(int *rc, const VOQbsp_curve *cv, const double *u, VOQbsp_curve *left, VOQbsp_curve *right,
                    const BSboolean *test_planar);
// The k poles and 2k knots of span *span (k-1 .. n-1) into out.
BSboolean BSextrcvspn(int *rc, const int *span, const VOQbsp_curve *cv, VOQbsp_curve *out,
                      const BSboolean *test_planar, const BSboolean *test_closed);
// BSextrcvspn, then the span clamped into a Bezier curve.
BSboolean BSspn_t_bz(int *rc, const int *span, const VOQbsp_curve *cv, VOQbsp_curve *out,
                     const BSboolean *test_planar, const BSboolean *test_closed);
// Interior knots of multiplicity exactly order - 1: their values and the index of each first copy.
BSboolean BSfindmkts(int *rc, const std::int16_t *order, const int *num_poles, const double *knots,
                     const double *tol, int *count, double *params, int *indices);
// cv cut at every knot of multiplicity order - 1; *pieces is a BSdbgcalloc array of BSallocvoqcv records, all of
// which the caller releases. On failure nothing is handed out (*pieces NULL, *num_pieces 0).
BSboolean BSbreakcv(int *rc, const VOQbsp_curve *cv, int *num_pieces, VOQbsp_curve ***pieces,
                    const BSboolean *test_planar);
// Raw coefficient arrays (dim blocks of num_poles) cut at the knot knots[knot_index]; each piece is dim blocks
// of its own pole count, and the two share the cut point.
void BShlfbspcv(int dim, int degree, int num_poles, const double *poles, const double *knots, int knot_index,
                int *num_poles1, double *poles1, double *knots1, int *num_poles2, double *poles2, double *knots2,
                int *rc);
// Raises the multiplicity of knots[knot_index] to degree; rc 35 for a knot outside the knot vector.
void BSinsktdeg(int dim, int degree, int num_poles, const double *poles, const double *knots, int knot_index,
                int *new_num_poles, double *new_poles, double *new_knots, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Knot insertion, end clamping and multiplicities

// Inserts u until its multiplicity is total_mult. in_place 0: *out becomes a new BSallocvoqcv record (an old *out
// is released, even when it is cv); otherwise cv is copied into *out, which must have room.
void BSadd_1kt_tot(const VOQbsp_curve *cv, double u, int total_mult, BSboolean in_place, VOQbsp_curve **out,
                   int *rc);
// Inserts u times more times; u strictly inside the active range.
void BSadd_1kt_mul(const VOQbsp_curve *cv, double u, int times, BSboolean in_place, VOQbsp_curve **out, int *rc);
// cv on the finer knot vector new_knots (new_num_poles + order knots, a superset of cv's) into out's arrays.
void BSadd_kts(const VOQbsp_curve *cv, int new_num_poles, const double *new_knots, VOQbsp_curve *out, int *rc);
// Raw arrays (dim blocks of num_poles): inserts the ascending ins_knots; out_poles holds dim blocks of
// num_poles + num_ins, out_knots order + num_poles + num_ins knots.
void BSinsertmkt(int order, int dim, int num_poles, const double *poles, const double *knots, int num_ins,
                 const double *ins_knots, double *out_poles, double *out_knots, int *rc);
// One end-clamping step at knot index *j (start when *j + 1 < order, end when *j + 1 > num_poles).
BSboolean BSadd_ekt(int *rc, VOQbsp_curve *cv, const double *u, const int *j);
// Clamps both ends in place (the pole count does not change).
BSboolean BScnvtomkt(int *rc, VOQbsp_curve *cv);
// Clamps one end: which_end 0 the start, otherwise the end.
void BScnvtmekt(BSboolean which_end, VOQbsp_curve *cv, int *rc);
// Maps the active range onto [0, 1] in place.
BSboolean BSnorkts(int *rc, const std::int16_t *order, const int *num_poles, double *knots);
// Distinct knot values (equal neighbours, and neighbours within tolerance entry 8, count as one) and their
// multiplicities.
BSboolean BSgetmult(int *rc, const std::int16_t *order, const int *num_poles, const double *knots, int *count,
                    double *values, int *mults);
// Indices of the spans of non-zero length (the first span always).
void BScvndegspn(const VOQbsp_curve *cv, int *count, int *spans, int *rc);
// Raw arrays (dim blocks of num_poles) as Bezier segments: segment by segment, dim blocks of degree + 1 values;
// breakpoints holds num_segments + 1 values.
void BSbstobez(int degree, int num_poles, int dim, const double *knots, const double *poles, int *num_segments,
               double *bezier_poles, double *breakpoints, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Degree raising

// Raises cv (clamped in place first) to new_degree; *out as in BSadd_1kt_tot.
void BSupthedeg(VOQbsp_curve *cv, std::int16_t new_degree, BSboolean in_place, VOQbsp_curve **out, int *rc);
// Rewrites the knot array (*knots, last_pole_index + degree + 2 knots) for new_degree; keep_array 0 re-allocates
// it with BSdbgralloc, otherwise it must have room.
void BSnewktr(std::int16_t degree, int last_pole_index, BSboolean keep_array, std::int16_t new_degree, double **knots,
              int *new_last_pole_index, int *rc);
// table[(m + 1) r + c]: the c-th elementary symmetric function of x[0 .. r-1].
BSboolean BSgensym(int *rc, const std::int16_t *m, const double *x, double *table);

// ---------------------------------------------------------------------------------------------------------------
// Merging curves end to end

// cv1 then cv2 (same order, cv1's end the joint) into out: room for L1 + L2 - 1 poles. rc 59: an input was
// degenerate (out is complete).
void BScomb2cvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, int *rc);
// Two open curves meeting at an end, oriented, brought to one order and clamped, then combined.
void BSmergecvnn(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, int *rc);
BSboolean BSmerge_cv(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out);
BSboolean BS2cvsto1(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out);
// A chain of curves in array order into the caller's record *out, knots on [0, 1]. *out needs room for the
// highest order and the sum of the curves' pole counts, each curve of order k and n poles raised by r counting
// r (n - k + 1) more; weights where any curve is rational.
void BSmergarrcv(int num_curves, VOQbsp_curve **curves, VOQbsp_curve **out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Weights, reversal, closure, restarting closed curves

// out = poles multiplied (divided) by their weights; out may be poles. Always TRUE.
BSboolean BSwght_p(int *rc, const double *poles, const double *weights, const int *num_poles, double *out);
BSboolean BSunwght_p(int *rc, const double *poles, const double *weights, const int *num_poles, double *out);
// Reverses the direction in place; the active range and the boundaries are mirrored within it.
BSboolean BSrev_cv(int *rc, VOQbsp_curve *cv);
// Makes a curve flagged phy_closed exactly closed (clamped, equal end points).
void BScvsetclsd(VOQbsp_curve *cv, int *rc);
// One end weight of a rational Bezier curve to 1 (right_end: the last); out NULL or cv: in place.
void BSchgewtlr(VOQbsp_curve *cv, VOQbsp_curve *out, BSboolean right_end, int *rc);
// The curve restarted at *u (closed curves through BSclcvshffl); out needs room for num_poles + order - 1 poles.
BSboolean BScv_shffl(int *rc, const VOQbsp_curve *cv, const double *u, const BSboolean *same_direction,
                     VOQbsp_curve *out);
BSboolean BSclcvshffl(int *rc, const VOQbsp_curve *cv, const double *u, const BSboolean *same_direction,
                      VOQbsp_curve *out);
// One point into (out of) the frame at origin with rows m and scale. Always TRUE.
BSboolean BSptoldtnw(int *rc, const double origin[3], const double m[9], const double *scale, const double p_old[3],
                     double p_new[3]);
BSboolean BSptnwtold(int *rc, const double origin[3], const double m[9], const double *scale, const double p_new[3],
                     double p_old[3]);

// ---------------------------------------------------------------------------------------------------------------
// End weights and parameter rescaling

// Both end weights of a rational Bezier curve to 1 (out may be in).
void BSchgewts(const VOQbsp_curve *in, VOQbsp_curve *out, int *rc);
// Both end weights of a rational curve to 1; *out NULL is allocated, and it may be replaced by a larger record
// when knots are inserted.
void BSchgecvwts(const VOQbsp_curve *in, VOQbsp_curve **out, int *rc);
// side 0 the start weight, 1 the end weight, 2 both; *out as in BSchgecvwts but must be given.
void BSchgcvewlr(const VOQbsp_curve *in, int side, VOQbsp_curve **out, int *rc);
// out = in with its active range (and boundaries, into out's own array) mapped linearly onto [a, b]; rc -2 for a
// damaged record (BScvcheck) or unless a < b, both finite.
void BSreparmcv(const VOQbsp_curve *in, double a, double b, VOQbsp_curve *out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Control-polygon lengths. Points are rows of 3, weighted when weights are given (weights may be NULL).

// Total length; rc -5 for a weight that is not positive.
BSboolean BScumdist(int *rc, const int *n, const double *points, const double *weights, double *length);
// cum[i] = length from point 0 to point i + 1. Always TRUE.
BSboolean BScumdistar(int *rc, const int *n, const double *points, const double *weights, double *cum);
// Running chord (option 0) or square-root chord (option 1) sums over points stride doubles apart, dim
// coordinates each; option 2 chooses and reports the choice.
void BScumdstopt(int n, const double *points, const double *weights, int stride, int dim, int *option, double *cum,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Knot removal by weighted least squares (bspline/knots/span_approximation.cpp)

// The knot-insertion rows of source poles p = 0 .. num_rows-1 (source knots t[p .. p+order-1]) against the n
// target basis functions on knots (n + order values): row p applied to a target spline's poles gives pole p of
// the same spline refined to the source knots. M: num_rows full rows of n; R: the order nonzero values of each
// row, the first at target column l-order+1 for the row's span l. rc -2 for sizes or knots out of range (target
// knots that decrease, are not finite or reach a multiplicity above the order), 3 for a NULL array.
void BSinsrt_mat(std::int16_t order, int n, const double *knots, int num_rows, const double *t, double *M, int *rc);
void BSinsrt_band(std::int16_t order, int n, const double *knots, int num_rows, const double *t, double *R, int *rc);
// The curves in[] (sharing in[0]'s order, pole count, knots and rational flag; a curve that differs in order,
// pole count or rational flag gives rc -2 before any array is read) approximated by curves of the same order
// with n poles on the target knots: end poles kept, the rest by least squares on the poles weighted by the
// integrals of the basis functions. With hold_start (hold_end) pole 1 (n-2), stored in out[c] by the caller, is
// kept too. Each out[c] has room for n poles (and weights) and n + order knots. Equal pole counts copy the
// inputs. BSbrapproxs passes a target of fewer than order + 4 poles to BSr_approxs, which forms full-width
// rows. rc 3 for a NULL curve or array, -2 for n below the order or damaged input, 49 for an end weight or a
// computed weight below 0.001, and the codes of the band solver; on failure the outputs are not written.
void BSbrapproxs(int num_curves, const VOQbsp_curve *const in[], int n, const double *knots, BSboolean hold_start,
                 BSboolean hold_end, VOQbsp_curve *const out[], int *rc);
void BSr_approxs(int num_curves, const VOQbsp_curve *const in[], int n, const double *knots, BSboolean hold_start,
                 BSboolean hold_end, VOQbsp_curve *const out[], int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Order increase of clamped splines on plain arrays (bspline/knots/order_increase.cpp)
//
// Poles in coordinate blocks (dim blocks of np), np + k knots, both end values of multiplicity exactly k and no
// interior one above k; anything else (or k < 2, np < k, dim < 1, values that are not finite) gives rc -2 before
// anything is allocated or written; 3 for a NULL array.

// The same curve at order newk >= k: *new_np poles and *new_np + newk knots in new BSdbgmalloc arrays (the
// caller frees them; NULL on failure). A single segment is raised directly; newk = k copies. rc -13 when the
// results cannot be allocated, 33 without scratch memory.
void BSincord(int k, int dim, int np, const double *poles, const double *knots, int newk, int *new_np,
              double **new_poles, double **new_knots, int *rc);
// One order up, as the average of k variants of the spline with some knots and poles doubled: np + L poles
// (L + 1 distinct knot values) into the caller's arrays, each multiplicity raised by one.
void BSincord1(int k, int dim, int np, const double *knots, const double *poles, int *new_np, double *new_poles,
               double *new_knots, int *rc);
// Bezier points of degree d (dim blocks of d + 1) raised to degree D >= d (dim blocks of D + 1).
void BSincordbz(int d, int dim, const double *in, int D, double *out);
// t inserted after knots[r] (knots[r] <= t < knots[r+1]) into a spline of order k: np + 1 poles per block.
void BSinsknot1(int k, int dim, int np, const double *poles, const double *knots, int r, double t, double *out);
