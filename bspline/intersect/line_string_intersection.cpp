// Intersections of line strings (order-2 curves) and of two single segments, segment pair by segment pair: an
// end of one segment on the other first, then the crossing of the two as lines. Both hand back the results of
// the curve/curve intersection call.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/intersect/call_internal.h"
#include "bspline/knots.h"
#include "bspline/measure.h"

namespace {

double dist2(const double *a, const double *b) {
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

bool too_short(const double *seg) {
  const double basis = BStoltab[bstol::basis_tol];
  return dist2(seg, seg + 3) < basis * basis;
}

// The results of one segment pair, 0 to 2 (two are the ends of an overlap, ordered along a). A crossing and an
// end contact closer than `near` (squared) are one result: the crossing when `crossing_wins`, else the contact.
int pair_results(const double a[6], const double b[6], double near, bool crossing_wins, double pts[6],
                 double t1[2], double t2[2], int *rc) {
  double sa[6], sb[6];
  std::memcpy(sa, a, sizeof sa);
  std::memcpy(sb, b, sizeof sb);
  int n = 0;
  BSboolean exact = BSFALSE;
  BSlnendpt(sa, sa + 3, sb, sb + 3, &n, pts, t1, t2, &exact, rc);
  if (*rc != 0) return 0;
  if (n < 2) {
    double xp[6], x1[2], x2[2];
    int m = 0;
    BSxlnlnopt(sa, sb, BSFALSE, &m, xp, x1, x2, rc);
    if (*rc != 0) return 0;
    auto take = [&](int slot, int from) {
      std::memcpy(pts + 3 * slot, xp + 3 * from, sizeof(double) * 3);
      t1[slot] = x1[from];
      t2[slot] = x2[from];
    };
    if (m == 2) {
      // Parallel segments sharing a stretch: the solver's two ends are the overlap.
      take(0, 0);
      take(1, 1);
      n = 2;
    } else if (m == 1 && n == 0) {
      take(0, 0);
      n = 1;
    } else if (m == 1) {
      if (!(dist2(pts, xp) < near)) {
        take(1, 0);
        n = 2;
      } else if (crossing_wins) {
        take(0, 0);
      }
    } else if (n == 1 && !exact) {
      n = 0;  // near the other segment, yet neither on it nor crossing it
    }
  }
  if (n == 2 && t1[1] < t1[0]) {
    for (int i = 0; i < 3; ++i) std::swap(pts[i], pts[3 + i]);
    std::swap(t1[0], t1[1]);
    std::swap(t2[0], t2[1]);
  }
  return n;
}

// The poles of cv divided by their weights; false for a zero weight or a result that is not finite.
bool plain_poles(const VOQbsp_curve *cv, double *out) {
  for (int i = 0; i < cv->num_poles; ++i) {
    const double w = cv->rational ? cv->weights[i] : 1.0;
    if (w == 0) return false;
    for (int c = 0; c < 3; ++c) out[3 * i + c] = cv->poles[3 * i + c] / w;
  }
  return BSallfinite(3 * cv->num_poles, out);
}

void widen(double lo[3], double hi[3], double h) {
  for (int c = 0; c < 3; ++c) lo[c] -= h, hi[c] += h;
}

// Segment i of an order-2 curve runs over knots[i + 1] .. knots[i + 2].
double on_curve(const double *knots, int i, double t) { return knots[i + 1] + (knots[i + 2] - knots[i + 1]) * t; }
// Over a double knot the curve jumps from pole i to pole i + 1: the chord between them is no part of it.
bool jumped(const double *knots, int i) { return !(knots[i + 1] < knots[i + 2]); }

void clamp_into(double *u, int count, const VOQbsp_curve *cv) {
  const double lo = cv->knots[cv->order - 1], hi = cv->knots[cv->num_poles];
  for (int i = 0; i < count; ++i) u[i] = std::clamp(u[i], lo, hi);
}

void strings(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist,
             const bsintcall::Outputs &out, int *rc) {
  const double h = 0.5 * std::max(BStoltab[bstol::dist_tol], BStoltab[18]);
  const double near = 10 * BStoltab[bstol::dist_sqtol];
  // The curve with fewer poles is walked against a tree of the other's segments.
  const bool swapped = cv2->num_poles < cv1->num_poles;
  const VOQbsp_curve *walked = swapped ? cv2 : cv1, *treed = swapped ? cv1 : cv2;
  const int nw = walked->num_poles, nt = treed->num_poles;
  BSscratch<300> walked_room, tree_room;
  double *wp = walked_room.take(3 * static_cast<std::size_t>(nw));
  double *tp = tree_room.take(3 * static_cast<std::size_t>(nt));
  if (!wp || !tp) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  if (!plain_poles(walked, wp) || !plain_poles(treed, tp)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  double wlo[3], whi[3], tlo[3], thi[3];
  BSpolesbox(rc, &nw, wp, nullptr, wlo, whi);
  if (*rc != 0) return;
  widen(wlo, whi, h);
  bsintcall::Tree tree;
  BScvrngtree(nt, tp, nullptr, wlo, whi, BSTRUE, &tree.levels, tree.counts, tree.arrays, rc);
  if (*rc != 0) return;
  BSpolesbox(rc, &nt, tp, nullptr, tlo, thi);
  if (*rc != 0) return;
  widen(tlo, thi, h);
  bsintcall::Candidates found;
  found.list = static_cast<int *>(BSdbgmalloc(200 * static_cast<int>(sizeof(int))));
  if (!found.list) {
    *rc = BSRC_NO_HEAP;
    return;
  }

  bsintcall::Store st;
  for (int i = 0; i + 1 < nw; ++i) {
    double *a = wp + 3 * i;
    if (too_short(a) || jumped(walked->knots, i)) continue;
    double box[6];
    BSboolean meets = BSFALSE;
    BScvset_rng(a, a + 3, h, tlo, thi, box, &meets, rc);
    if (*rc != 0) return;
    if (!meets) continue;
    int n_found = 0;
    BScvcmp_rng(box, tree.levels, tree.arrays, 0, &n_found, &found.list, rc);
    if (*rc != 0) return;
    for (int f = 0; f < n_found; ++f) {
      const int j = found.list[f];
      const double *b = tp + 3 * j;
      if (too_short(b) || jumped(treed->knots, j)) continue;
      double pts[6], t1[2], t2[2];
      const int n = pair_results(a, b, near, false, pts, t1, t2, rc);
      if (*rc != 0) return;
      if (n == 0) continue;
      for (int k = 0; k < n; ++k) {
        t1[k] = on_curve(walked->knots, i, t1[k]);
        t2[k] = on_curve(treed->knots, j, t2[k]);
      }
      BSlslsmem(n, pts, t1, t2, near, &st.n_pts, &st.pp, &st.pt1, &st.pt2, &st.n_ovl, &st.op, &st.ot1p, &st.ot2p,
                &st.blocks_pts, &st.blocks_ovl, rc);
      if (*rc != 0) return;
    }
  }
  if (st.n_pts == 0 && st.n_ovl == 0) return;

  double tolw = 0, tolt = 0;
  BScvkttol2(walked->order, walked->knots, nw, walked->poles, walked->rational ? walked->weights : nullptr, &tolw,
             rc);
  if (*rc != 0) return;
  BScvkttol2(treed->order, treed->knots, nt, treed->poles, treed->rational ? treed->weights : nullptr, &tolt, rc);
  if (*rc != 0) return;
  clamp_into(st.pt1, st.n_pts, walked);
  clamp_into(st.ot1p, 2 * st.n_ovl, walked);
  clamp_into(st.pt2, st.n_pts, treed);
  clamp_into(st.ot2p, 2 * st.n_ovl, treed);
  // The sort writes each accumulated curve's parameters through the outputs of that curve.
  const bsintcall::Outputs o = swapped ? out.exchanged() : out;
  BScvcv_sort(walked, treed, merge_by_dist, swapped ? BSTRUE : BSFALSE, tolw, tolt, st.n_pts, st.n_ovl, st.pp,
              st.pt1, st.pt2, st.op, st.ot1p, st.ot2p, o.int_size, o.over_size, o.int_pts, o.int_par1, o.int_par2,
              o.over_pts, o.over_par1, o.over_par2, o.n_int, o.n_over, o.int_alloc, o.over_alloc, o.a_int_pts,
              o.a_int_par1, o.a_int_par2, o.a_over_pts, o.a_over_par1, o.a_over_par2, rc);
}

}  // namespace

void bsintcall::strings_against_rest(const RestIndex &index, const VOQbsp_curve *segment, const VOQbsp_curve *rest,
                                     bsknots::KnotTolRange &rest_tol, BSboolean merge_by_dist, const Outputs &out,
                                     int *rc) {
  // strings(segment, rest): the segment is walked, the rest's segments come from the index in the tree's order
  // (its points are its poles, finite and unweighted), and its tolerance only where overlaps are sorted.
  *rc = 0;
  out.clear();
  do {
    if ((*rc = BScvcheck(segment)) != 0) break;
    const double h = 0.5 * std::max(BStoltab[bstol::dist_tol], BStoltab[18]);
    const double near = 10 * BStoltab[bstol::dist_sqtol];
    const int nw = segment->num_poles;
    double wp[6];
    if (nw != 2 || !plain_poles(segment, wp)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double *tp = rest->poles;
    double walked_box[6], rest_box[6];
    BSpolesbox(rc, &nw, wp, nullptr, walked_box, walked_box + 3);
    widen(walked_box, walked_box + 3, h);
    index.box(*rest, rest_box);
    widen(rest_box, rest_box + 3, h);
    bsintcall::Candidates found;
    found.list = static_cast<int *>(BSdbgmalloc(200 * static_cast<int>(sizeof(int))));
    if (!found.list) {
      *rc = BSRC_NO_HEAP;
      break;
    }
    bsintcall::Store st;
    const double *a = wp;
    if (!too_short(a) && !jumped(segment->knots, 0)) {
      double box[6];
      BSboolean meets = BSFALSE;
      BScvset_rng(wp, wp + 3, h, rest_box, rest_box + 3, box, &meets, rc);
      int n_found = 0;
      if (*rc == 0 && meets) index.segments(*rest, walked_box, box, &n_found, &found.list, rc);
      for (int f = 0; f < n_found && *rc == 0; ++f) {
        const int j = found.list[f];
        const double *b = tp + 3 * j;
        if (too_short(b) || jumped(rest->knots, j)) continue;
        double pts[6], t1[2], t2[2];
        const int n = pair_results(a, b, near, false, pts, t1, t2, rc);
        if (*rc != 0 || n == 0) continue;
        for (int k = 0; k < n; ++k) {
          t1[k] = on_curve(segment->knots, 0, t1[k]);
          t2[k] = on_curve(rest->knots, j, t2[k]);
        }
        BSlslsmem(n, pts, t1, t2, near, &st.n_pts, &st.pp, &st.pt1, &st.pt2, &st.n_ovl, &st.op, &st.ot1p, &st.ot2p,
                  &st.blocks_pts, &st.blocks_ovl, rc);
      }
    }
    if (*rc != 0 || (st.n_pts == 0 && st.n_ovl == 0)) break;
    double tolw = 0;
    BScvkttol2(segment->order, segment->knots, nw, segment->poles, nullptr, &tolw, rc);
    if (*rc != 0) break;
    const double tolt = st.n_ovl > 0 ? rest_tol.value() : rest_tol.hi;
    clamp_into(st.pt1, st.n_pts, segment);
    clamp_into(st.ot1p, 2 * st.n_ovl, segment);
    clamp_into(st.pt2, st.n_pts, rest);
    clamp_into(st.ot2p, 2 * st.n_ovl, rest);
    bsintcall::sort_results(true, segment, rest, merge_by_dist, BSFALSE, tolw, tolt, st.n_pts, st.n_ovl, st.pp, st.pt1,
                            st.pt2, st.op, st.ot1p, st.ot2p, out.int_size, out.over_size, out.int_pts, out.int_par1,
                            out.int_par2, out.over_pts, out.over_par1, out.over_par2, out.n_int, out.n_over,
                            out.int_alloc, out.over_alloc, out.a_int_pts, out.a_int_par1, out.a_int_par2,
                            out.a_over_pts, out.a_over_par1, out.a_over_par2, rc);
  } while (false);
  BSexit(rc, "BSlsls_int", "bslsls_int");
}

void BSlsls_int(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist, int int_size,
                int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                double *over_par1, double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc,
                BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc) {
  *rc = 0;
  const bsintcall::Outputs out{int_size,  over_size,  int_pts,    int_par1,   int_par2,    over_pts,
                               over_par1, over_par2,  n_int,      n_over,     int_alloc,   over_alloc,
                               a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2};
  out.clear();
  int code = 0;
  if (!out.usable()) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((code = BScvcheck(cv1)) != 0 || (code = BScvcheck(cv2)) != 0) {
    *rc = code;
  } else if (cv1->order != 2 || cv2->order != 2) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    strings(cv1, cv2, merge_by_dist, out, rc);
  }
  BSexit(rc, "BSlsls_int", "bslsls_int");
}

void BSlnln_int(const double seg1[6], const double seg2[6], const double knots1[4], const double knots2[4],
                int int_size, int over_size, double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                double *over_par1, double *over_par2, int *n_int, int *n_over, BSboolean *int_alloc,
                BSboolean *over_alloc, double **a_int_pts, double **a_int_par1, double **a_int_par2,
                double **a_over_pts, double **a_over_par1, double **a_over_par2, int *rc) {
  *rc = 0;
  const bsintcall::Outputs out{int_size,  over_size,  int_pts,    int_par1,   int_par2,    over_pts,
                               over_par1, over_par2,  n_int,      n_over,     int_alloc,   over_alloc,
                               a_int_pts, a_int_par1, a_int_par2, a_over_pts, a_over_par1, a_over_par2};
  out.clear();
  if (!out.usable() || !seg1 || !seg2 || !knots1 || !knots2 || !BSallfinite(6, seg1) || !BSallfinite(6, seg2) ||
      !BSallfinite(4, knots1) || !BSallfinite(4, knots2) || !(knots1[1] <= knots1[2]) ||
      !(knots2[1] <= knots2[2])) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (!too_short(seg1) && !too_short(seg2)) {
    double pts[6], t1[2], t2[2];
    const int n = pair_results(seg1, seg2, BStoltab[bstol::dist_sqtol], true, pts, t1, t2, rc);
    // The end of a segment maps onto its last knot only up to rounding, which may carry it past the range.
    for (int k = 0; k < n; ++k) {
      t1[k] = std::clamp(on_curve(knots1, 0, t1[k]), knots1[1], knots1[2]);
      t2[k] = std::clamp(on_curve(knots2, 0, t2[k]), knots2[1], knots2[2]);
    }
    bsintcall::Target target;
    // The one overlap of two segments counts as two end records against the caller's capacity.
    const bool placed = n == 2   ? target.place(1, over_size >= 2, 6, 2, over_pts, over_par1, over_par2)
                        : n == 1 ? target.place(1, int_size >= 1, 3, 1, int_pts, int_par1, int_par2)
                                 : true;
    if (!placed) {
      *rc = BSRC_NO_HEAP;
    } else if (n > 0) {
      std::memcpy(target.pts, pts, sizeof(double) * 3 * n);
      std::memcpy(target.par1, t1, sizeof(double) * n);
      std::memcpy(target.par2, t2, sizeof(double) * n);
      if (n == 2) {
        target.hand_over(over_alloc, a_over_pts, a_over_par1, a_over_par2);
        *n_over = 1;
      } else {
        target.hand_over(int_alloc, a_int_pts, a_int_par1, a_int_par2);
        *n_int = 1;
      }
    }
  }
  BSexit(rc, "BSlnln_int", "bslnln_int");
}
