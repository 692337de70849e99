// Pieces shared by the offset routines; not for callers outside bspline/offset/.
#pragma once

#include "bspline/bspline.h"
#include "bspline/intersect.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace bsoffset {

// Offset pieces are cut against each other in the xy projection of their local frame, and their own z must come
// back unchanged on every way out: the z coordinates of a curve's poles set aside (local room for 100 poles, then
// stack or heap) while the curve lies flat. Restoring writes them back once; the destructor restores what was not
// restored yet, so that a failure anywhere leaves the curve's z as it was.
class FlatZ {
 public:
  FlatZ() = default;
  FlatZ(const FlatZ &) = delete;
  FlatZ &operator=(const FlatZ &) = delete;
  ~FlatZ() { restore(); }

  // False (nothing changed) when no scratch memory can be had.
  bool flatten(VOQbsp_curve *cv) {
    restore();
    const int n = cv->num_poles > 0 ? cv->num_poles : 0;
    double *z = store_.take(static_cast<std::size_t>(n));
    if (!z) return false;
    for (int i = 0; i < n; ++i) z[i] = cv->poles[3 * i + 2], cv->poles[3 * i + 2] = 0.0;
    cv_ = cv, n_ = n, z_ = z;
    return true;
  }
  void restore() {
    if (!cv_) return;
    for (int i = 0; i < n_; ++i) cv_->poles[3 * i + 2] = z_[i];
    cv_ = nullptr;
  }

 private:
  BSscratch<100> store_;
  VOQbsp_curve *cv_ = nullptr;
  int n_ = 0;
  double *z_ = nullptr;
};

// BSpolyxcvcv, where with points given (two flags) a piece that the cut leaves one point, its crossing within its
// parameters' tolerances of the end it keeps, is not refused: it becomes that point, as an order-2 curve of two
// poles, its flag is set, and the other piece ends there.
void extend_to_meet(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const std::int32_t ends[2],
                    VOQbsp_curve *out1, VOQbsp_curve *out2, bool *points, int *rc);

// BStstspn1, with room of the caller's for the offset points of the n parameters (3 each), or none.
void check_span(int n, double tol, double *params, double *targets, const VOQbsp_curve *span_cv,
                const VOQbsp_curve *off_cv, double *points, int *nbad, int *bad, int *nkeep, BSboolean *ok, int *rc);

// The distance of pt from cv (checked, with its knot tolerance ktol): the foot a Newton projection finds from the
// parameter u0, or the nearest point where that gives up.
void foot_distance(const VOQbsp_curve *cv, double ktol, double u0, const double pt[3], double *dist, int *rc);

// The offset points (3 each) of the n test parameters (params in any order, targets 3 each: the true offset points),
// each measured from span_cv (flat) in the plane: a point fails that lies farther than dist (at least 0) plus twice
// offset_tol from the curve point of its own parameter (on_curve, 3 each) and from the foot a Newton projection from
// there finds, as where the offset runs on along a straight run past the knot where the curve turns away. The
// margin is that of the offset's samples between its test points, which this gate leaves as they were. Only the
// outward stray is judged: inside a turn near its centre of curvature, or at a near-cusp, the nearest foot leaps
// along the curve and the measure says nothing of the offset. Where the projection gives up, the nearest point of
// the curve decides. Reports as BStstspn1 does (the failing points and their spans ascending).
void check_distance(int n, double dist, double *params, double *targets, const VOQbsp_curve *span_cv,
                    const double *points, const double *on_curve, int *nbad, int *bad, int *nkeep, BSboolean *ok,
                    int *rc);

// The offset of a line leg in the plane of normal (0, 0, +-1), made directly: its two poles moved by dist along the
// leg's unit normal, as the general offset (BSxycvoff) moves them, number for number. False, with nothing made and rc
// untouched, where the leg is no plain line (order 2, two poles, polynomial, clamped, both ends at one height and
// apart) or the distance is no plain one: the general offset takes it then.
bool line_offset(const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve **out, int *rc);

