// Nearest points of two segments, of a point and a segment, the common stretch of two collinear segments, and the
// nearest pair of two point arrays: the local geometry of the polygon-based intersector, which starts its Newton
// iteration from the nearest points of two polygon legs.
#include <cfloat>
#include <cmath>
#include <initializer_list>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/measure.h"

namespace {

constexpr int kEndTol = 6;    // tolerance entry of the parallel and end tests
constexpr int kZeroTol = 16;  // tolerance entry of a vanishing segment
// A length below this is no direction at all; dividing by 1 keeps the arithmetic finite.
constexpr double kTinyLength = 1e-24;
// Below this 1 - cos^2 the interior solution is not trusted even before the parallel test.
constexpr double kTinyDeterminant = 1e-12;
// Slack of the box comparison of two segments on one line: rounding moves the projected one off the line.
constexpr double kBoxSlack = 1e-12;

double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double norm3(const double *a) { return std::sqrt(dot3(a, a)); }

void copy3(const double *from, double *to) {
  for (int c = 0; c < 3; ++c) to[c] = from[c];
}

bool finite_points(int count, const double *const *points) {
  for (int i = 0; i < count; ++i)
    if (!BSallfinite(3, points[i])) return false;
  return true;
}

bool all_given(std::initializer_list<const void *> pointers) {
  for (const void *p : pointers)
    if (!p) return false;
  return true;
}

// The foot of p on s0 s1 without the entry checks of BSdptseg2 (its callers have made them).
void point_segment(const double *p, const double *s0, const double *s1, double *foot, double *s, double *dist) {
  const double e6 = BStoltab[kEndTol], e16 = BStoltab[kZeroTol];
  const double v[3] = {s1[0] - s0[0], s1[1] - s0[1], s1[2] - s0[2]};
  double len = norm3(v);
  if (len < e16 * e16) len = 1.0;
  const double w[3] = {p[0] - s0[0], p[1] - s0[1], p[2] - s0[2]};
  const double along = dot3(w, v) / len;
  if (along < e6) {
    copy3(s0, foot);
    *s = 0.0;
  } else if (along > len - e6) {
    copy3(s1, foot);
    *s = 1.0;
  } else {
    for (int c = 0; c < 3; ++c) foot[c] = s0[c] + along * v[c] / len;
    *s = along / len;
  }
  const double d[3] = {p[0] - foot[0], p[1] - foot[1], p[2] - foot[2]};
  *dist = norm3(d);
}

// The common stretch of a0 a1 and b0 b1 measured along a0 a1, without the entry checks of BSoverlap.
void overlap(const double *a0, const double *a1, const double *b0, const double *b1, double *o0, double *o1) {
  const double e6 = BStoltab[kEndTol];
  double a[3] = {a1[0] - a0[0], a1[1] - a0[1], a1[2] - a0[2]};
  const double len = norm3(a);
  const double scale = len < kTinyLength ? 1.0 : len;
  for (double &c : a) c /= scale;
  const double w0[3] = {b0[0] - a0[0], b0[1] - a0[1], b0[2] - a0[2]};
  const double w1[3] = {b1[0] - a0[0], b1[1] - a0[1], b1[2] - a0[2]};
  const double s0 = dot3(w0, a), s1 = dot3(w1, a);
  const double a_lo = len <= e6 ? len : 0.0, a_hi = len <= e6 ? 0.0 : len;
  const double b_lo = s1 - s0 > e6 ? s0 : s1, b_hi = s1 - s0 > e6 ? s1 : s0;
  // The stretch is the overlap of the two intervals: a start left of a's start is raised to it (as one just
  // inside it is snapped), so that the stretch never reaches outside a.
  const double start = b_lo - a_lo <= e6 ? a_lo : b_lo;
  const double end = b_hi - a_hi > e6 ? a_hi : b_hi;
  for (int c = 0; c < 3; ++c) {
    o0[c] = a0[c] + start * a[c];
    o1[c] = a0[c] + end * a[c];
  }
}

// The end case of two segments: each end against the other segment, the strictly nearer try replacing the result.
void end_pairs(const double *a0, const double *a1, const double *b0, const double *b1, double *dist, double *pa,
               double *pb, double *u, double *v) {
  copy3(a0, pa);
  *u = 0.0;
  point_segment(a0, b0, b1, pb, v, dist);
  double foot[3], s = 0, d = 0;
  point_segment(a1, b0, b1, foot, &s, &d);
  if (d < *dist) {
    copy3(a1, pa), copy3(foot, pb);
    *u = 1.0, *v = s, *dist = d;
  }
  point_segment(b0, a0, a1, foot, &s, &d);
  if (d < *dist) {
    copy3(foot, pa), copy3(b0, pb);
    *u = s, *v = 0.0, *dist = d;
  }
  point_segment(b1, a0, a1, foot, &s, &d);
  if (d < *dist) {
    copy3(foot, pa), copy3(b1, pb);
    *u = s, *v = 1.0, *dist = d;
  }
}

}  // namespace

