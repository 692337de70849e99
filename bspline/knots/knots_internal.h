// Pieces shared by the representation routines of bspline/knots.h; not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

namespace bsknots {

// Tolerance entry 8 set for a nested call and put back when the scope ends, on every path out of it.
class KnotTolScope {
 public:
  explicit KnotTolScope(double value) : saved_(BStoltab[bstol::knot_tol]) {
    int rc = 0;
    BSchangepar(&rc, bstol::knot_tol, value);
  }
  ~KnotTolScope() {
    int rc = 0;
    BSchangepar(&rc, bstol::knot_tol, saved_);
  }
  KnotTolScope(const KnotTolScope &) = delete;
  KnotTolScope &operator=(const KnotTolScope &) = delete;

 private:
  double saved_;
};

// A shallow view of cv whose weights pointer is NULL unless the curve is rational: callers may hand in
// polynomial curves with a stale weights pointer, and nothing below may read it.
inline VOQbsp_curve plain_view(const VOQbsp_curve &cv) {
  VOQbsp_curve v = cv;
  if (!v.rational) v.weights = nullptr;
  return v;
}

// Pole i of cv divided by its weight.
inline void cartesian_pole(const VOQbsp_curve &cv, int i, double out[3]) {
  const double w = cv.rational && cv.weights ? cv.weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv.poles[3 * i + c] / w;
}

inline double squared_distance(const double a[3], const double b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

// A record over fixed arrays for a small curve of at most P poles and K + P knots, with weights.
template <int P, int K>
struct FixedCurve {
  double poles[3 * P], knots[P + K], weights[P];
  VOQbsp_curve cv{};
  FixedCurve() {
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
  }
  FixedCurve(const FixedCurve &) = delete;
  FixedCurve &operator=(const FixedCurve &) = delete;
};

// A work record whose arrays follow the scratch rule: local up to 100 poles (116 knots), else stack or heap.
struct ScratchCurve {
  VOQbsp_curve cv{};
  double *weight_array = nullptr;  // kept: copying a polynomial curve in clears cv.weights

  // Arrays for np poles of the given order; weights when rational. False when scratch memory is exhausted.
  bool take(int order, int np, bool rational) {
    const std::size_t n = np > 0 ? static_cast<std::size_t>(np) : 0;
    cv.poles = poles_.take(3 * n);
    cv.knots = knots_.take(n + (order > 0 ? order : 0));
    weight_array = rational ? weights_.take(n) : nullptr;
    cv.weights = weight_array;
    return cv.poles && cv.knots && (!rational || weight_array);
  }

 private:
  BSscratch<300> poles_;
  BSscratch<116> knots_;
  BSscratch<100> weights_;
};

// Inserts u r times into arrays with room for n + r poles (rows of 3; weights NULL for a polynomial curve) and
// n + r + k knots. K is the last index with knots[K] <= u and the m existing copies of u end there, so the
// affected poles are K-k+1+j .. K-m at level j. Returns rc -5 for a vanishing knot interval.
int boehm_insert(int k, int n, double *poles, double *weights, double *knots, int K, int m, int r, double u);

// cv refined once to even out its weights: every distinct knot keeps its multiplicity and the midpoint of each
// pair of neighbouring distinct knots is inserted. *out is a new BSallocvoqcv record, NULL on failure (rc -13
// when memory runs out; nothing is left allocated).
void refine_midpoints(const VOQbsp_curve &cv, VOQbsp_curve **out, int *rc);

// The planar flag of a piece from the planarity test: codes -1 and 49 mean "not planar", others are failures.
int piece_planarity(const VOQbsp_curve &piece, BSboolean test_planar, BSboolean *planar);

// An upper bound of the parameter tolerance BSlocknttol finds on cv at u at the distance tolerance, taken no
// lower than zero_tol as a cut takes it; infinity where the speed there does not bound it.
double cut_tolerance_bound(const VOQbsp_curve &cv, double u);

// Whether cv certainly is no degenerate curve, so that BStstcvdegn need not measure it: its weights are positive
// and it runs through the points p and q, farther apart than a thousand distance tolerances (and than n
// coincident poles could spread). Only for callers off the slow roads (bstest::slow_roads()).
bool has_extent(const VOQbsp_curve &cv, const double p[3], const double q[3]);
// Its test of the two points alone, for a curve of num_poles poles whose weights are known to be positive.
bool points_apart(int num_poles, const double p[3], const double q[3]);
// The same for a curve clamped at both ends, through its end poles; false for any other, and for coordinates
// large enough to overflow the test's own measures.
bool clamped_extent(const VOQbsp_curve &cv);

// The poles, weights and knots of a and b (one order, clamped at their joint, a's last pole on b's first) written
// into out's arrays as one curve: b's knots moved onto a's end, its weights scaled to meet a's at the joint. With
// over_a, out's arrays are a's own, and a's part is only rescaled where its factor is not one.
void join_at_joint(const VOQbsp_curve &a, const VOQbsp_curve &b, bool over_a, VOQbsp_curve *out);

// What a caller joining many curves one by one already knows of the curve it has built so far. first_has_extent:
// the first curve runs through the points extent[0] and extent[1], so it need not be measured for degeneracy when
// they lie far enough apart. plane_later: the planar flag of the result is left for flag_planar at the end. Only
// for callers off the slow roads: the shortcuts skip the exits of the tests they leave out.
struct JoinHints {
  bool first_has_extent = false;
  bool plane_later = false;
  double extent[2][3] = {{0, 0, 0}, {0, 0, 0}};
  bool first_long(const VOQbsp_curve &cv) const;
};
// BScomb2cvs and BSmergecvnn without their exits, with the hints applied; *rc must be 0 on entry.
void combine_open(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, const JoinHints &hints,
                  int *rc);
void merge_open(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, VOQbsp_curve *out, const JoinHints &hints,
                int *rc);
// merge_open(*chain, piece, out) for a chain that grows one piece at a time, written into *chain itself: the
// chain's record keeps room for *room poles (0: its own count) and is moved to a larger one, twice the poles it
// needs, when that runs out, so that a chain of n pieces costs O(n). Taken only where the merge could do nothing
// else to the two: no fault handler listens, both are plain order-2 curves clamped where they meet, the piece
// passes BScvcheck and the chain's end lies on the piece's start. False, with nothing changed and nothing
// reported, otherwise; true with the merge's code (and its exits' trace) in *rc.
bool append_open(VOQbsp_curve **chain, int *room, const VOQbsp_curve *piece, const JoinHints &hints, int *rc);
// The planar flag that a join gives its result.
void flag_planar(VOQbsp_curve *cv, int *rc);

// BSadd_1kt_tot; checked: cv is known to pass BScvcheck (a copy of a curve that was checked), so the check is
// left out unless a fault hook must see it.
void add_knot_total(const VOQbsp_curve *cv, double u, int total_mult, BSboolean in_place, VOQbsp_curve **out,
                    bool checked, int *rc);
// BSactivsplt; checked as for add_knot_total. one_point, when given, receives whether the two parameters were
// found to be one point (the refusal rc -2 of a piece shorter than their tolerances): that case then answers
// false with rc 0 and nothing reported.
bool active_split(int *rc, const VOQbsp_curve *cv, const double *u1, const double *u2, VOQbsp_curve *out,
                  const BSboolean *test_planar, bool checked, bool *one_point = nullptr);

// The knot tolerance (BScvkttol2) of the curve cv, known to lie in [lo, hi] (0 < lo <= hi, both finite): a test
// against it is settled by the bounds where they agree, and the tolerance itself is measured on cv only when they
// do not. cv is held by value; its arrays must hold the curve until the range is no longer asked.
struct KnotTolRange {
  VOQbsp_curve cv{};
  double lo = 0, hi = 0;
  bool exact = false;

  // Whether holds(tol) for the curve's tolerance tol, where holds is monotone in tol.
  template <class Test>
  bool decide(Test holds) {
    if (!exact) {
      const bool at_lo = holds(lo);
      if (at_lo == holds(hi)) return at_lo;
      settle();
    }
    return holds(lo);
  }
  // Whether d < tol.
  bool below(double d) {
    return decide([d](double tol) { return d < tol; });
  }
  double value() {
    if (!exact) settle();
    return lo;
  }
  void settle();
};

// BScvsplit of cv at u where cv's arrays may be overwritten in front of the cut: *left receives the front part in
// its own arrays (room for kFrontRoom poles), *right the rest as a record over cv's own arrays, ending where cv
// ends; *written is the count of poles at the front of *right that differ from cv's there (the knots at its front
// are the cut). Taken only for a cut at an interior parameter, away from both ends, whose knot tolerance
// decisions are settled (tol is cv's), when no fault handler listens and cv has passed BScvcheck; false with
// nothing changed and nothing reported otherwise (BScvsplit then answers). The parts are BScvsplit's to the bit.
constexpr int kFrontRoom = 64;
bool split_front(const VOQbsp_curve &cv, double u, KnotTolRange &tol, VOQbsp_curve *left, VOQbsp_curve *right,
                 int *written);

}  // namespace bsknots
