// Intersection of two B-spline curves: special roads for segments, line strings and point-like curves, and otherwise
// the Bezier spans of both paired through a range tree of the pole boxes of the curve with more spans.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/intersect/call_internal.h"
#include "bspline/intersect/polygon_intersector.h"
#include "bspline/intersect/range_tree_internal.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"

namespace {

constexpr int kCacheSize = 32;
constexpr int kCandidateBlock = 200;
// Beyond this many entries the byte size of an accumulator array no longer fits an int.
constexpr int kMaxEntries = (1 << 30) / (6 * static_cast<int>(sizeof(double)));

double dist2(const double *a, const double *b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

// Pole i of cv, divided by its weight.
void pole_at(const VOQbsp_curve *cv, int i, double out[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int c = 0; c < 3; ++c) out[c] = cv->poles[3 * i + c] / w;
}

double range_start(const VOQbsp_curve *cv) { return cv->knots[cv->order - 1]; }
double range_end(const VOQbsp_curve *cv) { return cv->knots[cv->num_poles]; }

// A record for the curves here: sound arrays, a curve (order 2 at least, not a row of points), and weights that can
// be divided out.
int curve_code(const VOQbsp_curve *cv) {
  const int code = BScvcheck(cv);
  if (code != 0) return code;
  if (cv->order < 2) return BSRC_OUT_OF_RANGE;
  if (cv->rational)
    for (int i = 0; i < cv->num_poles; ++i)
      if (cv->weights[i] == 0) return BSRC_OUT_OF_RANGE;
  return 0;
}

// One Bezier span in a block of its own.
struct SpanRecord {
  double poles[3 * BSSPAN_MAX_ORDER];
  double weights[BSSPAN_MAX_ORDER];
  double knots[2 * BSSPAN_MAX_ORDER];
  double box[6];  // minimum corner, maximum corner
  int cls;
  int index;
  VOQbsp_curve cv;

  // Arrays pointed into this block (weights only for a rational span).
  void aim(bool rational) {
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = rational ? weights : nullptr;
    cv.num_boundaries = 0;
    cv.bdrys = nullptr;
  }
  void copy_from(const SpanRecord &other) {
    std::memcpy(static_cast<void *>(this), &other, sizeof *this);
    aim(other.cv.rational != 0);
  }
  void take_box(int *rc) {
    const int n = cv.num_poles;
    BSpolesbox(rc, &n, cv.poles, cv.rational ? cv.weights : nullptr, box, box + 3);
  }
};

// Boxes (min corner, max corner) that come within dist_tol of each other on every axis.
bool near_boxes(const double *a, const double *b, double tol) {
  for (int c = 0; c < 3; ++c)
    if (!(a[3 + c] + tol >= b[c] && b[3 + c] + tol >= a[c])) return false;
  return true;
}

bool box_meets(const BSrangenode &node, const double *lo, const double *hi) {
  for (int c = 0; c < 3; ++c)
    if (!(lo[c] <= node.box[3 + c] && hi[c] >= node.box[c])) return false;
  return true;
}

void release_levels(int *level_counts, BSrangenode **levels) {
  for (int l = 0; l < BSRANGE_MAX_LEVELS; ++l) {
    if (levels[l]) BSdbgfree(levels[l]);
    levels[l] = nullptr;
    level_counts[l] = 0;
  }
}

// Where the curve starts and ends: its end poles when the end knots are full, else evaluated. Behind an empty
// first or last span (the range's end knot once more) the end pole's basis function vanishes over the whole
// range: the curve does not pass through it.
bool end_points(const VOQbsp_curve *cv, double out[6], int *rc) {
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  const bool starts_on_pole = t[1] == t[k - 1] && t[k - 1] < t[k];
  const bool ends_on_pole = t[n] == t[n + k - 2] && t[n - 1] < t[n];
  if (starts_on_pole && ends_on_pole) {
    pole_at(cv, 0, out);
    pole_at(cv, n - 1, out + 3);
    return true;
  }
  const double params[2] = {range_start(cv), range_end(cv)};
  BScvarrev0(rc, cv, params, 2, out);
  if (*rc != 0) return false;
  if (starts_on_pole) pole_at(cv, 0, out);
  if (ends_on_pole) pole_at(cv, n - 1, out + 3);
  return BSallfinite(6, out) != 0;
}

// An accumulator array moved to a larger heap block; the old block released when it was the heap's.
bool grow(int keep, int room, bool owned, double **arrays[3], const int widths[3]) {
  double *fresh[3] = {};
  for (int a = 0; a < 3; ++a) {
    fresh[a] = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * widths[a] * room));
    if (!fresh[a]) {
      for (double *f : fresh)
        if (f) BSdbgfree(f);
      return false;
    }
  }
  for (int a = 0; a < 3; ++a) {
    if (keep > 0) std::memcpy(fresh[a], *arrays[a], sizeof(double) * widths[a] * keep);
    if (owned) BSdbgfree(*arrays[a]);
    *arrays[a] = fresh[a];
  }
  return true;
}

}  // namespace

void BScvinttyp(const VOQbsp_curve *cv, int *cls, int *rc) {
  *rc = 0;
  if (cls) *cls = BSINT_UNKNOWN;
  int code = 0;
  if (!cls) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((code = BScvcheck(cv)) != 0) {
    *rc = code;
  } else {
    BSboolean degenerate = BSFALSE;
    BStstcvdegn(cv, &degenerate, rc);
    if (*rc == BSRC_DEGENERATE) {
      *rc = 0;
      degenerate = BSFALSE;
    }
    if (*rc == 0)
      *cls = degenerate ? BSINT_POINT : cv->order == 2 && cv->num_poles == 2 ? BSINT_SEGMENT : BSINT_GENERAL;
  }
  BSexit(rc, "BScvinttyp", "bscvinttyp");
}

namespace {
// BScvinttyp, but a curve that certainly is no point is not measured: measuring the remainder of a curve is most
// of the work when a self-intersection tries each span against all that follows it.
void classify(const VOQbsp_curve *cv, int *cls, int *rc) {
  if (!bstest::slow_roads() && bsknots::clamped_extent(*cv))
    *cls = cv->order == 2 && cv->num_poles == 2 ? BSINT_SEGMENT : BSINT_GENERAL;
  else
    BScvinttyp(cv, cls, rc);
}
}  // namespace