// A curve record released on every way out.
struct OwnedCurve {
  VOQbsp_curve *cv = nullptr;
  OwnedCurve() = default;
  OwnedCurve(const OwnedCurve &) = delete;
  OwnedCurve &operator=(const OwnedCurve &) = delete;
  // Releases the record; its code, when nonzero.
  int release() {
    int code = 0;
    if (cv) BSfreevoqcv(cv, &code);
    cv = nullptr;
    return code;
  }
  ~OwnedCurve() { release(); }
};

// The results of a curve/curve intersection called with no room of the caller's (every kind comes back in
// arrays of its own), released on every way out.
struct Crossings {
  double *pts = nullptr, *par1 = nullptr, *par2 = nullptr, *over_pts = nullptr, *over1 = nullptr,
         *over2 = nullptr;
  int n_int = 0, n_over = 0;
  Crossings() = default;
  Crossings(const Crossings &) = delete;
  Crossings &operator=(const Crossings &) = delete;
  ~Crossings() {
    for (double *p : {pts, par1, par2, over_pts, over1, over2}) BSdbgfree(p);
  }
  // Every crossing and overlap of a and b, merged by distance.
  void find(VOQbsp_curve *a, VOQbsp_curve *b, int *rc) {
    BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
    BScvcvint(a, b, BSTRUE, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n_int, &n_over, &int_alloc,
              &over_alloc, &pts, &par1, &par2, &over_pts, &over1, &over2, rc);
  }
};

// A new record equal to cv, with room for extra_poles more poles and knots and (boundaries) cv's boundaries;
// NULL with rc set on failure.
// The parts, clamped, in order, each starting on the one before's last pole, raised to the highest order among them
// and joined pairwise level by level into one new record, each keeping its own parameter length, so that a pole is
// copied about log n times rather than once for every part after it. The parts are released. Where the whole's ends
// meet and its last part is not degenerate, it is closed, as a join of two closes it. nullptr on an error.
VOQbsp_curve *join_pairwise(std::vector<VOQbsp_curve *> *parts, int *rc);
VOQbsp_curve *copy_of(const VOQbsp_curve *cv, int extra_poles, bool boundaries, int *rc);

// Whether cv is a circular arc (1) or a whole circle (2), with its centre and radius; 0 when it is neither or
// on failure (rc set).
std::uint16_t circular_arc(const VOQbsp_curve *cv, double centre[3], double *radius, int *rc);

// The part of cv between u and v into work; a point curve at p (cv's order and rational flag) when the two are
// one parameter: within tol, or closer than the extraction can cut, which leaves less than dist_tol of curve.
bool piece_or_point(const VOQbsp_curve *cv, double u, double v, double tol, const double p[3], VOQbsp_curve *work,
                    int *rc);

// first then second (clamped, one order) into out, second moved on to begin at first's end parameter and the jump
// between them kept by a joint knot of full multiplicity. out has room for both curves' poles.
void join_across_jump(const VOQbsp_curve *first, const VOQbsp_curve *second, VOQbsp_curve *out);

// The knot tolerance of cv (BScvkttol2).
void knot_tolerance(const VOQbsp_curve *cv, double *tol, int *rc);

// BScvoffsetd's offset of an open polyline (order 2, clamped, level, every leg a span of its own) to the side
// of the side point, with sharp corners, on a road of its own with the general path's answer. False (nothing
// written) for any curve it leaves to the general path; true with *rc, and on success the offset, no loop
// pieces and the side flag, otherwise.
bool straight_offset(const VOQbsp_curve *curve, double dist, const double side[3], int corner_mode,
                     std::int16_t loop_mode, BSboolean *side_flag, VOQbsp_curve **result, int *count, int *rc);

// The last step of an open curve's offset after loop removal: the ends of *out, the offset of working by dist
// (positive), cut back out of the loops they leave open, where no crossing closes a loop for the removal to find,
// and the rest put back onto *out's range. False with rc set on failure.
bool cut_open_ends(const VOQbsp_curve *working, OwnedCurve *out, double dist, int *rc);

