// The output half of the curve/curve intersection call, carried as one value between the routines that fill it.
// Not for callers outside bspline/.
#pragma once

#include "bspline/intersect.h"
#include "bspline/knots/knots_internal.h"

#include <initializer_list>
#include <utility>

namespace bsintcall {

// Arguments 4 to 21 of the intersection call.
struct Outputs {
  int int_size, over_size;
  double *int_pts, *int_par1, *int_par2, *over_pts, *over_par1, *over_par2;
  int *n_int, *n_over;
  BSboolean *int_alloc, *over_alloc;
  double **a_int_pts, **a_int_par1, **a_int_par2, **a_over_pts, **a_over_par1, **a_over_par2;

  // Every output is there, and every positive capacity is backed by the caller's arrays.
  bool usable() const {
    const bool outs = n_int && n_over && int_alloc && over_alloc && a_int_pts && a_int_par1 && a_int_par2 &&
                      a_over_pts && a_over_par1 && a_over_par2;
    return outs && (int_size <= 0 || (int_pts && int_par1 && int_par2)) &&
           (over_size <= 0 || (over_pts && over_par1 && over_par2));
  }

  // No results: counts 0, flags FALSE, no handed-over arrays (whatever outputs are present).
  void clear() const {
    for (int *n : {n_int, n_over})
      if (n) *n = 0;
    for (BSboolean *f : {int_alloc, over_alloc})
      if (f) *f = BSFALSE;
    for (double **a : {a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2})
      if (a) *a = nullptr;
  }

  // The per-curve outputs exchanged, for results whose curves come in the reverse order.
  Outputs exchanged() const {
    Outputs o = *this;
    std::swap(o.int_par1, o.int_par2);
    std::swap(o.over_par1, o.over_par2);
    std::swap(o.a_int_par1, o.a_int_par2);
    std::swap(o.a_over_par1, o.a_over_par2);
    return o;
  }
};

// Where `count` results of one kind go (record widths: pw doubles of points, tw of parameters per result): the
// caller's arrays when `fits`, else three fresh arrays of exactly count records. False when the heap fails, with
// nothing left allocated.
struct Target {
  double *pts = nullptr, *par1 = nullptr, *par2 = nullptr;
  bool allocated = false;

