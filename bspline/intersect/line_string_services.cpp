// Services of the line-string intersectors: a point against a segment, end-point contacts of two segments and of
// two pole chains, the growable result store, and the range tree of a chain's segments against a query box.
#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/intersect/range_tree_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double dist2(const double *a, const double *b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  return dot3(d, d);
}

bool finite_points(int count, const double *p) { return BSallfinite(3 * count, p); }

// The clamped foot of x on a b (d = b - a, len2 = |d|^2) into foot; its parameter in [0, 1].
double clamped_foot(const double *x, const double *a, const double *d, double len2, double *foot) {
  const double w[3] = {x[0] - a[0], x[1] - a[1], x[2] - a[2]};
  const double s = std::clamp(dot3(w, d) / len2, 0.0, 1.0);
  for (int i = 0; i < 3; ++i) foot[i] = a[i] + s * d[i];
  return s;
}

// One end of a chain, unweighted; false for a zero weight.
bool chain_end(const double *poles, const double *weights, BSboolean rational, int index, double out[3]) {
  const double w = rational ? weights[index] : 1.0;
  if (w == 0) return false;
  for (int i = 0; i < 3; ++i) out[i] = poles[3 * index + i] / w;
  return true;
}

// Replaces three arrays of `have` entries (widths w0, w1, w2 doubles) by new ones of `cap` entries holding the
// same values; the old ones are released only when they came from here. Nothing changes when one allocation
// fails.
bool grow(int have, int cap, int blocks, double **a0, int w0, double **a1, int w1, double **a2, int w2) {
  double **arrays[3] = {a0, a1, a2};
  const int widths[3] = {w0, w1, w2};
  double *fresh[3] = {nullptr, nullptr, nullptr};
  for (int k = 0; k < 3; ++k) {
    fresh[k] = static_cast<double *>(BSdbgmalloc(static_cast<int>(sizeof(double)) * widths[k] * cap));
    if (!fresh[k]) {
      for (int j = 0; j < k; ++j) BSdbgfree(fresh[j]);
      return false;
    }
  }
  for (int k = 0; k < 3; ++k) {
    if (have > 0) std::memcpy(fresh[k], *arrays[k], sizeof(double) * widths[k] * have);
    if (blocks > 0) BSdbgfree(*arrays[k]);
    *arrays[k] = fresh[k];
  }
  return true;
}

// The most entries a store may reach before its block sizes overflow an int allocation.
constexpr int kMaxEntries = (1 << 30) / (6 * static_cast<int>(sizeof(double)));

void store_points(int count, const double *pts, const double *t1, const double *t2, int *n_pts, double **pts_arr,
                  double **t1_arr, double **t2_arr, int *blocks, int *rc) {
  const int need = *n_pts + count;
  if (need > BSRESULT_BLOCK * (*blocks + 1)) {
    // A batch of more than a block grows the arrays by as many blocks as it needs.
    const int grown = std::max(*blocks + 1, (need + BSRESULT_BLOCK - 1) / BSRESULT_BLOCK - 1);
    if (!grow(*n_pts, BSRESULT_BLOCK * (grown + 1), *blocks, pts_arr, 3, t1_arr, 1, t2_arr, 1)) {
      *rc = BSRC_NO_HEAP;
      return;
    }
    *blocks = grown;
  }
  std::memcpy(*pts_arr + 3 * *n_pts, pts, sizeof(double) * 3 * count);
  std::memcpy(*t1_arr + *n_pts, t1, sizeof(double) * count);
  std::memcpy(*t2_arr + *n_pts, t2, sizeof(double) * count);
  *n_pts = need;
}

// Whether a new piece over t[0] .. t[1] of a string starts where the previous piece, a0 .. a1, ends on it: a
// string that comes back to the end point later runs another stretch there, which a piece must not bridge.
bool same_place(double a0, double a1, const double *t) {
  const double gap = std::fabs(t[0] - a1), reach = std::fabs(a1 - a0) + std::fabs(t[1] - t[0]);
  return gap <= 1e-9 * reach || gap <= 4 * std::numeric_limits<double>::epsilon() * std::fabs(a1);
}

