// Intersections: segment against segment, and the services of the line-string intersectors (points on segments,
// end-point contacts, the growable result store and the range tree of a chain's segments).
//
// Conventions are the core's (bspline/bspline.h): rc set to 0 on entry and nonzero on failure, every routine
// leaving through BSexit under its exact name, 16-bit booleans, points as arrays of 3 doubles. Distances compared
// with tolerance entry 2 (`dist_sqtol`) are squared distances. Non-finite coordinates and null arrays are refused
// with rc -2 and no results.
#pragma once

#include "bspline/bspline.h"

#include <cstdint>

// Codes beyond the core's.
enum : int {
  BSRC_COLUMN_VANISHES = -1,  // a column of the 3 x 2 system is (nearly) zero: parallel segments given to the solver
  BSRC_NO_HEAP = -13,         // a heap allocation of a result store or a tree level failed
  BSRC_TREE_TOO_TALL = 44,    // a range tree would need more than 20 levels (more than 2^19 segments)
};

// ---------------------------------------------------------------------------------------------------------------
// Segment against segment. A segment is six doubles (start x, y, z, end x, y, z). Results: n = 0, 1 (a crossing
// or touch) or 2 (the ends of a common stretch, ordered along the first segment); pts holds n points, t1 and t2
// their parameters on each segment normalised to [0, 1]. Slots beyond n may hold rejected candidates. A segment
// shorter than 2.220446049250313e-15 is a point: it meets the other when it lies within `dist_sqtol` of its
// clamped foot (parameter 0 on the point).

void BSxlnln(double seg1[6], double seg2[6], int *n, double pts[6], double t1[2], double t2[2], int *rc);
// skip_parallel_test non-zero hands even parallel segments to the solver, which refuses them with rc -1; zero
// behaves exactly as BSxlnln (and may answer n = 2).
void BSxlnlnopt(double seg1[6], double seg2[6], BSboolean skip_parallel_test, int *n, double pts[6], double t1[2],
                double t2[2], int *rc);
// Least squares of the 3 x 2 system a x = b, a row by row (row k: the k-th components of the two columns);
// a and b are overwritten. rc -1 for a vanishing column, -5 for dependent columns.
void BSlnlnqr(int *rc, double a[6], double b[3], double x[2]);
void BSlnlnqropt(int *rc, double a[6], double b[3], double x[2]);

// ---------------------------------------------------------------------------------------------------------------
// Line-string services

// Where x lies against the segment p0 p1: code 1 with t = 0 or 1 within `dist_sqtol` of an end, code 2 with its
// normalised foot parameter when within it of an interior foot, else code 0 (t then the unclamped foot
// parameter). rc -6 for a segment whose squared length is at most the square of tolerance entry 16.
void BSprptonln(double p0[3], double p1[3], double x[3], int *code, double *t, int *rc);
// TRUE with *on = (x lies on the segment); a degenerate segment answers rc -1 and FALSE.
BSboolean BSpt_on_lne(int *rc, double p0[3], double p1[3], double x[3], double *t, BSboolean *on);

// Contacts between the ends of one segment and the other: each end within tolerance entry 18 of its clamped foot
// on the other segment gives the foot with its parameters (0 or 1 at its own end); at most 2, ordered along
// p0 p1. *exact is 1 when such an end lies within `dist_sqtol`. rc -6 for a segment shorter than tolerance
// entry 12.
void BSlnendpt(double p0[3], double p1[3], double q0[3], double q1[3], int *n, double pts[6], double t1[2],
               double t2[2], BSboolean *exact, int *rc);

// Contacts between the end poles of two chains (count1 and count2 points, homogeneous when rational with one
// weight each): pairs a0 b0, a0 b1, a1 b0, a1 b1 whose squared distance is below tol (use_tol non-zero) or
// `dist_sqtol`, at their midpoints, in pair order, with parameters 0 or 1 on each chain. Of two contacts whose
// midpoints coincide within the tolerance the closer pair stays (the earlier on a tie). rc -1 for a zero weight.
void BSendpt_int(int count1, int count2, BSboolean rational1, BSboolean rational2, double *poles1, double *poles2,
                 double *weights1, double *weights2, BSboolean use_tol, double tol, int *n, double *pts, double *t1,
                 double *t2, int *rc);