// BSsetspn on a curve and arguments that the caller has checked: the curve is not checked again for every span.
void set_span(int s, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
              int *rc);
// set_span for every span of cv in turn, each pole set once rather than once for each span that uses it.
void set_polygon(const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out, int *rc);

// The ends of cv's parameter range.
inline double start_of(const VOQbsp_curve *cv) { return cv->knots[cv->order - 1]; }
inline double end_of(const VOQbsp_curve *cv) { return cv->knots[cv->num_poles]; }

// The point and first derivative of cv at its end (at_end) or start, flattened onto z = 0: the composite joins meet
// their pieces in the plane of the chain.
inline bool flat_end(const VOQbsp_curve *cv, bool at_end, double P[3], double T[3], int *rc) {
  double v[6];
  BScveval_n(cv, at_end ? end_of(cv) : start_of(cv), 1, v, rc);
  if (*rc != 0) return false;
  for (int c = 0; c < 3; ++c) P[c] = v[c], T[c] = v[3 + c];
  P[2] = T[2] = 0.0;
  return true;
}

// Cartesian pole i of cv.
inline void pole_point(const VOQbsp_curve *cv, int i, double out[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv->poles[3 * i + c] / w;
}

// The point about which a curve far from the origin is offset, so that the offset does not depend on where the
// curve lies: the middle of the box of its Cartesian poles, snapped to a grid whose step is the power of two at
// least 64 times the box's size. Worked on about the origin, a rational curve's weighted poles carry its distance
// from the origin times its largest weight, and its derivatives (the offset's directions) lose as many digits as
// that exceeds its size times its weight where it is evaluated: a millionfold spread of weights at 1e7 leaves
// millimetres. About the snapped point the coordinates are of the curve's size, and a curve within half a step of
// the origin (a curve lying about it) stays where it is, its answers unchanged. The origin for a point curve.
void local_origin(const VOQbsp_curve *cv, double o[3]);

// Pole i of cv moved onto the Cartesian point p (weighted again when rational).
inline void set_pole(VOQbsp_curve *cv, int i, const double p[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) cv->poles[3 * i + c] = p[c] * w;
}

// The joint of cv1 (at *u1) and cv2 (at *u2) levelled after a trim, as BSjntmtchz2 describes it; nothing is
// reported, callers decide.
void level_joint(std::uint16_t which, VOQbsp_curve *cv1, VOQbsp_curve *cv2, const double *u1, const double *u2,
                 int *rc);

// The crossings of the segment p -> q with cv: their count in *n, and the first three of them (points, and
// parameters on cv; a crossing at an end of cv carries the end parameter itself). The start tests of closed
// offsets decide on these. False with rc set on failure.
bool segment_crossings(const double p[3], const double q[3], VOQbsp_curve *cv, int *n, double pts[9],
                       double on_cv[3], int *rc);

// ---------------------------------------------------------------------------------------------------------------
// Chains of ordinary components whose legs give way (bspline/offset/composite_clearance.cpp, its stages in
// bspline/offset/clearance_*.cpp).

// The join kind at the corner where a ends and b starts, as BSzigzag gives it from their end tangents in the plane
// (1 straight on, 2 towards the offset side, 3 away from it). False with rc set when a tangent cannot be had.
bool corner_kind(const VOQbsp_curve *a, const VOQbsp_curve *b, const double normal[3], int side, int *kind, int *rc);

// Whether cv is a circular arc whose offset by dist to the side runs to its centre or past it.
bool offset_past_centre(const VOQbsp_curve *cv, double dist, int side, const double normal[3], int *rc);

// A chain of n ordinary components (in the plane's frame, chain order) with their offsets by their distances
// (each above dist_tol; off[i] NULL where nothing was left of component i), the offset side, the corner option of
// the composite offset, whether the chain closes end to end, and the component numbers its pieces are tagged with.
struct LegChain {
  int n = 0;
  const VOQbsp_curve *const *cv = nullptr;
  VOQbsp_curve *const *off = nullptr;
  const int *num = nullptr;
  const double *dist = nullptr;
  int side = 1;
  const double *normal = nullptr;
  std::int16_t option = 0;
  bool closed = false;
  // The chain turns back past 120 degrees at a curved corner: cleared all the same, though no leg gives way.
  bool tucked = false;
  // A polyline component (order 2, three poles or more) whose off is NULL was not offset whole: its legs are.
  bool legs_unmade = false;
  // When not NULL: the join kind found at each corner between two components' offsets, (before, after, kind).
  std::vector<std::array<int, 3>> *kinds = nullptr;
};

// The offset of the chain where a leg gives way; false, with nothing made, where none does. The legs are the
// components, a polyline's legs each on its own. A leg gives way when at a corner that turns towards the offset
// side the offsets about it do not cross, or its offset is cut at its two ends in reverse order, or it left no
// offset, or it is an arc offset past its centre: corner by corner, the chain would be bridged past it. Then each
// leg's offset, and what the corner joins put where the chain turns away from the offset side (BScmpextoff with the
// option; a polyline's own corners as its offset makes them), is kept only where it keeps clear of every leg by
// that leg's distance (a piece is not measured against its own leg, nor a stretch against a neighbour whose nearest
// point is the corner they share), and the kept stretches are followed in order from one to the next where they
// meet: new records in out (at most room of them) with their component numbers or join codes and distances, one
// piece for what follows on along one component. A stretch that meets nothing after it ends a run, and the next
// run follows. True with rc -12 when nothing is kept, -2 for more than room pieces (47 where they do not follow
// each other anyway), else a callee's code; what was handed out stays in out[0 .. *m - 1].
bool clear_offset(const LegChain &c, int room, int *m, VOQbsp_curve **out, int *tags, double *odist, int *rc);

// Whether the pieces the corner joins made of the chain (m of them, tagged with component numbers or join codes)
// keep its distance: no sampled point comes nearer to a leg than that leg's distance (less dist_tol) unless it lies
// at the distance from a leg, or from the line of a leg of its own piece past its end, and is nearer only to legs two
// or more places from that one, where the chain's far parts interfere. The joins see a corner's two legs only: an
// arc that turns back towards its neighbour's offset, or a corner's mitre, reaches where they do not look. With
// judge, only the pieces it marks are judged, and each point by point: a join's piece that the loops' cuts left
// between pieces of other legs than its corner's takes those legs for its own, but does not lie about their corner,
// and nothing of it is passed over beside them. False with rc set on failure.
bool keeps_distance(const LegChain &c, int m, VOQbsp_curve *const *pieces, const int *tags, int *rc,
                    const char *judge = nullptr);

// After the loops were cut out of a chain's joined offset (BScmpcvoffl): the chain as BScmpcvoff1 takes it (n
// components in the plane's frame, comp_order their numbers, dists by number), every component ordinary, and the m
// pieces left (in that frame, tagged with component numbers or join codes), judge marking the joins' pieces that the
// cuts left between pieces of other legs than their corner's. False, with nothing made, where those keep the
// distance (keeps_distance) or the chain is not one that is cleared (a distance at or below dist_tol, or a gap at a
// closed chain's seam); else true, with the chain offset whole and cleared as BScmpcvoff1 hands it: *num_out pieces
// in out (2 n + 1 empty slots) with their tags in out_tags, and rc as there.
bool clear_astray(int n, const VOQbsp_curve *const *comps, const int *comp_order, int side, const double normal[3],
                  const double *dists, std::int16_t option, std::int16_t closed, int m, VOQbsp_curve *const *pieces,
                  const int *tags, const char *judge, int *num_out, VOQbsp_curve **out, int *out_tags, int *rc);

}  // namespace bsoffset