void BSptcv_int(const VOQbsp_curve *pcv, const VOQbsp_curve *cv, int cv_class, int *n_int, double pt[3], double *par_p,
                double *par_c, int *rc) {
  *rc = 0;
  if (n_int) *n_int = 0;
  int code = 0;
  do {
    if (!n_int || !pt || !par_p || !par_c || cv_class < BSINT_POINT || cv_class > BSINT_GENERAL) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((code = curve_code(pcv)) != 0 || (code = curve_code(cv)) != 0) {
      *rc = code;
      break;
    }
    const double p0 = range_start(pcv), p1 = range_end(pcv), c0 = range_start(cv), c1 = range_end(cv);
    const double pm = (p0 + p1) * 0.5, cm = (c0 + c1) * 0.5;
    const double sq = BStoltab[bstol::dist_sqtol];
    double kp = 0, kc = 0;
    BScvkttol2(pcv->order, pcv->knots, pcv->num_poles, pcv->poles, pcv->rational ? pcv->weights : nullptr, &kp, rc);
    if (*rc != 0) break;
    BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &kc, rc);
    if (*rc != 0) break;

    // The ends first. An unclamped curve does not pass through its end poles: its end points stand for them.
    double ep[6], ec[6], mids[6], s[2], t[2];
    int found = 0;
    if (!end_points(pcv, ep, rc) || !end_points(cv, ec, rc)) {
      if (*rc == 0) *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSendpt_int(2, 2, BSFALSE, BSFALSE, ep, ec, nullptr, nullptr, BSTRUE, sq, &found, mids, s, t, rc);
    if (*rc != 0) break;
    double u = 0, v = 0;
    bool met = false;
    if (found > 0) {
      std::memcpy(pt, mids, sizeof(double) * 3);
      u = s[0] == 0 ? p0 : s[0] == 1 ? p1 : p0 + (p1 - p0) * s[0];
      v = t[0] == 0 ? c0 : t[0] == 1 ? c1 : c0 + (c1 - c0) * t[0];
      met = true;
    } else {
      double q[3], at_middle[3];
      BSavgpts(rc, pcv->num_poles, pcv->poles, pcv->rational ? pcv->weights : nullptr, q);
      if (*rc == 0) BScveval_n(pcv, pm, 0, at_middle, rc);
      if (*rc != 0) break;
      // A pole that bears on the range only faintly (before an unclamped start, where the curve barely leaves the
      // point) still pulls the average: the point is then the curve's own, at the parameter reported for it.
      if (dist2(q, at_middle) > sq) std::memcpy(q, at_middle, sizeof q);
      if (cv_class == BSINT_POINT) {
        double r[3];
        BSavgpts(rc, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, r);
        if (*rc != 0) break;
        if (dist2(q, r) < sq) {
          for (int c = 0; c < 3; ++c) pt[c] = (q[c] + r[c]) * 0.5;
          u = pm, v = cm, met = true;
        }
      } else if (cv_class == BSINT_SEGMENT) {
        double a[3], b[3], w = 0;
        BSboolean on = BSFALSE;
        pole_at(cv, 0, a);
        pole_at(cv, 1, b);
        if (!BSpt_on_lne(rc, a, b, q, &w, &on)) break;
        if (on) {
          std::memcpy(pt, q, sizeof(double) * 3);
          u = pm, v = w == 0 ? c0 : w == 1 ? c1 : c0 + (c1 - c0) * w, met = true;
        }
      } else {
        double w = 0;
        BSboolean on = BSFALSE;
        if (!BSprptoncv(rc, cv, q, &w, &on)) break;
        if (on) {
          std::memcpy(pt, q, sizeof(double) * 3);
          u = pm, v = w, met = true;
        }
      }
    }
    if (!met) break;
    auto snap = [](double x, double a, double b, double k) {
      if (a - k <= x && x <= a + k) return a;
      if (b - k <= x && x <= b + k) return b;
      return x;
    };
    *par_p = snap(u, p0, p1, kp);
    *par_c = snap(v, c0, c1, kc);
    *n_int = 1;
  } while (false);
  BSexit(rc, "BSptcv_int", "bsptcv_int");
}

