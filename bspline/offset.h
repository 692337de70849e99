// Planar offsets of B-spline curves. One smooth piece (bspline/offset/): its control polygon is offset leg by
// leg, the result is checked against the true offset at sample parameters, and the spans that fail are refined
// by knot insertion until the check passes.
//
// Offsets are made in the xy plane. normal is the plane's normal, (0, 0, 1) or (0, 0, -1): the offset direction
// at a point with unit tangent T is side x (T x normal), T's z taken as 0; the polygon rules look only at whether
// normal[2] is exactly 1.0. side is +1 or -1.
//
// Conventions are the core's (bspline/bspline.h): rc set to 0 on entry, every routine leaving through BSexit
// under its exact name. A distance, tolerance, parameter, point or normal that is not finite, and a side other
// than +1 or -1, is refused with rc -2 before any work.
#pragma once

#include "bspline/bspline.h"

// Codes beyond the core's.
enum : int {
  BSRC_OFFSET_PASSES = 5,    // the offset check still failed after the last refinement; the result is usable
  BSRC_NO_CONVERGENCE = -12, // a Newton projection did not converge
};

// Refinement passes of the span offset, and the iterations of its Newton projection.
constexpr int BSOFFSET_MAX_PASSES = 15;
constexpr int BSOFFSET_MAX_NEWTON = 25;

// ---------------------------------------------------------------------------------------------------------------
// Offset of one smooth piece (bspline/offset/span_offset.cpp)