void store_piece(const double *pts, const double *t1, const double *t2, double tol, int *n_ovl, double **ovl_pts,
                 double **ovl_t1, double **ovl_t2, int *blocks, int *rc) {
  if (*n_ovl >= BSRESULT_BLOCK * (*blocks + 1)) {
    if (!grow(*n_ovl, BSRESULT_BLOCK * (*blocks + 1) + 2 * BSRESULT_BLOCK, *blocks, ovl_pts, 6, ovl_t1, 2, ovl_t2,
              2)) {
      *rc = BSRC_NO_HEAP;
      return;
    }
    ++*blocks;
  }
  int slot = *n_ovl;
  if (slot > 0 && dist2(*ovl_pts + 6 * (slot - 1) + 3, pts) < tol &&
      same_place((*ovl_t1)[2 * slot - 2], (*ovl_t1)[2 * slot - 1], t1) &&
      same_place((*ovl_t2)[2 * slot - 2], (*ovl_t2)[2 * slot - 1], t2)) {
    // The new piece continues the previous one: only its far end is new.
    --slot;
    std::memcpy(*ovl_pts + 6 * slot + 3, pts + 3, sizeof(double) * 3);
    (*ovl_t1)[2 * slot + 1] = t1[1];
    (*ovl_t2)[2 * slot + 1] = t2[1];
    return;
  }
  std::memcpy(*ovl_pts + 6 * slot, pts, sizeof(double) * 6);
  std::memcpy(*ovl_t1 + 2 * slot, t1, sizeof(double) * 2);
  std::memcpy(*ovl_t2 + 2 * slot, t2, sizeof(double) * 2);
  ++*n_ovl;
}

// Range-tree levels above the leaves: each node keeps those of its two children whose boxes meet the query box.
void join_children(const BSrangenode *below, int m, BSrangenode *level, int count) {
  for (int j = 0; j < count; ++j) {
    BSrangenode &node = level[j];
    node = BSrangenode{0, 0, {0, 0, 0, 0, 0, 0}, -1, -1};
    for (int c = 2 * j; c < std::min(2 * j + 2, m); ++c) {
      if (!below[c].meets) continue;
      if (node.count == 0) {
        std::memcpy(node.box, below[c].box, sizeof node.box);
        node.first = c;
      } else {
        for (int i = 0; i < 3; ++i) {
          node.box[i] = std::min(node.box[i], below[c].box[i]);
          node.box[3 + i] = std::max(node.box[3 + i], below[c].box[3 + i]);
        }
      }
      node.second = c;
      node.meets = 1;
      ++node.count;
    }
  }
}
}  // namespace

BSrangenode *bsrange::add_level(int count, BSrangenode **levels, int *counts, int *n_levels, int *rc) {
  auto *level = static_cast<BSrangenode *>(BSdbgmalloc(std::max(count, 1) * static_cast<int>(sizeof(BSrangenode))));
  if (!level) {
    *rc = BSRC_NO_HEAP;
    return level;
  }
  levels[*n_levels] = level;
  counts[*n_levels] = count;
  ++*n_levels;
  return level;
}

std::int32_t BSlineintmode() { return bstest::switches.line_mode; }