namespace {
// Whether span i of cv (counted from its first) is longer than the knot tolerance: only such spans are leaves of
// the range tree.
bool has_length(const VOQbsp_curve *cv, int i, double ktol) {
  const int k = cv->order;
  return std::fabs(cv->knots[k - 1 + i] - cv->knots[k + i]) >= ktol;
}

int leaf_count(const VOQbsp_curve *cv, double ktol) {
  int leaves = 0;
  for (int i = 0; i < cv->num_poles - cv->order + 1; ++i) leaves += has_length(cv, i, ktol) ? 1 : 0;
  return leaves;
}

// The levels a tree of this many leaves needs; the twentieth is the last there is.
int tree_levels(int leaves) {
  int needed = 1;
  for (long long width = leaves; width > 1; width = (width + 1) / 2) ++needed;
  return needed;
}

// The box of the poles of span i of cv, grown by e: a leaf of the range tree. Taken here rather than by
// BSpolesbox, as this runs for every span of the curve at each call; the poles are finite.
void leaf_box(const VOQbsp_curve *cv, int i, double e, double box[6]) {
  const int k = cv->order;
  const double *P = cv->poles + 3 * i, *W = cv->rational ? cv->weights + i : nullptr;
  double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (int j = 0; j < k; ++j) {
    const double w = W ? W[j] : 1.0;
    for (int c = 0; c < 3; ++c) {
      const double x = P[3 * j + c] / w;
      lo[c] = x < lo[c] ? x : lo[c];
      hi[c] = x > hi[c] ? x : hi[c];
    }
  }
  for (int c = 0; c < 3; ++c) box[c] = lo[c] - e, box[3 + c] = hi[c] + e;
}

// What BScvcmp_rng finds for the query box in the tree of range_tree(cv, tree_box): the spans whose leaf boxes
// meet both boxes, in their order. A parent's box holds its children's, so a leaf that meets a box has every
// ancestor meet it too; for one query, building the tree to walk it costs more than the leaves alone. Both boxes
// finite. The list grows as BScvcmp_rng grows it.
void scan_leaves(const VOQbsp_curve *cv, double ktol, const double tree_box[6], const double query[6],
                 int *n_found, int **found, int *rc) {
  const double e = 10 * BStoltab[bstol::dist_tol];
  for (int i = 0; i < cv->num_poles - cv->order + 1 && *rc == 0; ++i) {
    if (!has_length(cv, i, ktol)) continue;
    BSrangenode node{};
    leaf_box(cv, i, e, node.box);
    bool meets = box_meets(node, tree_box, tree_box + 3);
    for (int c = 0; c < 3 && meets; ++c) meets = !(node.box[c] > query[3 + c] || node.box[3 + c] < query[c]);
    if (!meets) continue;
    (*found)[(*n_found)++] = i;
    if (*n_found % kCandidateBlock == 0) {
      void *grown = BSdbgralloc(*found, static_cast<int>(sizeof(int)) * (*n_found + kCandidateBlock));
      if (!grown) {
        *rc = BSRC_NO_HEAP;
        return;
      }
      *found = static_cast<int *>(grown);
    }
  }
}

// The range tree of BScvspnrgtr. known_ktol, when not null, is the knot tolerance of cv, which has passed
// curve_code: the general road has both already, and checking and measuring the whole curve again for every span
// of a self-intersection made the span-against-rest passes slow.
void range_tree(const VOQbsp_curve *cv, const double box_min[3], const double box_max[3], const double *known_ktol,
                int *n_levels, int *level_counts, BSrangenode **levels, int *rc) {
  *rc = 0;
  if (n_levels) *n_levels = 0;
  if (level_counts) std::fill(level_counts, level_counts + BSRANGE_MAX_LEVELS, 0);
  if (levels) std::fill(levels, levels + BSRANGE_MAX_LEVELS, nullptr);
  int code = 0;
  do {
    if (!n_levels || !level_counts || !levels || !box_min || !box_max || !BSallfinite(3, box_min) ||
        !BSallfinite(3, box_max)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double ktol = 0;
    if (known_ktol) {
      ktol = *known_ktol;
    } else {
      if ((code = curve_code(cv)) != 0) {
        *rc = code;
        break;
      }
      BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
      if (*rc != 0) break;
    }
    const int spans = cv->num_poles - cv->order + 1;
    const int leaves = leaf_count(cv, ktol);
    if (tree_levels(leaves) > BSRANGE_MAX_LEVELS) {
      *rc = BSRC_TREE_TOO_TALL;
      break;
    }
    auto take = [&](int count) { return bsrange::add_level(count, levels, level_counts, n_levels, rc); };
    BSrangenode *leaf = take(leaves);
    if (!leaf) break;
    const double e = 10 * BStoltab[bstol::dist_tol];
    int made = 0;
    for (int i = 0; i < spans && *rc == 0; ++i) {
      if (!has_length(cv, i, ktol)) continue;
      BSrangenode &node = leaf[made++];
      node = BSrangenode{0, 0, {0, 0, 0, 0, 0, 0}, i, i};
      leaf_box(cv, i, e, node.box);
    }
    level_counts[0] = made;
    while (*rc == 0 && level_counts[*n_levels - 1] > 1) {
      const int below = level_counts[*n_levels - 1];
      const BSrangenode *children = levels[*n_levels - 1];
      BSrangenode *level = take((below + 1) / 2);
      if (!level) break;
      for (int j = 0; j < (below + 1) / 2; ++j) {
        const int first = 2 * j, last = std::min(2 * j + 1, below - 1);
        BSrangenode &node = level[j];
        node = BSrangenode{1, last - first + 1, {}, first, last};
        std::memcpy(node.box, children[first].box, sizeof node.box);
        for (int c = 0; c < 3; ++c) {
          node.box[c] = std::min(node.box[c], children[last].box[c]);
          node.box[3 + c] = std::max(node.box[3 + c], children[last].box[3 + c]);
        }
      }
    }
    if (*rc != 0) break;
    // Flag from the root down; a child that misses leaves its parent's list, and nodes under a parent that misses are
    // not reached.
    if (made == 0) break;
    BSrangenode &root = levels[*n_levels - 1][0];
    root.meets = box_meets(root, box_min, box_max) ? 1 : 0;
    for (int l = *n_levels - 1; l > 0; --l) {
      BSrangenode *parents = levels[l], *children = levels[l - 1];
      bool any = false;
      for (int j = 0; j < level_counts[l]; ++j) {
        BSrangenode &parent = parents[j];
        const int first = parent.first, second = parent.second;
        for (int c = first; c <= second; ++c) {
          BSrangenode &child = children[c];
          child.meets = parent.meets && box_meets(child, box_min, box_max) ? 1 : 0;
          if (!parent.meets || child.meets) continue;
          --parent.count;
          if (parent.count == 1 && c == first) parent.first = parent.second;
        }
        any = any || parent.meets;
      }
      if (!any) {
        for (int m = l - 1; m >= 0; --m)
          for (int j = 0; j < level_counts[m]; ++j) levels[m][j].meets = 0;
        break;
      }
    }
  } while (false);
  if (*rc != 0 && levels && level_counts) {
    release_levels(level_counts, levels);
    if (n_levels) *n_levels = 0;
  }
  BSexit(rc, "BScvspnrgtr", "bscvspnrgtr");
}
}  // namespace

namespace {
// Whether a leaf box meets the tree's box and the query, tested as scan_leaves tests them.
bool leaf_meets(const double *leaf, const double tree_box[6], const double query[6]) {
  for (int c = 0; c < 3; ++c)
    if (!(tree_box[c] <= leaf[3 + c] && tree_box[3 + c] >= leaf[c])) return false;
  for (int c = 0; c < 3; ++c)
    if (leaf[c] > query[3 + c] || leaf[3 + c] < query[c]) return false;
  return true;
}

// The length of the leg from pole i of cv to the next, as BScumdist measures it.
double leg_length(const VOQbsp_curve &cv, int i) {
  const double *a = cv.poles + 3 * i, *b = a + 3;
  if (cv.rational) {
    double sq = 0;
    for (int c = 0; c < 3; ++c) {
      const double d = b[c] / cv.weights[i + 1] - a[c] / cv.weights[i];
      sq += d * d;
    }
    return std::sqrt(sq);
  }
  const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// A pole the index can stand for: finite, its coordinates below what clamped_extent measures, its weight positive.
bool plain_pole(const VOQbsp_curve &cv, int i) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  if (!(w > 0) || !std::isfinite(w)) return false;
  for (int c = 0; c < 3; ++c)
    if (!(std::fabs(cv.poles[3 * i + c] / w) < 1e150) || !std::isfinite(cv.poles[3 * i + c])) return false;
  return true;
}

void push_found(int j, int *n_found, int **found, int *rc) {
  (*found)[(*n_found)++] = j;
  if (*n_found % kCandidateBlock == 0) {
    void *grown = BSdbgralloc(*found, static_cast<int>(sizeof(int)) * (*n_found + kCandidateBlock));
    if (!grown) {
      *rc = BSRC_NO_HEAP;
      return;
    }
    *found = static_cast<int *>(grown);
  }
}
}  // namespace

void bsintcall::RestIndex::release() {
  if (block_) BSdbgfree(block_);
  block_ = nullptr;
  ready_ = false;
}

bool bsintcall::RestIndex::build(const VOQbsp_curve &cv, double grow) {
  release();
  const int k = cv.order, n = cv.num_poles;
  if (k < 2 || k > BSSPAN_MAX_ORDER || n < k || n > (1 << 19) || !cv.poles || !cv.knots ||
      (cv.rational && !cv.weights))
    return false;
  for (int i = 0; i < n; ++i)
    if (!plain_pole(cv, i)) return false;
  for (int i = 0; i < n + k; ++i)
    if (!std::isfinite(cv.knots[i]) || (i > 0 && cv.knots[i] < cv.knots[i - 1])) return false;
  const int spans = n - k + 1;
  int leaves = 1;
  while (leaves < spans) leaves *= 2;
  const std::size_t doubles = 12 * static_cast<std::size_t>(leaves) + 7 * static_cast<std::size_t>(n + 1) +
                              2 * static_cast<std::size_t>(n + 2);
  block_ = static_cast<double *>(BSdbgmalloc(static_cast<int>(doubles * sizeof(double))));
  if (!block_) return false;
  poles_ = cv.poles, knots_ = cv.knots, weights_ = cv.rational ? cv.weights : nullptr;
  order_ = k, n_ = n, spans_ = spans, leaves_ = leaves, valid_from_ = 0, rational_ = cv.rational != 0;
  nodes_ = block_, tail_box_ = nodes_ + 12 * leaves, tail_length_ = tail_box_ + 6 * (n + 1);
  min_gap_ = tail_length_ + (n + 1), max_gap_ = min_gap_ + (n + 2);
  grow_ = grow;

  const double empty[6] = {DBL_MAX, DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (int c = 0; c < leaves; ++c) {
    double *box = nodes_ + 6 * (leaves + c);
    if (c < spans)
      leaf_box(&cv, c, grow_, box);
    else
      std::memcpy(box, empty, sizeof empty);
  }
  for (int node = leaves - 1; node >= 1; --node) {
    const double *l = nodes_ + 12 * node, *r = l + 6;
    double *box = nodes_ + 6 * node;
    for (int c = 0; c < 3; ++c) {
      box[c] = std::min(l[c], r[c]);
      box[3 + c] = std::max(l[3 + c], r[3 + c]);
    }
  }
  std::memcpy(tail_box_ + 6 * n, empty, sizeof empty);
  for (int i = n - 1; i >= 0; --i) {
    const double *after = tail_box_ + 6 * (i + 1);
    double *box = tail_box_ + 6 * i, p[3];
    pole_at(&cv, i, p);
    for (int c = 0; c < 3; ++c) {
      box[c] = std::min(after[c], p[c]);
      box[3 + c] = std::max(after[3 + c], p[c]);
    }
  }
  tail_length_[n] = tail_length_[n - 1] = 0;
  for (int i = n - 2; i >= 0; --i) tail_length_[i] = tail_length_[i + 1] + leg_length(cv, i);
  const double zero = BStoltab[bstol::zero_tol];
  min_gap_[n + 1] = HUGE_VAL;
  max_gap_[n + 1] = -1;
  for (int g = n; g >= 1; --g) {
    const double d = std::fabs(cv.knots[g] - cv.knots[g - 1]);
    min_gap_[g] = d > zero ? std::min(min_gap_[g + 1], d) : min_gap_[g + 1];
    max_gap_[g] = std::max(max_gap_[g + 1], d);
  }
  min_gap_[0] = min_gap_[1];
  max_gap_[0] = max_gap_[1];
  ready_ = true;
  return true;
}

void bsintcall::RestIndex::overwritten(const VOQbsp_curve &rest, int written) {
  valid_from_ = std::max(valid_from_, offset_of(rest) + written);
}

int bsintcall::RestIndex::front_of(const VOQbsp_curve &rest) const {
  return std::clamp(valid_from_ - offset_of(rest), 0, static_cast<int>(rest.num_poles));
}

bool bsintcall::RestIndex::holds(const VOQbsp_curve &rest) const {
  if (!ready_ || rest.order != order_ || (rest.rational != 0) != rational_ || rest.num_poles < order_ ||
      rest.poles < poles_ || rest.poles >= poles_ + 3 * static_cast<std::ptrdiff_t>(n_) ||
      (rest.poles - poles_) % 3 != 0)
    return false;
  const int at = offset_of(rest), k = order_;
  if (at + rest.num_poles != n_ || rest.knots != knots_ + at || (rational_ && rest.weights != weights_ + at) ||
      rest.num_knots != rest.num_poles + k)
    return false;
  const int front = front_of(rest);
  for (int i = 0; i < front; ++i)
    if (!plain_pole(rest, i)) return false;
  // The knots from k on are the curve's; the ones in front, the cut, must lead up to them.
  for (int i = 0; i <= k; ++i)
    if (!std::isfinite(rest.knots[i]) || (i > 0 && rest.knots[i] < rest.knots[i - 1])) return false;
  return true;
}

void bsintcall::RestIndex::knot_tol(const VOQbsp_curve &rest, bsknots::KnotTolRange *range) const {
  range->cv = rest;
  if (!rest.rational) range->cv.weights = nullptr;
  range->exact = false;
  const int k = order_, nr = rest.num_poles, at = offset_of(rest), front = front_of(rest);
  const double *t = rest.knots;
  double lo = 0, hi = 0;
  if (BSkttolmode(-1) == 1) {
    lo = hi = BStoltab[bstol::knot_tol];
  } else {
    // The polygon's length is the front legs and the curve's tail behind them, summed in another order: it is
    // known to some units in the last place of every leg there is.
    double length = 0;
    for (int j = 0; j < front && j + 1 < nr; ++j) length += leg_length(rest, j);
    length += tail_length_[at + front];
    const double slack = 8.0 * (n_ + 8) * DBL_EPSILON, extent = t[nr] - t[k - 1];
    if (!(std::isfinite(length) && extent > 0 && std::isfinite(extent))) {
      range->settle();
      return;
    }
    const double basis = BStoltab[bstol::basis_tol];
    lo = basis / std::max(length * (1 + slack), 0.001) * extent;
    hi = basis / std::max(length * (1 - slack), 0.001) * extent;
  }
  // Unless no knot interval above zero_tol is shorter than the tolerance could be, the intervals lower it.
  const double zero = BStoltab[bstol::zero_tol], first = std::fabs(t[k] - t[k - 1]);
  const double shortest = std::min(first > zero ? first : HUGE_VAL, min_gap_[at + k + 1]);
  if (!(shortest >= hi && lo > 0 && std::isfinite(hi))) {
    range->settle();
    return;
  }
  range->lo = lo;
  range->hi = hi;
  range->exact = lo == hi;
}

void bsintcall::RestIndex::box(const VOQbsp_curve &rest, double out[6]) const {
  const int front = front_of(rest), at = offset_of(rest);
  const double *tail = tail_box_ + 6 * (at + front);
  std::memcpy(out, tail, 6 * sizeof(double));
  for (int i = 0; i < front; ++i) {
    double p[3];
    pole_at(&rest, i, p);
    for (int c = 0; c < 3; ++c) {
      out[c] = std::min(out[c], p[c]);
      out[3 + c] = std::max(out[3 + c], p[c]);
    }
  }
}

bool bsintcall::RestIndex::clamped_extent(const VOQbsp_curve &rest) const {
  const int k = order_, n = rest.num_poles;
  const double *t = rest.knots;
  for (int i = 1; i < k; ++i)
    if (t[i] != t[0] || t[n + i] != t[n]) return false;
  // Every pole is plain (the index's and the front's): within the coordinates and with a positive weight.
  double p[3], q[3];
  bsknots::cartesian_pole(rest, 0, p);
  bsknots::cartesian_pole(rest, n - 1, q);
  return bsknots::points_apart(n, p, q);
}

bool bsintcall::RestIndex::has_leaves(const VOQbsp_curve &rest, bsknots::KnotTolRange &tol) const {
  const int k = order_, at = offset_of(rest);
  const double longest = std::max(std::fabs(rest.knots[k] - rest.knots[k - 1]), max_gap_[at + k + 1]);
  return longest >= tol.hi;
}

void bsintcall::RestIndex::walk(int node, int first, int width, int from, int offset, const VOQbsp_curve &rest,
                                bsknots::KnotTolRange *tol, const double tree_box[6], const double query[6],
                                int *n_found, int **found, int *rc) const {
  if (*rc != 0 || first + width <= from || first >= spans_) return;
  if (!leaf_meets(nodes_ + 6 * node, tree_box, query)) return;
  if (width > 1) {
    const int half = width / 2;
    walk(2 * node, first, half, from, offset, rest, tol, tree_box, query, n_found, found, rc);
    walk(2 * node + 1, first + half, half, from, offset, rest, tol, tree_box, query, n_found, found, rc);
    return;
  }
  const int j = first - offset, k = order_;
  if (!tol || !tol->below(std::fabs(rest.knots[k - 1 + j] - rest.knots[k + j]))) push_found(j, n_found, found, rc);
}

void bsintcall::RestIndex::find(const VOQbsp_curve &rest, bsknots::KnotTolRange *tol, double grow,
                                const double tree_box[6], const double query[6], int *n_found, int **found,
                                int *rc) const {
  const int k = order_, spans = rest.num_poles - k + 1, at = offset_of(rest);
  // Spans over the new front poles are boxed here, the rest found in the tree (unless the tolerance moved since).
  const bool tree = grow == grow_;
  const int direct = tree ? std::min(front_of(rest), spans) : spans;
  for (int j = 0; j < direct && *rc == 0; ++j) {
    double box[6];
    leaf_box(&rest, j, grow, box);
    if (leaf_meets(box, tree_box, query) &&
        (!tol || !tol->below(std::fabs(rest.knots[k - 1 + j] - rest.knots[k + j]))))
      push_found(j, n_found, found, rc);
  }
  if (tree && *rc == 0) walk(1, 0, leaves_, at + direct, at, rest, tol, tree_box, query, n_found, found, rc);
}

void bsintcall::RestIndex::candidates(const VOQbsp_curve &rest, bsknots::KnotTolRange &tol, const double tree_box[6],
                                      const double query[6], int *n_found, int **found, int *rc) const {
  find(rest, &tol, 10 * BStoltab[bstol::dist_tol], tree_box, query, n_found, found, rc);
}

void bsintcall::RestIndex::segments(const VOQbsp_curve &rest, const double tree_box[6], const double query[6],
                                    int *n_found, int **found, int *rc) const {
  find(rest, nullptr, 0, tree_box, query, n_found, found, rc);
}

void BScvspnrgtr(const VOQbsp_curve *cv, const double box_min[3], const double box_max[3], int *n_levels,
                 int *level_counts, BSrangenode **levels, int *rc) {
  range_tree(cv, box_min, box_max, nullptr, n_levels, level_counts, levels, rc);
}

void BSxspnspn(VOQbsp_curve *span1, VOQbsp_curve *span2, int class1, int class2, int *n, double *pts, double *par1,
               double *par2, BSboolean *overlap, int *rc) {
  *rc = 0;
  if (n) *n = 0;
  if (overlap) *overlap = BSFALSE;
  if (!n || !pts || !par1 || !par2 || !overlap) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (class1 * 10 + class2 == 11) {
    BSpt_pt(rc, span1, span2, n, pts, par1, par2);
  } else {
    BSbzbz_int(span1, span2, n, pts, par1, par2, overlap, rc);
  }
  BSexit(rc, "BSxspnspn", "bsxspnspn");
}

void BSspnspnmem(int n, const double *pts, const double *par1, const double *par2, BSboolean overlap, int *n_int,
                 double **int_pts, double **int_par1, double **int_par2, int *n_over, double **over_pts,
                 double **over_par1, double **over_par2, int *int_blocks, int *over_blocks, int *rc) {
  *rc = 0;
  bool ok = n >= 0 && (n == 0 || (pts && par1 && par2)) && (!overlap || n == 2);
  ok = ok && n_int && int_pts && int_par1 && int_par2 && int_blocks && *int_pts && *int_par1 && *int_par2 &&
       *n_int >= 0 && *int_blocks >= 0 && *int_blocks < kMaxEntries / BSRESULT_BLOCK &&
       *n_int <= BSRESULT_BLOCK * (*int_blocks + 1) && n <= kMaxEntries - *n_int;
  ok = ok && n_over && over_pts && over_par1 && over_par2 && over_blocks && *over_pts && *over_par1 && *over_par2 &&
       *n_over >= 0 && *over_blocks >= 0 && *over_blocks < kMaxEntries / BSRESULT_BLOCK &&
       *n_over <= BSRESULT_BLOCK * (*over_blocks + 1) && *n_over < kMaxEntries / 2;
  ok = ok && (n == 0 || (BSallfinite(3 * n, pts) && BSallfinite(n, par1) && BSallfinite(n, par2)));
  if (!ok) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (overlap) {
    if (*n_over == BSRESULT_BLOCK * (*over_blocks + 1)) {
      double **arrays[3] = {over_pts, over_par1, over_par2};
      const int widths[3] = {6, 2, 2};
      if (grow(*n_over, BSRESULT_BLOCK * (*over_blocks + 1) + 2 * BSRESULT_BLOCK, *over_blocks > 0, arrays, widths))
        ++*over_blocks;
      else
        *rc = BSRC_NO_HEAP;
    }
    if (*rc == 0) {
      const int o = (*n_over)++;
      std::memcpy(*over_pts + 6 * o, pts, sizeof(double) * 6);
      std::memcpy(*over_par1 + 2 * o, par1, sizeof(double) * 2);
      std::memcpy(*over_par2 + 2 * o, par2, sizeof(double) * 2);
    }
  } else if (n > 0) {
    // A batch of up to 257 results may need more than one further block.
    const int need = *n_int + n;
    if (need > BSRESULT_BLOCK * (*int_blocks + 1)) {
      const int blocks = (need + BSRESULT_BLOCK - 1) / BSRESULT_BLOCK;
      double **arrays[3] = {int_pts, int_par1, int_par2};
      const int widths[3] = {3, 1, 1};
      if (grow(*n_int, BSRESULT_BLOCK * blocks, *int_blocks > 0, arrays, widths))
        *int_blocks = blocks - 1;
      else
        *rc = BSRC_NO_HEAP;
    }
    if (*rc == 0) {
      std::memcpy(*int_pts + 3 * *n_int, pts, sizeof(double) * 3 * n);
      std::memcpy(*int_par1 + *n_int, par1, sizeof(double) * n);
      std::memcpy(*int_par2 + *n_int, par2, sizeof(double) * n);
      *n_int = need;
    }
  }
  BSexit(rc, "BSspnspnmem", "bsspnspnmem");
}

namespace {

// A one-span curve copied into a record and clamped there.
bool copy_span(const VOQbsp_curve *cv, SpanRecord *rec, int *rc) {
  rec->aim(cv->rational != 0);
  BScv_copy(rc, cv, &rec->cv);
  if (*rc == 0) BScnvtomkt(rc, &rec->cv);
  return *rc == 0;
}

// The general road: the spans of a (the curve with more spans, in the tree) against those of b.
struct SpanPairing {
  VOQbsp_curve *a, *b;
  int class_a, class_b;
  double box_a[6], box_b[6];
  double tol_a = 0, tol_b = 0;
  bsintcall::Store &store;
  // For a rest of a self-intersection (a, with b one span): its index, and its knot tolerance as a range, of which
  // tol_a is then a value.
  bsintcall::RestIndex *index = nullptr;
  bsknots::KnotTolRange *tol_range = nullptr;

  bool short_in_a(double gap) const { return tol_range ? tol_range->below(gap) : gap < tol_a; }

  // The meetings of two spans into the store. beyond: where they share a stretch, the parts of each beyond it
  // meet the other span too.
  void add(VOQbsp_curve *sa, VOQbsp_curve *sb, int ca, int cb, int *rc, bool beyond = true) {
    double pts[3 * BSSPAN_PAIR_RESULTS], p1[BSSPAN_PAIR_RESULTS], p2[BSSPAN_PAIR_RESULTS];
    int n = 0;
    BSboolean overlap = BSFALSE;
    BSxspnspn(sa, sb, ca, cb, &n, pts, p1, p2, &overlap, rc);
    if (*rc != 0 || n == 0) return;
    if (n < 0 || n > BSSPAN_PAIR_RESULTS) {
      *rc = BSRC_TOO_MANY_RESULTS;
      return;
    }
    BSspnspnmem(n, pts, p1, p2, overlap, &store.n_pts, &store.pp, &store.pt1, &store.pt2, &store.n_ovl, &store.op,
                &store.ot1p, &store.ot2p, &store.blocks_pts, &store.blocks_ovl, rc);
    if (*rc == 0 && overlap && beyond) beyond_overlap(sa, sb, ca, cb, p1, p2, rc);
  }

  // Two spans that share a stretch between their end meetings can still cross off it, where either runs on beyond
  // the stretch: each part of a span beyond its stretch meets the whole other span. What such a pair finds on the
  // stretch (its ends) lies on the overlap and goes with it in the sort; a crossing off both stretches is found
  // from both sides and kept once.
  void beyond_overlap(VOQbsp_curve *sa, VOQbsp_curve *sb, int ca, int cb, const double stretch_a[2],
                      const double stretch_b[2], int *rc) {
    VOQbsp_curve *spans[2] = {sa, sb};
    const double *stretch[2] = {stretch_a, stretch_b};
    const int classes[2] = {ca, cb};
    for (int s = 0; s < 2 && *rc == 0; ++s) {
      const VOQbsp_curve *cv = spans[s];
      const double lo = std::fmin(stretch[s][0], stretch[s][1]), hi = std::fmax(stretch[s][0], stretch[s][1]);
      for (const double cut : {lo, hi}) {
        if (!(range_start(cv) < cut && cut < range_end(cv))) continue;
        SpanRecord part[2];
        part[0].aim(cv->rational != 0);
        part[1].aim(cv->rational != 0);
        part[0].cv.num_poles = part[1].cv.num_poles = 0;
        if (!BScvsplit(rc, cv, &cut, &part[0].cv, &part[1].cv, nullptr)) return;
        // The part before the stretch's start, or after its end.
        SpanRecord &beyond = part[cut == lo ? 0 : 1];
        if (beyond.cv.num_poles != cv->order) continue;
        classify(&beyond.cv, &beyond.cls, rc);
        if (*rc != 0) return;
        if (beyond.cls == BSINT_POINT) continue;
        if (s == 0)
          add(&beyond.cv, sb, beyond.cls, classes[1], rc, false);
        else
          add(sa, &beyond.cv, classes[0], beyond.cls, rc, false);
        if (*rc != 0) return;
      }
    }
  }

  void single_spans(int *rc) {
    SpanRecord s1{}, s2{};
    // Accumulated in the caller's order: two single spans are never swapped.
    if (!copy_span(a, &s1, rc) || !copy_span(b, &s2, rc)) return;
    add(&s1.cv, &s2.cv, class_a, class_b, rc);
  }

  void spans(int *rc) {
    const int ka = a->order, kb = b->order;
    const int spans_a = a->num_poles - ka + 1, spans_b = b->num_poles - kb + 1;
    bsintcall::Tree tree;
    // A fault hook must see the tree's own check and measure. One span of b (a span against the rest of its curve
    // in a self-intersection) is one query: its leaves are scanned, where the tree would be built without fault.
    // An index has settled that they are scanned and that there are some.
    const int leaves =
        index ? 1 : spans_b == 1 && !bstest::slow_roads() && BSallfinite(6, box_b) ? leaf_count(a, tol_a) : -1;
    const bool scan = leaves >= 0 && tree_levels(leaves) <= BSRANGE_MAX_LEVELS;
    if (scan) {
      if (leaves == 0) return;
    } else {
      range_tree(a, box_b, box_b + 3, bstest::slow_roads() ? nullptr : &tol_a, &tree.levels, tree.counts, tree.arrays,
                 rc);
      if (*rc != 0 || tree.counts[0] == 0) return;
    }
    bsintcall::Candidates found;
    found.list = static_cast<int *>(BSdbgmalloc(kCandidateBlock * static_cast<int>(sizeof(int))));
    // One span of b meets each span of a at most once: a single record serves.
    const int cache_size = spans_b == 1 ? 1 : std::min(spans_a, kCacheSize);
    auto *cache = static_cast<SpanRecord *>(BSdbgmalloc(cache_size * static_cast<int>(sizeof(SpanRecord))));
    struct Release {
      SpanRecord *p;
      ~Release() {
        if (p) BSdbgfree(p);
      }
    } release{cache};
    if (!found.list || !cache) {
      *rc = BSRC_NO_HEAP;
      return;
    }
    // Direct-mapped by span index: the spans of a that meet one span of b are mostly those that met the one
    // before, so a span is converted about once however many spans a has.
    for (int c = 0; c < cache_size; ++c) cache[c].index = -1;
    SpanRecord bs{}, work{};
    const double dtol = BStoltab[bstol::dist_tol];
    for (int i = 0; i < spans_b; ++i) {
      if (std::fabs(b->knots[kb + i] - b->knots[kb - 1 + i]) < tol_b) continue;
      // The span of b, clamped, in a record of its own: the caller's curve is never clamped in place.
      bs.aim(b->rational != 0);
      if (spans_b == 1) {
        copy_span(b, &bs, rc);
        bs.cls = class_b;
      } else {
        const int span = kb - 1 + i;
        BSspn_t_bz(rc, &span, b, &bs.cv, nullptr, nullptr);
        if (*rc == 0) classify(&bs.cv, &bs.cls, rc);
      }
      if (*rc == 0) bs.take_box(rc);
      if (*rc != 0) return;
      if (bs.cls == BSINT_POINT || !near_boxes(bs.box, box_a, dtol)) continue;
      int n_found = 0;
      if (scan && BSallfinite(6, bs.box)) {
        if (index)
          index->candidates(*a, *tol_range, box_b, bs.box, &n_found, &found.list, rc);
        else
          scan_leaves(a, tol_a, box_b, bs.box, &n_found, &found.list, rc);
      } else {
        if (index) tol_a = tol_range->value();
        if (scan) range_tree(a, box_b, box_b + 3, &tol_a, &tree.levels, tree.counts, tree.arrays, rc);
        if (*rc == 0) BScvcmp_rng(bs.box, tree.levels, tree.arrays, 0, &n_found, &found.list, rc);
      }
      if (*rc != 0) return;
      for (int f = 0; f < n_found; ++f) {
        const int j = found.list[f];
        if (short_in_a(std::fabs(a->knots[ka + j] - a->knots[ka - 1 + j]))) continue;
        SpanRecord &slot = cache[j % cache_size];
        if (slot.index != j) {
          slot.index = -1;
          slot.aim(a->rational != 0);
          const int span = ka - 1 + j;
          BSspn_t_bz(rc, &span, a, &slot.cv, nullptr, nullptr);
          if (*rc == 0) BScnvtomkt(rc, &slot.cv);
          if (*rc == 0) slot.take_box(rc);
          if (*rc == 0) classify(&slot.cv, &slot.cls, rc);
          if (*rc != 0) return;
          slot.index = j;
        }
        work.copy_from(slot);
        if (work.cls == BSINT_POINT || !near_boxes(work.box, bs.box, dtol)) continue;
        add(&work.cv, &bs.cv, work.cls, bs.cls, rc);
        if (*rc != 0) return;
      }
    }
  }
};

void intersect(VOQbsp_curve *cv1, VOQbsp_curve *cv2, BSboolean merge_by_dist, const bsintcall::Outputs &out, int *rc) {
  const double sq = BStoltab[bstol::dist_sqtol];
  int class1 = BSINT_UNKNOWN, class2 = BSINT_UNKNOWN;
  // The segment and line-string intersectors map a point's place on a segment linearly onto its knots, which holds
  // only for polynomial segments: rational ones are paired span by span.
  const bool straight = !cv1->rational && !cv2->rational && cv1->order == 2 && cv2->order == 2;
  if (straight && cv1->num_poles == 2 && cv2->num_poles == 2) {
    double seg1[6], seg2[6];
    pole_at(cv1, 0, seg1), pole_at(cv1, 1, seg1 + 3), pole_at(cv2, 0, seg2), pole_at(cv2, 1, seg2 + 3);
    if (dist2(seg1, seg1 + 3) < sq) class1 = BSINT_POINT;
    if (dist2(seg2, seg2 + 3) < sq) class2 = BSINT_POINT;
    if (class1 != BSINT_POINT && class2 != BSINT_POINT) {
      BSlnln_int(seg1, seg2, cv1->knots, cv2->knots, out.int_size, out.over_size, out.int_pts, out.int_par1,
                 out.int_par2, out.over_pts, out.over_par1, out.over_par2, out.n_int, out.n_over, out.int_alloc,
                 out.over_alloc, out.a_int_pts, out.a_int_par1, out.a_int_par2, out.a_over_pts, out.a_over_par1,
                 out.a_over_par2, rc);
      return;
    }
  }
  for (VOQbsp_curve *cv : {cv1, cv2})
    if (!cv->rational) cv->weights = nullptr;

  double box1[6], box2[6];
  BSpolesbox(rc, &cv1->num_poles, cv1->poles, cv1->weights, box1, box1 + 3);
  BSpolesbox(rc, &cv2->num_poles, cv2->poles, cv2->weights, box2, box2 + 3);
  if (!BSbxint(rc, box1, box1 + 3, box2, box2 + 3)) return;
  if (class1 == BSINT_UNKNOWN) classify(cv1, &class1, rc);
  if (*rc == 0 && class2 == BSINT_UNKNOWN) classify(cv2, &class2, rc);
  if (*rc != 0) return;

  if (class1 == BSINT_POINT || class2 == BSINT_POINT) {
    int n = 0;
    double pt[3], u1 = 0, u2 = 0;
    if (class1 == BSINT_POINT)
      BSptcv_int(cv1, cv2, class2, &n, pt, &u1, &u2, rc);
    else
      BSptcv_int(cv2, cv1, class1, &n, pt, &u2, &u1, rc);
    if (*rc != 0 || n == 0) return;
    bsintcall::Target target;
    if (!target.place(1, out.int_size >= 1, 3, 1, out.int_pts, out.int_par1, out.int_par2)) {
      *rc = BSRC_NO_HEAP;
      return;
    }
    std::memcpy(target.pts, pt, sizeof pt);
    target.par1[0] = u1;
    target.par2[0] = u2;
    target.hand_over(out.int_alloc, out.a_int_pts, out.a_int_par1, out.a_int_par2);
    *out.n_int = 1;
    return;
  }
  if (straight) {
    BSlsls_int(cv1, cv2, merge_by_dist, out.int_size, out.over_size, out.int_pts, out.int_par1, out.int_par2,
               out.over_pts, out.over_par1, out.over_par2, out.n_int, out.n_over, out.int_alloc, out.over_alloc,
               out.a_int_pts, out.a_int_par1, out.a_int_par2, out.a_over_pts, out.a_over_par1, out.a_over_par2, rc);
    return;
  }

  // Span records hold spans of order 16 at most.
  if (cv1->order > BSSPAN_MAX_ORDER || cv2->order > BSSPAN_MAX_ORDER) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const int spans1 = cv1->num_poles - cv1->order + 1, spans2 = cv2->num_poles - cv2->order + 1;
  const bool swapped = spans2 > spans1;
  bsintcall::Store store;
  SpanPairing pairing{swapped ? cv2 : cv1,
                      swapped ? cv1 : cv2,
                      swapped ? class2 : class1,
                      swapped ? class1 : class2,
                      {},
                      {},
                      0,
                      0,
                      store};
  std::memcpy(pairing.box_a, swapped ? box2 : box1, sizeof box1);
  std::memcpy(pairing.box_b, swapped ? box1 : box2, sizeof box1);
  for (VOQbsp_curve *cv : {pairing.a, pairing.b}) {
    BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->weights,
               cv == pairing.a ? &pairing.tol_a : &pairing.tol_b, rc);
    if (*rc != 0) return;
  }
  if (spans1 == 1 && spans2 == 1) {
    pairing.single_spans(rc);
  } else {
    // Each span meets several of the other curve's: its node polygon is taken once for them all.
    const bsxbz::SpanMemoScope memo;
    pairing.spans(rc);
  }
  if (*rc != 0 || (store.n_pts == 0 && store.n_ovl == 0)) return;
  const bsintcall::Outputs o = swapped ? out.exchanged() : out;
  // Both curves passed curve_code in BScvcvint.
  bsintcall::sort_results(true, pairing.a, pairing.b, merge_by_dist, swapped ? BSTRUE : BSFALSE, pairing.tol_a,
                          pairing.tol_b, store.n_pts, store.n_ovl, store.pp, store.pt1, store.pt2, store.op,
                          store.ot1p, store.ot2p, o.int_size, o.over_size, o.int_pts, o.int_par1, o.int_par2,
                          o.over_pts, o.over_par1, o.over_par2, o.n_int, o.n_over, o.int_alloc, o.over_alloc,
                          o.a_int_pts, o.a_int_par1, o.a_int_par2, o.a_over_pts, o.a_over_par1, o.a_over_par2, rc);
}

}  // namespace

bool bsintcall::span_against_rest(RestIndex &index, VOQbsp_curve *span, VOQbsp_curve *rest,
                                  bsknots::KnotTolRange &rest_tol, int int_size, int over_size, double *int_pts,
                                  double *int_par1, double *int_par2, double *over_pts, double *over_par1,
                                  double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc,
                                  BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                                  double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc) {
  if (bstest::slow_roads() || !span || !rest || !index.holds(*rest) ||
      span->num_poles != span->order || span->order > BSSPAN_MAX_ORDER || rest->num_poles - rest->order + 1 < 2)
    return false;
  // Two polynomial line strings go to the line-string intersector, the index then being one of bare segments.
  const bool straight = !span->rational && !rest->rational && span->order == 2 && rest->order == 2;
  if (straight != (index.grow() == 0)) return false;
  const Outputs out{int_size,  over_size,  int_pts,    int_par1,   int_par2,    over_pts,
                    over_par1, over_par2,  n_int,      n_over,     int_alloc,   over_alloc,
                    a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2};
  if (!out.usable() || curve_code(span) != 0) return false;
  *rc = 0;
  out.clear();
  // intersect(span, rest), the rest's measures from the index.
  for (VOQbsp_curve *cv : {span, rest})
    if (!cv->rational) cv->weights = nullptr;
  double box1[6], box2[6];
  BSpolesbox(rc, &span->num_poles, span->poles, span->weights, box1, box1 + 3);
  index.box(*rest, box2);
  bool done = !BSbxint(rc, box1, box1 + 3, box2, box2 + 3);
  int class1 = BSINT_UNKNOWN, class2 = BSINT_UNKNOWN;
  if (!done) {
    classify(span, &class1, rc);
    if (*rc == 0) {
      if (index.clamped_extent(*rest))
        class2 = BSINT_GENERAL;
      else
        classify(rest, &class2, rc);
    }
    done = *rc != 0;
  }
  if (!done && straight) {
    if (class1 == BSINT_POINT || class2 == BSINT_POINT) return false;
    strings_against_rest(index, span, rest, rest_tol, BSTRUE, out, rc);
    done = true;
  }
  if (!done) {
    if (class1 == BSINT_POINT || class2 == BSINT_POINT || !BSallfinite(6, box1) || !index.has_leaves(*rest, rest_tol))
      return false;
    bsintcall::Store store;
    SpanPairing pairing{rest, span, class2, class1, {}, {}, 0, 0, store};
    std::memcpy(pairing.box_a, box2, sizeof box2);
    std::memcpy(pairing.box_b, box1, sizeof box1);
    pairing.index = &index;
    pairing.tol_range = &rest_tol;
    pairing.tol_a = rest_tol.hi;
    BScvkttol2(span->order, span->knots, span->num_poles, span->poles, span->weights, &pairing.tol_b, rc);
    if (*rc == 0) {
      const bsxbz::SpanMemoScope memo;
      pairing.spans(rc);
    }
    if (*rc == 0 && (store.n_pts > 0 || store.n_ovl > 0)) {
      // The rest's tolerance reaches the results only through their overlaps.
      const double tol_rest = store.n_ovl > 0 ? rest_tol.value() : pairing.tol_a;
      const bsintcall::Outputs o = out.exchanged();
      bsintcall::sort_results(true, rest, span, BSTRUE, BSTRUE, tol_rest, pairing.tol_b, store.n_pts, store.n_ovl,
                              store.pp, store.pt1, store.pt2, store.op, store.ot1p, store.ot2p, o.int_size,
                              o.over_size, o.int_pts, o.int_par1, o.int_par2, o.over_pts, o.over_par1, o.over_par2,
                              o.n_int, o.n_over, o.int_alloc, o.over_alloc, o.a_int_pts, o.a_int_par1, o.a_int_par2,
                              o.a_over_pts, o.a_over_par1, o.a_over_par2, rc);
    }
  }
  BSexit(rc, "BScvcvint", "bscvcvint");
  return true;
}

void BScvcvint(VOQbsp_curve *cv1, VOQbsp_curve *cv2, BSboolean merge_by_dist, int int_size, int over_size,
               double *int_pts, double *int_par1, double *int_par2, double *over_pts, double *over_par1,
               double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc, BSboolean *over_alloc,
               double **a_int_pts, double **a_int_par1, double **a_int_par2, double **a_over_pts, double **a_over_par1,
               double **a_over_par2, int *rc) {
  *rc = 0;
  const bsintcall::Outputs out{int_size,  over_size,  int_pts,    int_par1,   int_par2,    over_pts,
                               over_par1, over_par2,  n_int,      n_over,     int_alloc,   over_alloc,
                               a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2};
  out.clear();
  int code = 0;
  if (!out.usable()) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((code = curve_code(cv1)) != 0 || (code = curve_code(cv2)) != 0) {
    *rc = code;
  } else {
    intersect(cv1, cv2, merge_by_dist, out, rc);
  }
  BSexit(rc, "BScvcvint", "bscvcvint");
}