void BSdlsegs2(const double a0[3], const double a1[3], const double b0[3], const double b1[3], double *dist,
               double pa[3], double pb[3], double *u, double *v, int *rc) {
  *rc = 0;
  do {
    if (!all_given({a0, a1, b0, b1, dist, pa, pb, u, v})) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const double *ends[4] = {a0, a1, b0, b1};
    if (!finite_points(4, ends)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double a[3] = {a1[0] - a0[0], a1[1] - a0[1], a1[2] - a0[2]};
    double b[3] = {b1[0] - b0[0], b1[1] - b0[1], b1[2] - b0[2]};
    double la = norm3(a), lb = norm3(b);
    const bool point = la < kTinyLength || lb < kTinyLength;
    if (la < kTinyLength) la = 1.0;
    if (lb < kTinyLength) lb = 1.0;
    if (!std::isfinite(la) || !std::isfinite(lb)) {
      *rc = BSRC_OUT_OF_RANGE;  // ends so far apart that their difference overflows
      break;
    }
    // A segment shorter than any direction is a point: only the end case measures it.
    if (point) {
      end_pairs(a0, a1, b0, b1, dist, pa, pb, u, v);
      break;
    }
    for (int c = 0; c < 3; ++c) a[c] /= la, b[c] /= lb;
    const double w[3] = {a0[0] - b0[0], a0[1] - b0[1], a0[2] - b0[2]};
    const double cs = dot3(a, b), wb = dot3(w, b);
    double n[3], wxa[3], wxb[3];
    BSvcross(rc, a, b, n);
    BSvcross(rc, w, a, wxa);
    BSvcross(rc, w, b, wxb);
    // 1 - c^2, (w.b) c - w.a and w.b - (w.a) c of unit directions, taken from cross products: near parallel the
    // differences cancel to rounding and the feet would drift along the segments.
    double det = dot3(n, n), sa = -dot3(n, wxb), sb = -dot3(n, wxa);
    if (std::fabs(det) > kTinyDeterminant && sa > 0 && sa < det * la && sb > 0 && sb < det * lb) {
      sa /= det, sb /= det;
      *dist = std::fabs(dot3(w, n)) / std::sqrt(det);
      for (int c = 0; c < 3; ++c) pa[c] = a0[c] + sa * a[c], pb[c] = b0[c] + sb * b[c];
      *u = sa / la, *v = sb / lb;
      break;
    }
    if (std::fabs(det) >= BStoltab[kEndTol]) {
      end_pairs(a0, a1, b0, b1, dist, pa, pb, u, v);
      break;
    }
    // Parallel: a projected onto b's line; segments apart along the line meet only at their ends.
    double q[6], bb[6];
    for (int c = 0; c < 3; ++c) {
      q[c] = b0[c] + wb * b[c];
      q[3 + c] = q[c] + cs * la * b[c];
      bb[c] = b0[c], bb[3 + c] = b1[c];
    }
    const int two = 2;
    double qmin[3], qmax[3], bmin[3], bmax[3];
    BSpolesbox(rc, &two, q, nullptr, qmin, qmax);
    BSpolesbox(rc, &two, bb, nullptr, bmin, bmax);
    bool apart = false;
    for (int c = 0; c < 3; ++c) apart = apart || qmax[c] + kBoxSlack < bmin[c] || bmax[c] + kBoxSlack < qmin[c];
    if (apart) {
      end_pairs(a0, a1, b0, b1, dist, pa, pb, u, v);
      break;
    }
    double o0[3], o1[3];
    BSoverlap(rc, b0, b1, q, q + 3, o0, o1);
    if (*rc != 0) break;
    for (int c = 0; c < 3; ++c) {
      pb[c] = 0.5 * (o0[c] + o1[c]);
      pa[c] = pb[c] + (a0[c] - q[c]);
    }
    const double shift[3] = {a0[0] - q[0], a0[1] - q[1], a0[2] - q[2]};
    const double da[3] = {pa[0] - a0[0], pa[1] - a0[1], pa[2] - a0[2]};
    const double db[3] = {pb[0] - b0[0], pb[1] - b0[1], pb[2] - b0[2]};
    *dist = norm3(shift);
    // Measured as lengths, the parameters of points at the far ends can exceed 1 by a rounding.
    *u = std::fmin(norm3(da) / la, 1.0), *v = std::fmin(norm3(db) / lb, 1.0);
  } while (false);
  BSexit(rc, "BSdlsegs2", "bsdlsegs2");
}

void BSdptseg2(const double p[3], const double s0[3], const double s1[3], double foot[3], double *s, double *dist,
               int *rc) {
  *rc = 0;
  const double *points[3] = {p, s0, s1};
  if (!all_given({p, s0, s1, foot, s, dist})) {
    *rc = BSRC_NULL_CURVE;
  } else if (!finite_points(3, points)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    point_segment(p, s0, s1, foot, s, dist);
    if (!std::isfinite(*dist)) *rc = BSRC_OUT_OF_RANGE;
  }
  BSexit(rc, "BSdptseg2", "bsdptseg2");
}

BSboolean BSoverlap(int *rc, const double a0[3], const double a1[3], const double b0[3], const double b1[3],
                    double o0[3], double o1[3]) {
  *rc = 0;
  const double *points[4] = {a0, a1, b0, b1};
  if (!all_given({a0, a1, b0, b1, o0, o1})) {
    *rc = BSRC_NULL_CURVE;
  } else if (!finite_points(4, points)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    overlap(a0, a1, b0, b1, o0, o1);
    if (!BSallfinite(3, o0) || !BSallfinite(3, o1)) *rc = BSRC_OUT_OF_RANGE;
  }
  BSexit(rc, "BSoverlap", "bsoverlap");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSmdstptarr(int count1, const double *points1, int count2, const double *points2, int *i1, int *i2,
                 double *dist, int *rc) {
  *rc = 0;
  if (!i1 || !i2 || !dist || (count1 > 0 && !points1) || (count2 > 0 && !points2)) {
    *rc = BSRC_NULL_CURVE;
  } else if (count1 < 0 || count2 < 0 || !BSallfinite(3 * count1, points1) || !BSallfinite(3 * count2, points2)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // No pair at all leaves the indices on their start marks and the distance beyond any real one.
    double best = DBL_MAX;
    *i1 = *i2 = BSNO_INDEX;
    for (int i = 0; i < count1; ++i) {
      for (int j = 0; j < count2; ++j) {
        const double *p = points1 + 3 * i, *q = points2 + 3 * j;
        const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
        const double sq = dot3(d, d);
        if (sq <= best) best = sq, *i1 = i, *i2 = j;
      }
    }
    *dist = std::sqrt(best);
  }
  BSexit(rc, "BSmdstptarr", "bsmdstptarr");
}