void BSprptonln(double p0[3], double p1[3], double x[3], int *code, double *t, int *rc) {
  *rc = 0;
  if (code) *code = 0;
  if (!p0 || !p1 || !x || !code || !t || !finite_points(1, p0) || !finite_points(1, p1) || !finite_points(1, x)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double len2 = dot3(d, d), zero = BStoltab[bstol::zero_tol];
    const double tol = BStoltab[bstol::dist_sqtol];
    if (!std::isfinite(len2)) {
      *rc = BSRC_OUT_OF_RANGE;
    } else if (len2 <= zero * zero) {
      *rc = BSRC_NULL_VECTOR;
    } else if (dist2(x, p0) < tol) {
      *code = 1;
      *t = 0;
    } else if (dist2(x, p1) < tol) {
      *code = 1;
      *t = 1;
    } else {
      const double w[3] = {x[0] - p0[0], x[1] - p0[1], x[2] - p0[2]};
      const double s = dot3(w, d) / len2;
      const double foot[3] = {p0[0] + s * d[0], p0[1] + s * d[1], p0[2] + s * d[2]};
      *t = s;
      if (s >= 0 && s <= 1 && dist2(x, foot) < tol) *code = 2;
    }
  }
  BSexit(rc, "BSprptonln", "bsprptonln");
}

BSboolean BSpt_on_lne(int *rc, double p0[3], double p1[3], double x[3], double *t, BSboolean *on) {
  int code = 0;
  if (!on) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    *on = BSFALSE;
    BSprptonln(p0, p1, x, &code, t, rc);
    if (*rc == BSRC_NULL_VECTOR) *rc = BSRC_ZERO_WEIGHT;
    if (*rc == 0) *on = code != 0 ? BSTRUE : BSFALSE;
  }
  BSexit(rc, "BSpt_on_lne", "bspt_on_lne");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSlnendpt(double p0[3], double p1[3], double q0[3], double q1[3], int *n, double pts[6], double t1[2],
               double t2[2], BSboolean *exact, int *rc) {
  *rc = 0;
  if (n) *n = 0;
  if (exact) *exact = BSFALSE;
  const double *ends[4] = {p0, p1, q0, q1};
  bool ok = n && pts && t1 && t2 && exact;
  for (const double *e : ends) ok = ok && e && finite_points(1, e);
  double dp[3], dq[3];
  if (ok) {
    BSvdiff(rc, dp, p0, p1);
    BSvdiff(rc, dq, q0, q1);
    ok = BSallfinite(3, dp) && BSallfinite(3, dq);
  }
  const double basis = BStoltab[bstol::basis_tol];
  if (!ok) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (dot3(dp, dp) < basis * basis || dot3(dq, dq) < basis * basis) {
    *rc = BSRC_NULL_VECTOR;
  } else {
    const double hit = BStoltab[18] * BStoltab[18], tol = BStoltab[bstol::dist_sqtol];
    // End x against segment a (direction d): the foot goes into slot n; a hit is recorded with (ta, tb), where
    // the foot's own parameter replaces the one marked by `foot_on_p`.
    auto contact = [&](const double *x, const double *a, const double *d, bool foot_on_p, double end) {
      double *slot = pts + 3 * *n;
      const double s = clamped_foot(x, a, d, dot3(d, d), slot);
      const double d2 = dist2(x, slot);
      if (d2 >= hit) return;
      if (d2 < tol) *exact = BSTRUE;
      t1[*n] = foot_on_p ? s : end;
      t2[*n] = foot_on_p ? end : s;
      if (*n == 1 && dist2(pts, pts + 3) < tol) return;
      ++*n;
    };
    // Two contacts that share a parameter repeat one contact.
    auto repeated = [&](bool either) {
      return *n == 2 && (t1[0] == t1[1] || (either && t2[0] == t2[1]));
    };
    contact(q0, p0, dp, true, 0);
    contact(q1, p0, dp, true, 1);
    bool done = repeated(false);
    if (!done && *n < 2) {
      contact(p0, q0, dq, false, 0);
      done = repeated(true);
    }
    if (!done && *n < 2) {
      contact(p1, q0, dq, false, 1);
      done = repeated(true);
    }
    if (done) {
      *n = 1;
    } else if (*n == 2 && t1[0] > t1[1]) {
      for (int i = 0; i < 3; ++i) std::swap(pts[i], pts[3 + i]);
      std::swap(t1[0], t1[1]);
      std::swap(t2[0], t2[1]);
    }
  }
  BSexit(rc, "BSlnendpt", "bslnendpt");
}

