// The results of a curve/curve intersection: the range-tree query that names the candidate spans or segments,
// and the last step of every intersection, which merges overlaps, drops the points that lie on them or repeat
// one another, and hands the rest back in the order of the caller's first curve.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/intersect/call_internal.h"
#include "bspline/measure.h"

namespace {

constexpr int kFoundBlock = 200;

bool boxes_meet(const double *a, const double *b) {
  for (int i = 0; i < 3; ++i)
    if (a[i] > b[3 + i] || a[3 + i] < b[i]) return false;
  return true;
}

double dist2(const double *a, const double *b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

// The given node has been found to meet the box.
void collect(const double *box, int level, BSrangenode **levels, int node, int *n_found, int **found, int *rc) {
  BSrangenode &here = levels[level - 1][node];
  if (level == 1) {
    (*found)[(*n_found)++] = here.first;
    here.count = 1;
    if (*n_found % kFoundBlock == 0) {
      void *grown = BSdbgralloc(*found, static_cast<int>(sizeof(int)) * (*n_found + kFoundBlock));
      if (!grown) {
        *rc = BSRC_NO_HEAP;
        return;
      }
      *found = static_cast<int *>(grown);
    }
    return;
  }
  // An inner node records only the children that met the tree's own query box.
  for (int k = 0; k < here.count && k < 2 && *rc == 0; ++k) {
    const int c = k == 0 ? here.first : here.second;
    const BSrangenode &child = levels[level - 2][c];
    if (child.meets && boxes_meet(child.box, box)) collect(box, level - 1, levels, c, n_found, found, rc);
  }
}

// An overlap in working form: end points (6), parameters on curve 1 (2), on curve 2 (2).
constexpr int kOverlap = 10;

struct Sorter {
  const VOQbsp_curve *cv1, *cv2;
  bool by_dist, swapped;
  double tol1, tol2, t, w;
  int n, m;
  const double *pts, *par1, *par2, *over_pts, *over_par1, *over_par2;
  // Working arrays (scratch).
  double *wp1 = nullptr, *wp2 = nullptr, *key = nullptr, *wo = nullptr, *okey = nullptr;
  int *tags = nullptr, *axis_tags = nullptr, *keep = nullptr, *otags = nullptr;
  int kept_over = 0;

  double *param(int curve, int i) const { return curve == 1 ? wp1 + i : wp2 + i; }

  // Whether cv, from u where one overlap ends to v where the next starts, stays at the point `at` where they
  // touch: the same parameter within tol, or the curve's point half way between (the short way round on a closed
  // curve) within reach of it. A curve that passes one place twice touches there at two parameters far apart,
  // and an overlap on its first pass does not continue on its second.
  bool stays_at(const VOQbsp_curve *cv, double u, double v, double tol, const double *at, int *rc) const {
    if (std::fabs(u - v) <= tol) return true;
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles], half = 0.5 * (b - a);
    double mid = 0.5 * (u + v), on[3];
    if (cv->phy_closed && std::fabs(u - v) > half) mid += mid < a + half ? half : -half;
    BScveval_n(cv, mid, 0, on, rc);
    return *rc == 0 && dist2(on, at) < t;
  }

  // Overlaps ordered by their first curve-1 parameter; an overlap that continues the current one in the same
  // direction on both curves, from where it ends on each, becomes part of it.
  void merge_overlaps(int *rc) {
    if (m == 0) return;
    for (int i = 0; i < m; ++i) okey[i] = over_par1[2 * i];
    otags[0] = 0;
    if (m > 1 && !BStagsort(rc, &m, okey, otags)) return;
    const double range2 = cv2->knots[cv2->num_poles] - cv2->knots[cv2->order - 1];
    for (int k = 0; k < m; ++k) {
      const int i = otags[k];
      const double *p = over_pts + 6 * i, *a = over_par1 + 2 * i, *b = over_par2 + 2 * i;
      if (kept_over > 0) {
        double *cur = wo + kOverlap * (kept_over - 1);
        const double dA = (cur[7] - cur[6]) * (a[1] - a[0]), dB = (cur[9] - cur[8]) * (b[1] - b[0]);
        if (dist2(cur + 3, p) < t && ((dA > 0 && dB > 0) || (dA < 0 && dB < 0)) &&
            std::fabs(cur[9] - b[0]) < range2 && stays_at(cv1, cur[7], a[0], tol1, p, rc) &&
            stays_at(cv2, cur[9], b[0], tol2, p, rc)) {
          std::memcpy(cur + 3, p + 3, sizeof(double) * 3);
          cur[7] = a[1];
          cur[9] = b[1];
          continue;
        }
      }
      if (*rc != 0) return;
      double *o = wo + kOverlap * kept_over++;
      std::memcpy(o, p, sizeof(double) * 6);
      o[6] = a[0], o[7] = a[1], o[8] = b[0], o[9] = b[1];
    }
  }

  // Points within an overlap's parameter ranges (both curves' unless merging by distance) lie on it. The ranges
  // are taken either way round: an overlap may run backwards on a curve.
  void drop_points_on_overlaps() {
    for (int k = 0; k < n; ++k) key[k] = wp1[tags[k]];
    for (int o = 0; o < kept_over; ++o) {
      const double *r = wo + kOverlap * o;
      const double lo1 = std::min(r[6], r[7]) - tol1, hi1 = std::max(r[6], r[7]) + tol1;
      const double lo2 = std::min(r[8], r[9]) - tol2, hi2 = std::max(r[8], r[9]) + tol2;
      for (int k = static_cast<int>(std::lower_bound(key, key + n, lo1) - key); k < n && key[k] <= hi1; ++k) {
        const int i = tags[k];
        if (by_dist || (wp2[i] >= lo2 && wp2[i] <= hi2)) keep[i] = 0;
      }
    }
  }

  // A point found at one end of a closed curve's range beside an overlap end at the other end takes the
  // overlap's side of the seam.
  void adjust_seams() {
    for (int c = 1; c <= 2; ++c) {
      const VOQbsp_curve *cv = c == 1 ? cv1 : cv2;
      if (!cv->phy_closed) continue;
      const double r0 = cv->knots[cv->order - 1], r1 = cv->knots[cv->num_poles], tol = c == 1 ? tol1 : tol2;
      for (int o = 0; o < kept_over; ++o) {
        for (int e = 0; e < 2; ++e) {
          const double *end = wo + kOverlap * o + 3 * e, v = wo[kOverlap * o + 6 + 2 * (c - 1) + e];
          double target = r0, other = r1;
          if (std::fabs(v - r1) <= tol && !(std::fabs(v - r0) <= tol)) std::swap(target, other);
          else if (!(std::fabs(v - r0) <= tol)) continue;
          for (int i = 0; i < n; ++i) {
            double *u = param(c, i);
            if (keep[i] && dist2(pts + 3 * i, end) < t && std::fabs(*u - other) <= tol) *u = target;
          }
        }
      }
    }
  }

  // Merging by distance: the first point at the start of a closed curve goes when an overlap ends there.
  void drop_seam_points() {
    for (int c = 1; c <= 2; ++c) {
      const VOQbsp_curve *cv = c == 1 ? cv1 : cv2;
      if (!cv->phy_closed) continue;
      const double w0 = cv->rational ? cv->weights[0] : 1.0;
      if (w0 == 0) continue;
      const double start[3] = {cv->poles[0] / w0, cv->poles[1] / w0, cv->poles[2] / w0};
      int first = -1;
      for (int k = 0; k < n && first < 0; ++k)
        if (keep[tags[k]] && dist2(pts + 3 * tags[k], start) < t) first = tags[k];
      if (first < 0) continue;
      for (int o = 0; o < kept_over; ++o) {
        const double *r = wo + kOverlap * o;
        if (dist2(start, r) < t || dist2(start, r + 3) < t) {
          keep[first] = 0;
          break;
        }
      }
    }
  }

  // Points found more than once, swept along the axis of the points' widest extent; the earlier survives.
  void drop_repeats(int *rc) {
    int kept = 0;
    for (int i = 0; i < n; ++i) kept += keep[i];
    if (kept < 2) return;
    double lo[3], hi[3];
    BSpolesbox(rc, &n, pts, nullptr, lo, hi);
    if (*rc != 0) return;
    int axis = hi[1] - lo[1] > hi[0] - lo[0] ? 1 : 0;
    if (hi[2] - lo[2] > std::max(hi[0] - lo[0], hi[1] - lo[1])) axis = 2;
    for (int i = 0; i < n; ++i) key[i] = pts[3 * i + axis];
    if (!BStagsort(rc, &n, key, axis_tags)) return;
    for (int a = 0; a < n; ++a) {
      const int i = axis_tags[a];
      if (!keep[i]) continue;
      for (int b = a + 1; b < n && key[axis_tags[b]] - w <= key[i]; ++b) {
        const int j = axis_tags[b];
        if (!keep[j]) continue;
        const bool same = by_dist ? dist2(pts + 3 * i, pts + 3 * j) < t
                                  : std::fabs(wp1[i] - wp1[j]) < tol1 && std::fabs(wp2[i] - wp2[j]) < tol2;
        if (same) keep[j] = 0;
      }
    }
  }

  void run(const bsintcall::Outputs &out, int *rc) {
    merge_overlaps(rc);
    if (*rc != 0) return;
    for (int i = 0; i < n; ++i) {
      wp1[i] = par1[i], wp2[i] = par2[i], keep[i] = 1, tags[i] = i;
    }
    if (n > 1 && !BStagsort(rc, &n, par1, tags)) return;
    if (n > 0 && kept_over > 0) {
      drop_points_on_overlaps();
      if (by_dist)
        drop_seam_points();
      else
        adjust_seams();
    }
    drop_repeats(rc);
    if (*rc != 0) return;

    // Points in the order of the caller's first curve.
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      key[i] = swapped ? wp2[i] : wp1[i];
      kept += keep[i];
      tags[i] = i;
    }
    if (n > 1 && !BStagsort(rc, &n, key, tags)) return;
    bsintcall::Target points, overlaps;
    if (!points.place(kept, kept <= out.int_size, 3, 1, out.int_pts, out.int_par1, out.int_par2) ||
        !overlaps.place(kept_over, kept_over <= out.over_size, 6, 2, out.over_pts, out.over_par1,
                        out.over_par2)) {
      points.release();
      *rc = BSRC_NO_HEAP;
      return;
    }
    int k = 0;
    for (int a = 0; a < n; ++a) {
      const int i = tags[a];
      if (!keep[i]) continue;
      std::memcpy(points.pts + 3 * k, pts + 3 * i, sizeof(double) * 3);
      points.par1[k] = wp1[i];
      points.par2[k] = wp2[i];
      ++k;
    }
    for (int o = 0; o < kept_over; ++o) {
      const double *r = wo + kOverlap * o;
      const int own = swapped ? 8 : 6;
      const int e0 = r[own] < r[own + 1] ? 0 : 1, e1 = 1 - e0;
      std::memcpy(overlaps.pts + 6 * o, r + 3 * e0, sizeof(double) * 3);
      std::memcpy(overlaps.pts + 6 * o + 3, r + 3 * e1, sizeof(double) * 3);
      overlaps.par1[2 * o] = r[6 + e0], overlaps.par1[2 * o + 1] = r[6 + e1];
      overlaps.par2[2 * o] = r[8 + e0], overlaps.par2[2 * o + 1] = r[8 + e1];
    }
    points.hand_over(out.int_alloc, out.a_int_pts, out.a_int_par1, out.a_int_par2);
    overlaps.hand_over(out.over_alloc, out.a_over_pts, out.a_over_par1, out.a_over_par2);
    *out.n_int = kept;
    *out.n_over = kept_over;
  }
};