// The line-intersection mode of the line-string intersectors: 1 (the initial value) stores a batch of exactly
// two results as one overlap piece and tests end points first; 0 stores every result as a point.
// Tests set it through bstest::set_line_mode.
std::int32_t BSlineintmode();

constexpr int BSRESULT_BLOCK = 100;
// Appends count results (points 3 doubles each, one parameter on each string each) to the result store. Points
// go to (pts_arr, t1_arr, t2_arr), which hold 100 (blocks_pts + 1) entries: the caller's first arrays hold 100
// and are never released here; later ones come from BSdbgmalloc (the caller releases them when blocks_pts is
// above 0). In mode 1 a batch of two is an overlap piece (2 points, 2 parameters on each string) for the overlap
// arrays, which hold at least 100 (blocks_ovl + 1) pieces in the same way; a piece starting within tol (squared)
// of the previous piece's end extends it. rc -13 when an allocation fails, with the store unchanged.
void BSlslsmem(int count, double *pts, double *t1, double *t2, double tol, int *n_pts, double **pts_arr,
               double **t1_arr, double **t2_arr, int *n_ovl, double **ovl_pts, double **ovl_t1, double **ovl_t2,
               int *blocks_pts, int *blocks_ovl, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Range tree over the segments of a chain

constexpr int BSRANGE_MAX_LEVELS = 20;

// One node: a leaf per segment, an inner node per pair of nodes below.
struct BSrangenode {
  std::uint16_t meets;  // 1 when the node's box meets the query box
  std::int32_t count;   // children recorded: 0 in a leaf, 1 or 2 in an inner node whose box meets
  double box[6];        // minimum corner, maximum corner
  std::int32_t first;   // a leaf: its segment; an inner node: its children in the level below (the second
  std::int32_t second;  // repeats the first for one child; both -1 for none)
};
static_assert(sizeof(BSrangenode) == 64, "range-tree nodes keep their 64-byte layout");

// The box of a b widened by pad on every side; meets = 1 when it meets the box (qmin, qmax) on every axis.
void BScvset_rng(double a[3], double b[3], double pad, double qmin[3], double qmax[3], double box[6],
                 BSboolean *meets, int *rc);

// The tree of the n - 1 segments of the chain pts (n points) against the query box. With no_pad zero a segment's
// box is padded by 0.85 times the distance from its midpoint to mids[i] (n - 1 points); with no_pad set mids is
// not read. Leaves are level 0. counts and level_arrays (20 entries each) are cleared on entry; each level array
// comes from BSdbgmalloc and is the caller's to release, also after rc 44 or -13 (*levels then counts the
// levels built).
void BScvrngtree(int n, double *pts, double *mids, double qmin[3], double qmax[3], BSboolean no_pad, int *levels,
                 int *counts, BSrangenode **level_arrays, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Nearest points of a curve record (bspline/intersect/point_curve_distance.cpp): per point its parameter in the
// curve's range, its base point (3 doubles) and the distance; points are 3 doubles each. The on-curve flag is 1
// when every distance is at most 2 x `chrdht_tol`; it is meaningful only with rc 0 (a failure leaves it 1). A NULL
// record, point array, output array or flag answers rc 3; a count below 1, a non-finite coordinate or a damaged
// record -2, and a search on coordinates beyond 2^500 too (bspline/distance.h); both with nothing written; 33
// without scratch memory, with nothing left allocated. The global minimum of every point is found (ties go to the
// curve's ends and corner poles within dist_tol / 2); a parameter within the knot tolerance of an end is put on it.
// Both bodies report under "BSmdstptscv".

// One point: BSmdstptscv with one point, the flag discarded; reports under its own name. One global nearest point
// only: BSmdistptcv (bspline/distance.h), with a near-identical name, lists every nearest parameter and interval.
void BSmdstptcv(const VOQbsp_curve *cv, const double point[3], double *par, double base[3], double *dist, int *rc);
// One point (count below 2) by the global search; several by the span-by-span search, which on a closed curve
// puts a parameter at the end of the range on its start (the one-point body leaves it at the end).
void BSmdstptscv(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                 BSboolean *on_curve, int *rc);
void BSmdstptscv1(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                  BSboolean *on_curve, int *rc);
void BSmdstptscvn(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                  BSboolean *on_curve, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Spans that are lines or circular arcs, and coinciding spans (bspline/intersect/closed_form_spans.cpp). A circle is its
// centre and radius (from BStstcvfarc) with the unit normal of its plane; a non-finite or negative value answers
// rc -2. Candidates of the closed forms are at most 2 points (6 doubles); counts are 16-bit.

// The meetings of the infinite line through L0 and L1 with the sphere: k = 1 with the foot of the centre when the
// line touches within dist_tol, else k = 2 (foot + h u, foot - h u, u the unit direction L0 -> L1) or 0. A line
// too short to project onto gives k = 0 with rc 0.
void BSxlnsph(const double L0[3], const double L1[3], const double centre[3], double radius, std::int16_t *k,
              double pts[6], int *rc);
// Two planes, each through a point with a (unit) normal: code 3 parallel and distinct, 4 coincident, 5 meeting in
// a line, with a point of it (the coordinate of the largest direction component fixed at 1) and its unit
// direction. A zero normal answers rc -6, code 0.
void BSpl_pl(const double P1[3], const double N1[3], const double P2[3], const double N2[3], int *code,
             double point[3], double dir[3], int *rc);
// Two circles in one plane: k = 1 touching (outside or inside), 2 crossing (symmetric about the line of centres),
// 0 apart. rc 46 for one circle, with k = 0.
void BSxarcarc(const double c1[3], double r1, const double N1[3], const double c2[3], double r2, const double N2[3],
               std::int16_t *k, double pts[6], int *rc);
// A straight span against a circular-arc span: the m points on both with their parameters on each. rc 3 for a
// NULL span.
void BSxbzlnarc(const VOQbsp_curve *line, const VOQbsp_curve *arc, const double centre[3], double radius,
                std::int16_t *m, double pts[6], double par_line[2], double par_arc[2], int *rc);
// Two circular-arc spans. Arcs of one circle give m = 0 with rc 0: they meet where their ends do.
void BSxbzarcarc(const VOQbsp_curve *arc1, const double c1[3], double r1, const VOQbsp_curve *arc2,
                 const double c2[3], double r2, std::int16_t *m, double pts[6], double par1[2], double par2[2],
                 int *rc);
// Whether two spans that meet at (par1[0], par2[0]) and (par1[1], par2[1]) coincide between those results,
// judged at the interior samples of their pieces within tolerance entry 18: overlap 1 when no sample lies apart
// and at least one is placed. Pieces whose samples do not pair up (parametrised apart) are judged on 15 evenly
// spaced samples of each as well. Spans of order 2 or less have no samples: overlap 0. Any failure leaves overlap 0.
void BSbzoverlap(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double par1[2], const double par2[2],
                 BSboolean *overlap, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// End-point coincidences of two spans and the merging of results (bspline/intersect/span_endpoints.cpp). A span's ends are
// its first pole and its pole order - 1 (as points), at knots[order - 1] and knots[num_poles]. Results are points
// of 3 doubles with a parameter on each span.

// Merged results a pair of spans may give: the callers' arrays hold this many.
constexpr int BSSPAN_RESULTS = 256;
enum : int { BSRC_TOO_MANY_RESULTS = 44 };

// 1 when one of the count points lies at a squared distance below tol from point.
BSboolean BSptnearlst(const double point[3], int count, const double *points, double tol);
// The meetings of the two spans at their ends (n = 0, 1 or 2, in increasing par1): pairs of ends within tolerance
// entry 18, else single ends within it of the other span. A lone result counts only when it is coincident
// (within dist_tol). Entries 1 and 2 are changed during the call and are the same after it as before, on every
// path.
BSboolean BSendpoint(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int *n, double pts[6], double par1[2],
                     double par2[2]);
// Two spans that are single points: n = 1 with the point where they coincide, else 0. Entry 2 is squared during
// the call.
BSboolean BSpt_pt(int *rc, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int *n, double point[3], double *par1,
                  double *par2);
// The factor of dist_sqtol within which BScvcv_comb drops an interior result beside an end result under the
// tangency flag: the solutions of one touch scatter along the common tangent.
constexpr double BSTOUCH_DROP_FACTOR = 1e6;
// The end results (in increasing par1) and the interior results (in the order found) as one list along the first
// span: an interior result within dist_sqtol (times BSTOUCH_DROP_FACTOR with the tangency flag) of an end result is
// dropped.
// The output arrays hold n_end + n_int results; more than BSSPAN_RESULTS merged results answer rc 44 with n = 0
// and nothing written. rc 33 without scratch memory for above 100 interior results.
void BScvcv_comb(int n_end, int n_int, BSboolean tangency, double *end_pts, double *int_pts, double *end_par1,
                 double *end_par2, double *int_par1, double *int_par2, int *n, double *pts, double *par1, double *par2,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// The intersection call of two curves and its results (bspline/intersect/intersection_results.cpp and
// line_string_intersection.cpp).
//
// Arguments 4 to 21 of every curve/curve intersection, in this order: int_size and over_size, the capacities of
// the caller's arrays; int_pts (3 doubles a point), int_par1 and int_par2 (a parameter on each curve a point);
// over_pts (2 points an overlap), over_par1 and over_par2 (2 parameters on each curve an overlap, in end order);
// out n_int and n_over; out int_alloc and over_alloc, TRUE when that kind came back in arrays of exactly its
// count from BSdbgmalloc (then handed over through a_int_* or a_over_*, which the caller releases with BSdbgfree,
// and the caller's arrays of that kind are not written); else the a_* pointers are set to NULL. Every parameter
// lies in its own curve's array, points come in the order of their parameter on cv1, and an overlap's cv1
// parameters do not decrease from its first end to its second. The outputs are cleared on entry, so a failure
// leaves the counts 0 and nothing allocated. A NULL output, a caller's array missing behind a positive capacity,
// or a damaged accumulator is refused with rc -2.

// The box of one node of a range tree and, below it, every flagged leaf whose box meets box (6 doubles: minimum
// corner, maximum corner) through flagged nodes that all meet it: their segment indices are appended to *found
// (count *n_found), which holds at least the next multiple of 200 entries above *n_found and grows by 200 with
// BSdbgralloc whenever its count reaches a multiple of 200 (rc -13 when it cannot; the list then keeps what it
// had). level counts from 1 at the leaves (levels[level - 1]); a leaf that is found has its count set to 1.
void BScvcmp_rng(const double box[6], int level, BSrangenode **levels, int node, int *n_found, int **found, int *rc);

// Turns raw results into the results of the call. cv1 and cv2 are the curves in the accumulators' order, tol1 and tol2
// their knot tolerances; swapped TRUE when that order is the reverse of the caller's, whose per-curve outputs are then
// passed exchanged (int_par2 before int_par1, and so on). The accumulators (n_pts points with their parameters, n_over
// overlaps in the over_* layout) are only read. Overlaps touching end to start in one direction on both curves are
// merged when each curve stays at the touching point from the one end to the other start (not when it touches there on
// another pass); points on an overlap and repeated points are dropped (by distance with merge_by_dist, else by
// parameters on both curves); points at the seam of a closed curve beside an overlap end take that end's side of the
// range. rc 33 without scratch memory, -13 when a result array cannot be allocated.
void BScvcv_sort(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist, BSboolean swapped,
                 double tol1, double tol2, int n_pts, int n_over, const double *pts, const double *par1,
                 const double *par2, const double *over_pts, const double *over_par1, const double *over_par2,
                 int int_size, int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts_out,
                 double *over_par1_out, double *over_par2_out, int *n_int, int *n_over_out, BSboolean *int_alloc,
                 BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                 double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc);

// Two line strings (order-2 curves, weighted poles divided out), segment against segment: an end of one segment
// on the other first, then the crossing; two results of one pair are the ends of an overlap. Segments shorter
// than tolerance entry 12 take no part. The curve with fewer poles is walked against a range tree of the other's
// segments. rc -2 for a curve of another order or damaged; 33 without scratch memory; -13 without heap.
void BSlsls_int(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist, int int_size,
                int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                double *over_par1, double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc,
                BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc);

// Two segments (2 points each) of two-pole order-2 curves with the knot vectors knots1 and knots2 (4 knots each):
// at most one point or one overlap, its parameters on the curves' ranges. The one overlap goes into the caller's
// arrays only when over_size is at least 2; else into allocated ones. A segment shorter than tolerance entry 12
// gives no result.
void BSlnln_int(const double seg1[6], const double seg2[6], const double knots1[4], const double knots2[4],
                int int_size, int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                double *over_par1, double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc,
                BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Local solvers of the polygon-based intersector of two spans (bspline/intersect/segment_distance.cpp,
// bspline/intersect/tangency.cpp). A segment is given by its two end points, its local parameter running from 0 to 1. A
// NULL argument answers rc 3, a non-finite point, parameter or tolerance rc -2; nothing is written then.

enum : int {
  BSRC_NO_TANGENCY = -12,  // the tangency solve did not settle or did not land on the straight segment
};
// Index of "no pair" in BSmdstptarr.
constexpr int BSNO_INDEX = 2000000000;

// Nearest points of the segments a0 a1 and b0 b1, with their local parameters u and v. Crossing or skew segments
// whose feet lie inside both give those feet; otherwise the nearest of the four ends against the other segment
// (the first met of equal ones: a0, a1, b0, b1). Segments within about 3e-5 rad of parallel (1 - cos^2 below
// tolerance entry 6) are parallel: where their stretches along the line meet, the middle of the common stretch
// on each, at the distance of a0 from b's line.
void BSdlsegs2(const double a0[3], const double a1[3], const double b0[3], const double b1[3], double *dist,
               double pa[3], double pb[3], double *u, double *v, int *rc);
// Nearest point of the segment s0 s1 to p; feet within tolerance entry 6 of an end are put on it (s 0 or 1).
void BSdptseg2(const double p[3], const double s0[3], const double s1[3], double foot[3], double *s, double *dist,
               int *rc);
// The ends o0, o1 of the common stretch of two collinear segments, measured along a0 a1 and never beyond it (ends
// within tolerance entry 6 of a0 are put on it). Segments apart along their line give o0 past o1.
BSboolean BSoverlap(int *rc, const double a0[3], const double a1[3], const double b0[3], const double b1[3],
                    double o0[3], double o1[3]);

// The spans of a tangency solve, handed to the residuals through the solver record's data field. For BStanlnfn
// cv1 is the two-pole segment and x[0] the parameter of cv2; for BStan2cvfn x = (t1 on cv1, t2 on cv2).
struct BStanspans {
  const VOQbsp_curve *cv1;
  const VOQbsp_curve *cv2;
};
// Residuals (BSnewtonfunc): the parameters are clamped into their ranges in place. BStan2cvfn answers
// f = ((|N1 . T2| + |N2 . T1|) / 2, |C1 - C2|), BStanlnfn f = |L . N| (L the segment's direction). FALSE with the
// callee's code where a span has no tangent or principal normal.
BSboolean BStan2cvfn(int *rc, double *x, double *f, void *block);
BSboolean BStanlnfn(int *rc, double *x, double *f, void *block);
// A touching point of two spans near (t1, t2), k1 and k2 their knot tolerances: one unknown when a span is a
// two-pole segment, else two. rc -12 when the solve needs all 25 iterations or its point lies farther than a
// tenth of tolerance entry 3 from the segment; a solution no nearer than the start gives the start back. rc -2
// for a start outside its span's range or a knot tolerance that is not positive.
void BSpttan2cvs(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, double k1, double k2,
                 double *t1_out, double *t2_out, double p1[3], double p2[3], int *rc);
// Nearest points of two spans searched from (t1, t2): up to 5 samples a span around the current pair in a window
// of 1000 knot tolerances that shrinks by 0.8 a pass, at most 9 passes, ending early within `dist_tol`. A first
// pass that finds nothing nearer than the start gives the start back. rc -2 for a start outside its range.
void BSmdstbzbz(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double t1, double t2, double k1, double k2,
                double *t1_out, double *t2_out, double p1[3], double p2[3], double *dist, int *rc);
// Appends samples c - 2h, c - h (direction 0, limit below) or c + h, c + 2h (direction 1, limit above) around
// c = params[2] at params[*count]: a value beyond the limit becomes the limit once, the rest beyond it are left out.
void BSsmplprm(double limit, double h, std::int16_t direction, int *count, double *params);
// The nearest pair of two point arrays (the last of equal pairs); with an empty array the indices stay BSNO_INDEX
// and the distance is the square root of the largest double.
void BSmdstptarr(int count1, const double *points1, int count2, const double *points2, int *i1, int *i2,
                 double *dist, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Polygon-based intersector of two Bezier spans (bspline/intersect/polygon_intersector.cpp) and the piece stack of a span's
// self-intersection (bspline/intersect/piece_stack.cpp).

constexpr int BSXBZ_MAX_ORDER = 16;        // spans of higher order are refused with rc -2
constexpr int BSXBZ_MAX_NODES = 76;        // room of a node polygon (a span of order 16 has at most 46 nodes)
constexpr int BSXBZ_MAX_CANDIDATES = 2048; // room of the candidate list (at most 45 x 45 leg pairs)
// The most results BSxbzs4 gives: one per pair of polygon legs, (nodes1 - 1)(nodes2 - 1) for spans of order 16.
constexpr int BSXBZ_MAX_RESULTS = 2025;

// The crossings of two Bezier spans (one span each: num_poles == order, order 2 .. 16), found from the node polygons of
// both: each pair of legs within the margin gives one start of the iteration, and after all of them a span end within
// the margin of a leg of the other span (and not on an end of that span) one more, and two end legs meeting at their
// nodes (an end both spans share), each cut into 4 pieces, one more from each pair of pieces (but the pair at that end)
// within the margin scaled by the pieces' squared share of the leg; and each leg pair whose start at the legs' nearest
// points did not converge one more from the legs' middles (what that one finds is new only where merging would keep it
// apart from every candidate); and each leg pair with an end leg at a shared end whose start from the legs' middles led
// nowhere or met the spans outside its legs one more from the shorter leg's middle and its foot on the longer leg (what
// that one finds is new only on its own legs, within the knot tolerances, and where merging would keep it apart from
// every candidate); these only add crossings. n results (points, par1 on cv1, par2 on cv2) in the order of their leg
// pairs, then those found only from span ends. Two candidates are one meeting only when both spans stay near them in
// between: each span's point at the middle of the two parameters (the short way round on a closed span) within the
// merge distance of the middle of the two points. The merge distance (at least dist_tol) is about 0.32% of the shorter
// longest pole leg: 10,000 times its square is a tenth of the smaller squared longest leg. So two crossings at one
// place on two branches of a span, or close together on two arms, are both kept. A candidate within dist_tol of an
// earlier one that is the same meeting is a repeat. Neighbours that are one meeting are merged when they lie within the
// merge distance of each other and both were solved as touching points with the spans within dist_tol of each other
// between them (each span's point at the middle parameters on the other), or within 10 dist_tol (and the merge
// distance) when either crosses at a clear angle; a run of them becomes one result at its middle (a middle off either
// span keeps the run's first candidate). The output arrays need room for (nodes1 - 1)(nodes2 - 1) results, at most
// BSXBZ_MAX_RESULTS; more candidates than that answer rc -2. *tangent is 1 when a crossing was met where the tangents
// are within about 4.5 degrees; it is then solved as a touching point (by the nearest points where the tangency solve
// fails, at once for a start that meets, within dist_tol, a start where it failed before). The weights pointer of a
// non-rational span is set to NULL. On failure n counts the results written so far and tolerance entry 1 is put back to
// its value on entry.
void BSxbzs4(VOQbsp_curve *cv1, VOQbsp_curve *cv2, std::int32_t *n, double *points, double *par1, double *par2,
             BSboolean *tangent, int *rc);
// The largest squared distance of consecutive poles (Cartesian when weights are given).
double BSmaxlegsq(int num_poles, const double *weights, const double *poles, int *rc);
// The node polygon of a Bezier span: count node parameters and their points (arrays of BSXBZ_MAX_NODES entries)
// and the deviation, the largest distance of a leg's middle from the span at the leg's middle parameter.
void BSspnndptpr(const VOQbsp_curve *span, int *count, double *points, double *params, double *deviation, int *rc);
// Newton iteration on C2(t2) - C1(t1) from (t1, t2), at most 10 steps: converged (and t1, t2 written back) when it
// stops within `dist_tol` with the tangents never parallel. point is the middle of the last two curve points,
// left unwritten when a closed span's parameter ran 5 periods out of its range.
void BScvcviter(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean closed1, BSboolean closed2, double k1,
                double k2, double *t1, double *t2, double point[3], BSboolean *converged, int *rc);
// t clamped into [a, b] (open), or brought back by whole periods (closed); wraps 5 means it was 5 periods or more
// out and t may still lie outside.
void BSprmwrap(double a, double b, BSboolean closed, double *t, int *wraps);

// Whether the polyline through num_points points crosses itself: points within `dist_tol` of the previous kept
// one are dropped; any two segments that are not neighbours meeting, or the last point lying on the segment
// before it, is a crossing.
BSboolean BSls_slfint(int *rc, const int *num_points, const double *points, BSboolean *crosses);

// One step of a piece stack of *count records (always a multiple of 2; every record and its blocks from the
// library heap, owned by the stack): the top pair is copied into wc1 and wc2 (the caller's records, room for
// BSXBZ_MAX_ORDER poles) and released; each working piece whose polygon crosses itself or whose end points lie in
// the box of its other poles is halved at its parameter middle, unless that lies within its knot tolerance of an
// end or its polygon is shorter than `dist_tol`; curve 1's halves go back into the freed slots, curve 2's on top
// (the array grown by two entries with BSdbgralloc when both were halved). A top record of more than
// BSXBZ_MAX_ORDER poles answers rc -2 with the stack unchanged; rc -13 when a record or the array cannot be
// allocated. After any failure each record is on the stack once, counted, or released.
BSboolean BStst_stack(int *rc, std::int32_t *count, VOQbsp_curve ***stack, VOQbsp_curve *wc1, VOQbsp_curve *wc2);

// ---------------------------------------------------------------------------------------------------------------
// Intersection of two Bezier spans (bspline/intersect/span_intersection.cpp).

// Where two spans (one Bezier span each: num_poles == order, order 2 .. BSXBZ_MAX_ORDER, rc -2 otherwise) meet:
// n results (points, par1 on cv1, par2 on cv2), the interior ones in the order their method gives them with the end
// results of BSendpoint placed among them by par1 (BScvcv_comb); the caller's arrays hold BSSPAN_RESULTS (rc 44
// with n = 0 for more); an interior result that the tangency flag would drop beside an end result stays unless it
// is one touch with it (BSxbzs4's merge test of two touching candidates at the drop distance). overlap 1 when the
// spans coincide between two end results, which are then the n = 2 results. A two-pole span shorter than
// sqrt(dist_sqtol) gives the end results only. Straight spans and circular arcs meet in closed form (a failing arc
// test leaves a span general), other pairs through BSxbzs4, which sets the weights pointer of a non-rational span to
// NULL. A span whose end knots are not full is taken clamped, in a copy over the same range. On failure n is 0.
void BSbzbz_int(VOQbsp_curve *cv1, VOQbsp_curve *cv2, int *n, double *points, double *par1, double *par2,
                BSboolean *overlap, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Curve against curve (bspline/intersect/curve_intersection.cpp).

// Classes of a curve or span for the intersection.
enum : int {
  BSINT_UNKNOWN = -1,
  BSINT_POINT = 1,    // its poles make a point (BStstcvdegn)
  BSINT_SEGMENT = 2,  // order 2 with 2 poles
  BSINT_GENERAL = 3,
};
// The most results one span pair may answer: 255 crossings and 2 end results.
constexpr int BSSPAN_PAIR_RESULTS = 257;
// Spans of higher order than this do not fit a span record: such curves are refused where spans are paired.
constexpr int BSSPAN_MAX_ORDER = 16;

// The class of cv. A curve too short for the degeneracy test (its rc 49) is classed by its order and poles.
void BScvinttyp(const VOQbsp_curve *cv, int *cls, int *rc);

// A point-like curve pcv against cv (of class cv_class): n_int 0 or 1, the point, its parameter on pcv (the
// middle of its range unless an end) and on cv. The ends of both curves are tried first; parameters within the
// knot tolerance of an end are put on it.
void BSptcv_int(const VOQbsp_curve *pcv, const VOQbsp_curve *cv, int cv_class, int *n_int, double pt[3],
                double *par_p, double *par_c, int *rc);

// The range tree of the spans of cv (a leaf per span of non-zero length, its pole box widened by 10 dist_tol),
// its nodes flagged against the box (box_min, box_max) from the root down; children that miss are dropped from
// their parent's count. level_counts and levels (20 entries each) are cleared on entry; the levels come from
// BSdbgmalloc and are the caller's. A curve of more than 2^19 such spans answers rc 44 with nothing built; any
// failure leaves nothing allocated.
void BScvspnrgtr(const VOQbsp_curve *cv, const double box_min[3], const double box_max[3], int *n_levels,
                 int *level_counts, BSrangenode **levels, int *rc);

// Two Bezier spans (one span each, order at most 16) of the given classes: n results, points of 3 doubles with a
// parameter on each span; *overlap TRUE when the two results are the ends of a common stretch. The output
// arrays hold BSSPAN_PAIR_RESULTS results. The weights pointer of a non-rational span may be set to NULL.
void BSxspnspn(VOQbsp_curve *span1, VOQbsp_curve *span2, int class1, int class2, int *n, double *pts, double *par1,
               double *par2, BSboolean *overlap, int *rc);

// Appends one span pair's results to the accumulators: an overlap (exactly 2 results) as one overlap, else n
// points. The array arguments point at the accumulator's array pointers; the first block of each kind holds 100
// entries and is the caller's; a store that must grow moves to BSdbgmalloc arrays (the old ones released when
// their block counter is above 0), points to the next multiple of 100 at or above the new count. rc -13 when an
// allocation fails, -2 for a damaged batch or store; the accumulators are then unchanged.
void BSspnspnmem(int n, const double *pts, const double *par1, const double *par2, BSboolean overlap, int *n_int,
                 double **int_pts, double **int_par1, double **int_par2, int *n_over, double **over_pts,
                 double **over_par1, double **over_par2, int *int_blocks, int *over_blocks, int *rc);

// The curve/curve intersection call (arguments as above): two polynomial segments go to BSlnln_int, two polynomial
// line strings to BSlsls_int, a point-like curve to BSptcv_int, anything else span by span, the curve with more spans
// through a range tree. The curves are only written to set the weights pointer of a non-rational curve to NULL. rc -2
// for a damaged curve (non-finite or zero weights included) or missing outputs, and for a curve of order above 16 that
// must be paired span by span; 44 for more than 2^19 spans; -13 or 33 without memory.
void BScvcvint(VOQbsp_curve *cv1, VOQbsp_curve *cv2, BSboolean merge_by_dist, int int_size, int over_size,
               double *int_pts, double *int_par1, double *int_par2, double *over_pts, double *over_par1,
               double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc, BSboolean *over_alloc,
               double **a_int_pts, double **a_int_par1, double **a_int_par2, double **a_over_pts,
               double **a_over_par1, double **a_over_par2, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Self-intersection of a curve (bspline/intersect/self_intersection.cpp).

enum : int {
  BSRC_SLFINT_FAILED = -1,  // a step failed without a code of its own: the result would otherwise read "no loops"
};

// Where cv meets itself: n_int crossings, each a pair of parameters (first, second; on a curve of more than one
// span the smaller first), and n_over overlaps, each a first interval (start, end) and the interval covering the
// same points a second time (second start, second end; it runs backwards where the curve does). All parameters are
// cv's. The six arrays come from BSdbgmalloc and are the caller's (released with BSdbgfree); a set whose count is
// 0 is NULL. A curve on a straight line gives overlaps only, one per pair of pieces between its turning points
// that share a stretch, and one per stationary run. The closing point of a closed curve and crossings at an
// overlap's first start or end are not reported; abutting overlaps come back as one. When cv is not rational its
// weights pointer is set to NULL. A failure hands nothing out (counts 0, all six NULL): rc 3 for a NULL argument,
// -2 for a damaged curve or an order above 16, -13 or 33 without memory, -1 for a step that failed without a
// code, else the callee's code.
BSboolean BScv_slfint(int *rc, VOQbsp_curve *cv, int *n_int, double **first, double **second, int *n_over,
                      double **over_first_start, double **over_first_end, double **over_second_start,
                      double **over_second_end);
// The crossings of one Bezier span (num_poles == order, order 2 .. 16) with itself, each as its parameter on the
// earlier and on the later of two pieces, found by halving the span on the piece stack. The arrays come from
// BSdbgmalloc (first room 8 order^2, grown as needed); with no crossing or a failure both are NULL and count 0.
BSboolean BSspnslfint(int *rc, const VOQbsp_curve *span, int *count, double **first, double **second);
// A curve on a straight line cut where it turns back: each piece its start and end point (6 doubles) and start
// and end parameter (2 doubles), and the stationary runs (order - 1 coincident pole steps) each as first interval
// (2 doubles: where the curve stands still) and second interval (both the run's end). The caller's arrays hold as
// many pieces and runs as cv has poles. Without a turning point the piece count is 0.
void BSfndturovr(const VOQbsp_curve *cv, int *n_pieces, double *piece_pts, double *piece_pars, int *n_runs,
                 double *run_first, double *run_second, int *rc);
