// How two lines given by two points each relate (skew, parallel, coincident, intersecting) and their distance.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/numerics.h"

#include <cmath>

namespace {
double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Parameter of p on the line a -> b: 0 at a, 1 at b; a line too short for the projection falls back to the
// ratio of the first coordinate that changes along it.
double line_param(const double a[3], const double b[3], const double p[3]) {
  const double ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double len2 = dot3(ab, ab);
  const double tol = BStoltab[bstol::zero_tol];
  if (len2 >= tol) {
    const double ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
    return dot3(ap, ab) / len2;
  }
  for (int i = 0; i < 3; ++i)
    if (std::fabs(ab[i]) > tol) return (p[i] - a[i]) / ab[i];
  return 0;
}
}  // namespace

int BSrelplnln(int *rc, const double a1[3], const double b1[3], const double a2[3], const double b2[3]) {
  *rc = 0;
  int relation = 0;
  double d1[3], d2[3], e[3];
  for (int i = 0; i < 3; ++i) {
    d1[i] = a1[i] - b1[i];
    d2[i] = a2[i] - b2[i];
    e[i] = b1[i] - b2[i];
  }
  const double tol = BStoltab[bstol::zero_tol];
  if (dot3(d1, d1) < tol * tol || dot3(d2, d2) < tol * tol) {
    *rc = BSRC_NULL_VECTOR;
  } else {
    // Four points on one line are coplanar too: only a set that spans space makes the lines skew.
    const double pts[12] = {a1[0], a1[1], a1[2], b1[0], b1[1], b1[2], a2[0], a2[1], a2[2], b2[0], b2[1], b2[2]};
    BSboolean kind = 0;
    double vec[3];
    BSplanar2(4, pts, nullptr, &kind, vec, rc);
    if (*rc == 0) {
      if (kind == BSKIND_NONE) {
        relation = 2;
      } else {
        BSnorvec(rc, d1);
        if (*rc == 0) BSnorvec(rc, d2);
        // Lines that share their second point leave e null: it stays null (the lines meet, or coincide).
        if (*rc == 0 && dot3(e, e) > 1.0020841800044864e-292) BSnorvec(rc, e);
        if (*rc == 0) {
          double c1[3], c2[3];
          BSvcross(rc, d1, d2, c1);
          BSvcross(rc, e, d1, c2);
          const double sq = BStoltab[bstol::dist_sqtol];
          if (dot3(c1, c1) > sq)
            relation = 5;
          else if (dot3(c2, c2) <= sq)
            relation = 4;
          else
            relation = 3;
        }
      }
    }
  }
  BSexit(rc, "BSrelplnln", "bsrelplnln");
  return *rc == 0 ? relation : 0;
}

BSboolean BSdistll(int *rc, const double a1[3], const double b1[3], const double a2[3], const double b2[3],
                   int *type, double *dist, double closest[6], double params[2]) {
  *rc = 0;
  *dist = 0;
  *type = -1;
  const int relation = BSrelplnln(rc, a1, b1, a2, b2);
  if (*rc == 0) {
    double *c1 = closest, *c2 = closest + 3;
    bool have = false;
    if (relation == 2) {
      // Normal equations of |a1 + s u - a2 - t v|^2.
      double u[3], v[3], w[3];
      for (int i = 0; i < 3; ++i) {
        u[i] = b1[i] - a1[i];
        v[i] = b2[i] - a2[i];
        w[i] = a2[i] - a1[i];
      }
      const double uu = dot3(u, u), uv = dot3(u, v), vv = dot3(v, v), uw = dot3(u, w), vw = dot3(v, w);
      const double det = -uu * vv + uv * uv;
      if (std::fabs(det) >= BStoltab[bstol::zero_tol]) {
        const double s = (-uw * vv + uv * vw) / det;
        const double t = (uu * vw - uv * uw) / det;
        for (int i = 0; i < 3; ++i) {
          c1[i] = a1[i] + s * u[i];
          c2[i] = a2[i] + t * v[i];
        }
        *type = 0;
        have = true;
      }
    } else if (relation == 3) {
      const double line[6] = {a2[0], a2[1], a2[2], b2[0], b2[1], b2[2]};
      for (int i = 0; i < 3; ++i) c1[i] = b1[i];
      if (BSproj0(rc, b1, line, c2)) {
        *type = 1;
        have = true;
      }
    } else if (relation == 4) {
      // Coincident: any point of line 1 serves; b1 keeps the choice of the parallel case.
      for (int i = 0; i < 3; ++i) c1[i] = c2[i] = b1[i];
      *type = 2;
      have = true;
    } else if (relation == 5) {
      double x[3];
      if (BSxln(rc, a1, b1, a2, b2, x)) {
        for (int i = 0; i < 3; ++i) c1[i] = c2[i] = x[i];
        *type = 3;
        have = true;
      } else {
        *rc = BSRC_ZERO_WEIGHT;
      }
    }
    if (have) {
      params[0] = relation == 3 ? 1.0 : line_param(a1, b1, c1);
      params[1] = line_param(a2, b2, c2);
      const double d[3] = {c2[0] - c1[0], c2[1] - c1[1], c2[2] - c1[2]};
      *dist = std::sqrt(dot3(d, d));
    }
  }
  BSexit(rc, "BSdistll", "bsdistll");
  return *rc == 0 ? BSTRUE : BSFALSE;
}