void BSendpt_int(int count1, int count2, BSboolean rational1, BSboolean rational2, double *poles1, double *poles2,
                 double *weights1, double *weights2, BSboolean use_tol, double tol, int *n, double *pts, double *t1,
                 double *t2, int *rc) {
  *rc = 0;
  if (n) *n = 0;
  double a[2][3], b[2][3];
  if (!n || !pts || !t1 || !t2 || count1 < 1 || count2 < 1 || !poles1 || !poles2 || (rational1 && !weights1) ||
      (rational2 && !weights2) || (use_tol && (!(tol >= 0) || !std::isfinite(tol)))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!chain_end(poles1, weights1, rational1, 0, a[0]) ||
             !chain_end(poles1, weights1, rational1, count1 - 1, a[1]) ||
             !chain_end(poles2, weights2, rational2, 0, b[0]) ||
             !chain_end(poles2, weights2, rational2, count2 - 1, b[1])) {
    *rc = BSRC_ZERO_WEIGHT;
  } else if (!finite_points(2, a[0]) || !finite_points(2, b[0])) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double limit = use_tol ? tol : BStoltab[bstol::dist_sqtol];
    double mid[4][3], d2[4];
    bool kept[4] = {false, false, false, false};
    for (int k = 0; k < 4; ++k) {
      const double *x = a[k / 2], *y = b[k % 2];
      d2[k] = dist2(x, y);
      if (!(d2[k] < limit)) continue;
      for (int i = 0; i < 3; ++i) mid[k][i] = 0.5 * (x[i] + y[i]);
      kept[k] = true;
      // Of contacts at one place the closest pair stays; on a tie the earlier.
      for (int j = 0; j < k && kept[k]; ++j)
        if (kept[j] && dist2(mid[j], mid[k]) < limit) kept[k] = d2[k] < d2[j];
      if (kept[k])
        for (int j = 0; j < k; ++j)
          if (kept[j] && dist2(mid[j], mid[k]) < limit) kept[j] = false;
    }
    for (int k = 0; k < 4; ++k) {
      if (!kept[k]) continue;
      std::memcpy(pts + 3 * *n, mid[k], sizeof mid[k]);
      t1[*n] = k / 2;
      t2[*n] = k % 2;
      ++*n;
    }
  }
  BSexit(rc, "BSendpt_int", "bsendpt_int");
}

void BSlslsmem(int count, double *pts, double *t1, double *t2, double tol, int *n_pts, double **pts_arr,
               double **t1_arr, double **t2_arr, int *n_ovl, double **ovl_pts, double **ovl_t1, double **ovl_t2,
               int *blocks_pts, int *blocks_ovl, int *rc) {
  *rc = 0;
  const bool piece = count == 2 && bstest::switches.line_mode != 0;
  bool ok = count >= 0 && tol >= 0 && std::isfinite(tol) && (count == 0 || (pts && t1 && t2));
  ok = ok && n_pts && pts_arr && t1_arr && t2_arr && blocks_pts && *n_pts >= 0 && *blocks_pts >= 0 &&
       *n_pts <= BSRESULT_BLOCK * (*blocks_pts + 1) && count <= kMaxEntries - *n_pts;
  ok = ok && n_ovl && ovl_pts && ovl_t1 && ovl_t2 && blocks_ovl && *n_ovl >= 0 && *blocks_ovl >= 0 &&
       *n_ovl <= BSRESULT_BLOCK * (*blocks_ovl + 1) && *n_ovl < kMaxEntries;
  ok = ok && (count == 0 || (finite_points(count, pts) && BSallfinite(count, t1) && BSallfinite(count, t2)));
  if (!ok)
    *rc = BSRC_OUT_OF_RANGE;
  else if (piece)
    store_piece(pts, t1, t2, tol, n_ovl, ovl_pts, ovl_t1, ovl_t2, blocks_ovl, rc);
  else if (count > 0)
    store_points(count, pts, t1, t2, n_pts, pts_arr, t1_arr, t2_arr, blocks_pts, rc);
  BSexit(rc, "BSlslsmem", "bslslsmem");
}