// The offset of cv at dist. *out is a record the caller allocated (BSallocvoqcv, no boundaries) or any record
// this routine may release: it is replaced by a new record whenever the result needs another size, so the caller
// holds the result only through *out and releases it with BSfreevoqcv. cv is never changed.
// Outside the arc case the result has the order, weights and knots of cv refined where the check failed, and the
// z coordinates of those refined poles; an unclamped cv is offset as its clamped copy (its end knots clamped). A
// rational planar arc of order 4 or more is offset exactly as an arc of its degree (a point curve at the centre
// when offset inwards by its radius).
// rc 5 when the check of the last of the 15 passes still failed (the result is usable); 3 for a NULL argument;
// -2 for a malformed or non-finite curve or argument; -6 for a null tangent or leg normal; 33 / -13 without
// memory (then *out may be NULL); or a callee's code.
void BSspnoffset(const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve **out,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Offset control polygon (bspline/offset/offset_polygon.cpp). out is a copy of cv (same order, pole count and
// rational flag); the poles set get z = 0 and, when rational, cv's weight.

// The poles of out that span s uses (order - 1 <= s <= num_poles - 1, else rc -2): end poles along the normal of
// the first / last leg that is not degenerate, interior poles by BSsetq. rc -6 when no leg has a normal.
void BSsetspn(int s, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
              int *rc);
// Interior pole i (1 <= i <= num_poles - 2; otherwise rc 5 and nothing read): the mitre point of the two offset
// legs that meet there, the incoming leg's offset where the polygon turns back. Where the curve jumps between i
// and a neighbour (an interior knot of full multiplicity), that leg is no part of it: i moves as an end pole of
// its part, along the normal of its other leg.
void BSsetq(int i, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
            int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Acceptance check of an offset (bspline/offset/offset_check.cpp)

// Tests the n points (params ascending, targets 3 each: the true offset points) against off_cv: a point passes
// when its target lies within 0.75 offset_tol of off_cv and its foot within the larger of tol (compared with the
// squared distance) and (0.75 offset_tol)^2, squared, of off_cv at the same parameter. The spans of span_cv that
// hold failing points go to bad (each once, ascending; room for n), the failing points to the front of params
// and targets (nkeep of them); ok 1 when all passed. A projection that does not converge (rc -12) or whose
// solver breaks down (-1) is judged by the global nearest point (BSmdstptcv). rc 33 without scratch memory, or a
// callee's code.
void BStstspn1(int n, double tol, double *params, double *targets, const VOQbsp_curve *span_cv,
               const VOQbsp_curve *off_cv, int *nbad, int *bad, int *nkeep, BSboolean *ok, int *rc);
// The foot of pt on cv by a bounded Newton iteration from u0 (in cv's range): parameter, point and distance.
// rc -12 when it took 25 iterations, or the solver's code (-2 for u0 outside the range).
void BSprptnrcv(const VOQbsp_curve *cv, double u0, const double pt[3], double *u, double foot[3], double *dist,
                int *rc);
// The residual of that iteration: the signed distance of pt from the curve point at *u along the unit tangent
// (0 within dist_tol). *u is clamped into the range in place. data is the address of the solver record's data
// field, which points to a BSprptdata. TRUE when rc is 0.
struct BSprptdata {
  const VOQbsp_curve *cv;
  double pt[3];
};
BSboolean BSprptnrfn(int *rc, double *u, double *f, void *data);

// ---------------------------------------------------------------------------------------------------------------
// Polynomial extension of a Bezier span (bspline/offset/polynomial_extension.cpp)

// The span cv (num_poles == order, 2 to 16, open) continued past its end (*at_end nonzero) or its start along its
// own polynomial, or its own rational function, into out (room for 2 order - 1 poles, 3 order - 1 knots and, when
// rational, weights; boundaries cleared). Directly: one span over a range f times as long (f 10 for a polynomial
// line, else 4), the given span's range kept at the side not extended. A rational span whose extrapolated weights
// would fall below a quarter of their mean is continued less far, halving the reach up to 8 times, as two spans:
// the given span and the continuation, joined by a knot of multiplicity order - 1 (range [a, b] of the given span
// kept; the continuation after b, or before a when the start is extended). rc -2 for an input that is not a
// single open span of order 2 to 16, -1 when no halving gives usable weights, 3 for a NULL argument; out is
// written only on success.
BSboolean BSpoly_ext(int *rc, const VOQbsp_curve *cv, const std::int16_t *at_end, VOQbsp_curve *out);

// ---------------------------------------------------------------------------------------------------------------
// Offsets by a distance law (bspline/offset/distance_law.cpp, bspline/offset/variable_offset.cpp)

// A distance law: linear from a at position 0 to b at position 1, or a planar law curve drawn over x whose x
// extent stands for positions 0 to 1 and whose y at t0 maps to a and at t1 to b. Six 32-bit words on the
// product's platform; {1, 0, 0, 0, 0, 0} is the linear law.
struct BSdistlaw {
  std::int32_t linear;        // nonzero: linear; curve, t0 and t1 are not read
  const VOQbsp_curve *curve;  // the law curve, single-valued over x (may be NULL for a linear law)
  double t0, t1;              // parameters on the law curve
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(BSdistlaw) == 24, "the law block keeps its six words");
#endif

// The distances of the law at the n positions u in [0, 1]. Positions are all tested before any value is written.
// rc 12 for a position outside [0, 1] or not finite, a non-finite a or b, and for a law curve with t0 and t1
// closer than dist_tol, equal y at t0 and t1, or no x extent; -2 where the law is not crossed exactly once
// (also where it is crossed more often than it has poles); 3 for a missing array; -2 for a damaged law curve;
// 33 without scratch memory.
void BSlawcvvals(const VOQbsp_curve *law, double a, double b, double t0, double t1, int n, const double *u,
                 BSboolean linear_law, double *out, int *rc);

// The offset of one planar curve by the law's distance, which runs from position u0 at the curve's start to u1
// at its end along its arc length: side by side_flag (nonzero: the right of the direction of travel) or, with
// side_by_flag 0, towards side_point. normal is not read. *result receives a new record (BSallocvoqcv) that the
// caller releases with BSfreevoqcv, also after a failure, when it is not NULL. Tolerance entry 15 is changed
// during the call and put back. rc -1 for every failure (the callee's code is on the trace), among them a side
// point within dist_tol of the curve and a curve of no length.
void BSvrcvofntp(const VOQbsp_curve *curve, const double side_point[3], BSboolean side_by_flag,
                 const double normal[3], BSboolean side_flag, double a, double b, const BSdistlaw *law, double u0,
                 double u1, VOQbsp_curve **result, int *rc);

// A quadratic Bezier whose legs turn back by more than about 170 degrees as 8 poles with knots crowded about
// its turn, on its own parameter range; any other curve as a plain copy. *out receives a new record.
void BSvrofq3ref(const VOQbsp_curve *curve, VOQbsp_curve **out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Trimming of neighbouring offset pieces (bspline/offset/offset_trimming.cpp). Pieces are cut in the xy
// projection: the z of their poles is set aside, set to 0 for the intersections and nearest points, and put back
// on every way out, failures included. Replacements are copied into the caller's records (which keep their
// arrays, room enough for any piece of the curve), and carry no boundaries.
//
// The pending start trim is a 16-bit flag and a point owned by the caller and passed from one join of a chain to
// the next: set, it says that the start of the latest piece is still to be cut back to the point.

enum : int {
  BSRC_TRIM_FAILED = -1,  // a reparametrisation failed; a cut, extraction or copy of a piece failed
  BSRC_NO_JOIN = -12,     // two offset pieces neither cross nor overlap, or fold onto each other
};

// cv put onto the parameter range [a, b] in place (knots mapped affinely; those at the range ends become a and b
// exactly; a = b makes every knot a); its boundaries are dropped. rc -1 for every failure (NULL or damaged
// curve, a > b, a bound not finite, a curve of no range mapped onto a range), cv then unchanged.
void BSofrparcv(VOQbsp_curve *cv, double a, double b, int *rc);

// The front of cv cut off at the foot of p (nearest in xy, p taken as lying in the plane): cv keeps the part
// from the foot to its end, on its former range; a foot within the knot tolerance of the end leaves a point
// curve at p itself (cv's order and rational flag). Nothing is pushed onto the trace (the callers report).
// rc 3 for a NULL argument, -2 for a damaged curve or a non-finite point, 33 without scratch memory, else a
// callee's code; cv changes only once the new piece is made. The two names serve the pending start trim of
// composite offsets and the corner joins.
void BScvtrmpt(VOQbsp_curve *cv, const double p[3], int *rc);
void BSoftrmfrnt(VOQbsp_curve *cv, const double point[3], int *rc);

// Trims two consecutive offset pieces at their crossing: of several, the one latest on cv1; with none, the
// second end of the first overlap. cv1 is cut back at its end to the crossing (from the pending point when the
// flag is set); in modes 3 (last join of a chain) and 4 (closing join) cv2 is cut at its start at once, in any
// other mode it is left to the next join: the flag is set and pt becomes the crossing (with cv2's z there). A cut
// within the knot tolerance of an end leaves a point curve. Parameters are not restored; callers that need the
// former ranges apply BSofrparcv. d1, d2 are the pieces' (signed) offset distances.
// rc -12 when the pieces neither cross nor overlap, or meet only at their junction while their far ends lie
// within the larger distance of each other (then, with the flag set, cv1 is cut back to the pending point and
// the flag is cleared; cv2 is unchanged), and in mode 4 when the only crossing is the start of cv1 and the end
// of cv2 (nothing changed). rc 3 for a NULL argument; -2 for a damaged curve, cv1 == cv2, a non-finite distance
// or pending point; 33 without scratch memory; -1 when a cut or copy failed; else a callee's code.
// *zero_out is set to 0 on entry and never written otherwise: callers' branches on it never fire.
void BScvinttrmd(double d1, double d2, VOQbsp_curve *cv1, VOQbsp_curve *cv2, int mode, double pt[3],
                 std::int16_t *pending, int *zero_out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Joining offset pieces by extending them (bspline/offset/extension_join.cpp)

// cv1 and cv2 continued past their chosen ends (low 16 bits of ends[i]: 0 the start, else the end) and cut at a
// crossing of the continuations, so that both end exactly at one point: pieces whose poles lie on a line are
// continued straight, ten times their chord, others along their end span's own function (BSpoly_ext). Of several
// crossings the one with the least summed distance to the two chosen ends; where the continuations run over each
// other, the second piece's end. Ends already within dist_tol are only moved onto their midpoint. out1 and out2
// are the caller's records with room for num_poles + 2 order - 2 poles of their curve (knots, weights alike);
// they may hold partial results after a failure. rc -12 when the continuations neither cross nor overlap, -2 for
// a physically closed (or damaged) curve, -1 when an overlap does not bring the ends within 10 dist_tol, 3 for a
// NULL argument, else a callee's code.
void BSpolyxcvcv(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const std::int32_t ends[2], VOQbsp_curve *out1,
                 VOQbsp_curve *out2, int *rc);

// One piece cut with a straight ray (bspline/offset/extension_join.cpp), cut in the xy projection: mode 1 the ray
// runs on from out1's end and cuts out2, out1 lengthened to the crossing; 2 the ray runs up to out2's start and
// cuts out1, out2 lengthened; 3 the ray runs back from out1's start and cuts out2, out1 becomes a point at the
// crossing (flag -1); 4 the ray runs on from out2's end and cuts out1, out2 becomes a point (flag -2). Of several
// crossings the one farthest along the ray (modes 1, 3) or latest on out1 (2, 4). The cut piece keeps what lies
// beyond the crossing, or becomes a point there when that is within knot_tol (flag -1 in mode 2, else -2). A
// lengthened piece of order 2 at the ray's height just has its corner pole moved; others get the ray's stretch
// merged on, and need room for num_poles + 2 order - 2 poles. Both keep their ranges. ray_z holds 2 doubles,
// piece_z one per pole of the cut piece (save areas of the z coordinates). count: the number of crossings.
void BSexttrmln(VOQbsp_curve *ray, int mode, double *ray_z, double *piece_z, double tol, double knot_tol,
                VOQbsp_curve *out1, VOQbsp_curve *out2, int *count, std::int16_t *flag, int *rc);

// The end of cv1 joined to the start of cv2, two offset pieces at (signed) distances d1 and d2, into the caller's
// out1 and out2 (room as for BSpolyxcvcv). The continuations of BSpolyxcvcv are taken (flag 1) unless a piece
// grows by more than the reach f dmax (dmax the larger size of d1, d2, or chrdht_tol when both are 0; f 3, 2, 1.5
// or 1 as dmin / dmax passes 0.3, 0.5, 0.8; for two 2-pole pieces 2 max(polygon lengths) / dmax); a 2-pole line
// then comes back with 2 poles. Otherwise rays of that reach (f 1 raised to 3) are tried in the order of
// BSexttrmln's modes 1 to 4 (flag 0, or -1 / -2 when ray 3 or 4 reduced a piece to a point); a piece of no length
// is carried to the other's start instead. When no ray meets, *trim_flag is cleared and, with d1 != d2, *line
// receives a new 2-pole line from out1's end to out2's start (BSallocvoqcv, the caller's to release); with
// d1 == d2 rc is -12. point is not read. rc 3 for a NULL argument, -2 for damaged curves or non-finite
// distances, 33 without scratch memory, else a callee's code.
void BSexttrmcmp(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, double d1, double d2, std::int16_t *trim_flag,
                 const double point[3], VOQbsp_curve **line, std::int16_t *flag, VOQbsp_curve *out1,
                 VOQbsp_curve *out2, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Corners between offset pieces (bspline/offset/corner_classification.cpp, bspline/offset/corner_joins.cpp)

// How the path p0 -> p1 -> p2 turns at p1, seen from the offset side (the sign of side times the normal):
// *kind 1 straight (also a full reversal, and a leg of no length), 2 towards the offset side (the offsets
// overlap), 3 away from it (they leave a gap; also p2 within dist_tol of p0). rc 3 for a NULL argument, -2 for
// a point or normal that is not finite; FALSE whenever rc is nonzero, *kind then unwritten.
BSboolean BSzigzag(int *rc, const double p0[3], const double p1[3], const double p2[3], const double normal[3],
                   const int *side, int *kind);

// Codes of the joining curve of BSofk3arc.
enum : int {
  BSJOIN_NONE = -65,      // nothing built (line offsets may have been extended)
  BSJOIN_CONIC = -64,     // order 3, rational, 9 poles at most
  BSJOIN_ARC = -63,       // circular arc: order 3, rational, 7 poles at most
  BSJOIN_POLYLINE = -62,  // order 2, two or three segments
  BSJOIN_SEGMENT = -61,   // order 2, one segment
};

// The join at the corner where piece A ends and piece B starts, between their offsets offA (ending at E) and
// offB (starting at S) at distances dist1 and dist2; side +1 or -1 relative to normal. corner nonzero asks for a
// curved join (an arc about the corner, or a conic), 0 for a sharp one (mitre point, square end at a reversal).
// Line offsets (order 2, one z) are extended by moving their end pole; with unequal distances an offset is
// trimmed back to where the other's tangent ray crosses it. Both happen in the caller's records, and only when
// the join succeeds; offA and offB may be one record (a closing corner). A joining curve goes to *arc (a new
// record, which the caller sets NULL before and releases after, also after a failure) with its code in *code;
// it runs from the end of offA to the start of offB as they are on return.
// rc -12 when the end tangents of a sharp join are parallel; 43, 45 or 46 when tangent lines that must meet do
// not; 3 for a NULL argument; -2 for a damaged curve, a distance that is negative or not finite, a normal that is
// not finite or a side other than +1 or -1; 33 without scratch memory; -1 when a release failed; or a callee's
// code.
void BSofk3arc(const VOQbsp_curve *A, const VOQbsp_curve *B, VOQbsp_curve *offA, VOQbsp_curve *offB,
               std::int16_t corner, double dist1, double dist2, const double normal[3], int side, int *code,
               VOQbsp_curve **arc, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Chaining of offset pieces and removal of the loops of an offset (bspline/offset/loop_preparation.cpp,
// bspline/offset/loop_removal.cpp)

enum : int {
  BSRC_CHAIN_OPEN = -1,   // the curves do not join into one chain
  BSRC_LOOPS_FAILED = -1, // loop removal failed (the cause is on the trace)
};

// One position of a chain of curves joined end to end.
struct BSchainrec {
  std::int32_t curve;     // index of the curve in the caller's array
  std::int32_t gap;       // 1: the junction after this position is open by more than dist_sqtol (squared)
  std::int32_t reversed;  // 1: the curve runs from its last pole to its first in the chain
};

// The order in which the n curves join end to end into one chain, starting with curve 0 in its own direction.
// Ends are the end poles (divided by their weights). A curve fits where its end lies within a limit of the
// chain's end, or else of its start; the limit starts at dist_sqtol and widens tenfold after each of at most 20
// passes in which nothing more fits. records: n positions; each inner junction whose ends miss by more than
// dist_sqtol has gap 1 and its midpoint in gap_points (3 doubles each, room for n - 1), counted in *gap_count.
// The last record's gap says whether the chain closes: 0 for an open chain (closed 0), else 0 only when no inner
// junction is open and the last curve's end meets the first's start within dist_sqtol.
// rc -1 when no limit completes the chain: then only the positions placed are written and *gap_count is 0.
// rc 3 for a NULL argument, -2 for n < 1 or a damaged curve.
void BStstcvcnct(int n, const VOQbsp_curve *const *curves, BSboolean closed, BSchainrec *records, int *gap_count,
                 double *gap_points, int *rc);

// The self-intersections of cv (as BScv_slfint gives them) made ready for loop removal. Each crossing is a loop
// [a, b] of cv's parameters (a the smaller); each overlap whose stretches run the same way and do not meet at
// once is the loop [first end, upper end of its second interval]. Dropped: crossings within the knot tolerance
// of the range's start (a) or end (b), crossings that start on an overlap or where its stretches part (before its
// start, the curve up to it within dist_tol of the other stretch), branches that touch without crossing
// (unit tangents with squared cross product below tolerance entry 5; at a corner, branches whose sides do not
// separate), and loops that interlock with an earlier one. The remaining crossings and overlaps are written back
// to the caller's arrays (crossings sorted by a, a first) and their counts set.
// Outer loops, those in no other loop, give the outer intervals: *n_outer (start, end) pairs sorted by start in a
// new BSdbgmalloc array (NULL for none). Each loop also gives one inner loop record: kind 2 (a, b) when no loop
// lies in it, kind 4 (a, a', b', b), the stretches [a, a'] and [b', b], when exactly one loop (a', b') lies in it
// directly; a loop holding several beside each other gives none. Kinds and parameters are new BSdbgmalloc
// arrays with room for as many kinds as loops kept and four times as many doubles (NULL for none); the caller
// releases the three arrays with BSdbgfree. rc 3 for a NULL argument, -2 for a damaged curve, a negative count or
// a parameter that is not finite, 33 without memory, else a callee's code; on failure nothing is handed out.
void BSpreploop(int *rc, const VOQbsp_curve *cv, int *n_int, double *first, double *second, int *n_over,
                double *over_first_start, double *over_first_end, double *over_second_start,
                double *over_second_end, int *n_outer, double **outer, int *n_inner, std::int32_t **kinds,
                double **inner);

// cv without the c removed intervals given by the 2c ascending parameters cuts (c0 < c1 <= c2 < ...), the parts
// kept, [start, c0], [c1, c2] ... [c(2c-1), end], joined end to end (each part shifted in parameter onto the
// previous part's end; a part shorter than the splitting can cut is skipped) and the knots put on [0, 1]. out is
// the caller's record with room for order c + num_poles poles (and weights when cv is rational); it carries no
// boundaries. rc 3 for a NULL argument, -2 for a damaged curve, c < 0, cuts that are not finite, ascending and
// inside the range, or no part left; 33 without scratch memory, else a callee's code.
void BSremloop(int *rc, const VOQbsp_curve *cv, const int *c, const double *cuts, VOQbsp_curve *out);

// The loop partition of cv by its self-intersections (arguments as BSpreploop, whose in-place changes they
// undergo): *out becomes a new record (BSallocvoqcv) of cv with its outer loops cut out (BSremloop; a copy with
// its boundaries when there are none), knots on [0, 1], exactly closed when its ends meet. With loop_mode 1,
// *loops becomes a new BSdbgmalloc array of *n_loops new loop curves (NULL when 0), each closed and on [0, 1];
// otherwise *n_loops is 0. Everything belongs to the caller. On failure nothing is handed out (*out and *loops
// NULL, *n_loops 0): rc -13 without the loop array, 33 without a working record, else BSpreploop's or a callee's
// code.
BSboolean BSpartloop2(int *rc, const VOQbsp_curve *cv, int *n_int, double *first, double *second, int *n_over,
                      double *over_first_start, double *over_first_end, double *over_second_start,
                      double *over_second_end, std::int16_t loop_mode, VOQbsp_curve **out, int *n_loops,
                      VOQbsp_curve ***loops);

// The loops of the offset curve cv removed: *out becomes a new record (BSallocvoqcv, the caller's) on cv's
// parameter range, an exact copy (boundaries included) when cv does not meet itself. With loop_mode 1 the
// removed loops are appended to the caller's list (*n_loops curves in *loops, a BSdbgmalloc array or NULL), which
// is allocated or grown only when there are loops to add; other modes leave the list alone. The whole tolerance
// table is kept during the removal as on entry except the dependent entries, which BSchgdeppar derives from a
// tenth of basis_tol, and is put back bit for bit on every way out. Every failure answers rc -1 (the cause stays
// on the trace) with *out NULL and the caller's list unchanged. cv is written only to drop the weights pointer of
// a polynomial curve.
void BSofrmlp3(VOQbsp_curve *cv, std::int16_t loop_mode, int *n_loops, VOQbsp_curve ***loops, VOQbsp_curve **out,
               int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Corner joins of a composite curve's offset (bspline/offset/composite_joins.cpp). At each corner the last output
// piece prev (offset by d1) is joined to next, the offset of the following component (by d2, recorded under
// index): BScmpmrgoff where the corner is tangent-continuous, BScmpintoff where the offsets overlap and
// BScmpextoff where they leave a gap (BSzigzag's codes 1, 2 and 3).
//
// The output lists: *count entries of indices (a component's index, or the corner-join code -61 .. -64 of an
// inserted piece) and distances (its offset distance; max(d1, d2) for an inserted piece). A join appends at
// *count the entries of the pieces it adds after prev. Its results are new records (BSallocvoqcv) for the caller
// to put in place of prev and after it and to release; a result pointer that stays NULL leaves its slot as it is.
// Input curves are never changed. trim_flag and point are the pending front trim: a set flag first cuts the
// front of prev's copy back to point (BSoftrmfrnt) and is cleared; a trim at the crossing may set it again.
// Work on the pieces is flat: z is set aside and put back, so pieces at one height keep it.
// On failure nothing is appended and no result is handed out. rc 3 for a NULL argument, a record's own code for
// a damaged curve, -2 for a distance, point or normal that is not finite or a count below 0; -1 when a work
// record could not be released; 33 / -13 without memory; else a callee's code.

// Gap corner. comp1 and comp2 are the components before and after the corner (their knot tolerances, and the
// corner of a corner curve). mode 2: the pieces connected (BSlineconcvs with 2 when d1 is 0, else 3 when d2 is
// 0, else 0); out1, out2 and out3 as it gives them, (-61, max(d1, d2)) appended for a connecting line. mode 0:
// both pieces extended to the crossing of their extensions (BSpolyxcvcv, worked flat: what lies within a piece's
// range keeps its heights, an extension takes its end's), knots on [0, 1], a 2-pole line kept a 2-pole line;
// extensions that miss fall back to a sharp corner join. Any other mode, and that fallback: BSofk3arc with mode
// as its corner code (0 sharp) and the sizes of d1 and d2; a corner curve goes to out2 with its code and
// max(d1, d2), the pieces to out1 and out3. Last (index, d2). rc -12 when a sharp corner join finds the end
// tangents parallel (the caller then drops prev when it can).
void BScmpextoff(const VOQbsp_curve *comp1, const VOQbsp_curve *comp2, const VOQbsp_curve *prev,
                 const VOQbsp_curve *next, std::int16_t mode, double d1, double d2, const double normal[3],
                 int side, int index, std::int16_t *trim_flag, double point[3], int *count, int *indices,
                 double *distances, VOQbsp_curve **out1, VOQbsp_curve **out2, VOQbsp_curve **out3, int *rc);

// Overlap corner. prev2 is the piece before prev (NULL when there is none; d0 its distance) and position the
// corner's place in the chain for BScvinttrmd (1 first, 2 middle, 3 last). The pieces are trimmed at their
// crossing and back on their ranges, prev's end nearer the crossing then moved onto next there (next's height
// included); with position 1 or 2 next is left for the following join to cut (the pending trim is set). When
// they do not cross and prev2 is given with *count >= 2, prev2 is trimmed against next instead, next cut at the
// crossing, and prev becomes a point there (order 2). Failing that, they are extended (BSexttrmcmp): a piece
// reduced to a point is dropped (out2 or out3 NULL), and a dropped prev hands its entry, index d2, to next;
// a connecting line goes to out3 with (-61, max(d1, d2)) and next to out4. out1 is prev2's copy. The entry
// (index, d2) is appended when both prev and next remain. rc -12 when nothing joins them (BSexttrmcmp), -2 also
// for a *count below 1.
void BScmpintoff(const VOQbsp_curve *prev2, const VOQbsp_curve *prev, const VOQbsp_curve *next, int position,
                 double d0, double d1, double d2, int index, int *count, int *indices, double *distances,
                 std::int16_t *trim_flag, double point[3], VOQbsp_curve **out1, VOQbsp_curve **out2,
                 VOQbsp_curve **out3, VOQbsp_curve **out4, int *rc);

// Tangent-continuous corner. Ends closer than dist_sqtol both move to their midpoint; with d1 and d2 within
// dist_tol and the gap along prev's end tangent (tolerance entry 3), prev's end moves onto next's start.
// Otherwise BSexttrmcmp extends them (out1, out2, on their former ranges); where it connects them, or finds
// nothing with equal distances, a line from prev's end to next's start goes to out2 with (-61, max(d1, d2)) and
// next to out3. Last (index, d2).
void BScmpmrgoff(const VOQbsp_curve *prev, const VOQbsp_curve *next, double d1, double d2, int index,
                 std::int16_t *trim_flag, double point[3], int *count, int *indices, double *distances,
                 VOQbsp_curve **out1, VOQbsp_curve **out2, VOQbsp_curve **out3, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// The closing joint of a closed composite curve's offset (bspline/offset/closing_joint.cpp)

// The joint between the offset of the last component in_last (piece off_last, slot n - 1, at d_last) and that of
// the first in_first (off_first, slot 0, at d_first) of a closed chain of ncomp components, with the pieces
// beyond them off_prev (slot n - 2) and off_second (slot 1), either NULL, at d_prev and d_second. The chain's
// corner at its closing point (BSzigzag) decides: straight on, the end pieces are levelled (a height step over
// the square root of dist_tol moves the last pole of the last piece), trimmed at their crossing or extended
// (their ends snapped together when the extension does not serve); towards the offset side they are trimmed
// against each other, with more than three components one of them against the piece beyond a vanished
// neighbour (which becomes an order-2 point curve at the corner point), else extended, or bridged by a line;
// away from it corner_mode closes the gap as BScmpextoff does (0 extension to the crossing, 2 connection: its
// line takes slot 0 and the first piece the new slot) and any other mode by a corner curve (1 a curved one,
// others sharp). An appended piece (slot n) is entered in codes and dists at *count (-61 for a line, the corner
// curve's code otherwise, and max(d_last, d_first)) and *count raised by one. The pending start trim is cleared
// before a trim and left as the trims set it.
// The pieces come back as new records (BSallocvoqcv) in new_prev .. new_second (those of pieces given) and
// joint (NULL when none is made), for the caller to release and store in place of the slots' pieces; the
// caller's pieces are never changed. On failure all five are NULL and the lists as they were. rc 3 for a NULL
// argument, a record's own code for a damaged curve, -2 for a distance (of a piece given) or normal that is not
// finite, a pending corner point that is not (read only with the flag set), a side other than +1 or -1, *count
// below 0 or ncomp below 1, -6 for a zero end tangent of the chain, -1 when a work record could not be released,
// 33 / -13 without memory, else a callee's code.
void BScmpoffcls(const VOQbsp_curve *in_last, const VOQbsp_curve *in_first, const VOQbsp_curve *off_prev,
                 const VOQbsp_curve *off_last, const VOQbsp_curve *off_first, const VOQbsp_curve *off_second,
                 double d_prev, double d_last, double d_first, double d_second, int ncomp, std::int16_t corner_mode,
                 const double normal[3], int side, int *count, int *codes, double *dists,
                 std::int16_t *pending_flag, double corner_point[3], VOQbsp_curve **new_prev,
                 VOQbsp_curve **new_last, VOQbsp_curve **new_first, VOQbsp_curve **new_second,
                 VOQbsp_curve **joint, int *rc);

// Levels the joint of cv1 (at its parameter *u1) and cv2 (at *u2) after a trim: when the heights of the two
// points differ by more than dist_tol, the last pole of cv1 (which nonzero) or the first pole of cv2 (which 0)
// is put on the other curve's point, weighted by its own weight, which stays. rc 3 for a NULL argument, the
// record's own code for a damaged curve, -2 for a parameter that is not finite, else the evaluation's code.
void BSjntmtchz2(std::uint16_t which, VOQbsp_curve *cv1, VOQbsp_curve *cv2, const double *u1, const double *u2,
                 int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Offset of a whole planar curve (bspline/offset/whole_offset.cpp, bspline/offset/piece_pair_offset.cpp,
// bspline/offset/offset_closing.cpp). A negative distance offsets to the other side: it is taken as its size with
// the side reversed, so that the corners are classified and filled on the side the offset really lies on.

// The offset of curve (in the xy plane, only read) at dist into *out, a new record the caller releases with
// BSfreevoqcv (NULL on entry and after any failure). The curve is cut at its corner knots; the pieces are offset
// and joined pair by pair (BS2cvsoffpg), merged with joints at the mean of the neighbouring pieces' end and start
// parameters, and a physically closed curve is closed again (BSofmkcls). |dist| < 1e-14 gives a copy. corner is
// handed on to the corner joins (BSofk3arc). With corner non-zero, where an inner corner eats an open curve's end
// leg and the leg next to it both (their offsets neither cross nor reach each other) and the end leg's offset lies
// nearer than the distance to the other leg throughout, that offset is left out: the offset ends (or begins) with
// the other leg's, cut back to where it keeps the distance from the end leg. rc 5 when a piece offset used all its
// passes (the result is delivered); -12 when the curve has two pieces and both are degenerate, or no piece is left;
// -1 when the knots of the result decrease or a callee failed without a code; -13, 33 without memory; 3 for a NULL
// argument, -2 for a damaged curve or an argument that is not finite or a side other than +1 or -1; else a
// callee's code.
void BSxycvoff(const VOQbsp_curve *curve, double dist, std::int16_t corner, const double normal[3], int side,
               VOQbsp_curve **out, int *rc);

// A new record (*out) equal to piece, except that a single quadratic span whose legs fold back (cosine of the
// legs' directions below -0.9848) is refined to 8 poles with five knots crowded about the fold, on the piece's
// own parameter range. rc -1 when the copy fails, or a callee's code.
void BSofprpcv(const VOQbsp_curve *piece, VOQbsp_curve **out, int *rc);

// Sets curve's phy_closed from its end poles (squared distance below dist_sqtol) and answers whether all its
// poles are collinear.
void BSofchkln(VOQbsp_curve *curve, BSboolean *collinear, int *rc);

// The offsets of two adjacent pieces A and B (A's end is B's start) made to meet. mode 1 or 4: both are offset
// into *offA and *offB; 2 or 3: *offA is given and only B is offset; 5: both are given, nothing is offset and
// degeneracy is not tested. The slots hold records the routine may replace (NULL is allocated). *status 1, 2 or 3
// says that A, B or both are degenerate in the plane (then nothing is offset and rc is 0), or, after offsets
// were made, that the extension reduced A's or B's offset to a point (1, 2) or that the offsets could not be
// joined (3). A corner on the offset side is trimmed at the offsets' crossing (the cut of B's front is left to
// the next pair through trim_flag and trim_point), or both are extended until they meet; a corner away from it is
// filled by BSofk3arc, whose joining curve, like an extension's connecting line, goes to *arc (a new record the
// caller releases; *arc_flag 1). A pending trim request cuts the front of *offA first. rc 5 when a piece offset
// used all its passes (the result is complete); 3 for a NULL argument; -2 for a mode outside 1..5, a damaged
// curve, a distance, normal or point that is not finite or a side other than +1 or -1; else a callee's code.
void BS2cvsoffpg(const VOQbsp_curve *A, const VOQbsp_curve *B, int mode, double dist, std::int16_t corner, int side,
                 const double normal[3], std::int16_t *trim_flag, double trim_point[3], VOQbsp_curve **offA,
                 VOQbsp_curve **offB, std::int16_t *arc_flag, VOQbsp_curve **arc, int *status, int *rc);

// The offset of curve closed again into *out (a new record; NULL after a failure): a copy when curve is not
// physically closed; otherwise the closing corner is classified from curve's end and start tangents: smooth,
// the offset as it is; inner, the offset cut at the crossing of its tails (with a short closing line when the cut
// ends are more than dist_tol apart); outer, the offset with the corner join of BSofk3arc between last_piece and
// first_piece appended over [S, E - h] (S, E the offset's range, h 1.1 times the join's knot tolerance). Then its
// end poles are averaged and phy_closed set. Tolerance entry 1 is raised for the outer join and put back exactly
// on every path. rc -6 when the halves of a one-span offset do not cross, -1 when no crossing is found at all or
// the join is too far from the offset; 3 / -2 for bad arguments as above; else a callee's code.
void BSofmkcls(const VOQbsp_curve *curve, const VOQbsp_curve *offset, const VOQbsp_curve *last_piece,
               const VOQbsp_curve *first_piece, const double normal[3], std::int16_t corner, double dist, int side,
               VOQbsp_curve **out, int *rc);

// *a and *b brought to one order: the one of lower order is replaced by its degree-raised copy (the old record is
// released). Answers the common order, whether either is rational and the joint pole count (sum - 1).
void BSofupdeg(VOQbsp_curve **a, VOQbsp_curve **b, std::int16_t *order, BSboolean *rational, int *num_poles,
               int *rc);

// a then b (same order) into the caller's record out, knots on [0, 1], when a's last pole and b's first pole are
// at most 10 sqrt(dist_sqtol) apart; rc -1 otherwise (out untouched).
void BSofcvjoin(const VOQbsp_curve *a, const VOQbsp_curve *b, VOQbsp_curve *out, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Offsets by a distance law of curves with sharp corners (bspline/offset/law_offset_pieces.cpp). Law positions
// run from 0 at the start to 1 at the end of the whole curve being offset.

// BSvrcvofntp, then (fix_start, fix_end) the offset's second and second-to-last poles moved onto the base curve's
// end tangent directions at their former distance in xy, keeping their z (BSmodcvtnpl); an offset of 3 poles or
// fewer, or a degenerate one, is left as it is. rc 0 or -1 (the callee's code is on the trace); *result is the
// caller's to release, also after a failure.
void BSvrcvofwtp(const VOQbsp_curve *curve, const double side_point[3], BSboolean side_by_flag,
                 const double normal[3], BSboolean side_flag, double a, double b, const BSdistlaw *law, double u0,
                 double u1, std::int16_t fix_start, std::int16_t fix_end, VOQbsp_curve **result, int *rc);

// The offsets of two adjacent pieces (cv1's end is cv2's start) by the law over positions [u0, u1] and [u1, u2],
// joined at their corner. join 1 or 4: both are offset into *off1 and *off2; any other value: *off1 holds the
// first offset already and only cv2 is offset. Slots holding a record have it replaced. *status 1, 2 or 3 when
// cv1, cv2 or both are degenerate in the plane (nothing offset, rc 0), or 3 when the offsets neither cross nor
// can be extended to meet. A corner towards the offset side (side -1: left of the direction of travel, else
// right) trims the offsets at their crossing, leaving the cut of *off2's front pending in split and split_point,
// or extends them (a connecting line may come in *arc); a corner away from it gets BSofk3arc's join (arc_option)
// in *arc; otherwise, and before the corner join, a pending cut is made on *off1's front. *arcs_made says whether
// *arc holds a new record (the caller's to release). rc 0 or -1 (the callee's code is on the trace); what was
// made stays in *off1, *off2 and *arc for the caller to release.
void BS2cvsoffwl(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, int join, double a, double b, double u0,
                 double u1, double u2, const BSdistlaw *law, int arc_option, int side, const double normal[3],
                 std::int16_t *split, double split_point[3], VOQbsp_curve **off1, VOQbsp_curve **off2,
                 std::int16_t *arcs_made, VOQbsp_curve **arc, int *status, int *rc);

// The offset of a planar curve from d_start at its start to d_end at its end by the law, into *offset (a new
// record; NULL after a failure). Both distances below 1e-14: a copy. A curve without cusps (or whose only cusp is
// at parameter 0.0) is offset in one piece; otherwise it is cut at its cusps (a closed curve whose seam is a cusp
// gets no piece before the first), degenerate pieces are passed over, the pieces' offsets joined pair by pair
// (BS2cvsoffwl) and chained, with a straight bridge where matched ends are more than dist_tol apart. A closed
// curve whose offset gaps agree at both ends is closed again (BSofmkcls, arc_flag as its corner mode). rc -12
// when every piece is degenerate; 3 for a NULL argument; -2 for a damaged curve, a distance or normal that is not
// finite, a side other than +1 or -1 or a curve of no range; 33, -13 without memory; else a callee's code.
void BSxycvoffwl(const VOQbsp_curve *curve, double d_start, double d_end, const BSdistlaw *law,
                 std::int16_t arc_flag, const double normal[3], int side, VOQbsp_curve **offset, int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Offset of one curve in its own plane (bspline/offset/single_offset.cpp). The side is that of a side point, or
// of a given normal and side flag; the curve is carried into a frame whose z axis is the plane normal, offset
// there (BSxycvoff), carried back, and with loop mode 1 or 2 its loops are removed (BSofrmlp3). The result is a
// new record the caller releases with BSfreevoqcv; loop removal may split off *count further pieces, handed over
// as a BSdbgmalloc array in *pieces (released with BSdbgfree) or, when the caller gave an array, written into it.
// The count is 0 on entry; the result and pieces are written only on success (rc 0 or 5). Every curve made inside
// is released on every path. rc 5 when a piece offset used all its passes (the result is complete); 3 for a NULL
// argument; -2 for a damaged curve or an argument that is not finite; -6 for a null normal or side vector (a side
// point on a line curve, or on the curve); -12 when loop removal would leave nothing of a closed curve's offset
// (BScvoff3d); else a callee's code.

// normal_given TRUE: normal is the plane normal and *side_flag chooses the direction (TRUE +1). Otherwise both are
// found from side, and *side_flag is written on success (TRUE when the direction is +1). A negative dist offsets
// by its size on the other side. corner_mode 1 asks for round corners from the planar offset.
void BScvoffsetd(const VOQbsp_curve *curve, double dist, const double side[3], BSboolean normal_given,
                 int corner_mode, std::int16_t loop_mode, BSboolean *side_flag, const double normal[3],
                 VOQbsp_curve **result, int *count, VOQbsp_curve ***pieces, int *rc);

// The offset of a curve flagged planar, or lying on a line, with normal and direction found from side; -2 for
// any other curve. TRUE when rc is 0.
BSboolean BScvoffset(int *rc, const VOQbsp_curve *curve, const double *dist, const double side[3],
                     const int *corner_mode, const std::int16_t *loop_mode, VOQbsp_curve **result, int *count,
                     VOQbsp_curve ***pieces);

// The worker. find_normal FALSE needs normal_given TRUE (else -2): normal, *direction and frame are used as
// given. find_normal TRUE needs a curve flagged planar or lying on a line (else -2); with normal_given FALSE
// normal, *direction and frame are found (BSofnorm, BSfndoffdir) and written. A closed curve offset by more than
// dist_tol whose offset starts inside a loop is re-started between its first two self-intersections before loop
// removal; one that does not meet itself goes to loop removal as it is. rc -12 when such an offset meets itself
// and every stretch between its self-intersections comes nearer to the curve than dist: all of it is loop. After
// loop removal, an open curve's offset that ends inside a loop no crossing closes (nearer to the curve than dist
// less the offset tolerance) is cut back to where it comes back to the distance, on its former range; the loops
// handed back are those loop removal cut out. The result's planar flag is FALSE with 2 poles, else the planarity
// of its poles.
void BScvoff3d(const VOQbsp_curve *curve, double dist, BSboolean corner_flag, std::int16_t loop_mode,
               BSboolean find_normal, const double side[3], double normal[3], BSboolean normal_given,
               int *direction, double frame[9], VOQbsp_curve **result, int *count, VOQbsp_curve ***pieces,
               int *rc);

// The unit plane normal of curve and *planar_curve, a new record (the caller's): the curve projected into its
// plane when it is flagged planar, else a copy. use_given: the normal is given (negated when *flag is FALSE).
// Otherwise *flag is set TRUE and the normal is V x T, T the tangent at the point nearest side and V towards
// side's projection; a curve on a line takes (F - L) x (side - F) from its end poles, and a closed curve not
// flagged planar the plane of its poles (-2 when they have none). At the seam of a closed curve the tangent of
// the other end is taken when it lies less along V. curve is written only to clear a polynomial curve's weights
// pointer.
void BSofnorm(VOQbsp_curve *curve, const double side[3], BSboolean use_given, const double given[3],
              BSboolean *flag, VOQbsp_curve **planar_curve, double normal[3], int *rc);

// The direction (+1 or -1) that BSxycvoff needs in the frame of normal (BStrans2, written to frame) to offset
// towards side: +1 when (V x T) . normal > 0, V and T as for BSofnorm in the plane of normal. curve is written
// only to clear a polynomial curve's weights pointer. rc -1 when the working projection cannot be released.
void BSfndoffdir(VOQbsp_curve *curve, const double side[3], const double normal[3], int *direction,
                 double frame[9], int *rc);

// ---------------------------------------------------------------------------------------------------------------
// One-pass offset of a composite curve (bspline/offset/composite_offset.cpp, bspline/offset/curve_extension.cpp)

// Component kinds of a composite offset.
enum : int {
  BSCMP_ORDINARY = 51,    // offset by its own distance
  BSCMP_CORNER = 52,      // fillet arc or chamfer, re-made between its neighbours' offsets
  BSCMP_TRANSITION = 53,  // offset by a distance running from its predecessor's to its successor's
};

// The planar components comps (chain order; their kinds and distances looked up through comp_order) offset one after
// the other to side and joined as they come (merge, intersection or extension join by the corner's turn), corner pieces
// re-made between their neighbours' offsets, a closed chain closed by BScmpoffcls. option is the corner option of the
// joins (1 also asks the piece offsets for curved corners). out and tags have room for 2 n + 1 entries, out
// NULL-filled: the pieces are new records, the caller's also after a failure; tags are the component numbers, or a
// join's code for a piece a join inserted. A chain starting with a corner piece is worked from its second component
// and its output rotated back. A component whose offset vanishes (-12) is left out.
// Where a leg gives way (its offset has no room between its neighbours', or they do not cross it at a corner that turns
// towards the offset side), corner by corner the chain would be bridged past it:
//  - a chain of ordinary lines with positive distances and option 0 (any option where every corner turns towards the
//    offset side, and so do the corners that legs giving way leave), open or closed end to end, is mitred: every leg's
//    offset line runs between its crossings with the lines of the legs left on either side, legs leaving in the order
//    in which they vanish as the distances grow together; -12 when nothing is left;
//  - any other chain of ordinary components with distances above dist_tol, open or closed end to end, a polyline's
//    legs taken each on its own, is offset whole and cleared: each leg's offset, and what the joins put where the
//    chain turns away from the offset side, is kept only where it keeps clear of every leg by that leg's distance,
//    and what is kept is followed from one kept stretch to the next (an open chain's ends capped where an offset
//    passes round them, what lies apart from the run from its start or to its end dropped); -12 when nothing is
//    kept;
//  - the joins take the other chains: with any option but 0, an intersection join whose pieces do not cross and would
//    be extended past an end is joined by the corner curve instead, and one whose next piece vanishes where the
//    following corner, taken with this one, turns away from the offset side passes that piece over and leaves the
//    previous piece whole.
// *num_out is set on every return. rc -6 for an open chain that starts or ends with a corner piece, two transition
// components alone or a closed chain starting with two corner pieces; -2 for another kind, a distance, normal or
// component number out of range or not finite, a side other than +1 or -1, or more pieces than the room; -1 when the
// tangent lines about a translated corner piece do not meet; -12 when a join finds nothing to join; 3 for a NULL
// argument; 33 without scratch memory; else a callee's code.
void BScmpcvoff1(int num_comps, const VOQbsp_curve *const *comps, const int *comp_types, const int *comp_order,
                 int side, const double normal[3], const double *dists, std::int16_t option, std::int16_t closed,
                 int *num_out, VOQbsp_curve **out, int *tags, int *rc);

// *ext a new record: cv lengthened by len at its start (u its start parameter) or else its end. A line keeps its
// far pole and gets knots 0, 0, 1, 1; an arc runs on along its circle; any other curve by arc length along its
// end span's continuation. Nothing is traced. rc 3 for a NULL argument, -2 for a damaged curve or a value that
// is not finite, else a callee's code (*ext NULL).
void BScvextdst(const VOQbsp_curve *cv, double len, double u, VOQbsp_curve **ext, int *rc);

// BSjntmtchz2 without a trace entry: the last pole of a (at_end nonzero) or the first of b put onto the other
// curve's point when their heights at *ua and *ub differ by more than dist_tol.
void BSjntmtchz(std::uint16_t at_end, VOQbsp_curve *a, VOQbsp_curve *b, const double *ua, const double *ub,
                int *rc);

// Composite-curve offset driver (bspline/offset/composite_driver.cpp)

// The n (>= 2) planar components comps offset to the side (TRUE +1, FALSE -1) of normal by their distances and types
// (one of each for all with single), through BScmpcvoff1 in the frame of normal, degenerate components left out; option
// and closed are handed on, closed only where the chain's last end lies within offset_tol of its first start (else it
// is offset as open). pieces and tags have room for 2 n + 1 entries; the pieces are new records (the caller's, released
// with BSfreevoqcv), knots on [0, 1], tagged with the component number or a join's code. Distances all at or below
// dist_tol (a single one below it) give copies tagged 0 .. n - 1, rc 47 as below. Loop mode 1 or 2 cuts the loops of
// the joined offset out of the pieces (a closed chain starting inside a loop re-started first); mode 1 hands each loop
// back as curves_per_loop[k] curves in loop_curves with their tags (room for 2 n + 1 curves), a loop too short to leave
// a curve not at all. The counts are 0 and the 2 n + 1 slots NULL on entry; on failure nothing made inside remains. rc
// 47 when a piece ends farther than dist_tol from the next one's start, the pieces taken in their order and direction
// (all outputs written); -2 for n < 2 or more pieces than the room; 3 for a NULL argument; else a callee's code.
void BScmpcvoffl(int n, const VOQbsp_curve *const *comps, BSboolean side, const double normal[3],
                 const double *dists, BSboolean single, const int *types, std::int16_t option,
                 std::int16_t loop_mode, BSboolean closed, int *num_pieces, VOQbsp_curve **pieces, int *tags,
                 int *num_loops, int *curves_per_loop, VOQbsp_curve **loop_curves, int *loop_tags, int *rc);