  bool place(int count, bool fits, int pw, int tw, double *own_pts, double *own1, double *own2) {
    if (count <= 0) return true;
    if (fits) {
      pts = own_pts, par1 = own1, par2 = own2;
      return true;
    }
    const int bytes = static_cast<int>(sizeof(double)) * count;
    pts = static_cast<double *>(BSdbgmalloc(bytes * pw));
    par1 = static_cast<double *>(BSdbgmalloc(bytes * tw));
    par2 = static_cast<double *>(BSdbgmalloc(bytes * tw));
    allocated = true;
    if (pts && par1 && par2) return true;
    release();
    return false;
  }
  // Gives back arrays that were never handed over.
  void release() {
    if (!allocated) return;
    for (double *a : {pts, par1, par2})
      if (a) BSdbgfree(a);
    pts = par1 = par2 = nullptr;
    allocated = false;
  }
  // Hands allocated arrays to the caller.
  void hand_over(BSboolean *flag, double **a_pts, double **a1, double **a2) const {
    if (!allocated) return;
    *flag = BSTRUE;
    *a_pts = pts, *a1 = par1, *a2 = par2;
  }
};

// The raw results of an intersection (the accumulators), first blocks in place; later blocks come from the heap
// and go with the store.
struct Store {
  double pts[3 * BSRESULT_BLOCK], t1[BSRESULT_BLOCK], t2[BSRESULT_BLOCK];
  double opts[6 * BSRESULT_BLOCK], ot1[2 * BSRESULT_BLOCK], ot2[2 * BSRESULT_BLOCK];
  double *pp = pts, *pt1 = t1, *pt2 = t2, *op = opts, *ot1p = ot1, *ot2p = ot2;
  int n_pts = 0, n_ovl = 0, blocks_pts = 0, blocks_ovl = 0;
  Store() = default;
  Store(const Store &) = delete;
  Store &operator=(const Store &) = delete;
  ~Store() {
    if (blocks_pts > 0)
      for (double *a : {pp, pt1, pt2}) BSdbgfree(a);
    if (blocks_ovl > 0)
      for (double *a : {op, ot1p, ot2p}) BSdbgfree(a);
  }
};

struct Tree {
  int levels = 0, counts[BSRANGE_MAX_LEVELS] = {};
  BSrangenode *arrays[BSRANGE_MAX_LEVELS] = {};
  Tree() = default;
  Tree(const Tree &) = delete;
  Tree &operator=(const Tree &) = delete;
  ~Tree() {
    for (BSrangenode *level : arrays)
      if (level) BSdbgfree(level);
  }
};

struct Candidates {
  int *list = nullptr;
  Candidates() = default;
  Candidates(const Candidates &) = delete;
  Candidates &operator=(const Candidates &) = delete;
  ~Candidates() {
    if (list) BSdbgfree(list);
  }
};

// What the span loop of a self-intersection needs to know of each rest that it intersects a span with. The loop
// cuts its working curve one span at a time from the front, in the working curve's own arrays (split_front), so
// that every rest is a record over those arrays that ends where they end and whose poles past its first few are
// the curve's as they were. Built once over the arrays, the index answers for such a rest from its new front and
// from what it kept of the curve behind it (boxes of the spans in a tree, boxes and lengths of every tail of the
// polygon, the shortest and longest knot intervals of every tail), so that no pass over the whole rest is made for
// each span. Every answer is the one the plain routines give on the rest itself.
class RestIndex {
 public:
  RestIndex() = default;
  ~RestIndex() { release(); }
  RestIndex(const RestIndex &) = delete;
  RestIndex &operator=(const RestIndex &) = delete;

  // Over the curve in its arrays, the boxes of its spans grown by `grow` (ten dist_tol for the span pairs, none for
  // the segments of a polynomial line string). False, nothing held, where the curve does not qualify (order above
  // 16, more than 2^19 poles, a coordinate beyond 1e150, a weight that is not positive, knots out of order) or
  // memory runs out.
  bool build(const VOQbsp_curve &cv, double grow);
  double grow() const { return grow_; }
  void release();
  bool ready() const { return ready_; }
  // The first `written` poles of rest, a record over the arrays, no longer hold what they held when the index was
  // built; nor does anything in front of them.
  void overwritten(const VOQbsp_curve &rest, int written);
  // Whether rest is a record over the arrays that ends where they end, of the curve's order and kind, and passes
  // BScvcheck (and the intersection's own check of its weights).
  bool holds(const VOQbsp_curve &rest) const;
  // The knot tolerance of rest (which the index holds), as a range; measured on rest where the knot intervals
  // would lower it or its polygon is not plain to measure.
  void knot_tol(const VOQbsp_curve &rest, bsknots::KnotTolRange *range) const;
  // BSpolesbox of rest.
  void box(const VOQbsp_curve &rest, double out[6]) const;
  // Whether bsknots::clamped_extent(rest) holds, where that is plain without a pass over it; false otherwise.
  bool clamped_extent(const VOQbsp_curve &rest) const;
  // Whether some span of rest is no shorter than its knot tolerance, where the range settles it; false otherwise.
  bool has_leaves(const VOQbsp_curve &rest, bsknots::KnotTolRange &tol) const;
  // The spans of rest, in their order, whose pole boxes grown by ten dist_tol meet both boxes (finite; minimum
  // corner first) and whose knot intervals are no shorter than its tolerance; appended to *found (blocks of 200
  // entries, grown as they fill).
  void candidates(const VOQbsp_curve &rest, bsknots::KnotTolRange &tol, const double tree_box[6],
                  const double query[6], int *n_found, int **found, int *rc) const;
  // The segments of rest, a polynomial line string, in their order, whose boxes meet both boxes (as BScvrngtree
  // over its points with tree_box, queried by BScvcmp_rng with query, finds them); the index has no growth.
  void segments(const VOQbsp_curve &rest, const double tree_box[6], const double query[6], int *n_found,
                int **found, int *rc) const;