bool finite_array(int count, const double *a) { return count == 0 || (a && BSallfinite(count, a)); }

}  // namespace

void BScvcmp_rng(const double box[6], int level, BSrangenode **levels, int node, int *n_found, int **found,
                 int *rc) {
  *rc = 0;
  if (!box || !levels || !n_found || !found || !*found || *n_found < 0 || level < 1 ||
      level > BSRANGE_MAX_LEVELS || node < 0 || !levels[level - 1] || !BSallfinite(6, box)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // The given node answers for itself too: a one-leaf tree is queried at its leaf.
    const BSrangenode &top = levels[level - 1][node];
    if (top.meets && boxes_meet(top.box, box)) collect(box, level, levels, node, n_found, found, rc);
  }
  BSexit(rc, "BScvcmp_rng", "bscvcmp_rng");
}

void BScvcv_sort(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist, BSboolean swapped,
                 double tol1, double tol2, int n_pts, int n_over, const double *pts, const double *par1,
                 const double *par2, const double *over_pts, const double *over_par1, const double *over_par2,
                 int int_size, int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts_out,
                 double *over_par1_out, double *over_par2_out, int *n_int, int *n_over_out, BSboolean *int_alloc,
                 BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                 double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc) {
  bsintcall::sort_results(false, cv1, cv2, merge_by_dist, swapped, tol1, tol2, n_pts, n_over, pts, par1, par2,
                          over_pts, over_par1, over_par2, int_size, over_size, int_pts, int_par1, int_par2,
                          over_pts_out, over_par1_out, over_par2_out, n_int, n_over_out, int_alloc, over_alloc,
                          a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2, rc);
}