void BScvset_rng(double a[3], double b[3], double pad, double qmin[3], double qmax[3], double box[6],
                 BSboolean *meets, int *rc) {
  *rc = 0;
  if (meets) *meets = BSFALSE;
  if (!a || !b || !qmin || !qmax || !box || !meets || !finite_points(1, a) || !finite_points(1, b) ||
      !finite_points(1, qmin) || !finite_points(1, qmax) || !(pad >= 0) || !std::isfinite(pad)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    bool met = true;
    for (int i = 0; i < 3; ++i) {
      box[i] = std::min(a[i], b[i]) - pad;
      box[3 + i] = std::max(a[i], b[i]) + pad;
      met = met && qmin[i] <= box[3 + i] && qmax[i] >= box[i];
    }
    *meets = met ? BSTRUE : BSFALSE;
  }
  BSexit(rc, "BScvset_rng", "bscvset_rng");
}

void BScvrngtree(int n, double *pts, double *mids, double qmin[3], double qmax[3], BSboolean no_pad, int *levels,
                 int *counts, BSrangenode **level_arrays, int *rc) {
  *rc = 0;
  if (levels) *levels = 0;
  if (counts) std::fill(counts, counts + BSRANGE_MAX_LEVELS, 0);
  if (level_arrays) std::fill(level_arrays, level_arrays + BSRANGE_MAX_LEVELS, nullptr);
  const int segments = n - 1;
  if (!levels || !counts || !level_arrays || !pts || !qmin || !qmax || (!no_pad && !mids) || segments < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (segments > 1 << (BSRANGE_MAX_LEVELS - 1)) {
    *rc = BSRC_TREE_TOO_TALL;  // refused before anything is built
  } else if (!finite_points(n, pts) || (!no_pad && !finite_points(segments, mids))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    auto take = [&](int count) { return bsrange::add_level(count, level_arrays, counts, levels, rc); };
    BSrangenode *leaves = take(segments);
    for (int i = 0; leaves && i < segments && *rc == 0; ++i) {
      const double *a = pts + 3 * i, *b = a + 3;
      double pad = 0;
      if (!no_pad) {
        const double mid[3] = {0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1]), 0.5 * (a[2] + b[2])};
        pad = 0.85 * std::sqrt(dist2(mid, mids + 3 * i));
      }
      BSrangenode &leaf = leaves[i];
      leaf = BSrangenode{0, 0, {0, 0, 0, 0, 0, 0}, i, i};
      BSboolean meets = BSFALSE;
      BScvset_rng(pts + 3 * i, pts + 3 * i + 3, pad, qmin, qmax, leaf.box, &meets, rc);
      leaf.meets = meets;
    }
    while (*rc == 0 && counts[*levels - 1] > 1) {
      const int below = counts[*levels - 1];
      const BSrangenode *children = level_arrays[*levels - 1];
      BSrangenode *level = take((below + 1) / 2);
      if (level) join_children(children, below, level, (below + 1) / 2);
    }
  }
  BSexit(rc, "BScvrngtree", "bscvrngtree");
}