 private:
  // tol: spans shorter than it are left out; none with no tolerance.
  void walk(int node, int first, int width, int from, int offset, const VOQbsp_curve &rest,
            bsknots::KnotTolRange *tol, const double tree_box[6], const double query[6], int *n_found, int **found,
            int *rc) const;
  void find(const VOQbsp_curve &rest, bsknots::KnotTolRange *tol, double grow, const double tree_box[6],
            const double query[6], int *n_found, int **found, int *rc) const;
  int offset_of(const VOQbsp_curve &rest) const { return static_cast<int>((rest.poles - poles_) / 3); }
  // Poles of rest in front of the ones the index still knows.
  int front_of(const VOQbsp_curve &rest) const;

  bool ready_ = false;
  const double *poles_ = nullptr, *knots_ = nullptr, *weights_ = nullptr;
  int order_ = 0, n_ = 0, spans_ = 0, leaves_ = 0, valid_from_ = 0;
  bool rational_ = false;
  double grow_ = 0;
  double *block_ = nullptr;
  // Tree nodes (6 doubles each, node 1 the root, leaves from leaves_ on), tail boxes (6 per pole), tail polygon
  // lengths (per pole), shortest and longest knot intervals from each interval on (per knot up to n_ + 1).
  double *nodes_ = nullptr, *tail_box_ = nullptr, *tail_length_ = nullptr, *min_gap_ = nullptr, *max_gap_ = nullptr;
};

// BScvcvint(span, rest, TRUE, ...) for a span (one Bezier span) and a rest that index holds, rest_tol being rest's
// knot tolerance: the same answer and code, from the index. False, nothing done, where the index cannot answer
// (no fault handler may listen nor a heap failure be armed; a point-like curve or a rest of one span take the
// plain road), and BScvcvint is to be called.
bool span_against_rest(RestIndex &index, VOQbsp_curve *span, VOQbsp_curve *rest, bsknots::KnotTolRange &rest_tol,
                       int int_size, int over_size, double *int_pts, double *int_par1, double *int_par2,
                       double *over_pts, double *over_par1, double *over_par2, int *n_int, int *n_over,
                       BSboolean *int_alloc, BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                       double **a_int_par2, double **a_over_pts, double **a_over_par1, double **a_over_par2,
                       int *rc);

// BSlsls_int(segment, rest, merge_by_dist, ...) for a segment (a polynomial order-2 span) and a polynomial line
// string rest that index (built without growth) holds, both having passed BScvcheck: the same answer and code.
void strings_against_rest(const RestIndex &index, const VOQbsp_curve *segment, const VOQbsp_curve *rest,
                          bsknots::KnotTolRange &rest_tol, BSboolean merge_by_dist, const Outputs &out, int *rc);

// BScvcv_sort; checked: both curves have passed BScvcheck and are not checked again (unless a fault hook must see
// it), as the intersection that sorts its own results for every span of a self-intersection has.
void sort_results(bool checked, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist,
                  BSboolean swapped, double tol1, double tol2, int n_pts, int n_over, const double *pts,
                  const double *par1, const double *par2, const double *over_pts, const double *over_par1,
                  const double *over_par2, int int_size, int over_size, double *int_pts, double *int_par1,
                  double *int_par2, double *over_pts_out, double *over_par1_out, double *over_par2_out, int *n_int,
                  int *n_over_out, BSboolean *int_alloc, BSboolean *over_alloc, double **a_int_pts,
                  double **a_int_par1, double **a_int_par2, double **a_over_pts, double **a_over_par1,
                  double **a_over_par2, int *rc);

}  // namespace bsintcall