void bsintcall::sort_results(bool checked, const VOQbsp_curve *cv1, const VOQbsp_curve *cv2,
                             BSboolean merge_by_dist, BSboolean swapped, double tol1, double tol2, int n_pts,
                             int n_over, const double *pts, const double *par1, const double *par2,
                             const double *over_pts, const double *over_par1, const double *over_par2, int int_size,
                             int over_size, double *int_pts, double *int_par1, double *int_par2,
                             double *over_pts_out, double *over_par1_out, double *over_par2_out, int *n_int,
                             int *n_over_out, BSboolean *int_alloc, BSboolean *over_alloc, double **a_int_pts,
                             double **a_int_par1, double **a_int_par2, double **a_over_pts, double **a_over_par1,
                             double **a_over_par2, int *rc) {
  *rc = 0;
  const bsintcall::Outputs out{int_size,   over_size,  int_pts,    int_par1,   int_par2,   over_pts_out,
                               over_par1_out, over_par2_out, n_int,  n_over_out, int_alloc,  over_alloc,
                               a_int_pts,  a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2};
  out.clear();
  int code = 0;
  if (!out.usable()) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!(checked && !bstest::slow_roads()) && ((code = BScvcheck(cv1)) != 0 || (code = BScvcheck(cv2)) != 0)) {
    *rc = code;
  } else if (n_pts < 0 || n_over < 0 || n_pts > (1 << 24) || n_over > (1 << 24) || !(tol1 >= 0) ||
             !(tol2 >= 0) || !std::isfinite(tol1) || !std::isfinite(tol2) || !finite_array(3 * n_pts, pts) ||
             !finite_array(n_pts, par1) || !finite_array(n_pts, par2) || !finite_array(6 * n_over, over_pts) ||
             !finite_array(2 * n_over, over_par1) || !finite_array(2 * n_over, over_par2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double sq = BStoltab[bstol::dist_sqtol];
    Sorter s{cv1, cv2, merge_by_dist != 0, swapped != 0, tol1, tol2,
             cv1->order > 2 || cv2->order > 2 ? 10 * sq : sq, BStoltab[bstol::dist_tol] * 10 / std::sqrt(3.0),
             n_pts, n_over, pts, par1, par2, over_pts, over_par1, over_par2};
    // Doubles: three per point, eleven per overlap; then three ints per point and one per overlap.
    const std::size_t n = static_cast<std::size_t>(n_pts), m = static_cast<std::size_t>(n_over);
    const std::size_t doubles = 3 * n + 11 * m, ints = 3 * n + m;
    BSscratch<3 * 100 + 11 * 100 + (3 * 100 + 100) / 2> room;
    double *work = room.take(doubles + (ints + 1) / 2);
    if (!work) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      s.wp1 = work, s.wp2 = work + n, s.key = work + 2 * n, s.wo = work + 3 * n, s.okey = s.wo + kOverlap * m;
      int *iw = reinterpret_cast<int *>(work + doubles);
      s.tags = iw, s.axis_tags = iw + n, s.keep = iw + 2 * n, s.otags = iw + 3 * n;
      s.run(out, rc);
    }
  }
  BSexit(rc, "BScvcv_sort", "bscvcv_sort");
}