namespace {
// Whether two segments of the polygon of m points p that are not neighbours meet, found by sweeping their boxes
// along x so that only pairs whose boxes overlap are handed to meet(i, j) (i < j), which sets *crosses on contact.
// The boxes are padded past the contact distance and the rounding of the feet, so every pair left out is one
// that meet would answer with no contact. False when the sweep cannot stand in for testing every pair: a fault
// hook must see every test, a coordinate large enough for differences to overflow, or a test that failed.
template <typename Meet>
bool swept_crossing(int m, const double *p, const Meet &meet, int *rc, BSboolean *crosses) {
  constexpr int kSweepFrom = 32;  // fewer segments are all tested
  if (m < kSweepFrom || bstest::slow_roads()) return false;
  double big = 0;
  for (int i = 0; i < 3 * m; ++i) big = std::max(big, std::fabs(p[i]));
  if (!(big < 1e150)) return false;
  const int segs = m - 1;
  const double pad = 2 * std::sqrt(BStoltab[bstol::dist_sqtol]) + 1e-12 * (1 + big);
  BSscratch<0> work;
  double *box = work.take(6 * static_cast<std::size_t>(segs));
  int *order = static_cast<int *>(BSdbgmalloc(segs * static_cast<int>(sizeof(int))));
  if (!box || !order) {
    BSdbgfree(order);
    return false;
  }
  for (int s = 0; s < segs; ++s)
    for (int c = 0; c < 3; ++c) {
      box[6 * s + c] = std::min(p[3 * s + c], p[3 * s + 3 + c]) - pad;
      box[6 * s + 3 + c] = std::max(p[3 * s + c], p[3 * s + 3 + c]) + pad;
    }
  for (int s = 0; s < segs; ++s) order[s] = s;
  std::sort(order, order + segs, [&](int a, int b) { return box[6 * a] < box[6 * b]; });
  for (int x = 0; x < segs && !*crosses && *rc == 0; ++x) {
    const double *bx = box + 6 * order[x];
    for (int y = x + 1; y < segs && box[6 * order[y]] <= bx[3] && !*crosses && *rc == 0; ++y) {
      const int i = std::min(order[x], order[y]), j = std::max(order[x], order[y]);
      const double *by = box + 6 * order[y];
      if (j - i < 2 || by[1] > bx[4] || bx[1] > by[4] || by[2] > bx[5] || bx[2] > by[5]) continue;
      meet(i, j);
    }
  }
  BSdbgfree(order);
  return *rc == 0;
}
}  // namespace

BSboolean BSls_slfint(int *rc, const int *num_points, const double *points, BSboolean *crosses) {
  *rc = 0;
  BSboolean result = BSTRUE;
  do {
    if (!num_points || !crosses || (*num_points > 0 && !points)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *crosses = BSFALSE;
    if (*num_points < 0 || !finite_points(*num_points, points)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSscratch<300> work;
    double *p = work.take(3 * static_cast<std::size_t>(*num_points));
    if (!p) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    // Points closer than dist_tol to the one kept before them add no segment of their own.
    const double tol = BStoltab[bstol::dist_tol];
    int m = 0;
    for (int i = 0; i < *num_points && *rc == 0; ++i) {
      if (m > 0 && BSpdist(rc, p + 3 * (m - 1), points + 3 * i) < tol) continue;
      std::memcpy(p + 3 * m++, points + 3 * i, 3 * sizeof(double));
    }
    if (*rc != 0 || m < 3) break;
    const auto meet = [&](int i, int j) {
      double a[6], b[6], pts[6], t1[2], t2[2];
      int n = 0;
      std::memcpy(a, p + 3 * i, sizeof a);
      std::memcpy(b, p + 3 * j, sizeof b);
      BSxlnln(a, b, &n, pts, t1, t2, rc);
      if (*rc == 0 && n > 0) *crosses = BSTRUE;
    };
    if (!swept_crossing(m, p, meet, rc, crosses)) {
      *rc = 0, *crosses = BSFALSE;
      for (int i = 0; i + 1 < m && !*crosses && *rc == 0; ++i)
        for (int j = i + 2; j + 1 < m && !*crosses && *rc == 0; ++j) meet(i, j);
    }
    if (*rc != 0 || *crosses) break;
    // Neighbouring segments meet at their joint anyway; they cross only when the last one folds back onto the one
    // before it.
    double t = 0;
    double *last = p + 3 * (m - 3);
    result = BSpt_on_lne(rc, last, last + 3, last + 6, &t, crosses);
  } while (false);
  BSexit(rc, "BSls_slfint", "bsls_slfint");
  return *rc == 0 ? result : BSFALSE;
}
